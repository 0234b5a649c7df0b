// The info and feedback commands through the window: the links handed to the desktop, what a user
// is told when nothing takes them, and the menus that lead there.
#include "ui/InfoCommands.h"

#include "common/Product.h"
#include "desktop/DesktopOpen.h"
#include "support/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QUrlQuery>

using namespace tevro;
using namespace tevro::test;

namespace {

class InfoCommandsTest : public WindowFixture {
protected:
    std::unique_ptr<TF_Tevro> WindowWithOpener(bool opens) {
        openUrl = [this, opens](const QString& address) {
            opened << address;
            return opens;
        };
        auto window = MakeWindow();
        boxes.clear();
        return window;
    }
    QStringList opened;
};

TEST_F(InfoCommandsTest, TheFeedbackMailCarriesTheVersionAndFiveBodyLines) {
    auto window = WindowWithOpener(true);
    window->mi_Feedback_DoIt->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0],
              QStringLiteral("mailto:") + FeedbackMailAddress() + QStringLiteral("?CC=") +
                  FeedbackMailAddress() +
                  QStringLiteral("&subject=[Tevro v3.01.2] Feedback ...&body=%0D%0A***%0D%0A*** Thank you "
                                 "for giving feedback!%0D%0A*** Please feel free to write me your "
                                 "comments or thoughts.%0D%0A***"));
    // As a mail program reads it.
    const QUrlQuery query(QUrl(opened[0], QUrl::TolerantMode));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("[Tevro v3.01.2] Feedback ..."));
    EXPECT_EQ(
        query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).split(QStringLiteral("\r\n")).size(),
        5);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(InfoCommandsTest, WhatNothingTakesIsReportedWithTheAddress) {
    auto window = WindowWithOpener(false);
    window->mi_BugReport_DoIt->trigger();
    window->mi_About_OpenWebsite->trigger();
    window->OpenUrl(QStringLiteral(" \t\r\n")); // blank: not handed on at all
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("mailto:") + BugReportMailAddress() +
                                     QStringLiteral("?CC=") + FeedbackMailAddress() +
                                     QStringLiteral("&subject=[Tevro v3.01.2] Bug report")));
    EXPECT_EQ(boxes[0].text, QStringLiteral("** ERROR **\r\rFailed to spawn mail client for <") +
                                 BugReportMailAddress() + QStringLiteral(">."));
    EXPECT_EQ(boxes[1].text, QStringLiteral("** ERROR **\r\rFailed to spawn browser for <") +
                                 HomePageAddress() + QStringLiteral(">."));
    EXPECT_EQ(boxes[1].kind, MessageKind::Error);
}

TEST_F(InfoCommandsTest, TheWindowMenuOpensWhereTheLogDoesNotAndShowsWhatTheTrayMenuShows) {
    auto window = WindowWithOpener(true);
    window->show();
    for (QWidget* target :
         {static_cast<QWidget*>(window->Status_Bar), static_cast<QWidget*>(window->Url_dsc)}) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
        EXPECT_TRUE(window->SystemMenu->isVisible()) << target->objectName().toStdString();
        window->SystemMenu->hide();
    }
    QStringList captions;
    for (QAction* action : window->SystemMenu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(captions.join(QLatin1Char('|')),
              QStringLiteral("Minimize|Close|-|Feedback|Bug report|-|About Tevro|Open Tevro website"));

    window->mi_Feedback_Info->trigger();
    window->SystemMenu->actions().at(3)->menu()->actions().at(0)->trigger(); // "Feedback" > "Info"
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, boxes[1].text);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("~~~ Feedback -- Info ~~~\r\r")));
    window->SystemMenu->actions().at(0)->trigger(); // "Minimize": the window's own
    EXPECT_TRUE(window->isMinimized());
}

TEST(DesktopHandlerTest, AMailProgramIsFoundOnlyWhereAnEntryClaimsMailLinks) {
    QTemporaryDir config;
    QTemporaryDir data;
    ASSERT_TRUE(QDir(data.path()).mkpath(QStringLiteral("applications")));
    auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write(config.filePath(QStringLiteral("mimeapps.list")),
          "[Removed Associations]\nx-scheme-handler/mailto=mail.desktop;\n[Default Applications]\n"
          "x-scheme-handler/mailto=\nx-scheme-handler/mailtox=other.desktop;\n");
    EXPECT_FALSE(HasSchemeHandler(QStringLiteral("mailto"), {config.path()}, {data.path()}));
    write(data.filePath(QStringLiteral("applications/mimeinfo.cache")),
          "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_TRUE(HasSchemeHandler(QStringLiteral("mailto"), {config.path()}, {data.path()}));
}

} // namespace
