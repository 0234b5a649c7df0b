// Output is assembled in a buffer and written in large blocks; every line ends as the LOG's lines do.
#include "Report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>

namespace orvex {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

class Writer {
public:
    Writer(std::FILE* out, std::string lineEnd) : m_out(out), m_lineEnd(std::move(lineEnd)) {}

    void Text(std::string_view text) {
        m_buffer.append(text);
        if (m_buffer.size() >= 1 << 16)
            Flush();
    }
    void Line(std::string_view text = {}) {
        Text(text);
        Text(m_lineEnd);
    }
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char piece[512];
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(piece, sizeof piece, format, args);
        va_end(args);
        if (n > 0)
            Text(std::string_view(piece,
                                  std::min<std::size_t>(static_cast<std::size_t>(n), sizeof piece - 1)));
    }
    bool Flush() {
        if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
            m_ok = false;
        m_buffer.clear();
        return m_ok;
    }
    bool Finish() { return Flush() && std::fflush(m_out) == 0 && !std::ferror(m_out); }

private:
    std::FILE* m_out;
    std::string m_lineEnd;
    std::string m_buffer;
    bool m_ok = true;
};

// Digits are put by hand: a report of many outages formats two moments and a length for each, and
// printf's parsing made that the larger part of the tool's time.
void PutNumber(std::string& out, std::int64_t value, int width) {
    if (value < 0) {
        out.push_back('-');
        value = value == INT64_MIN ? INT64_MAX : -value;
    }
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = n; i < width; ++i)
        out.push_back('0');
    while (n > 0)
        out.push_back(digits[--n]);
}

struct Civil {
    std::int64_t year, month, day, seconds; // seconds of the day
};

Civil CivilOf(std::int64_t seconds) {
    // Civil from days, the inverse of CivilSeconds.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day, rest};
}

// "hh:nn:ss" of `seconds`, with at least two digits of hours.
void PutClock(std::string& out, std::int64_t seconds) {
    PutNumber(out, seconds / 3600, 2);
    out.push_back(':');
    PutNumber(out, seconds / 60 % 60, 2);
    out.push_back(':');
    PutNumber(out, seconds % 60, 2);
}

// "yyyy-mm-dd hh:nn:ss" (`iso`) or "dd.mm.yyyy (hh:nn:ss)", the LOG's own form.
std::string MomentText(std::int64_t seconds, bool iso) {
    const Civil civil = CivilOf(seconds);
    const char separator = iso ? '-' : '.';
    std::string text;
    text.reserve(21);
    PutNumber(text, iso ? civil.year : civil.day, iso ? 4 : 2);
    text.push_back(separator);
    PutNumber(text, civil.month, 2);
    text.push_back(separator);
    PutNumber(text, iso ? civil.day : civil.year, iso ? 2 : 4);
    text.append(iso ? " " : " (");
    PutClock(text, civil.seconds);
    if (!iso)
        text.push_back(')');
    return text;
}

std::string Iso(std::int64_t seconds) {
    return MomentText(seconds, true);
}

// `text` left-aligned in `width` columns.
void PutPadded(std::string& out, std::string_view text, std::size_t width) {
    out.append(text);
    if (text.size() < width)
        out.append(width - text.size(), ' ');
}

std::string CsvField(std::string_view bytes) {
    std::string text = CleanText(bytes);
    // A leading sign would make a spreadsheet read the host text as a formula.
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'))
        text.insert(0, 1, '\'');
    if (text.find_first_of(",\"") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string Plural(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

void HostSection(Writer& w, const HostStats& host) {
    const std::string name = CleanText(host.name);
    w.Line();
    w.Line("Host " + name);
    w.Line(std::string(5 + std::min<std::size_t>(name.size(), 70), '-'));
    w.Line("  Seen:             " + FormatMoment(host.firstSeen) + " to " + FormatMoment(host.lastSeen));
    w.Format("  Rounds pinged:    %" PRIu64, host.rounds);
    w.Line();
    w.Format("  Successes:        %" PRIu64, host.successes);
    w.Line();
    w.Format("  Failures:         %" PRIu64 " (FAILED: no valid reply)", host.failures);
    w.Line();
    w.Format("  Socket errors:    %" PRIu64 " (no ping sent: socket or name failed)", host.socketErrors);
    w.Line();
    w.Format("  Availability:     %.2f %% of rounds", host.Availability());
    w.Line();
    if (host.notCounted > 0)
        w.Line("  Not counted:      " + Plural(host.notCounted, "round", "rounds") +
               " while the local network was down");
    if (host.successes > 0) {
        w.Format(
            "  Reply time:       min %d ms, median %d ms, mean %.1f ms, 95th percentile %d ms, max %d ms",
            host.ReplyPercentile(0), host.ReplyPercentile(50), host.MeanReply(), host.ReplyPercentile(95),
            host.ReplyPercentile(100));
        w.Line();
        w.Line("                    (over the mean reply time of each successful round)");
    } else {
        w.Line("  Reply time:       no successful round");
    }
    if (host.lossRounds > 0) {
        w.Format("  Mean packet loss: %.1f %% (rounds that sent requests; a failed round lost all)",
                 host.MeanLoss());
        w.Line();
    } else {
        w.Line("  Mean packet loss: none measured (no round sent requests)");
    }
    if (host.outages == 0) {
        w.Line("  Outages:          none");
        return;
    }
    w.Line("  Outages:          " + Plural(host.outages, "outage", "outages") + ", total " +
           FormatLength(host.outageSeconds) + ", longest " + FormatLength(Length(host.longest)) + " from " +
           FormatMoment(host.longest.first));
    w.Line();
    w.Line("    First failed round     First successful round  Length       Rounds");
}

std::string Percent(std::int64_t part, std::int64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%",
                  whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

// The local outages or the sleep periods, each with its length; nothing when there were none.
bool PeriodSection(Writer& w, TextSpool& periods, const std::string& title, const char* columns,
                   const char* notEnded) {
    if (periods.Count() == 0)
        return true;
    w.Line();
    w.Line(title);
    w.Line(std::string(title.size(), '-'));
    w.Line(columns);
    bool ok = true;
    periods.ForEach([&](std::string_view line) {
        Period period;
        if (!Availability::ReadPeriod(line, period)) {
            ok = false;
            return;
        }
        const std::string end = period.ended ? FormatMoment(period.end) : std::string(notEnded);
        w.Format("    %-22s %-23s %s", FormatMoment(period.first).c_str(), end.c_str(),
                 FormatLength(period.seconds).c_str());
        if (!period.reason.empty())
            w.Format("%*s%s", std::max(1, 13 - static_cast<int>(FormatLength(period.seconds).size())), "",
                     CleanText(period.reason).c_str());
        w.Line();
    });
    return ok;
}

void CoverageLines(Writer& w, const Availability& periods) {
    const std::int64_t monitored = periods.MonitoredSeconds();
    w.Line("Coverage:         " + FormatLength(monitored) + " monitored of the period's " +
           FormatLength(periods.PeriodSeconds()) + " (" + Percent(monitored, periods.PeriodSeconds()) + ")");
    if (periods.LocalDownSeconds() > 0 || periods.AsleepSeconds() > 0)
        w.Line("                  not monitored: local network down " +
               FormatLength(periods.LocalDownSeconds()) + ", computer asleep " +
               FormatLength(periods.AsleepSeconds()));
}

void OutageLine(Writer& w, const Outage& outage) {
    std::string line = "    ";
    PutPadded(line, FormatMoment(outage.first), 22);
    line.push_back(' ');
    PutPadded(line, outage.ended ? FormatMoment(outage.end) : std::string("none (not pinged again)"), 23);
    line.push_back(' ');
    PutPadded(line, FormatLength(Length(outage)), 12);
    line.push_back(' ');
    const std::string rounds = std::to_string(outage.rounds);
    if (rounds.size() < 6)
        line.append(6 - rounds.size(), ' ');
    line.append(rounds);
    w.Line(line);
}

// Below the host's outages: the paths traced when it stopped answering.
void TraceLines(Writer& w, HostCollector& collected, std::uint32_t host) {
    const std::uint64_t count = collected.Hosts().at(host).traces;
    if (count == 0)
        return;
    w.Line();
    w.Line("  Paths traced when it stopped answering: " + std::to_string(count));
    collected.ForEachTrace(
        host, [&](std::int64_t when) { w.Line("    " + FormatMoment(when)); },
        [&](std::string_view line) { w.Line("      " + CleanText(line)); });
}

} // namespace

std::string FormatMoment(std::int64_t seconds) {
    return MomentText(seconds, false);
}

std::string FormatLength(std::int64_t seconds) {
    std::string text;
    PutClock(text, std::max<std::int64_t>(0, seconds));
    return text;
}

std::string CleanText(std::string_view bytes) {
    std::string clean;
    clean.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                clean.append(kReplacement);
            else
                clean.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        // Sequence length and the allowed range of its second byte (no overlongs, surrogates or > U+10FFFF).
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        }
        bool ok = len > 0 && i + len <= n && p[i + 1] >= lo && p[i + 1] <= hi;
        for (std::size_t k = 2; ok && k < len; ++k)
            ok = p[i + k] >= 0x80 && p[i + k] <= 0xBF;
        // C1 control characters are as unwelcome in a report as C0 ones.
        if (ok && len == 2 && c == 0xC2 && p[i + 1] < 0xA0)
            ok = false;
        if (!ok) {
            clean.append(kReplacement);
            ++i;
            continue;
        }
        clean.append(bytes.substr(i, len));
        i += len;
    }
    return clean;
}

bool WriteTextReport(std::FILE* out, HostCollector& collected, const ReportInput& input) {
    Writer w(out, input.lineEnd);
    w.Line("Tevro LOG extraction");
    w.Line("====================");
    w.Line();
    w.Line("Period covered:   " + FormatMoment(collected.FirstMoment()) + " to " +
           FormatMoment(collected.LastMoment()));
    CoverageLines(w, collected.Periods());
    w.Line("Folder:           " + CleanText(input.folder));
    w.Line("Files read, oldest first:");
    for (const FileRead& file : input.files) {
        w.Format("  %-16s %12" PRIu64 " bytes  %8" PRIu64 " %s", CleanText(file.name).c_str(), file.bytes,
                 file.rounds, file.rounds == 1 ? "ping entry" : "ping entries");
        if (file.counts.incompleteEntries > 0)
            w.Text(", " + Plural(file.counts.incompleteEntries, "incomplete entry", "incomplete entries") +
                   " skipped");
        if (file.counts.unknownLines > 0)
            w.Text(", " + Plural(file.counts.unknownLines, "unknown line", "unknown lines") + " skipped");
        if (file.counts.truncatedLastLine)
            w.Text(", last line cut off");
        w.Line();
    }
    w.Format("Program runs:     %" PRIu64, collected.Runs());
    w.Line();
    w.Format("Ping entries:     %" PRIu64 " for %zu %s", collected.Rounds(), collected.Hosts().size(),
             collected.Hosts().size() == 1 ? "host" : "hosts");
    w.Line();
    if (collected.Unattributed() > 0) {
        w.Format("Socket-library failures that name no host: %" PRIu64, collected.Unattributed());
        w.Line();
    }

    bool periodsListed =
        PeriodSection(w, collected.Periods().LocalOutages(),
                      "Local network outages (rounds made then are not counted for any host)",
                      "    Down from              Back at                 Length       Reason",
                      "none (not back in the LOG)");
    periodsListed = PeriodSection(w, collected.Periods().Sleeps(), "Sleep periods (no one's outage)",
                                  "    Asleep from            Awake at                Length",
                                  "none (no wake in the LOG)") &&
                    periodsListed;

    const auto& hosts = collected.Hosts();
    std::size_t next = 0;
    // A host's section ends with its traces, before the next host's begins.
    const auto nextHost = [&] {
        if (next > 0)
            TraceLines(w, collected, static_cast<std::uint32_t>(next - 1));
        HostSection(w, hosts[next++]);
    };
    const bool listed =
        collected.Outages().ForEachByHost(collected.OutagesPerHost(), [&](const Outage& outage) {
            while (next <= outage.host && next < hosts.size())
                nextHost();
            OutageLine(w, outage);
        });
    while (next < hosts.size())
        nextHost();
    if (next > 0)
        TraceLines(w, collected, static_cast<std::uint32_t>(next - 1));
    if (!listed || !periodsListed) {
        w.Line();
        w.Line("(The list of outages could not be completed: the temporary file failed.)");
    }

    w.Line();
    w.Line("Downtime table of the LOG (one period for all hosts together)");
    w.Line("-------------------------------------------------------------");
    if (collected.TableLines().Count() == 0)
        w.Line("(no table lines in these files)");
    collected.TableLines().ForEach([&](std::string_view line) { w.Line(CleanText(line)); });
    return w.Finish();
}

bool WriteCsvReport(std::FILE* out, HostCollector& collected, const ReportInput& input) {
    Writer w(out, input.lineEnd);
    w.Line("record,host,from,to,seconds,rounds,successes,failures,socket_errors,availability_pct,"
           "min_ms,median_ms,mean_ms,p95_ms,max_ms,mean_loss_pct,outages,ended");
    const auto& hosts = collected.Hosts();
    auto hostRow = [&](const HostStats& host) {
        w.Text("host," + CsvField(host.name) + ',' + Iso(host.firstSeen) + ',' + Iso(host.lastSeen) + ',');
        w.Format("%" PRId64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%.2f,", host.outageSeconds,
                 host.rounds, host.successes, host.failures, host.socketErrors, host.Availability());
        if (host.successes > 0)
            w.Format("%d,%d,%.1f,%d,%d,", host.ReplyPercentile(0), host.ReplyPercentile(50), host.MeanReply(),
                     host.ReplyPercentile(95), host.ReplyPercentile(100));
        else
            w.Text(",,,,,");
        if (host.lossRounds > 0)
            w.Format("%.1f", host.MeanLoss());
        w.Format(",%" PRIu64 ",", host.outages);
        w.Line();
    };
    std::size_t next = 0;
    const bool listed =
        collected.Outages().ForEachByHost(collected.OutagesPerHost(), [&](const Outage& outage) {
            while (next <= outage.host && next < hosts.size())
                hostRow(hosts[next++]);
            w.Text("outage," + CsvField(hosts[outage.host].name) + ',' + Iso(outage.first) + ',' +
                   Iso(outage.end) + ',');
            std::string row;
            PutNumber(row, Length(outage), 1);
            row.push_back(',');
            PutNumber(row, outage.rounds, 1);
            row.append(outage.ended ? ",,,,,,,,,,,,yes" : ",,,,,,,,,,,,no");
            w.Line(row);
        });
    while (next < hosts.size())
        hostRow(hosts[next++]);

    // The whole period, the time monitored in it (availability_pct: its share), then the local outages
    // and sleep periods.
    Availability& periods = collected.Periods();
    const std::string span = ",," + Iso(collected.FirstMoment()) + ',' + Iso(collected.LastMoment()) + ',';
    w.Text("period" + span);
    w.Format("%" PRId64, periods.PeriodSeconds());
    w.Line();
    w.Text("coverage" + span);
    w.Format("%" PRId64 ",,,,,%.2f", periods.MonitoredSeconds(),
             periods.PeriodSeconds() > 0 ? 100.0 * static_cast<double>(periods.MonitoredSeconds()) /
                                               static_cast<double>(periods.PeriodSeconds())
                                         : 0.0);
    w.Line();
    bool periodsListed = true;
    for (const auto& [record, spool] :
         {std::pair<const char*, TextSpool*>{"local_outage", &periods.LocalOutages()},
          std::pair<const char*, TextSpool*>{"sleep", &periods.Sleeps()}}) {
        spool->ForEach([&](std::string_view line) {
            Period period;
            if (!Availability::ReadPeriod(line, period)) {
                periodsListed = false;
                return;
            }
            w.Text(std::string(record) + ',' + CsvField(period.reason) + ',' + Iso(period.first) + ',' +
                   Iso(period.end) + ',');
            w.Format("%" PRId64 ",,,,,,,,,,,,,%s", period.seconds, period.ended ? "yes" : "no");
            w.Line();
        });
    }
    return w.Finish() && listed && periodsListed;
}

} // namespace orvex
