// The info and feedback commands through the window: the links handed to the desktop, what a user
// is told when nothing takes them, and the menus that lead there.
#include "ui/InfoCommands.h"

#include "common/Product.h"
#include "desktop/DesktopOpen.h"
#include "richview/RichView.h"
#include "support/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
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
    std::unique_ptr<TF_Tevro> MakeWindowWithOpener(bool opens) {
        TevroEnvironment env;
        env.logFileName = settings.Folder() + QStringLiteral("/tevro.log");
        env.arguments = {QStringLiteral("tevro")};
        env.messageBox = [this](const QString& text, MessageKind kind, QMessageBox::StandardButtons,
                                bool centred) {
            boxes.push_back({text, kind, centred});
            return QMessageBox::Ok;
        };
        env.openUrl = [this, opens](const QString& address) {
            opened << address;
            return opens;
        };
        auto window = std::make_unique<TF_Tevro>(std::move(env));
        boxes.clear();
        return window;
    }

    // The menu's action that runs `command`, at any depth.
    static QAction* MenuCommand(QMenu* menu, int command) {
        for (QAction* action : menu->actions()) {
            if (action->menu() != nullptr) {
                if (QAction* inner = MenuCommand(action->menu(), command))
                    return inner;
            } else if (action->data().toInt() == command && !action->isSeparator()) {
                return action;
            }
        }
        return nullptr;
    }

    QStringList opened;
};

TEST_F(InfoCommandsTest, TheFeedbackMailCarriesTheVersionAndFiveBodyLines) {
    auto window = MakeWindowWithOpener(true);
    window->mi_Feedback_DoIt->trigger();
    ASSERT_EQ(opened.size(), 1);
    const QString link = opened.first();
    EXPECT_EQ(link,
              QStringLiteral("mailto:") + FeedbackMailAddress() + QStringLiteral("?CC=") +
                  FeedbackMailAddress() +
                  QStringLiteral("&subject=[Tevro v3.01.2] Feedback ...&body=%0D%0A***%0D%0A*** Thank you "
                                 "for giving feedback!%0D%0A*** Please feel free to write me your comments "
                                 "or thoughts.%0D%0A***"));
    EXPECT_TRUE(boxes.empty());

    // As a mail program reads it.
    const QUrl url(link, QUrl::TolerantMode);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.path(), FeedbackMailAddress());
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("[Tevro v3.01.2] Feedback ..."));
    const QStringList body =
        query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).split(QStringLiteral("\r\n"));
    ASSERT_EQ(body.size(), 5);
    EXPECT_TRUE(body[0].isEmpty());
    EXPECT_EQ(body[1], QStringLiteral("***"));
    EXPECT_EQ(body[4], QStringLiteral("***"));

    window->mi_BugReport_DoIt->trigger();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened[1].startsWith(QStringLiteral("mailto:") + BugReportMailAddress() +
                                     QStringLiteral("?CC=") + FeedbackMailAddress() +
                                     QStringLiteral("&subject=[Tevro v3.01.2] Bug report")));
}

TEST_F(InfoCommandsTest, WhatNothingTakesIsReportedWithTheAddress) {
    auto window = MakeWindowWithOpener(false);
    window->DoSysCommand(kBugReportDoIt);
    window->DoSysCommand(kAboutOpenWebsite);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(boxes[0].text, QStringLiteral("** ERROR **\r\rFailed to spawn mail client for <") +
                                 BugReportMailAddress() + QStringLiteral(">."));
    EXPECT_EQ(boxes[1].text, QStringLiteral("** ERROR **\r\rFailed to spawn browser for <") +
                                 HomePageAddress() + QStringLiteral(">."));
    EXPECT_EQ(opened.last(), HomePageAddress());

    // A blank address is not handed on at all.
    window->OpenUrl(QStringLiteral(" \t\r\n"));
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(InfoCommandsTest, BothMenusShowTheSameBoxes) {
    auto window = MakeWindowWithOpener(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    // A right click on the status line or on a page opens the window menu, in its order with its
    // submenus; one on the message log opens the log's own menu.
    QMenu* menu = window->SystemMenu;
    auto rightClick = [](QWidget* target) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
    };
    for (QWidget* target : {static_cast<QWidget*>(window->Status_Bar), static_cast<QWidget*>(window->Url_dsc),
                            static_cast<QWidget*>(window->Memo_Log)}) {
        rightClick(target);
        const bool logMenu = target == window->Memo_Log;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (logMenu ? window->PopupMenu1 : menu)->isVisible(); }, 5000))
            << target->objectName().toStdString();
        EXPECT_FALSE((logMenu ? menu : window->PopupMenu1)->isVisible());
        menu->hide();
        window->PopupMenu1->hide();
    }
    QStringList captions;
    for (QAction* action : menu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(captions.join(QLatin1Char('|')),
              QStringLiteral("Minimize|Close|-|Feedback|Bug report|-|About Tevro|Open Tevro website"));

    const std::pair<QAction*, int> pairs[] = {{window->mi_Feedback_Info, kFeedbackInfo},
                                              {window->mi_BugReport_Info, kBugReportInfo},
                                              {window->mi_About_Info, kAboutInfo}};
    for (const auto& [trayItem, command] : pairs) {
        boxes.clear();
        trayItem->trigger();
        QAction* windowItem = MenuCommand(menu, command);
        ASSERT_NE(windowItem, nullptr) << command;
        windowItem->trigger();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text, boxes[1].text);
        EXPECT_EQ(boxes[0].kind, MessageKind::Information);
    }
    EXPECT_EQ(boxes[0].text, QStringLiteral("~~~ About ~~~\r\r") + ProductLine() +
                                 QStringLiteral("\r\r   Tevro home: ") + HomePageAddress() +
                                 QStringLiteral("\r\rThank you for using Tevro!"));
    EXPECT_TRUE(opened.isEmpty());

    // Minimise from that menu is the window's own minimise.
    MenuCommand(menu, kSysMinimize)->trigger();
    EXPECT_TRUE(window->isMinimized());
}

TEST(DesktopHandlerTest, AMailProgramIsFoundOnlyWhereAnEntryClaimsMailLinks) {
    QTemporaryDir config;
    QTemporaryDir data;
    ASSERT_TRUE(config.isValid() && data.isValid());
    auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const QStringList configs{config.path()};
    const QStringList datas{data.path()};
    EXPECT_FALSE(HasSchemeHandler(QStringLiteral("mailto"), configs, datas));

    // Removed, empty or other associations do not count.
    write(config.filePath(QStringLiteral("mimeapps.list")),
          "[Removed Associations]\nx-scheme-handler/mailto=mail.desktop;\n[Default Applications]\n"
          "x-scheme-handler/mailto=\nx-scheme-handler/mailtox=other.desktop;\n");
    EXPECT_FALSE(HasSchemeHandler(QStringLiteral("mailto"), configs, datas));

    ASSERT_TRUE(QDir(data.path()).mkpath(QStringLiteral("applications")));
    write(data.filePath(QStringLiteral("applications/mimeinfo.cache")),
          "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_TRUE(HasSchemeHandler(QStringLiteral("mailto"), configs, datas));
}

} // namespace
