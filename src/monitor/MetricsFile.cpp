// The figures for Prometheus, their exposition text and the atomic replacement of the file.
#include "monitor/MetricsFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tevro {
namespace {

QString FamilyText(IpFamily family) {
    return family == IpFamily::V6 ? QStringLiteral("ipv6") : QStringLiteral("ipv4");
}

// Appends one metric: its help and type lines, then a sample line for each watched host.
class ExpositionWriter {
public:
    void Head(const char* name, const char* type, const char* help) {
        m_text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                      .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
    }
    void Sample(const QString& name, const QString& labels, const QString& value) {
        m_text += name;
        if (!labels.isEmpty())
            m_text += QLatin1Char('{') + labels + QLatin1Char('}');
        m_text += QLatin1Char(' ') + value + QLatin1Char('\n');
    }
    QByteArray Bytes() const { return m_text.toUtf8(); }

private:
    QString m_text;
};

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

constexpr int kNotAFile = -1;

QString ErrorText(const QString& path, int failure) {
    const QString reason = failure == kNotAFile ? QStringLiteral("it is not a regular file")
                                                : QString::fromLocal8Bit(std::strerror(failure));
    return QStringLiteral("\"%1\": %2").arg(path, reason);
}

// Where the file really goes: a symbolic link is followed, so that a link into the collector's folder
// stays a link. A dangling link is replaced like a missing file.
QByteArray TargetPath(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) != nullptr ? QByteArray(resolved) : path;
}

bool WriteAll(int fd, const QByteArray& bytes, int& failure) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n == 0 || errno != EINTR) {
            failure = n == 0 ? EIO : errno;
            return false;
        }
    }
    return true;
}

} // namespace

QString EscapeLabelValue(const QString& value) {
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            escaped += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else
            escaped += c;
    }
    return escaped;
}

QString SecondsText(std::int64_t microseconds) {
    microseconds = std::max<std::int64_t>(microseconds, 0);
    QString text = QString::number(microseconds / 1'000'000);
    if (const std::int64_t fraction = microseconds % 1'000'000; fraction != 0) {
        QString digits = QString::number(fraction).rightJustified(6, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return text;
}

void PrometheusMetrics::RecordRound(int slot, const QString& host, const PingResult& result, qint64 atMs) {
    if (slot < 1 || slot > static_cast<int>(m_slots.size()))
        return;
    std::optional<Series>& series = m_slots.at(static_cast<size_t>(slot - 1));
    if (!series || series->host != host) {
        series.emplace();
        series->host = host;
        series->family = LooksLikeIpv6(host.toStdString()) ? IpFamily::V6 : IpFamily::V4;
    }
    // A round whose name did not resolve keeps the family the host was last pinged over: the failure
    // must count against the same series as the host's successes.
    if (result.Family)
        series->family = *result.Family;
    series->up = result.ResultCode == PING_SUCCESS;
    ++series->rounds;
    if (!series->up)
        ++series->failedRounds;
    series->requests += static_cast<std::uint64_t>(std::max(result.Requests, 0));
    series->replies += result.RepliesUs.size();
    for (const std::int64_t us : result.RepliesUs) {
        const auto bucket = std::lower_bound(kReplyBucketsUs.begin(), kReplyBucketsUs.end(), us);
        if (bucket != kReplyBucketsUs.end())
            ++series->buckets.at(static_cast<size_t>(bucket - kReplyBucketsUs.begin()));
        series->sumUs += us;
    }
    series->lastRoundMs = atMs;
}

void PrometheusMetrics::Forget(int slot) {
    if (slot >= 1 && slot <= static_cast<int>(m_slots.size()))
        m_slots.at(static_cast<size_t>(slot - 1)).reset();
}

QByteArray PrometheusMetrics::Exposition() const {
    ExpositionWriter out;
    const auto gauge = [&out](const char* name, const char* help, bool value) {
        out.Head(name, "gauge", help);
        out.Sample(QLatin1String(name), QString(), Flag(value));
    };
    gauge("tevro_running", "Whether Tevro is monitoring (1) or inactive (0).", m_program.running);
    if (m_program.localNetworkUp)
        gauge("tevro_local_network_up",
              "Whether this machine's own side of the network works (1) or not (0).",
              *m_program.localNetworkUp);
    if (m_program.asleep)
        gauge("tevro_asleep", "Whether the machine is going to sleep or asleep (1) or awake (0).",
              *m_program.asleep);

    struct Labelled {
        QString labels;
        const Series* series;
    };
    std::vector<Labelled> hosts;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (const std::optional<Series>& s = m_slots.at(i))
            hosts.push_back(
                {QStringLiteral("slot=\"%1\",host=\"%2\",family=\"%3\"")
                     .arg(QString::number(i + 1), EscapeLabelValue(s->host), FamilyText(s->family)),
                 &*s});
    }
    if (hosts.empty())
        return out.Bytes();

    const auto perHost = [&](const char* name, const char* type, const char* help,
                             const std::function<QString(const Series&)>& value) {
        out.Head(name, type, help);
        for (const Labelled& h : hosts)
            out.Sample(QLatin1String(name), h.labels, value(*h.series));
    };
    perHost("tevro_host_up", "gauge", "Whether the host answered in its last round (1) or not (0).",
            [](const Series& s) { return Flag(s.up); });
    perHost("tevro_rounds_total", "counter", "Rounds in which the host was pinged.",
            [](const Series& s) { return QString::number(s.rounds); });
    perHost("tevro_failed_rounds_total", "counter", "Rounds without a valid reply from the host.",
            [](const Series& s) { return QString::number(s.failedRounds); });
    perHost("tevro_requests_total", "counter", "Echo requests sent to the host.",
            [](const Series& s) { return QString::number(s.requests); });
    perHost("tevro_replies_total", "counter", "Valid echo replies from the host.",
            [](const Series& s) { return QString::number(s.replies); });

    out.Head("tevro_reply_seconds", "histogram", "Round-trip time of each valid echo reply.");
    const QString bucket = QStringLiteral("tevro_reply_seconds_bucket");
    for (const Labelled& h : hosts) {
        std::uint64_t cumulative = 0;
        for (size_t i = 0; i < kReplyBucketsUs.size(); ++i) {
            cumulative += h.series->buckets.at(i);
            out.Sample(bucket,
                       h.labels + QStringLiteral(",le=\"%1\"").arg(SecondsText(kReplyBucketsUs.at(i))),
                       QString::number(cumulative));
        }
        out.Sample(bucket, h.labels + QStringLiteral(",le=\"+Inf\""), QString::number(h.series->replies));
        out.Sample(QStringLiteral("tevro_reply_seconds_sum"), h.labels, SecondsText(h.series->sumUs));
        out.Sample(QStringLiteral("tevro_reply_seconds_count"), h.labels, QString::number(h.series->replies));
    }
    perHost("tevro_last_round_timestamp_seconds", "gauge",
            "When the host's last round ended, in seconds since the epoch.",
            [](const Series& s) { return SecondsText(s.lastRoundMs * 1000); });
    return out.Bytes();
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    const QByteArray target = TargetPath(QFile::encodeName(path));
    int failure = 0;
    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    // rename() would put the file in place of a pipe or a device; a folder refuses anyway.
    if (exists && !S_ISREG(existing.st_mode))
        failure = S_ISDIR(existing.st_mode) ? EISDIR : kNotAFile;

    // The temporary name does not end in ".prom": the collector never reads a half-written file.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray temporary = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".tmp" +
                                 QByteArray::number(static_cast<qint64>(::getpid()));
    int fd = -1;
    if (failure == 0) {
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                    0666);
        if (fd < 0)
            failure = errno;
    }
    if (fd >= 0) {
        // The replacement keeps the permissions the user gave the file (say, readable by a group only).
        if (exists)
            ::fchmod(fd, existing.st_mode & 07777);
        WriteAll(fd, bytes, failure);
        if (::close(fd) != 0 && failure == 0)
            failure = errno;
        if (failure == 0 && ::rename(temporary.constData(), target.constData()) != 0)
            failure = errno;
        if (failure != 0)
            ::unlink(temporary.constData());
    }
    if (failure != 0 && error != nullptr)
        *error = ErrorText(path, failure);
    return failure == 0;
}

} // namespace tevro
