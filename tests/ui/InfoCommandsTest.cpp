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
#include <QTest>
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

// What the desktop's handlers do not open is told: xdg-open's exit status is what counts.
TEST_F(InfoCommandsTest, AnXdgOpenThatFailsGivesTheBox) {
    FakeXdgOpen xdgOpen(3);
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("data/applications")));
    ScopedEnv config("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    ScopedEnv configDirs("XDG_CONFIG_DIRS", QFile::encodeName(home.filePath(QStringLiteral("none"))));
    ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    ScopedEnv dataDirs("XDG_DATA_DIRS", QFile::encodeName(home.filePath(QStringLiteral("none"))));
    auto window = MakeWindow();
    boxes.clear();

    window->mi_About_OpenWebsite->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000));
    EXPECT_EQ(boxes[0].text, QStringLiteral("** ERROR **\r\rFailed to spawn browser for <") +
                                 HomePageAddress() + QStringLiteral(">."));
    EXPECT_EQ(boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(xdgOpen.Opened(), QStringList{HomePageAddress()});

    // Without a mail program the link never reaches xdg-open; with one, its failure is told the same way.
    window->mi_Feedback_DoIt->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 2; }, 10000));
    EXPECT_EQ(xdgOpen.Opened().size(), 1);
    QFile entry(home.filePath(QStringLiteral("data/applications/mail.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Mail\nExec=true %u\n");
    entry.close();
    QFile cache(home.filePath(QStringLiteral("data/applications/mimeinfo.cache")));
    ASSERT_TRUE(cache.open(QIODevice::WriteOnly));
    cache.write("[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    cache.close();
    window->mi_BugReport_DoIt->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 3; }, 10000));
    EXPECT_EQ(boxes[1].text, MailFailureText(FeedbackMailAddress()));
    EXPECT_EQ(boxes[2].text, MailFailureText(BugReportMailAddress()));
    ASSERT_EQ(xdgOpen.Opened().size(), 2);
    EXPECT_TRUE(xdgOpen.Opened()[1].startsWith(QStringLiteral("mailto:") + BugReportMailAddress()));
}

// The association files are read as the desktop reads them.
TEST(DesktopHandlerTest, AMailProgramIsFoundWhereTheDesktopLooksForIt) {
    QTemporaryDir config;
    QTemporaryDir data;
    ASSERT_TRUE(QDir(data.path()).mkpath(QStringLiteral("applications/vendor")));
    auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const auto has = [&](const QString& desktop) {
        return HasSchemeHandler(QStringLiteral("mailto"), {config.path()}, {data.path()}, {desktop});
    };
    write(data.filePath(QStringLiteral("applications/mail.desktop")), "[Desktop Entry]\nType=Application\n");
    write(data.filePath(QStringLiteral("applications/mimeinfo.cache")),
          "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_TRUE(has(QStringLiteral("openbox")));

    // Removed by the user: what the cache says no longer counts, nor do other schemes or empty values.
    write(config.filePath(QStringLiteral("mimeapps.list")),
          "[Removed Associations]\nx-scheme-handler/mailto=mail.desktop;\n[Default Applications]\n"
          "x-scheme-handler/mailto=\nx-scheme-handler/mailtox=mail.desktop;\n");
    EXPECT_FALSE(has(QStringLiteral("openbox")));

    // The current desktop's own list comes before the common one; another desktop's is not read.
    write(config.filePath(QStringLiteral("openbox-mimeapps.list")),
          "[Default Applications]\nx-scheme-handler/mailto=mail.desktop\n");
    EXPECT_TRUE(has(QStringLiteral("openbox")));
    EXPECT_FALSE(has(QStringLiteral("lxde")));

    // defaults.list of the data folders, with entries in vendor folders; one not installed counts for
    // nothing.
    write(data.filePath(QStringLiteral("applications/defaults.list")),
          "[Default Applications]\nx-scheme-handler/mailto=gone.desktop;vendor-mail.desktop;\n");
    EXPECT_FALSE(has(QStringLiteral("lxde")));
    write(data.filePath(QStringLiteral("applications/vendor/mail.desktop")), "[Desktop Entry]\n");
    EXPECT_TRUE(has(QStringLiteral("lxde")));
}

} // namespace
