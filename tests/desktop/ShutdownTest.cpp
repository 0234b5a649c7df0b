// The built program on a real X server, ended by SIGTERM while the user is in the middle of something:
// nothing may ask a question on the way out, or a logout waits for a click that never comes.
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace tevro::testing;

namespace {

// The main window: the graph window carries the same caption, but not the main window's 420 x 300.
QString MainWindow() {
    const QStringList ids =
        ToolOutput(QStringLiteral("xdotool"),
                   {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("\\[Inactive\\]")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        if (ToolOutput(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), id})
                .contains(QStringLiteral("Geometry: 420x300")))
            return id;
    }
    return {};
}

bool WindowShown(const QString& name) {
    return !ToolOutput(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                   QStringLiteral("--name"), name})
                .trimmed()
                .isEmpty();
}

} // namespace

// A fresh setup has no sound file, so closing the alert's configuration asks whether to go on without
// one. SIGTERM must end the program all the same, at once, with the settings of both windows saved.
TEST(ShutdownTest, SigtermWithTheAlertConfigurationOpenEndsWithoutAQuestion) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server (run through tests/support/run-under-x)";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is missing (scripts/deps installs it)";

    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    QProcessEnvironment env = sandbox.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess tevro;
    tevro.setProcessEnvironment(env);
    tevro.setWorkingDirectory(sandbox.Path(QString())); // no "wav/1.wav" or "1.wav" to take as the sound
    tevro.start(program, {});
    ASSERT_TRUE(tevro.waitForStarted());

    QString window;
    ASSERT_TRUE(PollUntil([&] { return !(window = MainWindow()).isEmpty(); }, 15000));
    // The bell: 25 x 25 at (223, 252) of the 420 x 300 client area, 4 pixels above the status line.
    ToolOutput(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("235"),
                QStringLiteral("264"), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(PollUntil([] { return WindowShown(QStringLiteral("Alert window / Configure")); }, 10000))
        << "the bell opened no configuration";

    ASSERT_GE(TerminateWithin(tevro, 2000), 0) << "not ended cleanly 2 s after SIGTERM; it said:\n"
                                               << tevro.readAllStandardError().toStdString();
    EXPECT_FALSE(
        QString::fromLocal8Bit(tevro.readAllStandardError()).contains(QStringLiteral("Continue anyway")))
        << "a question came up on the way out";
    const QSettings stored(sandbox.SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("AlertEnabled")).toString(), QStringLiteral("1"))
        << "the main window's";
    EXPECT_EQ(stored.value(QStringLiteral("snd_YellUntilInterrupted")).toString(), QStringLiteral("0"))
        << "the configuration's, written as it went";
}
