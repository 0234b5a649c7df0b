// The built program on an X server of its own (tests/support/run-under-x): a host typed into a row is in
// the settings file a few seconds later, so a SIGKILL, which gives the program no chance to save, loses
// nothing the user typed.
#include "common/Product.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace tevro::testing;

TEST(SettingsKillTest, AHostTypedInIsInTheSettingsFileWhenTheProgramIsKilled) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server: run through tests/support/run-under-x";
    for (const char* tool : {"xdotool", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is missing: install xdotool and x11-utils (scripts/deps does)";

    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    // A first run but for the interval, so the settings folder is there to be watched.
    sandbox.WriteSettings({{QStringLiteral("PingEvery"), QStringLiteral("5")}});
    QProcessEnvironment env = sandbox.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess tevro;
    tevro.setProcessEnvironment(env);
    tevro.start(program, {});
    ASSERT_TRUE(tevro.waitForStarted());

    QString window;
    const QString caption = tevro::ProductLine() + QStringLiteral(" [Inactive].");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(window = MainWindowId(caption, env)).isEmpty(); }, 15000));
    // The focus starts on row 1's box: Space ticks it and moves the focus into its host field.
    Capture(QStringLiteral("xdotool"),
            {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
             QStringLiteral("space"), QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("type"),
             QStringLiteral("127.0.0.1")},
            env);
    QElapsedTimer typed;
    typed.start();

    const QString file = sandbox.SettingsFile();
    const auto stored = [&file](const char* name) {
        return QSettings(file, QSettings::IniFormat).value(QString::fromLatin1(name)).toString();
    };
    EXPECT_TRUE(WaitForLog(
        file, [&](const QStringList&) { return stored("Url_01") == QStringLiteral("127.0.0.1"); }, 10000))
        << "the settings hold \"" << stored("Url_01").toStdString() << "\" " << typed.elapsed() << " ms after typing";
    EXPECT_LT(typed.elapsed(), 6000) << "a few seconds after the change";
    tevro.kill(); // SIGKILL
    ASSERT_TRUE(tevro.waitForFinished(5000));
    EXPECT_EQ(tevro.exitStatus(), QProcess::CrashExit);

    EXPECT_EQ(stored("Url_01"), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(stored("Active_01"), QStringLiteral("1"));
    EXPECT_EQ(stored("PingEvery"), QStringLiteral("5")) << "the whole file, not only the change";
    EXPECT_EQ(stored("TimeOut_01"), QStringLiteral("1000"));
}
