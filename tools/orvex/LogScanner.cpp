// Works on raw bytes: LOG lines are checked by their first bytes and only entry heads and summaries are
// parsed, which keeps a pass over a hundred generations about as fast as reading them.
#include "LogScanner.h"

#include <cstring>

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
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), '\n', bytes.size());
        const std::size_t take =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data())
                             : bytes.size();
        const std::string_view piece = bytes.substr(0, take);
        if (found == nullptr) {
            // Keep the start of the line for the next Feed, never more than a line may hold.
            const std::size_t room = kMaxLine > m_carry.size() ? kMaxLine - m_carry.size() : 0;
            m_carry.append(piece.substr(0, room));
            m_carryCut = m_carryCut || piece.size() > room;
            return;
        }
        if (m_lineEnd.empty()) {
            const bool cr = take > 0 ? piece.back() == '\r' : !m_carry.empty() && m_carry.back() == '\r';
            m_lineEnd = cr ? "\r\n" : "\n";
        }
        if (m_carry.empty() && !m_carryCut) {
            Line(piece.substr(0, std::min(piece.size(), kMaxLine)));
        } else {
            const std::size_t room = kMaxLine > m_carry.size() ? kMaxLine - m_carry.size() : 0;
            m_carry.append(piece.substr(0, room));
            Line(m_carry);
            m_carry.clear();
            m_carryCut = false;
        }
        bytes.remove_prefix(take + 1);
    }
}

void LogScanner::StartFile() {
    m_counts = {};
    m_carry.clear();
    m_carryCut = false;
}

void LogScanner::EndFile() {
    if (!m_carry.empty() || m_carryCut) {
        // Whole lines end with the entry's full stop or the table's bars; anything else was cut off.
        std::string_view last = m_carry;
        if (!last.empty() && last.back() == '\r')
            last.remove_suffix(1);
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
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (m_counts.lines == 1 && StartsWith(line, "\xEF\xBB\xBF"))
        line.remove_prefix(3); // a byte-order mark left by an editor

    if (StartsWith(line, kIndent)) {
        if (m_inEntry)
            ContinueEntry(line.substr(sizeof kIndent - 1));
        return; // otherwise a line of an informational entry
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
        // An informational entry: it belongs to no host, but some tell of the network, sleep or clock.
        if (!Moment(line, pos, when))
            ++m_counts.unknownLines;
        else if (Literal(line, pos, ": "))
            m_sink.OnInfo(when, line.substr(pos));
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
    // Most lines are tries; only a line beginning with a digit can be the summary.
    if (text.front() == 'T' || text.front() == 'M') {
        m_hasTries = m_hasTries || StartsWith(text, "Try #") || StartsWith(text, "Memory allocation failed");
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
