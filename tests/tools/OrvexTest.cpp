// The extraction tool run as a program over LOG files written by the program's own writers.
#include "LogScanner.h"
#include "Spool.h"
#include "support/LogBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tevro::testing;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString err;
    QByteArray report; // the -o file, empty when none
};

class OrvexTest : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    ToolRun Orvex(const QStringList& arguments = {QStringLiteral("-oOrvex.Out")},
                  const char* output = "Orvex.Out") {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(ORVEX_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        ToolRun run;
        run.exitCode = process.exitCode();
        run.err = QString::fromUtf8(process.readAllStandardError());
        QFile file(Path(output));
        if (file.open(QIODevice::ReadOnly))
            run.report = file.readAll();
        return run;
    }

    static QDateTime At(int day, int hour, int minute) { return {QDate(2026, 12, day), QTime(hour, minute)}; }

    // One whole run of the program in `file`: start-up, the rounds `pings` writes, the end.
    void WriteRun(const char* file, const QDateTime& start, const std::function<void(LogBuilder&)>& pings) {
        LogBuilder log(Path(file), start);
        log.StartRun();
        pings(log);
        log.EndRun();
    }

    // The lines of a host's section, up to the next section.
    static QStringList Section(const QString& report, const QString& heading) {
        const QStringList lines = report.split(QStringLiteral("\r\n"));
        const qsizetype start = lines.indexOf(heading);
        if (start < 0)
            return {};
        QStringList section{heading};
        for (qsizetype i = start + 1; i < lines.size() && !lines[i].startsWith(QStringLiteral("Host ")) &&
                                      !lines[i].startsWith(QStringLiteral("Downtime table"));
             ++i)
            section << lines[i];
        return section;
    }

    // Lines and ping entries the scanner finds in `bytes` fed `piece` bytes at a time.
    static std::pair<std::uint64_t, int> Scan(const QByteArray& bytes, std::size_t piece) {
        struct Rounds final : orvex::ScanSink {
            void OnRound(const orvex::Round&) override { ++count; }
            void OnTableLine(std::string_view) override {}
            void OnPhaseStart() override {}
            void OnRunStart() override {}
            void OnTrace(const orvex::PathTrace&) override {}
            int count = 0;
        } rounds;
        orvex::LogScanner scanner(rounds);
        scanner.StartFile();
        const std::string_view all(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        for (std::size_t at = 0; at < all.size(); at += piece)
            scanner.Feed(all.substr(at, piece));
        scanner.EndFile();
        return {scanner.Counts().lines, rounds.count};
    }

    QTemporaryDir dir;
};

TEST_F(OrvexTest, OneHostDownForThreeRoundsWhileAnotherStaysUp) {
    LogBuilder log(Path("tevro.log"), At(7, 10, 0));
    log.StartRun(false);
    const int replyTimes[] = {10, 20, 30, 40, 50, 3000}; // one slow reply, counted apart from the fast ones
    for (int round = 0; round < 6; ++round) {
        if (round >= 1 && round <= 3) {
            log.Failure(QStringLiteral("gateway"));
            if (round == 1)
                log.PathTrace(QStringLiteral("gateway"));
        } else
            log.Success(QStringLiteral("gateway"));
        log.Success(QStringLiteral("mail.example"), {replyTimes[round]});
        log.Advance(300);
    }
    log.EndRun();

    const ToolRun run = Orvex();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString report = QString::fromUtf8(run.report);
    EXPECT_TRUE(
        report.contains(QStringLiteral("Period covered:   07.12.2026 (10:00:00) to 07.12.2026 (10:25:00)")));

    const QString down = Section(report, QStringLiteral("Host gateway")).join(QLatin1Char('\n'));
    EXPECT_TRUE(down.contains(QStringLiteral("Rounds pinged:    6\n"))) << down.toStdString();
    EXPECT_TRUE(down.contains(QStringLiteral("Failures:         3 ")));
    EXPECT_TRUE(down.contains(QStringLiteral("Availability:     50.00 %")));
    EXPECT_TRUE(down.contains(QStringLiteral("Mean packet loss: 50.0 %")));
    EXPECT_TRUE(down.contains(QStringLiteral(
        "Outages:          1 outage, total 00:15:00, longest 00:15:00 from 07.12.2026 (10:05:00)")));
    // One outage: first failed round, first successful round after it, length, rounds.
    EXPECT_TRUE(down.contains(QRegularExpression(
        QStringLiteral(R"(\n    07\.12\.2026 \(10:05:00\) +07\.12\.2026 \(10:20:00\) +00:15:00 +3(\n|$))"))))
        << down.toStdString();

    // Below the outages, the path traced when it went down.
    EXPECT_TRUE(
        down.endsWith(QStringLiteral("\n\n  Paths traced when it stopped answering: 1\n"
                                     "    07.12.2026 (10:05:00)\n"
                                     "      1  198.51.100.1  2 ms\n"
                                     "      2  *\n      3  *\n      4  *\n"
                                     "      Last answering hop: 1 (198.51.100.1); the last 3 hops did not "
                                     "answer.\n")))
        << down.toStdString();

    const QString up = Section(report, QStringLiteral("Host mail.example")).join(QLatin1Char('\n'));
    EXPECT_TRUE(up.contains(QStringLiteral("Availability:     100.00 %"))) << up.toStdString();
    EXPECT_TRUE(up.contains(QStringLiteral("Outages:          none")));
    EXPECT_FALSE(up.contains(QStringLiteral("Paths traced")));
    EXPECT_TRUE(up.contains(
        QStringLiteral("min 10 ms, median 30 ms, mean 525.0 ms, 95th percentile 3000 ms, max 3000 ms")))
        << up.toStdString();

    // The LOG's own table, in one piece: its head, a short row for each failed round (the other host's
    // success closes the period every time) and the closing frame line.
    const QStringList table = report.section(QStringLiteral("-------------\r\n"), -1)
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(table.size(), 7);
    for (const QString& line : table)
        EXPECT_TRUE(line.startsWith(QStringLiteral("||"))) << line.toStdString();
    EXPECT_TRUE(table[3].startsWith(QStringLiteral("|| 00:00:00 | Mon, 07.12.2026, 10:05:00 |")));

    const ToolRun csv = Orvex({QStringLiteral("--csv"), QStringLiteral("-oreport.csv")}, "report.csv");
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    const QStringList rows = QString::fromUtf8(csv.report).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_TRUE(rows[1].startsWith(
        QStringLiteral("host,gateway,2026-12-07 10:00:00,2026-12-07 10:25:00,900,6,3,3,0,")));
    EXPECT_EQ(rows[2],
              QStringLiteral("outage,gateway,2026-12-07 10:05:00,2026-12-07 10:20:00,900,3,,,,,,,,,,,,yes"));
    EXPECT_TRUE(rows[3].startsWith(QStringLiteral("host,mail.example,")));
    // Monitored all through: the closing frame comes after the last round.
    EXPECT_EQ(rows[4], QStringLiteral("period,,2026-12-07 10:00:00,2026-12-07 10:25:00,1500"));
    EXPECT_EQ(rows[5], QStringLiteral("coverage,,2026-12-07 10:00:00,2026-12-07 10:25:00,1500,,,,,100.00"));
}

TEST_F(OrvexTest, GenerationsAreReadOldestFirstAndRunsEndOutages) {
    // Three runs, oldest in generation 2; the hosts change between runs, and the second run ends while
    // gateway is down.
    const QString gatewayHost = QStringLiteral("gateway"), oldHost = QStringLiteral("old-host");
    WriteRun("tevro.log.002", At(5, 9, 0), [&](LogBuilder& log) {
        log.Failure(oldHost);
        log.Advance(60);
        log.Success(oldHost);
    });
    WriteRun("tevro.log.001", At(6, 9, 0), [&](LogBuilder& log) {
        log.Success(gatewayHost);
        log.Advance(60);
        log.Failure(gatewayHost);
    });
    WriteRun("tevro.log", At(7, 9, 0), [&](LogBuilder& log) {
        log.SocketError(gatewayHost);
        log.Advance(60);
        log.Success(gatewayHost);
    });

    const ToolRun run = Orvex();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString report = QString::fromUtf8(run.report);
    const qsizetype oldest = report.indexOf(QStringLiteral("\r\n  tevro.log.002 "));
    const qsizetype older = report.indexOf(QStringLiteral("\r\n  tevro.log.001 "));
    const qsizetype current = report.indexOf(QStringLiteral("\r\n  tevro.log "));
    EXPECT_TRUE(oldest > 0 && oldest < older && older < current) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Program runs:     3\r\n")));
    EXPECT_TRUE(
        report.contains(QStringLiteral("Period covered:   05.12.2026 (09:00:00) to 07.12.2026 (09:01:00)")));
    EXPECT_TRUE(report.indexOf(QStringLiteral("Host old-host")) <
                report.indexOf(QStringLiteral("Host gateway")));

    // The failure at the end of run 2 and the socket error at the start of run 3 are two outages: nobody
    // pinged the host in between.
    const QString gateway = Section(report, QStringLiteral("Host gateway")).join(QLatin1Char('\n'));
    EXPECT_TRUE(gateway.contains(QStringLiteral("Socket errors:    1 "))) << gateway.toStdString();
    EXPECT_TRUE(gateway.contains(QStringLiteral("06.12.2026 (09:01:00)  none (not pinged again)")));
    EXPECT_TRUE(gateway.contains(QRegularExpression(
        QStringLiteral(R"(07\.12\.2026 \(09:00:00\) +07\.12\.2026 \(09:01:00\) +00:01:00 +1)"))));

    // The table rows of all runs, oldest first.
    const qsizetype row5 = report.indexOf(QStringLiteral("|| 00:01:00 | Sat, 05.12.2026"));
    const qsizetype row6 = report.indexOf(QStringLiteral("| Sun, 06.12.2026, 09:01:00 |"));
    const qsizetype row7 = report.indexOf(QStringLiteral("|| 00:01:00 | Mon, 07.12.2026"));
    EXPECT_TRUE(row5 > 0 && row5 < row6 && row6 < row7) << report.toStdString();
}

TEST_F(OrvexTest, CutOffLastLineLfEndsAndForeignBytes) {
    WriteRun("tevro.log.001", At(6, 12, 0), [](LogBuilder& log) {
        log.Success(QStringLiteral("gateway"));
        log.Success(QStringLiteral("mail.example"));
    });
    LogBuilder log(Path("tevro.log"), At(7, 12, 0));
    log.StartRun();
    for (int round = 0; round < 3; ++round) {
        log.Success(QStringLiteral("gateway"));
        log.Advance(60);
    }

    // The older file with LF line ends, a host name in a foreign encoding and a line nobody knows.
    QFile older(Path("tevro.log.001"));
    ASSERT_TRUE(older.open(QIODevice::ReadWrite));
    QByteArray bytes = older.readAll();
    bytes.replace("\r\n", "\n").replace("mail.example", "mail\xE9.example").append("stray text\n");
    older.resize(0);
    older.write(bytes);
    older.close();
    // The program was killed while writing the last entry's summary.
    QFile current(Path("tevro.log"));
    ASSERT_TRUE(current.resize(current.size() - 12));

    const ToolRun run = Orvex();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.report.contains('\r')) << "lines end as in the LOG";
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString report = utf8.decode(run.report);
    EXPECT_FALSE(utf8.hasError());
    EXPECT_TRUE(report.contains(QStringLiteral("Host mail\uFFFD.example\n")));
    EXPECT_TRUE(
        report.contains(QRegularExpression(QStringLiteral("tevro.log.001 .*1 unknown line skipped\n"))));
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral("tevro.log  .* 2 ping entries, 1 incomplete entry skipped, last line cut off\n"))))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Rounds pinged:    3\n"))); // gateway: 1 + 2 whole rounds
}

TEST_F(OrvexTest, EditorsLineEndsAndLoneCrsEndLinesAsCrLfDoes) {
    WriteRun("tevro.log.001", At(6, 12, 0), [](LogBuilder& log) {
        log.Failure(QStringLiteral("gateway"));
        log.Advance(60);
        log.Success(QStringLiteral("gateway"));
        log.Success(QStringLiteral("mail.example"));
    });
    WriteRun("tevro.log", At(7, 12, 0), [](LogBuilder& log) {
        log.Success(QStringLiteral("gateway"));
        log.Failure(QStringLiteral("mail.example"));
    });
    // What the report says about the hosts, without the files' sizes.
    const auto hostsPart = [](const QByteArray& report) {
        return QString::fromUtf8(report).section(QStringLiteral("Program runs:"), 1);
    };
    const ToolRun asWritten = Orvex();
    ASSERT_EQ(asWritten.exitCode, 0) << asWritten.err.toStdString();

    // An editor that saved the LOG in text mode doubled its CRs; an old tool left lone CRs.
    const auto rewrite = [this](const char* name, const QByteArray& lineEnd) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll().replace("\r\n", lineEnd);
        file.resize(0);
        file.write(bytes);
    };
    rewrite("tevro.log.001", "\r\r\n");
    rewrite("tevro.log", "\r");
    const ToolRun rewritten = Orvex();
    ASSERT_EQ(rewritten.exitCode, 0) << rewritten.err.toStdString();
    // A line end split between two reads is still one line end.
    for (const char* name : {"tevro.log.001", "tevro.log"}) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(Scan(bytes, 1), Scan(bytes, static_cast<std::size_t>(bytes.size()))) << name;
    }
    const QString report = QString::fromUtf8(rewritten.report);
    EXPECT_FALSE(report.contains(QStringLiteral("skipped"))) << report.toStdString();
    EXPECT_EQ(hostsPart(rewritten.report), hostsPart(asWritten.report));
    EXPECT_TRUE(report.contains(QStringLiteral("Ping entries:     5 for 2 hosts\r\n")))
        << report.toStdString();
}

TEST_F(OrvexTest, TheReportNeverReplacesALogFileItReads) {
    WriteRun("tevro.log.001", At(6, 12, 0), [](LogBuilder& log) { log.Success(QStringLiteral("gateway")); });
    WriteRun("tevro.log", At(7, 12, 0), [](LogBuilder& log) { log.Success(QStringLiteral("gateway")); });
    ASSERT_TRUE(QFile::link(Path("tevro.log"), Path("report.txt")));
    const auto bytesOf = [this](const char* name) {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray log = bytesOf("tevro.log"), older = bytesOf("tevro.log.001");

    // The LOG under its own name, under another spelling, and through a link.
    for (const QString& output :
         QStringList{QStringLiteral("-otevro.log"), QStringLiteral("-o./tevro.log.001"),
                     QStringLiteral("-oreport.txt"), QStringLiteral("-o") + Path("tevro.log")}) {
        const ToolRun run = Orvex({output}, "none");
        EXPECT_EQ(run.exitCode, 2) << output.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("a LOG file it reads"))) << run.err.toStdString();
    }
    EXPECT_EQ(bytesOf("tevro.log"), log);
    EXPECT_EQ(bytesOf("tevro.log.001"), older);
    EXPECT_TRUE(QFileInfo(Path("report.txt")).isSymLink());
    EXPECT_EQ(Orvex().exitCode, 0) << "another file is fine";
}

TEST_F(OrvexTest, TheWordingFitsWhatEachHostHad) {
    WriteRun("tevro.log.001", At(6, 12, 0), [](LogBuilder& log) { log.Success(QStringLiteral("gateway")); });
    WriteRun("tevro.log", At(7, 12, 0), [](LogBuilder& log) {
        log.SocketError(QStringLiteral("nowhere.example"));
        log.Advance(60);
        log.SocketError(QStringLiteral("nowhere.example"));
        log.InvalidParameters(QStringLiteral("gateway"));
    });
    const ToolRun run = Orvex();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString report = QString::fromUtf8(run.report);
    EXPECT_TRUE(report.contains(
        QRegularExpression(QStringLiteral(R"(tevro\.log\.001 +\d+ bytes +1 ping entry\r\n)"))))
        << report.toStdString();
    EXPECT_TRUE(
        report.contains(QRegularExpression(QStringLiteral(R"(tevro\.log +\d+ bytes +3 ping entries\r\n)"))));

    // Nothing was sent to a name that never resolved: there is no loss to tell.
    const QString nowhere = Section(report, QStringLiteral("Host nowhere.example")).join(QLatin1Char('\n'));
    EXPECT_TRUE(nowhere.contains(QStringLiteral("Socket errors:    2 "))) << nowhere.toStdString();
    EXPECT_TRUE(nowhere.contains(QStringLiteral("Mean packet loss: none measured"))) << nowhere.toStdString();
    // A run stopped by its own parameters failed; the socket layer had nothing to do with it.
    const QString gateway = Section(report, QStringLiteral("Host gateway")).join(QLatin1Char('\n'));
    EXPECT_TRUE(gateway.contains(QStringLiteral("Failures:         1 "))) << gateway.toStdString();
    EXPECT_TRUE(gateway.contains(QStringLiteral("Socket errors:    0 ")));
    EXPECT_TRUE(gateway.contains(QStringLiteral("Mean packet loss: 50.0 %")));

    const ToolRun csv = Orvex({QStringLiteral("--csv"), QStringLiteral("-oreport.csv")}, "report.csv");
    EXPECT_TRUE(csv.report.contains(
        "nowhere.example,2026-12-07 12:00:00,2026-12-07 12:01:00,60,2,0,0,2,0.00,,,,,,,1,\r\n"))
        << csv.report.toStdString(); // no loss figure
}

// Rounds made while the local network was down count for no host; the outage and a sleep are listed with
// their lengths, and the coverage line leaves both out of the monitored time.
TEST_F(OrvexTest, LocalOutagesAndSleepAreNoHostsOutages) {
    const QString a = QStringLiteral("gateway"), b = QStringLiteral("mail.example");
    LogBuilder log(Path("tevro.log"), At(7, 10, 0));
    log.StartRun(false);
    log.Info(QStringLiteral("The local time is UTC+01:00"));
    log.Success(a);
    log.Success(b);
    for (int round = 0; round < 2; ++round) { // 10:05 and 10:10: the client's link is down
        log.Advance(300);
        log.Failure(a);
        log.Failure(b);
        if (round == 0)
            log.Info(QStringLiteral("The local network is down: no route to 192.0.2.1 and 192.0.2.2"));
    }
    log.Advance(300); // 10:15: back, and gateway fails by itself
    log.Failure(a);
    log.Success(b);
    log.Info(QStringLiteral("The local network is back after 00:10:00"));
    log.Advance(60);
    log.Info(QStringLiteral("The computer goes to sleep"));
    log.Advance(1800);
    log.Info(QStringLiteral("The computer woke up after 00:30:00"));
    log.Success(a); // 10:46
    log.Success(b);
    log.EndRun();

    const ToolRun run = Orvex();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString report = QString::fromUtf8(run.report);
    EXPECT_TRUE(report.contains(QStringLiteral(
        "Coverage:         00:06:00 monitored of the period's 00:46:00 (13.0 %)\r\n"
        "                  not monitored: local network down 00:10:00, computer asleep 00:30:00\r\n")))
        << report.toStdString();
    EXPECT_TRUE(
        report.contains(QStringLiteral("    07.12.2026 (10:05:00)  07.12.2026 (10:15:00)   00:10:00     "
                                       "no route to 192.0.2.1 and 192.0.2.2\r\n")));
    EXPECT_TRUE(
        report.contains(QStringLiteral("    07.12.2026 (10:16:00)  07.12.2026 (10:46:00)   00:30:00\r\n")));

    const QString gateway = Section(report, QStringLiteral("Host gateway")).join(QLatin1Char('\n'));
    EXPECT_TRUE(gateway.contains(QStringLiteral("Rounds pinged:    3\n"))) << gateway.toStdString();
    EXPECT_TRUE(gateway.contains(QStringLiteral("Availability:     66.67 % of rounds\n")));
    EXPECT_TRUE(
        gateway.contains(QStringLiteral("Not counted:      2 rounds while the local network was down")));
    // Its outage spans the sleep, which is nobody's time.
    EXPECT_TRUE(gateway.contains(QRegularExpression(
        QStringLiteral(R"(\n    07\.12\.2026 \(10:15:00\) +07\.12\.2026 \(10:46:00\) +00:01:00 +1)"))))
        << gateway.toStdString();
    const QString mail = Section(report, QStringLiteral("Host mail.example")).join(QLatin1Char('\n'));
    EXPECT_TRUE(mail.contains(QStringLiteral("Availability:     100.00 % of rounds\n")))
        << mail.toStdString();
    EXPECT_TRUE(mail.contains(QStringLiteral("Outages:          none")));

    const ToolRun csv = Orvex({QStringLiteral("--csv"), QStringLiteral("-oreport.csv")}, "report.csv");
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    const QStringList rows = QString::fromUtf8(csv.report).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_TRUE(rows.contains(QStringLiteral("period,,2026-12-07 10:00:00,2026-12-07 10:46:00,2760")));
    EXPECT_TRUE(
        rows.contains(QStringLiteral("coverage,,2026-12-07 10:00:00,2026-12-07 10:46:00,360,,,,,13.04")));
    EXPECT_TRUE(rows.contains(QStringLiteral("local_outage,no route to 192.0.2.1 and 192.0.2.2,"
                                             "2026-12-07 10:05:00,2026-12-07 10:15:00,600,,,,,,,,,,,,,yes")))
        << csv.report.toStdString();
    EXPECT_TRUE(
        rows.contains(QStringLiteral("sleep,,2026-12-07 10:16:00,2026-12-07 10:46:00,1800,,,,,,,,,,,,,yes")));
}

TEST_F(OrvexTest, TooFewDataWritesNothing) {
    const ToolRun noLog = Orvex();
    EXPECT_EQ(noLog.exitCode, 1);
    EXPECT_TRUE(noLog.err.contains(QStringLiteral("no LOG file \"tevro.log\""))) << noLog.err.toStdString();

    LogBuilder log(Path("tevro.log"), At(7, 12, 0));
    log.StartRun();
    log.EndRun();
    QFile earlier(Path("Orvex.Out"));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier report");
    earlier.close();

    const ToolRun run = Orvex();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("too few data"))) << run.err.toStdString();
    EXPECT_EQ(run.report, QByteArray("an earlier report"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file left";
}

} // namespace

// Outages of a long LOG leave memory for the disk; either way each host's come back together, in LOG order.
TEST(OutageStoreTest, OutagesComeBackByHostInLogOrderFromMemoryAndFromDisk) {
    for (const std::size_t inMemory : {std::size_t{100}, std::size_t{2}}) {
        orvex::OutageStore store(inMemory);
        for (std::uint32_t i = 0; i < 10; ++i)
            store.Add({i % 3, i, std::int64_t{i}, std::int64_t{i} + 60, 1});
        std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
        ASSERT_TRUE(store.ForEachByHost(
            {4, 3, 3}, [&](const orvex::Outage& o) { seen.emplace_back(o.host, o.rounds); }));
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
            {0, 0}, {0, 3}, {0, 6}, {0, 9}, {1, 1}, {1, 4}, {1, 7}, {2, 2}, {2, 5}, {2, 8}};
        EXPECT_EQ(seen, expected) << "kept in memory: " << inMemory;
    }

    // Enough on disk that a host's outages go to their place in several blocks.
    orvex::OutageStore store(2);
    constexpr std::uint32_t kCount = 30000;
    std::vector<std::uint64_t> perHost(2);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        const std::uint32_t host = i % 7 == 0 ? 0 : 1;
        ++perHost[host];
        store.Add({host, i, std::int64_t{i}, std::int64_t{i} + 60, 1});
    }
    std::vector<std::uint32_t> order[2];
    ASSERT_TRUE(
        store.ForEachByHost(perHost, [&](const orvex::Outage& o) { order[o.host].push_back(o.rounds); }));
    ASSERT_EQ(order[0].size(), perHost[0]);
    ASSERT_EQ(order[1].size(), perHost[1]);
    EXPECT_TRUE(std::is_sorted(order[0].begin(), order[0].end()));
    EXPECT_TRUE(std::is_sorted(order[1].begin(), order[1].end()));
    EXPECT_EQ(order[1].back(), kCount - 1);
}
