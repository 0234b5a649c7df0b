// Works on raw bytes: LOG lines are checked by their first bytes and only entry heads and summaries are
// parsed, which keeps a pass over a hundred generations about as fast as reading them.
#include "LogScanner.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvex {
namespace {

// Prefixes and literals are compile-time constants, so the comparisons inline; this runs for every line.
template <std::size_t N> bool StartsWith(std::string_view text, const char (&prefix)[N]) {
    return text.size() >= N - 1 && std::memcmp(text.data(), prefix, N - 1) == 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `digits` decimal digits.
bool Fixed(std::string_view text, std::size_t& pos, int digits, int& value) {
    if (pos + static_cast<std::size_t>(digits) > text.size())
        return false;
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[pos++];
        if (!IsDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Reads 1 to 9 decimal digits.
bool Number(std::string_view text, std::size_t& pos, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - start < 9)
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

template <std::size_t N> bool Literal(std::string_view text, std::size_t& pos, const char (&literal)[N]) {
    if (pos > text.size() || text.size() - pos < N - 1 || std::memcmp(text.data() + pos, literal, N - 1) != 0)
        return false;
    pos += N - 1;
    return true;
}

// The separator between time fields follows the user's locale: any short run of non-digits.
bool Separator(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && !IsDigit(text[pos]) && text[pos] != ')' && pos - start < 4)
        ++pos;
    return pos > start;
}

// "dd.mm.yyyy (hh:nn:ss)" as every entry begins.
bool Moment(std::string_view text, std::size_t& pos, std::int64_t& when) {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    const bool ok = Fixed(text, pos, 2, day) && Separator(text, pos) && Fixed(text, pos, 2, month) &&
                    Separator(text, pos) && Fixed(text, pos, 4, year) && Literal(text, pos, " (") &&
                    Fixed(text, pos, 2, hour) && Separator(text, pos) && Fixed(text, pos, 2, minute) &&
                    Separator(text, pos) && Fixed(text, pos, 2, second) && Literal(text, pos, ")");
    if (!ok || day < 1 || day > 31 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 60)
        return false;
    when = CivilSeconds(year, month, day, hour, minute, second);
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The host of an entry from the report's first line: "name [address]:", "[address] (name):" or, for a
// failure before any try, the host text alone.
std::string_view HostOf(std::string_view first) {
    first = Trim(first);
    if (StartsWith(first, "WSock32.dll:"))
        return {}; // the socket library failed: no host was reached for
    if (!first.empty() && first.front() == '[') {
        const std::size_t close = first.find(']');
        if (close != std::string_view::npos)
            return Trim(first.substr(1, close - 1));
    }
    if (!first.empty() && first.back() == ':') {
        first.remove_suffix(1);
        const std::size_t open = first.rfind(" [");
        if (open != std::string_view::npos && !first.empty() && first.back() == ']')
            return Trim(first.substr(0, open));
    }
    return first;
}

constexpr char kIndent[] = "   ## ";
// A trace has at most 30 hops and a closing line; its lines are short. Anything beyond is not ours.
constexpr std::size_t kMaxTraceLines = 32;
constexpr std::size_t kMaxTraceLineLength = 512;

// The position of the first CR or LF, or the size when there is none. This runs over every byte of the
// LOG: sixteen bytes in one compare where the processor allows.
std::size_t FindLineBreak(std::string_view text) {
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const auto breaks = [&](std::size_t at) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr))));
    };
    for (; i + 32 <= size; i += 32) {
        const unsigned mask = breaks(i) | breaks(i + 16) << 16;
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
    if (i + 16 <= size) {
        if (const unsigned mask = breaks(i); mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == '\n' || data[i] == '\r')
            return i;
    }
    return size;
}

} // namespace

std::int64_t CivilSeconds(int year, int month, int day, int hour, int minute, int second) {
    // Days from civil, on the proleptic Gregorian calendar.
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

void LogScanner::Feed(std::string_view bytes) {
    if (m_pendingCr > 0) {
        // The CRs that ended the last Feed: more of them, an LF, or the start of the next line.
        while (!bytes.empty() && bytes.front() == '\r') {
            ++m_pendingCr;
            bytes.remove_prefix(1);
        }
        if (bytes.empty())
            return;
        const bool lf = bytes.front() == '\n';
        EndLine({}, lf ? 0 : m_pendingCr - 1);
        m_pendingCr = 0;
        if (lf)
            bytes.remove_prefix(1);
    }
    while (!bytes.empty()) {
        const std::size_t at = FindLineBreak(bytes);
        if (at == bytes.size()) {
            Carry(bytes);
            return;
        }
        const std::string_view text = bytes.substr(0, at);
        if (bytes[at] == '\n') {
            if (m_lineEnd.empty())
                m_lineEnd = "\n";
            EndLine(text, 0);
            bytes.remove_prefix(at + 1);
            continue;
        }
        if (m_lineEnd.empty())
            m_lineEnd = "\r\n";
        std::size_t run = at + 1;
        while (run < bytes.size() && bytes[run] == '\r')
            ++run;
        if (run == bytes.size()) { // whether an LF follows is for the next Feed to tell
            Carry(text);
            m_pendingCr = run - at;
            return;
        }
        // CR LF, CR CR LF ...: one line end. CRs without an LF after them: each ends a line.
        const bool lf = bytes[run] == '\n';
        EndLine(text, lf ? 0 : run - at - 1);
        bytes.remove_prefix(lf ? run + 1 : run);
    }
}

void LogScanner::Carry(std::string_view piece) {
    // Keep the start of the line for the next Feed, never more than a line may hold.
    const std::size_t room = kMaxLine > m_carry.size() ? kMaxLine - m_carry.size() : 0;
    m_carry.append(piece.substr(0, room));
    m_carryCut = m_carryCut || piece.size() > room;
}

void LogScanner::EndLine(std::string_view rest, std::size_t emptyLines) {
    if (m_carry.empty() && !m_carryCut) {
        Line(rest.substr(0, std::min(rest.size(), kMaxLine)));
    } else {
        Carry(rest);
        Line(m_carry);
        m_carry.clear();
        m_carryCut = false;
    }
    for (; emptyLines > 0; --emptyLines)
        Line({});
}

void LogScanner::StartFile() {
    m_counts = {};
    m_carry.clear();
    m_carryCut = false;
    m_pendingCr = 0;
}

void LogScanner::EndFile() {
    if (m_pendingCr > 0) {
        // CRs at the very end: each ended a line.
        EndLine({}, m_pendingCr - 1);
        m_pendingCr = 0;
    } else if (!m_carry.empty() || m_carryCut) {
        // Whole lines end with the entry's full stop or the table's bars; anything else was cut off.
        const std::string_view last = m_carry;
        const bool whole = !m_carryCut && !last.empty() &&
                           (last.back() == '.' || last.ends_with("||") || last.ends_with("++"));
        if (whole) {
            Line(m_carry);
        } else {
            ++m_counts.lines;
            m_counts.truncatedLastLine = true;
        }
        m_carry.clear();
        m_carryCut = false;
    }
    EndEntry();
}

void LogScanner::Line(std::string_view line) {
    ++m_counts.lines;
    if (m_counts.lines == 1 && StartsWith(line, "\xEF\xBB\xBF"))
        line.remove_prefix(3); // a byte-order mark left by an editor

    if (StartsWith(line, kIndent)) {
        if (m_inEntry)
            ContinueEntry(line.substr(sizeof kIndent - 1));
        else if (m_inTrace && m_traceLines.size() < kMaxTraceLines)
            m_traceLines.emplace_back(line.substr(sizeof kIndent - 1, kMaxTraceLineLength));
        return; // otherwise a line of another informational entry
    }
    EndEntry();
    if (line.empty())
        return;

    const char first = line.front();
    if (first == '(') {
        std::size_t pos = 0;
        bool success = false;
        if (Literal(line, pos, "(SUCCESS) "))
            success = true;
        else if (!Literal(line, pos, "(FAILED) ")) {
            ++m_counts.unknownLines;
            return;
        }
        std::int64_t when = 0;
        if (!Moment(line, pos, when) || !Literal(line, pos, ": ")) {
            ++m_counts.unknownLines;
            return;
        }
        m_inEntry = true;
        m_success = success;
        m_when = when;
        m_host.assign(HostOf(line.substr(pos)));
        m_hasTries = m_hasSummary = m_allFailed = m_hasMore = false;
        m_meanMs = m_lossPct = 0;
        return;
    }
    if (first == '|' && StartsWith(line, "||")) {
        if (StartsWith(line, "|| Downtime |"))
            m_sink.OnPhaseStart();
        m_sink.OnTableLine(line);
        return;
    }
    if (IsDigit(first)) {
        std::size_t pos = 0;
        std::int64_t when = 0;
        if (!Moment(line, pos, when) || !Literal(line, pos, ": ")) {
            ++m_counts.unknownLines;
            return;
        }
        // Informational entries belong to no host, but for the path traced to one; others tell of the
        // network, sleep or the clock.
        constexpr std::string_view kTraceEnd = " when it stopped answering:";
        if (Literal(line, pos, "Path to ") && line.ends_with(kTraceEnd) && line.size() - pos > kTraceEnd.size()) {
            m_inTrace = true;
            m_traceWhen = when;
            m_traceHost.assign(line.substr(pos, line.size() - pos - kTraceEnd.size()));
            m_traceLines.clear();
        } else {
            m_sink.OnInfo(when, line.substr(pos));
        }
        return;
    }
    if (StartsWith(line, "Tevro v")) {
        m_sink.OnRunStart();
        return;
    }
    if (StartsWith(line, "Previous LOG") || StartsWith(line, "Oldest LOG file") ||
        StartsWith(line, "First ping error encountered") ||
        StartsWith(line, "First successful ping encountered"))
        return;
    ++m_counts.unknownLines;
}

void LogScanner::ContinueEntry(std::string_view text) {
    m_hasMore = true;
    if (text.empty())
        return;
    // Most lines are tries; only a line beginning with a digit can be the summary. A run stopped by its
    // own parameters or by memory is a failed ping too: only the socket layer makes socket errors.
    if (text.front() == 'T' || text.front() == 'M' || text.front() == 'I') {
        m_hasTries = m_hasTries || StartsWith(text, "Try #") ||
                     StartsWith(text, "Memory allocation failed") || StartsWith(text, "Invalid parameters:");
        return;
    }
    if (!IsDigit(text.front()))
        return;
    // "3 request(s) total, 2 successful. Min=30 ms, Max=40 ms, Mean=35 ms, Packet loss=33%" or
    // "3 request(s) total, all failed with a time-out set to 1000 ms each".
    std::size_t pos = 0;
    int count = 0;
    if (!Number(text, pos, count) || !Literal(text, pos, " request(s) total, "))
        return;
    if (Literal(text, pos, "all failed")) {
        m_allFailed = true;
        m_hasTries = true;
        return;
    }
    int ok = 0, minMs = 0, maxMs = 0, mean = 0, loss = 0;
    if (Number(text, pos, ok) && Literal(text, pos, " successful. Min=") && Number(text, pos, minMs) &&
        Literal(text, pos, " ms, Max=") && Number(text, pos, maxMs) && Literal(text, pos, " ms, Mean=") &&
        Number(text, pos, mean) && Literal(text, pos, " ms, Packet loss=") && Number(text, pos, loss) &&
        Literal(text, pos, "%") && loss <= 100) {
        m_hasSummary = true;
        m_hasTries = true;
        m_meanMs = mean;
        m_lossPct = loss;
    }
}

void LogScanner::EndEntry() {
    if (m_inTrace) {
        m_inTrace = false;
        m_sink.OnTrace({m_traceHost, m_traceWhen, m_traceLines});
    }
    if (!m_inEntry)
        return;
    m_inEntry = false;
    Round round;
    round.host = m_host;
    round.when = m_when;
    if (m_success && m_hasSummary) {
        round.outcome = Outcome::Success;
        round.meanMs = m_meanMs;
        round.lossPct = m_lossPct;
    } else if (m_success && !m_allFailed) {
        ++m_counts.incompleteEntries;
        return;
    } else {
        if (!m_hasMore) {
            ++m_counts.incompleteEntries;
            return;
        }
        round.outcome = m_hasTries ? Outcome::Failed : Outcome::SocketError;
        round.lossPct = 100;
    }
    m_sink.OnRound(round);
}

} // namespace orvex
