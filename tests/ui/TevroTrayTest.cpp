// The main window, its tray icon and the windows that go with it on a real X server with a window
// manager (openbox) and a tray host (trayer), driven with the mouse as a user would.
#include "../monitor/ScriptedPingWorkers.h"
#include "desktop/WTaskBar.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"
#include "ui/Graph_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

using namespace tevro;
using namespace tevro::test;

namespace {

constexpr int kWaitMs = 10000;

// Runs a command line of plain words and returns its output.
QString Shell(const QString& command) {
    QStringList words = command.split(QLatin1Char(' '));
    QProcess process;
    process.start(words.takeFirst(), words);
    process.waitForFinished(kWaitMs);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool Installed(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

QString Hex(const QWidget& w) {
    return QStringLiteral("0x") + QString::number(w.winId(), 16);
}

// In the window manager's client list, which is what a taskbar shows.
bool OnTheTaskbar(const QWidget& w) {
    return Shell(QStringLiteral("xprop -root _NET_CLIENT_LIST"))
        .contains(QRegularExpression(Hex(w) + QStringLiteral("\\b")));
}

// "Normal", "Iconic", or empty once the window is withdrawn.
QString WmState(const QWidget& w) {
    return QRegularExpression(QStringLiteral("window state: (\\w+)"))
        .match(Shell(QStringLiteral("xprop -id ") + Hex(w) + QStringLiteral(" WM_STATE")))
        .captured(1);
}

// The screen rectangles of the program windows embedded in trayer's panel; its own helper windows
// there carry no class.
QList<QRect> TrayIcons() {
    const QRegularExpression window(
        QStringLiteral("^( *)0x\\w+ .* (\\d+)x(\\d+)\\S* +\\+(-?\\d+)\\+(-?\\d+)$"));
    QList<QRect> icons;
    qsizetype panelIndent = -1;
    for (const QString& line : Shell(QStringLiteral("xwininfo -root -tree")).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = window.match(line);
        if (!m.hasMatch())
            continue;
        if (m.capturedLength(1) <= panelIndent)
            panelIndent = -1;
        if (line.contains(QStringLiteral("(\"panel\" \"trayer\")")))
            panelIndent = m.capturedLength(1);
        else if (panelIndent >= 0 && !line.contains(QStringLiteral(": ()")))
            icons << QRect(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(),
                           m.captured(3).toInt());
    }
    return icons;
}

// Position of the window in the window manager's stacking order, bottom first; -1 when it is not there.
qsizetype StackingIndex(const QWidget& w) {
    return Shell(QStringLiteral("xprop -root _NET_CLIENT_LIST_STACKING"))
        .section(QLatin1Char('#'), 1)
        .simplified()
        .split(QStringLiteral(", "))
        .indexOf(Hex(w));
}

void ClickAt(const QPoint& at, int button, int times = 1) {
    Shell(QStringLiteral("xdotool mousemove %1 %2 click --repeat %3 --delay 80 %4")
              .arg(at.x())
              .arg(at.y())
              .arg(times)
              .arg(button));
}

// One window manager for the whole run: minimising goes through it, as its title bar button does.
class WindowManager : public ::testing::Environment {
public:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb") || !Installed("openbox"))
            return;
        m_openbox.start(QStringLiteral("openbox"), {});
        // Up once it announces itself and keeps the client list that taskbars read.
        ready = QTest::qWaitFor(
            [] {
                const QString root = Shell(QStringLiteral("xprop -root"));
                return root.contains(QStringLiteral("_NET_SUPPORTING_WM_CHECK(WINDOW)")) &&
                       root.contains(QStringLiteral("_NET_CLIENT_LIST(WINDOW)"));
            },
            kWaitMs);
    }
    void TearDown() override {
        m_openbox.terminate();
        m_openbox.waitForFinished();
    }
    bool ready = false;

private:
    QProcess m_openbox;
};

auto* const kWindowManager =
    static_cast<WindowManager*>(::testing::AddGlobalTestEnvironment(new WindowManager));

class TevroTrayTest : public WindowFixture {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server: run through tests/support/run-under-x";
        for (const char* tool : {"openbox", "trayer", "xdotool", "xprop", "xwininfo"})
            if (!Installed(tool))
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(kWindowManager->ready) << "openbox did not start";
        w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return OnTheTaskbar(*w); }, kWaitMs));
    }

    void TearDown() override { StopTray(); }

    void StartTray() {
        m_trayer.start(QStringLiteral("trayer"),
                       QStringLiteral("--edge top --align right --widthtype request --height "
                                      "24 --transparent false")
                           .split(QLatin1Char(' ')));
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, kWaitMs));
    }

    void StopTray() {
        m_trayer.terminate();
        m_trayer.waitForFinished();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, kWaitMs));
    }

    // Minimised through the window manager, then handed to the tray.
    bool MinimiseIntoTheTray() {
        Shell(QStringLiteral("xdotool windowminimize ") + Hex(*w));
        return QTest::qWaitFor(
            [&] {
                return w->WinTaskbar->IconInTray() && w->isHidden() && !OnTheTaskbar(*w) &&
                       WmState(*w).isEmpty() && TrayIcons().size() == 1;
            },
            kWaitMs);
    }

    bool BackOnScreen() {
        return QTest::qWaitFor(
            [&] {
                return w->isVisible() && !w->isMinimized() && OnTheTaskbar(*w) &&
                       WmState(*w) == QStringLiteral("Normal") && !w->WinTaskbar->IconInTray() &&
                       TrayIcons().isEmpty();
            },
            kWaitMs);
    }

    ScriptedPingWorkers workers;
    std::unique_ptr<TF_Tevro> w;
    QProcess m_trayer;
};

TEST_F(TevroTrayTest, IntoTheTrayWithTheCaptionAsTipItsMenuAndBackByDoubleClickOnce) {
    StartTray();
    ASSERT_GT(w->windowTitle().size(), 63);
    ASSERT_TRUE(MinimiseIntoTheTray());
    const QRect icon = TrayIcons().value(0);
    EXPECT_LT(icon.bottom(), 24); // in trayer's bar along the top edge

    // The tip the tray shows on hovering is the whole caption, its run state at the end. The help event
    // is what the pointer's hover turns into; sending it directly keeps a loaded X server's lost
    // hovers out of the test.
    QWidget* trayWindow = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && qstrcmp(top->metaObject()->className(), "QSystemTrayIconSys") == 0)
            trayWindow = top;
    ASSERT_NE(trayWindow, nullptr) << "the icon has no window of the program in the tray";
    QHelpEvent hover(QEvent::ToolTip, trayWindow->rect().center(), icon.center());
    QApplication::sendEvent(trayWindow, &hover);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 3000));
    EXPECT_EQ(QToolTip::text(), w->windowTitle());
    EXPECT_EQ(w->WinTaskbar->Hint(), w->windowTitle());

    // A right click opens the tray menu at the cursor; a click outside closes it.
    ClickAt(icon.center(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->PopupMenu2->isVisible(); }, kWaitMs));
    const QRect menu = w->PopupMenu2->geometry();
    EXPECT_NEAR(menu.top(), icon.center().y(), 2);
    EXPECT_TRUE(menu.left() <= icon.center().x() && icon.center().x() <= menu.right() + 1);
    ClickAt(QPoint(300, 400), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->PopupMenu2->isVisible(); }, kWaitMs));

    int restores = 0;
    w->WinTaskbar->OnDblClick = [&, restore = w->WinTaskbar->OnDblClick](QObject* sender) {
        ++restores;
        restore(sender);
    };
    ClickAt(icon.center(), 1, 2);
    EXPECT_TRUE(BackOnScreen());
    QTest::qWait(300); // a second restore would come within this
    EXPECT_EQ(restores, 1);
}

TEST_F(TevroTrayTest, TheGraphWindowGoesIntoTheTrayAndComesBackAsItsButtonSays) {
    TF_Graph graph(*w);
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    StartTray();
    ASSERT_TRUE(MinimiseIntoTheTray());
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph.isHidden() && WmState(graph).isEmpty(); }, kWaitMs))
        << "left behind as " << WmState(graph).toStdString();

    ClickAt(TrayIcons().value(0).center(), 1, 2);
    ASSERT_TRUE(BackOnScreen());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return graph.isVisible() && !graph.isMinimized() && WmState(graph) == QStringLiteral("Normal");
        },
        kWaitMs))
        << "graph window " << WmState(graph).toStdString();
    // Its button still tells the truth: one click hides it, and it stays hidden through the tray. The
    // restore's activation comes first, or the window manager would restore the window again.
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->SB_Graph->click();
    EXPECT_TRUE(graph.isHidden());
    ASSERT_TRUE(MinimiseIntoTheTray());
    ClickAt(TrayIcons().value(0).center(), 1, 2);
    ASSERT_TRUE(BackOnScreen());
    EXPECT_TRUE(graph.isHidden());
}

TEST_F(TevroTrayTest, TheAlertConfigurationsQuestionStandsAboveIt) {
    TevroEnvironment env; // real message boxes
    env.logFileName = settings.Folder() + QStringLiteral("/questions.log");
    TF_Tevro main(std::move(env));
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    bool asked = false;
    QTimer::singleShot(0, &main, [&] {
        auto* alert = qobject_cast<TF_Alert*>(main.AlertWindow());
        ASSERT_NE(alert, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(alert));
        QTimer::singleShot(0, alert, [&, alert] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                ADD_FAILURE() << "no question came";
                alert->done(QDialog::Accepted); // the test must not wait for a user
                return;
            }
            asked = true;
            const auto above = [&] {
                const qsizetype boxAt = StackingIndex(*box);
                return boxAt >= 0 && boxAt > StackingIndex(*alert);
            };
            EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
            EXPECT_TRUE(QTest::qWaitFor(above, kWaitMs)) << "the question opened under the alert window";
            // Raising the alert, as a click on it does, leaves the question above it.
            Shell(QStringLiteral("xdotool windowraise ") + Hex(*alert));
            QTest::qWait(300);
            EXPECT_TRUE(above()) << "the question went under the alert window";
            box->button(QMessageBox::Yes)->click();
        });
        alert->Btn_Close->click(); // no sound file: the question comes
    });
    main.SB_Alert->click();
    EXPECT_TRUE(asked);
    EXPECT_EQ(main.AlertWindow(), nullptr);
}

TEST_F(TevroTrayTest, AFailedPingBringsTheWindowBackFromTheTray) {
    StartTray();
    w->Row(1).Url->setText(QStringLiteral("192.0.2.1"));
    w->Row(1).Active->setChecked(true);
    w->B_RunStopClick();
    workers.Finish(0, ScriptedPingWorkers::Success());
    ASSERT_TRUE(MinimiseIntoTheTray());
    EXPECT_EQ(w->WinTaskbar->Hint(), w->windowTitle()); // the tip followed the run switch
    EXPECT_TRUE(w->windowTitle().endsWith(QStringLiteral(" [Running].")));

    w->Timer1Timer(nullptr);
    workers.Finish(1, ScriptedPingWorkers::Failure());
    EXPECT_TRUE(BackOnScreen());
}

TEST_F(TevroTrayTest, WithoutATrayMinimiseKeepsTheTaskbarEntryAndALostTrayGivesTheWindowBack) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    Shell(QStringLiteral("xdotool windowminimize ") + Hex(*w));
    ASSERT_TRUE(QTest::qWaitFor([&] { return WmState(*w) == QStringLiteral("Iconic"); }, kWaitMs));
    QTest::qWait(500); // time for a hand-over to the tray, which must not come
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(OnTheTaskbar(*w));
    w->showNormal();
    ASSERT_TRUE(BackOnScreen());

    StartTray();
    ASSERT_TRUE(MinimiseIntoTheTray());
    StopTray(); // the tray host quits with the window in it
    EXPECT_TRUE(BackOnScreen());
}

} // namespace
