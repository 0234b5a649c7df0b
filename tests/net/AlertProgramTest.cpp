// End to end: the built program pings 127.0.0.1 in a namespace whose loopback is down, so every ping
// fails and the alert yells; ending the program by SIGTERM must leave the sound server silent.
#include "support/NetLab.h"
#include "support/QtPrinters.h"
#include "support/SoundLab.h"
#include "support/TevroProcess.h"

#include <QSettings>
#include <gtest/gtest.h>

using namespace tevro::testing;
using tevro::test::Burst;
using tevro::test::SoundLab;
using tevro::test::SoundRecorder;

TEST(AlertProgramTest, EndingTheProgramSilencesAYellingAlert) {
    if (!IsRoot())
        GTEST_SKIP() << "needs root: the failing host lives in a network namespace";
    QString why;
    const std::unique_ptr<SoundLab> lab = SoundLab::Start(&why);
    if (!lab)
        GTEST_SKIP() << "no sound server of the test's own: " << why.toStdString();
    SoundRecorder recorder(*lab);
    ASSERT_TRUE(recorder.Start(&why)) << why.toStdString();

    std::string error;
    const auto ns = NetNamespace::Create("tevro-alert", "down", &error);
    ASSERT_TRUE(ns) << error;
    ASSERT_EQ(ns->Exec({"ip", "link", "set", "lo", "down"}).exitCode, 0);

    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    const QString tone = sandbox.Path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(tevro::test::WriteToneWav(tone, 300, 250, 250));
    sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                           {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")},
                           {QStringLiteral("Count_01"), QStringLiteral("1")},
                           {QStringLiteral("TimeOut_01"), QStringLiteral("500")},
                           {QStringLiteral("AlertEnabled"), QStringLiteral("1")},
                           {QStringLiteral("snd_SoundFile"), tone},
                           {QStringLiteral("snd_YellUntilInterrupted"), QStringLiteral("1")}});

    QProcess process;
    QProcessEnvironment env = sandbox.Environment();
    env.insert(QStringLiteral("PULSE_SERVER"), lab->ServerAddress());
    process.setProcessEnvironment(env);
    const qint64 start = recorder.Now();
    // "ip netns exec" enters the namespace and then becomes the program: the signal reaches it directly.
    process.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                         QString::fromStdString(ns->Name()), program, QStringLiteral("-ToRunning")});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(recorder.WaitForBursts(start, 3, 30000))
        << recorder.Bursts(start, recorder.Now()).size() << " repetitions heard; "
        << process.readAllStandardError().toStdString();

    ASSERT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();
    const qint64 ended = recorder.Now();
    recorder.Record(1000);
    const QVector<Burst> after = recorder.Bursts(ended, recorder.Now());
    EXPECT_TRUE(after.isEmpty()) << "still sounding after the program ended";
    // The alert window went with the main window, and saved its settings as it went.
    const QSettings stored(sandbox.SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("snd_YellUntilInterrupted")).toString(), QStringLiteral("1"));
    EXPECT_EQ(stored.value(QStringLiteral("snd_SoundFile")).toString(), tone);
}
