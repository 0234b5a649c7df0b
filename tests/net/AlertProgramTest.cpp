// End to end: the built program pings 127.0.0.1 in a namespace whose loopback is down, so every ping
// fails and raises the alert; the program is ended by SIGTERM, as a logout would.
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

namespace {

class AlertProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsRoot())
            GTEST_SKIP() << "needs root: the failing host lives in a network namespace";
        std::string error;
        m_namespace = NetNamespace::Create("tevro-alert", "down", &error);
        ASSERT_TRUE(m_namespace) << error;
        ASSERT_EQ(m_namespace->Exec({"ip", "link", "set", "lo", "down"}).exitCode, 0);
        m_program = m_sandbox.InstallProgram(QStringLiteral("tevro"));
        ASSERT_FALSE(m_program.isEmpty());
    }

    // Starts the program with a failing host and alerts on; `pulseServer` is where its sound goes.
    void Start(const QMap<QString, QString>& alertSettings, const QString& pulseServer) {
        QMap<QString, QString> values{{QStringLiteral("Active_01"), QStringLiteral("1")},
                                      {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")},
                                      {QStringLiteral("Count_01"), QStringLiteral("1")},
                                      {QStringLiteral("TimeOut_01"), QStringLiteral("500")},
                                      {QStringLiteral("AlertEnabled"), QStringLiteral("1")}};
        values.insert(alertSettings);
        m_sandbox.WriteSettings(values);
        QProcessEnvironment env = m_sandbox.Environment();
        env.insert(QStringLiteral("PULSE_SERVER"), pulseServer);
        process.setProcessEnvironment(env);
        // "ip netns exec" enters the namespace and then becomes the program: signals reach it directly.
        process.start(QStringLiteral("ip"),
                      {QStringLiteral("netns"), QStringLiteral("exec"),
                       QString::fromStdString(m_namespace->Name()), m_program, QStringLiteral("-ToRunning")});
        ASSERT_TRUE(process.waitForStarted());
    }

    QString Stored(const char* name) const {
        return QSettings(m_sandbox.SettingsFile(), QSettings::IniFormat)
            .value(QString::fromLatin1(name))
            .toString();
    }

    TevroSandbox m_sandbox;
    QString m_program;
    std::unique_ptr<NetNamespace> m_namespace;
    QProcess process;
};

TEST_F(AlertProgramTest, EndingTheProgramSilencesAYellingAlert) {
    QString why;
    const std::unique_ptr<SoundLab> lab = SoundLab::Start(&why);
    if (!lab)
        GTEST_SKIP() << "no sound server of the test's own: " << why.toStdString();
    SoundRecorder recorder(*lab);
    ASSERT_TRUE(recorder.Start(&why)) << why.toStdString();
    const QString tone = m_sandbox.Path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(tevro::test::WriteToneWav(tone, 250, 250));

    const qint64 start = recorder.Now();
    Start({{QStringLiteral("snd_SoundFile"), tone},
           {QStringLiteral("snd_YellUntilInterrupted"), QStringLiteral("1")}},
          lab->ServerAddress());
    ASSERT_TRUE(recorder.WaitForBursts(start, 3, 30000))
        << "heard " << Describe(recorder.Bursts(start, recorder.Now()))
        << process.readAllStandardError().toStdString();

    ASSERT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();
    // What the recorder hears in the first 100 ms after the end was played before it: the sound server
    // and the recorder each buffer a few tens of milliseconds.
    const qint64 ended = recorder.Now() + 100;
    recorder.Record(1000);
    EXPECT_TRUE(recorder.Bursts(ended, recorder.Now()).isEmpty())
        << "still sounding after the program ended: " << Describe(recorder.Bursts(ended, recorder.Now()));
    // The alert window went with the main window, and saved its settings as it went.
    EXPECT_EQ(Stored("snd_SoundFile"), tone);
}

TEST_F(AlertProgramTest, WithoutASoundServerTheAlertStillComesAndNothingHangs) {
    Start({}, QStringLiteral("unix:") + m_sandbox.Path(QStringLiteral("no-server")));
    const QString log = m_sandbox.Path(QStringLiteral("bin/tevro.log"));
    ASSERT_TRUE(WaitForLog(
        log,
        [](const QStringList& lines) {
            return lines.join(QLatin1Char('\n')).contains(QStringLiteral("(FAILED)"));
        },
        30000));
    ASSERT_TRUE(TerminateAndExpectCleanExit(process));
    // The offscreen platform the test runs on says it cannot pass size hints on; no desktop's does.
    QStringList errors = QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    errors.removeIf([](const QString& line) { return line.contains(QStringLiteral("propagateSizeHints")); });
    EXPECT_LE(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    // Only an alert window writes these, as it is destroyed.
    EXPECT_EQ(Stored("snd_YellUntilInterrupted"), QStringLiteral("0"));
}

} // namespace
