// The main window and its tray icon on a real X server with a window manager and a tray host, driven
// with the mouse as a user would: minimise into the tray, come back by double click or on a failure,
// the tray menu, the tip, and what happens where there is no tray.
#include "../monitor/ScriptedPingWorkers.h"
#include "desktop/WTaskBar.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolTip>

using namespace tevro;
using namespace tevro::test;

namespace {

constexpr int kWaitMs = 10000;

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool Installed(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

QString Hex(WId id) {
    return QStringLiteral("0x") + QString::number(id, 16);
}

// The window manager's list of client windows: what a taskbar shows.
bool OnTheTaskbar(WId id) {
    return Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")})
        .contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(Hex(id))));
}

// "Normal", "Iconic", or empty once the window is withdrawn.
QString WmState(WId id) {
    const QString out =
        Run(QStringLiteral("xprop"), {QStringLiteral("-id"), Hex(id), QStringLiteral("WM_STATE")});
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("window state: (\\w+)")).match(out);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The windows that the tray host (trayer) has embedded in its panel, as their screen rectangles.
QList<QRect> TrayIcons() {
    const QStringList lines =
        Run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
            .split(QLatin1Char('\n'));
    const QRegularExpression window(
        QStringLiteral("^(\\s*)0x[0-9a-f]+ .* (\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)$"));
    QList<QRect> icons;
    qsizetype panelIndent = -1;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = window.match(line);
        if (!match.hasMatch())
            continue;
        const qsizetype indent = match.capturedLength(1);
        if (panelIndent >= 0 && indent <= panelIndent)
            panelIndent = -1;
        if (line.contains(QStringLiteral("(\"panel\" \"trayer\")"))) {
            panelIndent = indent;
        } else if (panelIndent >= 0 && match.captured(2).toInt() > 1) { // trayer keeps a 1x1 helper
            icons << QRect(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(2).toInt(),
                           match.captured(3).toInt());
        }
    }
    return icons;
}

void Xdotool(const QStringList& arguments) {
    Run(QStringLiteral("xdotool"), arguments);
}

void ClickAt(const QPoint& at, int button, int times = 1) {
    Xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
             QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(times),
             QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
}

// One window manager for the whole run: minimising goes through it, as a title bar button would.
class WindowManager : public ::testing::Environment {
public:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb") || !Installed("openbox"))
            return;
        m_openbox.start(QStringLiteral("openbox"), {});
        m_openbox.waitForStarted();
        m_ready = QTest::qWaitFor(
            [] {
                return Run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QStringLiteral("window id"));
            },
            kWaitMs);
    }
    void TearDown() override {
        m_openbox.terminate();
        m_openbox.waitForFinished();
    }

    bool Ready() const { return m_ready; }

private:
    QProcess m_openbox;
    bool m_ready = false;
};

auto* const kWindowManager =
    static_cast<WindowManager*>(::testing::AddGlobalTestEnvironment(new WindowManager));

class TevroTrayTest : public WindowFixture {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server (run through tests/support/run-under-x)";
        for (const char* tool : {"openbox", "xdotool", "xprop"})
            if (!Installed(tool))
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(kWindowManager->Ready()) << "openbox did not start";
    }

    void TearDown() override { StopTray(); }

    void StartTray() {
        if (!Installed("trayer"))
            GTEST_SKIP() << "trayer is not installed";
        m_trayer.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                        QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--transparent"),
                        QStringLiteral("false")});
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, kWaitMs));
    }

    void StopTray() {
        if (m_trayer.state() == QProcess::NotRunning)
            return;
        m_trayer.terminate();
        m_trayer.waitForFinished();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, kWaitMs));
    }

    // The main window, shown and known to the window manager.
    std::unique_ptr<TF_Tevro> ShowWindow() {
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        const WId id = w->winId();
        EXPECT_TRUE(QTest::qWaitFor([id] { return OnTheTaskbar(id); }, kWaitMs));
        return w;
    }

    // Minimised through the window manager, as its title bar button does.
    static void Minimise(TF_Tevro& w) {
        Xdotool({QStringLiteral("windowminimize"), Hex(w.winId())});
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.isMinimized(); }, kWaitMs));
    }

    static bool InTheTray(TF_Tevro& w) {
        return w.WinTaskbar->IconInTray() && w.isHidden() && !OnTheTaskbar(w.winId()) &&
               WmState(w.winId()).isEmpty();
    }

    static bool BackOnScreen(TF_Tevro& w) {
        return w.isVisible() && !w.isMinimized() && OnTheTaskbar(w.winId()) &&
               WmState(w.winId()) == QStringLiteral("Normal");
    }

    static QPoint IconCentre() { return TrayIcons().value(0).center(); }

    ScriptedPingWorkers workers;
    QProcess m_trayer;
};

TEST_F(TevroTrayTest, MinimisedIntoTheTrayAndBackByDoubleClickOnce) {
    StartTray();
    auto w = ShowWindow();
    // Restores are counted: the program's own showing, and the double-click handler.
    int shows = 0;
    struct ShowCounter : QObject {
        int& count;
        explicit ShowCounter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::Show && !event->spontaneous() ? 1 : 0;
            return false;
        }
    } counter(shows);
    w->installEventFilter(&counter);
    int doubleClicks = 0;
    w->WinTaskbar->OnDblClick = [&, restore = w->WinTaskbar->OnDblClick](QObject* sender) {
        ++doubleClicks;
        restore(sender);
    };

    Minimise(*w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return InTheTray(*w); }, kWaitMs));
    // Embedded in the tray host's bar along the top edge, not a window of its own.
    const QRect icon = TrayIcons().value(0);
    EXPECT_FALSE(icon.isEmpty());
    EXPECT_LT(icon.bottom(), 24);

    ClickAt(IconCentre(), 1, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return BackOnScreen(*w); }, kWaitMs));
    EXPECT_FALSE(w->WinTaskbar->IconInTray());
    EXPECT_TRUE(QTest::qWaitFor([] { return TrayIcons().isEmpty(); }, kWaitMs));
    QTest::qWait(300); // a second restore would show up within this
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_TRUE(BackOnScreen(*w));
    w->removeEventFilter(&counter);
}

TEST_F(TevroTrayTest, ARightClickOpensTheTrayMenuAtTheCursorAndAClickOutsideClosesIt) {
    StartTray();
    auto w = ShowWindow();
    Minimise(*w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return InTheTray(*w); }, kWaitMs));

    const QPoint at = IconCentre();
    ClickAt(at, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->PopupMenu2->isVisible(); }, kWaitMs));
    // Placed at the cursor, pushed left as far as the screen's edge needs.
    const QRect menu = w->PopupMenu2->geometry();
    EXPECT_LE(std::abs(menu.top() - at.y()), 2) << menu.top() << " " << at.y();
    EXPECT_TRUE(menu.left() <= at.x() && at.x() <= menu.right() + 1) << menu.left() << " " << at.x();

    ClickAt(QPoint(300, 400), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->PopupMenu2->isVisible(); }, kWaitMs));
    EXPECT_TRUE(InTheTray(*w));
}

TEST_F(TevroTrayTest, TheTipIsTheCaptionAsFarAsTheTrayTakesIt) {
    StartTray();
    auto w = ShowWindow();
    ASSERT_GT(w->windowTitle().size(), 63);
    Minimise(*w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return InTheTray(*w); }, kWaitMs));
    EXPECT_EQ(w->WinTaskbar->Hint(), w->windowTitle());

    // Hovering the icon shows the tip.
    const QPoint at = IconCentre();
    Xdotool({QStringLiteral("mousemove"), QString::number(at.x() - 1), QString::number(at.y())});
    Xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, kWaitMs));
    EXPECT_EQ(QToolTip::text(), w->windowTitle().left(63));
}

TEST_F(TevroTrayTest, AFailedPingBringsTheWindowBackFromTheTray) {
    StartTray();
    auto w = ShowWindow();
    w->Row(1).Url->setText(QStringLiteral("192.0.2.1"));
    w->Row(1).Active->setChecked(true);
    w->B_RunStopClick();
    ASSERT_EQ(workers.Started(), 1);
    workers.Finish(0, ScriptedPingWorkers::Success());
    Minimise(*w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return InTheTray(*w); }, kWaitMs));
    // The run switch changed the caption, and the tip followed it.
    EXPECT_EQ(w->WinTaskbar->Hint(), w->windowTitle());
    EXPECT_TRUE(w->windowTitle().endsWith(QStringLiteral(" [Running].")));

    w->Timer1Timer(nullptr);
    ASSERT_EQ(workers.Started(), 2);
    workers.Finish(1, ScriptedPingWorkers::Failure());
    EXPECT_TRUE(QTest::qWaitFor([&] { return BackOnScreen(*w); }, kWaitMs));
    EXPECT_FALSE(w->WinTaskbar->IconInTray());
}

TEST_F(TevroTrayTest, WithoutATrayMinimiseKeepsTheTaskbarEntryAndALostTrayGivesTheWindowBack) {
    auto w = ShowWindow();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    Minimise(*w);
    QTest::qWait(500); // time for a hand-over to the tray, which must not come
    EXPECT_FALSE(w->isHidden());
    EXPECT_TRUE(OnTheTaskbar(w->winId()));
    EXPECT_EQ(WmState(w->winId()), QStringLiteral("Iconic"));
    w->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BackOnScreen(*w); }, kWaitMs));

    // A tray host that quits while the window sits in it gives the window back.
    StartTray();
    Minimise(*w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return InTheTray(*w); }, kWaitMs));
    StopTray();
    EXPECT_TRUE(QTest::qWaitFor([&] { return BackOnScreen(*w); }, kWaitMs));
}

} // namespace
