// The built program started and stopped as a user would: its LOG from start to close, one copy per
// program file, the "-ToRunning" switch, and an end by signal that keeps the closing lines.
#include "common/Product.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tevro::testing;

namespace {

constexpr int kWaitMs = 15000;
const QString kFrame = QStringLiteral("||----------+--------------------------+--------------------------++");
const QString kHead = QStringLiteral("|| Downtime | First failed ping at     | First successful ping at ||");
const QString kLoggedTo = QStringLiteral("All output will be logged to:");

// The head is the LOG's last line but one while a freshly started copy sits Inactive; a LOG left by an
// earlier run ends with the closing frame instead.
bool StartedInactive(const QStringList& lines) {
    return lines.size() >= 2 && lines.at(lines.size() - 2) == kHead;
}

int CountContaining(const QStringList& lines, const QString& text) {
    int count = 0;
    for (const QString& line : lines)
        count += line.contains(text) ? 1 : 0;
    return count;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.IsValid());
        program = sandbox.InstallProgram(QStringLiteral("tevro"));
        ASSERT_FALSE(program.isEmpty());
        log = sandbox.Path(QStringLiteral("bin/tevro.log"));
    }

    void Start(QProcess& process, const QString& path, const QStringList& arguments = {}) {
        process.setProcessEnvironment(sandbox.Environment());
        process.setWorkingDirectory(sandbox.Path(QString()));
        process.start(path, arguments);
        ASSERT_TRUE(process.waitForStarted()) << process.errorString().toStdString();
    }

    // Starts the program, waits for its table head, ends it by SIGTERM, and returns the LOG.
    QStringList RunOnce(const QStringList& arguments = {}) {
        QProcess process;
        Start(process, program, arguments);
        EXPECT_TRUE(WaitForLog(log, StartedInactive, kWaitMs));
        EXPECT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();
        return ReadLogLines(log);
    }

    // A slot 1 that can be pinged, so that "-ToRunning" can act.
    void ConfigureLoopbackSlot() {
        sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                               {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")}});
    }

    TevroSandbox sandbox;
    QString program;
    QString log;
};

} // namespace

TEST_F(StartupTest, LogOfAStartAndACloseThenRotation) {
    const QStringList first = RunOnce();
    ASSERT_EQ(first.size(), 10) << first.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(first.mid(0, 3),
              (QStringList{QString(), tevro::ProductLine() + QStringLiteral("."), QString()}));
    // The LOG's local times carry no zone: this entry names it.
    EXPECT_TRUE(first.at(3).contains(
        QRegularExpression(QStringLiteral(R"(: The local time is UTC[+-]\d\d:\d\d\.$)"))))
        << first.at(3).toStdString();
    EXPECT_TRUE(first.at(4).contains(kLoggedTo));
    EXPECT_TRUE(first.at(5).contains(QLatin1Char('"') + log + QLatin1Char('"'))) << first.at(5).toStdString();
    EXPECT_EQ(first.mid(6), (QStringList{kFrame, kHead, kFrame, kFrame}));
    EXPECT_TRUE(QFileInfo::exists(sandbox.SettingsFile())) << "settings are saved on a close by signal";

    const QStringList second = RunOnce();
    EXPECT_EQ(ReadLogLines(log + QStringLiteral(".001")), first);
    ASSERT_GE(second.size(), 5);
    EXPECT_EQ(second.at(3), QStringLiteral("Previous LOG(s) rotated successfully."));
    EXPECT_EQ(second.at(4), QString());
}

TEST_F(StartupTest, SecondCopyIsRefusedWithoutTouchingTheFirstOnesFiles) {
    ConfigureLoopbackSlot();
    QProcess first;
    Start(first, program);
    ASSERT_TRUE(WaitForLog(log, StartedInactive, kWaitMs));
    const QByteArray logBefore = FileBytes(log);
    const QByteArray settingsBefore = FileBytes(sandbox.SettingsFile());

    QProcess second;
    Start(second, program, {QStringLiteral("-ToRunning")});
    second.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("Program allready active") && second.waitForReadyRead(kWaitMs))
        said += second.readAllStandardError();
    EXPECT_TRUE(said.contains("** ERROR **\n\nProgram allready active: no multiple instances allowed!"))
        << said.toStdString();
    // It waits at its message box; a kill ends it there, as cleanly as the OK button would.
    EXPECT_TRUE(TerminateAndExpectCleanExit(second));

    EXPECT_EQ(FileBytes(log), logBefore);
    EXPECT_EQ(FileBytes(sandbox.SettingsFile()), settingsBefore);
    EXPECT_FALSE(QFileInfo::exists(log + QStringLiteral(".001")));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(TerminateAndExpectCleanExit(first));
}

TEST_F(StartupTest, CopyUnderAnotherFileNameRunsAlongside) {
    const QString other = sandbox.InstallProgram(QStringLiteral("Tevro-Backup"));
    QProcess first;
    QProcess second;
    Start(first, program);
    Start(second, other);
    EXPECT_TRUE(WaitForLog(log, StartedInactive, kWaitMs));
    EXPECT_TRUE(WaitForLog(sandbox.Path(QStringLiteral("bin/tevro-backup.log")), StartedInactive, kWaitMs));
    EXPECT_TRUE(TerminateAndExpectCleanExit(second));
    EXPECT_TRUE(TerminateAndExpectCleanExit(first));
}

TEST_F(StartupTest, ToRunningAsFirstParameterInAnyCase) {
    ConfigureLoopbackSlot();
    for (const QString& spelling : {QStringLiteral("-TORUNNING"), QStringLiteral("-torunning")}) {
        QFile::remove(log);
        QProcess process;
        Start(process, program, {spelling});
        // Switching to Running clears the message log, which writes its header entry again.
        EXPECT_TRUE(WaitForLog(
            log, [](const QStringList& lines) { return CountContaining(lines, kLoggedTo) == 2; }, kWaitMs))
            << spelling.toStdString();
        EXPECT_TRUE(TerminateAndExpectCleanExit(process));
        const QStringList lines = ReadLogLines(log);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.last(), kFrame) << "the table is closed on the way out";
        QFile::remove(log + QStringLiteral(".001"));
    }
}

TEST_F(StartupTest, ToRunningIgnoredAsSecondParameterOrWithoutAHost) {
    ConfigureLoopbackSlot();
    EXPECT_EQ(CountContaining(RunOnce({QStringLiteral("x"), QStringLiteral("-ToRunning")}), kLoggedTo), 1);
    EXPECT_EQ(CountContaining(RunOnce({QStringLiteral("-ToRunning ")}), kLoggedTo), 1) << "no trimming";

    // A first run: every row empty, nothing to rotate.
    QFile::remove(sandbox.SettingsFile());
    QFile::remove(log);
    const QStringList lines = RunOnce({QStringLiteral("-ToRunning")});
    EXPECT_EQ(CountContaining(lines, kLoggedTo), 1);
    EXPECT_EQ(lines.size(), 10) << "nothing but the start (with the UTC offset) and the close";
}

TEST_F(StartupTest, EveryExitSignalClosesLikeTheCloseButton) {
    for (const int signalNumber : {SIGINT, SIGHUP}) {
        QProcess process;
        Start(process, program);
        ASSERT_TRUE(WaitForLog(log, StartedInactive, kWaitMs));
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signalNumber), 0);
        EXPECT_TRUE(process.waitForFinished(kWaitMs));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signalNumber;
        EXPECT_EQ(process.exitCode(), 0) << signalNumber;
        EXPECT_EQ(ReadLogLines(log).last(), kFrame) << signalNumber;
    }
}

TEST_F(StartupTest, UnknownArgumentsAreNamedAndTheProgramStarts) {
    QProcess process;
    Start(process, program, {QStringLiteral("--ToRunning"), QStringLiteral("-ToRunnin")});
    EXPECT_TRUE(WaitForLog(log, StartedInactive, kWaitMs));
    EXPECT_TRUE(TerminateAndExpectCleanExit(process));
    const QStringList said = QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n');
    for (const char* argument : {"\"--ToRunning\"", "\"-ToRunnin\""}) {
        const auto line = std::find_if(said.begin(), said.end(), [argument](const QString& l) {
            return l.contains(QString::fromLatin1(argument));
        });
        ASSERT_NE(line, said.end()) << argument << " in " << said.join(u'\n').toStdString();
        EXPECT_TRUE(line->contains(QStringLiteral("-ToRunning,"))) << line->toStdString();
    }
}

// A logout while the start-up error box waits: the box goes, the program ends as usual and at once.
TEST_F(StartupTest, SigtermDismissesAnOpenBoxAndEndsAsUsual) {
    QDir().mkpath(QFileInfo(sandbox.SettingsFile()).absolutePath());
    QFile settings(sandbox.SettingsFile());
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nUrl_01=a, b\nActive_02=1\nUrl_02=192.0.2.1\n");
    settings.close();
    QProcess process;
    Start(process, program);
    process.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("Url_01: found") && process.waitForReadyRead(kWaitMs))
        said += process.readAllStandardError();
    ASSERT_TRUE(said.contains("Url_01: found \"a, b\"")) << said.toStdString();
    QElapsedTimer ending;
    ending.start();
    EXPECT_TRUE(TerminateAndExpectCleanExit(process, 2000));
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(ReadLogLines(log).last(), kFrame);
    EXPECT_TRUE(QFileInfo::exists(sandbox.SettingsFile() + QStringLiteral(".bak")));
    EXPECT_TRUE(FileBytes(sandbox.SettingsFile()).contains("Url_02=192.0.2.1"));
}

// Root may write anywhere the permissions say no, so a read-only mount (in a mount namespace of the
// program's own) is what makes the program's folder unwritable for it.
TEST_F(StartupTest, AnUnwritableProgramFolderSendsTheLogToTheUserFolder) {
    const QString bin = sandbox.Path(QStringLiteral("bin"));
    QProcess process;
    if (::geteuid() == 0) {
        const QString script = QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
                                              "exec \"$1/tevro\"");
        Start(process, QStringLiteral("unshare"),
              {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
               QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), bin});
    } else {
        QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        Start(process, program);
    }
    const QString userLog = sandbox.Path(QStringLiteral("data/Tevro/tevro.log"));
    EXPECT_TRUE(WaitForLog(userLog, StartedInactive, kWaitMs)) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();
    QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(QDir(bin).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tevro")});
    EXPECT_TRUE(ReadLogLines(userLog).join(u'\n').contains(userLog));
}

// An autostarted copy with values it cannot use: the error box holds nothing up, the LOG names the
// replaced values, and "-ToRunning" runs the first round at once.
TEST_F(StartupTest, UnusableSettingsDoNotHoldUpTheFirstRound) {
    QDir().mkpath(QFileInfo(sandbox.SettingsFile()).absolutePath());
    QFile settings(sandbox.SettingsFile());
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nActive_01=1\nUrl_01=127.0.0.1\nCount_01=1\nTimeOut_01=500\nDataSize_01=big\n"
                   "PingEvery=soon\n");
    settings.close();
    QProcess process;
    Start(process, program, {QStringLiteral("-ToRunning")});
    // Whatever the ping may do here (an answer, or no socket for an ordinary user), the round has an entry.
    const QRegularExpression firstRound(
        QStringLiteral(R"(^\((SUCCESS|FAILED|SOCKET_ERROR)\) .*\[127\.0\.0\.1\])"));
    const bool ran = WaitForLog(
        log, [&](const QStringList& lines) { return !lines.filter(firstRound).isEmpty(); }, kWaitMs);
    EXPECT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();
    const QStringList lines = ReadLogLines(log);
    EXPECT_TRUE(ran) << lines.join(u'\n').toStdString();
    const QString text = lines.join(u'\n');
    EXPECT_TRUE(text.contains(QStringLiteral("DataSize_01: found \"big\", using \"32\"")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("PingEvery: found \"soon\", using \"1\"")))
        << text.toStdString();
}
