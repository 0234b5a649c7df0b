// End to end: the built program, started with "-ToRunning" against 127.0.0.1, ended by SIGTERM after
// its first result; its whole LOG file is checked line by line.
#include "common/Product.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tevro::testing;

namespace {

const QString kFrame = QStringLiteral("||----------+--------------------------+--------------------------++");
const QString kHead = QStringLiteral("|| Downtime | First failed ping at     | First successful ping at ||");
const QString kStamp = QStringLiteral(R"(\d\d\.\d\d\.\d{4} \(\d\d:\d\d:\d\d\))");

bool Matches(const QString& line, const QString& pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(line).hasMatch();
}

} // namespace

TEST(StartupLoopbackTest, FirstResultThenSigtermGivesTheWholeLog) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: an ordinary user may not open ICMP sockets on this machine";

    TevroSandbox sandbox;
    ASSERT_TRUE(sandbox.IsValid());
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    const QString log = sandbox.Path(QStringLiteral("bin/tevro.log"));
    sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                           {QStringLiteral("Url_01"), QStringLiteral("127.0.0.1")},
                           {QStringLiteral("Count_01"), QStringLiteral("3")}});

    QProcess process;
    process.setProcessEnvironment(sandbox.Environment());
    process.start(program, {QStringLiteral("-ToRunning")});
    ASSERT_TRUE(process.waitForStarted());
    // An entry is one write, so its head line arrives together with its last line.
    ASSERT_TRUE(WaitForLog(
        log,
        [](const QStringList& lines) {
            return lines.join(QLatin1Char('\n')).contains(QStringLiteral("(SUCCESS)"));
        },
        30000))
        << ReadLogLines(log).join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(TerminateAndExpectCleanExit(process)) << process.readAllStandardError().toStdString();

    const QStringList lines = ReadLogLines(log);
    const QString loggedTo = kStamp + QStringLiteral(": All output will be logged to:");
    const QString logPath = QStringLiteral("   ## \"") + log + QStringLiteral("\".");
    const QStringList expected{
        QString(),
        QRegularExpression::escape(tevro::ProductLine() + QStringLiteral(".")),
        QString(),
        kStamp + QStringLiteral(R"(: The local time is UTC[+-]\d\d:\d\d\.)"),
        loggedTo,
        QRegularExpression::escape(logPath),
        QRegularExpression::escape(kFrame),
        QRegularExpression::escape(kHead),
        QRegularExpression::escape(kFrame),
        loggedTo, // the message log cleared by the switch to Running
        QRegularExpression::escape(logPath),
        QStringLiteral(R"(\(SUCCESS\) )") + kStamp + QStringLiteral(R"(: \[127\.0\.0\.1\].*:)"),
        QStringLiteral(R"(   ## Try #1: successful, DataSize=32, TTL=\d+, Time=\d+ ms\.)"),
        QStringLiteral(R"(   ## Try #2: successful, DataSize=32, TTL=\d+, Time=\d+ ms\.)"),
        QStringLiteral(R"(   ## Try #3: successful, DataSize=32, TTL=\d+, Time=\d+ ms\.)"),
        QStringLiteral(R"(   ## 3 request\(s\) total, 3 successful\. Min=\d+ ms, Max=\d+ ms, Mean=\d+ ms, )"
                       R"(Packet loss=0%\.)"),
        QRegularExpression::escape(kFrame), // closed by SIGTERM as by the close button
    };
    ASSERT_EQ(lines.size(), expected.size()) << lines.join(QLatin1Char('\n')).toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(Matches(lines.at(i), expected.at(i)))
            << "line " << i << ": " << lines.at(i).toStdString();
}
