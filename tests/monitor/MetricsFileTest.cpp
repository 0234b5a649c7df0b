// The figures for Prometheus: what a sequence of rounds gives, checked by Prometheus's own promtool;
// the file replaced atomically under a reader's eyes; and the README's rules and scrape configuration.
#include "monitor/MetricsFile.h"

#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace tevro {
namespace {

PingResult Round(int code, std::vector<std::int64_t> repliesUs, int requests,
                 std::optional<IpFamily> family) {
    PingResult result;
    result.ResultCode = code;
    result.RepliesUs = std::move(repliesUs);
    result.Requests = requests;
    result.Family = family;
    return result;
}

// Runs promtool with `arguments`, `input` on its standard input; its exit code and what it said.
std::pair<int, QString> Promtool(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start(QStringLiteral("promtool"), arguments);
    if (!promtool.waitForStarted())
        return {-1, QStringLiteral("promtool did not start")};
    promtool.write(input);
    promtool.closeWriteChannel();
    promtool.waitForFinished(30000);
    return {promtool.exitCode(), QString::fromUtf8(promtool.readAll())};
}

bool HavePromtool() {
    return !QStandardPaths::findExecutable(QStringLiteral("promtool")).isEmpty();
}

QStringList SampleLines(const QByteArray& text, const QString& metric) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n')))
        if (line.startsWith(metric + QLatin1Char('{')) || line.startsWith(metric + QLatin1Char(' ')))
            lines << line;
    return lines;
}

TEST(PrometheusMetrics, RoundsGiveCountersAndAHistogramThatPromtoolAccepts) {
    PrometheusMetrics metrics;
    metrics.SetProgramState({true, std::nullopt, std::nullopt});
    // Replies on the bounds count in their bucket; one beyond 8 s only in +Inf.
    metrics.RecordRound(1, QStringLiteral("localhost"),
                        Round(PING_SUCCESS, {100, 150, 1000}, 3, IpFamily::V4), 1'700'000'000'123);
    metrics.RecordRound(1, QStringLiteral("localhost"), Round(PING_SUCCESS, {8'000'001}, 2, IpFamily::V4),
                        1'700'000'060'000);
    const QString odd = QStringLiteral("a\"b\\c\nd");
    metrics.RecordRound(3, odd, Round(SOCKET_ERROR, {}, 0, std::nullopt), 1'700'000'061'500);
    const QByteArray text = metrics.Exposition();

    const QString one = QStringLiteral("slot=\"1\",host=\"localhost\",family=\"ipv4\"");
    const QString three = QStringLiteral("slot=\"3\",host=\"a\\\"b\\\\c\\nd\",family=\"ipv4\"");
    EXPECT_EQ(SampleLines(text, QStringLiteral("tevro_running")),
              QStringList{QStringLiteral("tevro_running 1")});
    EXPECT_EQ(SampleLines(text, QStringLiteral("tevro_host_up")),
              (QStringList{QStringLiteral("tevro_host_up{%1} 1").arg(one),
                           QStringLiteral("tevro_host_up{%1} 0").arg(three)}));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_rounds_total{%1} 2\n").arg(one).toUtf8()));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_failed_rounds_total{%1} 1\n").arg(three).toUtf8()));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_requests_total{%1} 5\n").arg(one).toUtf8()));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_replies_total{%1} 4\n").arg(one).toUtf8()));
    const QStringList buckets = SampleLines(text, QStringLiteral("tevro_reply_seconds_bucket")).filter(one);
    ASSERT_EQ(buckets.size(), 17);
    EXPECT_EQ(buckets.first(), QStringLiteral("tevro_reply_seconds_bucket{%1,le=\"0.0001\"} 1").arg(one));
    EXPECT_EQ(buckets.at(2), QStringLiteral("tevro_reply_seconds_bucket{%1,le=\"0.0005\"} 2").arg(one));
    EXPECT_EQ(buckets.at(3), QStringLiteral("tevro_reply_seconds_bucket{%1,le=\"0.001\"} 3").arg(one));
    EXPECT_EQ(buckets.at(15), QStringLiteral("tevro_reply_seconds_bucket{%1,le=\"8\"} 3").arg(one));
    EXPECT_EQ(buckets.at(16), QStringLiteral("tevro_reply_seconds_bucket{%1,le=\"+Inf\"} 4").arg(one));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_reply_seconds_sum{%1} 8.001251\n").arg(one).toUtf8()));
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_reply_seconds_count{%1} 4\n").arg(one).toUtf8()));
    EXPECT_TRUE(text.contains(
        QStringLiteral("tevro_last_round_timestamp_seconds{%1} 1700000061.5\n").arg(three).toUtf8()));
    EXPECT_FALSE(text.contains("tevro_local_network_up")) << "a state not judged is left out";

    if (!HavePromtool())
        GTEST_SKIP() << "promtool is not installed (package prometheus)";
    const auto [code, said] = Promtool({QStringLiteral("check"), QStringLiteral("metrics")}, text);
    EXPECT_EQ(code, 0) << said.toStdString() << "\n" << text.toStdString();
    EXPECT_TRUE(said.trimmed().isEmpty()) << "lint: " << said.toStdString();

    // The program's further states, once judged, pass the same checks; no host yet gives no host metrics.
    PrometheusMetrics program;
    program.SetProgramState({false, true, false});
    const QByteArray alone = program.Exposition();
    EXPECT_EQ(SampleLines(alone, QStringLiteral("tevro_local_network_up")),
              QStringList{QStringLiteral("tevro_local_network_up 1")});
    EXPECT_FALSE(alone.contains("tevro_host_up"));
    const auto [exitAlone, saidAlone] = Promtool({QStringLiteral("check"), QStringLiteral("metrics")}, alone);
    EXPECT_EQ(exitAlone, 0) << saidAlone.toStdString();
    EXPECT_TRUE(saidAlone.trimmed().isEmpty()) << saidAlone.toStdString();
}

TEST(PrometheusMetrics, ASlotsSeriesFollowsItsHost) {
    PrometheusMetrics metrics;
    const QString six = QStringLiteral("slot=\"2\",host=\"six\",family=\"ipv6\"");
    metrics.RecordRound(2, QStringLiteral("six"), Round(PING_SUCCESS, {500}, 1, IpFamily::V6), 0);
    // The name did not resolve this time: the failure still counts against the host's IPv6 series.
    metrics.RecordRound(2, QStringLiteral("six"), Round(SOCKET_ERROR, {}, 0, std::nullopt), 0);
    QByteArray text = metrics.Exposition();
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_rounds_total{%1} 2\n").arg(six).toUtf8()))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("tevro_host_up{%1} 0\n").arg(six).toUtf8()));

    // Another host in the row starts again from zero; an IPv6 literal that never resolved is IPv6.
    metrics.RecordRound(2, QStringLiteral("fd00::1"), Round(SOCKET_ERROR, {}, 0, std::nullopt), 0);
    text = metrics.Exposition();
    EXPECT_FALSE(text.contains("host=\"six\""));
    EXPECT_TRUE(text.contains("tevro_rounds_total{slot=\"2\",host=\"fd00::1\",family=\"ipv6\"} 1\n"));

    metrics.Forget(2);
    EXPECT_FALSE(metrics.Exposition().contains("slot=\"2\""));
}

using test::FileSizeLimit;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(MetricsFileWrite, AReaderNeverSeesAPartialFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tevro.prom"));
    // Versions of very different lengths, each of which says how long it is.
    const auto version = [](int n) {
        const int lines = 1 + (n * 37) % 400;
        QByteArray text = "# lines " + QByteArray::number(lines) + "\n";
        for (int i = 0; i < lines; ++i)
            text +=
                "tevro_rounds_total{slot=\"1\",host=\"h\",family=\"ipv4\"} " + QByteArray::number(n) + "\n";
        return text;
    };
    ASSERT_TRUE(WriteFileAtomically(path, version(0)));

    std::atomic<bool> writing{true};
    std::atomic<int> reads{0};
    std::atomic<int> partial{0};
    QByteArray firstPartial;
    std::thread reader([&] {
        while (writing) {
            const QByteArray seen = ReadAll(path);
            ++reads;
            const QList<QByteArray> lines = seen.split('\n');
            const bool whole = seen.startsWith("# lines ") && seen.endsWith('\n') &&
                               lines.size() == lines.first().mid(8).toInt() + 2;
            if (!whole && partial++ == 0)
                firstPartial = seen;
        }
    });
    int failed = 0;
    for (int n = 1; n <= 1000; ++n)
        failed += WriteFileAtomically(path, version(n)) ? 0 : 1;
    writing = false;
    reader.join();
    EXPECT_EQ(failed, 0);
    EXPECT_GT(reads, 100) << "the reader hardly looked";
    EXPECT_EQ(partial, 0) << firstPartial.left(200).toStdString();
    EXPECT_EQ(ReadAll(path), version(1000));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("tevro.prom")})
        << "no temporary file stays behind";
}

TEST(MetricsFileWrite, AFailureLeavesTheOldFileWholeAndIsToldOnceUntilRecovery) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tevro.prom"));
    const QByteArray old = "tevro_running 1\n";
    ASSERT_TRUE(WriteFileAtomically(path, old));
    // The user's permissions stay.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    MetricsWriteState state;
    EXPECT_EQ(state.Write(path, old), MetricsWriteState::Change::None);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A full disk in the middle of the new text: the old file stays as it was.
    {
        FileSizeLimit limit(1000);
        EXPECT_EQ(state.Write(path, QByteArray(5000, '#')), MetricsWriteState::Change::FirstFailure);
        EXPECT_EQ(state.Write(path, QByteArray(5000, '#')), MetricsWriteState::Change::None);
    }
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(state.LastError(), QStringLiteral("\"%1\": File too large").arg(path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("tevro.prom")});

    // A folder that does not exist, then a folder in the file's place: named, and nothing created.
    const QString missing = dir.filePath(QStringLiteral("nowhere/tevro.prom"));
    EXPECT_EQ(state.Write(missing, old), MetricsWriteState::Change::None);
    EXPECT_EQ(state.LastError(), QStringLiteral("\"%1\": No such file or directory").arg(missing));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("nowhere/tevro.prom")));
    EXPECT_EQ(state.Write(missing, old), MetricsWriteState::Change::None);
    EXPECT_EQ(state.LastError(), QStringLiteral("\"%1\": Is a directory").arg(missing));

    EXPECT_EQ(state.Write(path, "tevro_running 0\n"), MetricsWriteState::Change::Recovered);
    EXPECT_EQ(state.Failures(), 4);
    EXPECT_EQ(ReadAll(path), QByteArray("tevro_running 0\n"));

    // A link into the collector's folder stays a link; its target is replaced.
    const QString link = dir.filePath(QStringLiteral("link.prom"));
    ASSERT_TRUE(QFile::link(path, link));
    EXPECT_TRUE(WriteFileAtomically(link, "tevro_running 1\n"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(path), QByteArray("tevro_running 1\n"));
}

// The README's alerting rules and scrape configuration are what Prometheus accepts.
TEST(MetricsReadme, RulesAndScrapeConfigurationPassPromtool) {
    if (!HavePromtool())
        GTEST_SKIP() << "promtool is not installed (package prometheus)";
    const QString readme = QString::fromUtf8(
        ReadAll(QString::fromLocal8Bit(qgetenv("TEVRO_SOURCE_DIR")) + QStringLiteral("/README.md")));
    const qsizetype section = readme.indexOf(QStringLiteral("\n## Watching many machines\n"));
    ASSERT_GE(section, 0);
    const QString text = readme.mid(section, readme.indexOf(QStringLiteral("\n## "), section + 1) - section);
    QStringList blocks;
    static const QRegularExpression yaml(QStringLiteral("```yaml\n(.*?)```"),
                                         QRegularExpression::DotMatchesEverythingOption);
    for (auto match = yaml.globalMatch(text); match.hasNext();)
        blocks << match.next().captured(1);
    const QStringList rules = blocks.filter(QStringLiteral("groups:"));
    const QStringList scrape = blocks.filter(QStringLiteral("scrape_configs:"));
    ASSERT_EQ(rules.size(), 1) << text.toStdString();
    ASSERT_EQ(scrape.size(), 1) << text.toStdString();
    EXPECT_TRUE(rules.first().contains(QStringLiteral("tevro_host_up == 0")));
    EXPECT_TRUE(rules.first().contains(QStringLiteral("tevro_local_network_up == 0")));

    QTemporaryDir dir;
    const QString rulesFile = dir.filePath(QStringLiteral("tevro.rules.yml"));
    const QString configFile = dir.filePath(QStringLiteral("prometheus.yml"));
    ASSERT_TRUE(WriteFileAtomically(rulesFile, rules.first().toUtf8()));
    ASSERT_TRUE(WriteFileAtomically(configFile, scrape.first().toUtf8()));
    const auto [rulesExit, rulesSaid] =
        Promtool({QStringLiteral("check"), QStringLiteral("rules"), rulesFile});
    EXPECT_EQ(rulesExit, 0) << rulesSaid.toStdString();
    EXPECT_TRUE(rulesSaid.contains(QStringLiteral("SUCCESS"))) << rulesSaid.toStdString();
    const auto [configExit, configSaid] = Promtool(
        {QStringLiteral("check"), QStringLiteral("config"), QStringLiteral("--syntax-only"), configFile});
    EXPECT_EQ(configExit, 0) << configSaid.toStdString();
}

} // namespace
} // namespace tevro
