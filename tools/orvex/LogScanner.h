// Reads the program's LOG files as a stream of bytes and turns their lines into ping rounds, downtime
// table lines and monitoring-phase starts. Nothing of a file is kept beyond the entry being read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

enum class Outcome { Success, Failed, SocketError };

// One finished ping entry of one host.
struct Round {
    std::string_view host; // empty when the entry names no host (a socket-library failure)
    std::int64_t when = 0; // seconds since 01.01.1970 of the entry's local date and time
    Outcome outcome = Outcome::Failed;
    int meanMs = 0;  // successful rounds only
    int lossPct = 0; // successful rounds only; failed rounds lost everything
};

// The path traced to a host when it stopped answering: the informational entry's heading and lines.
struct PathTrace {
    std::string_view host;
    std::int64_t when = 0;
    const std::vector<std::string>& lines; // without their indent; the last one is the closing line
};

// What the scanner finds, in LOG order.
class ScanSink {
public:
    virtual ~ScanSink() = default;
    virtual void OnRound(const Round& round) = 0;
    // A line beginning with "||", without its line end.
    virtual void OnTableLine(std::string_view line) = 0;
    // The downtime table's head: monitoring (re)starts, so what went before is no longer followed.
    virtual void OnPhaseStart() = 0;
    // The product line that opens every run's LOG.
    virtual void OnRunStart() = 0;
    virtual void OnTrace(const PathTrace& trace) = 0;
    // An informational entry: its moment and its first line's text after it, full stop included.
    virtual void OnInfo(std::int64_t when, std::string_view text) {
        static_cast<void>(when);
        static_cast<void>(text);
    }
};

struct ScanCounts {
    std::uint64_t lines = 0;
    std::uint64_t unknownLines = 0;
    std::uint64_t incompleteEntries = 0; // ping entries cut short, e.g. by a killed program
    bool truncatedLastLine = false;      // the file ended inside a line
};

// Splits into lines: LF, CR LF and CR CR LF (what an editor that saved a CR LF file in text mode leaves)
// each end one line, and so does a CR on its own. Lines longer than kMaxLine are cut there, as no entry
// line comes near it and memory stays bounded.
class LogScanner {
public:
    static constexpr std::size_t kMaxLine = 64 * 1024;

    explicit LogScanner(ScanSink& sink) : m_sink(sink) {}

    // A new file begins: its counts start at zero.
    void StartFile();
    // Feeds the next bytes of the current file.
    void Feed(std::string_view bytes);
    // The current file has ended; a last line without a line end is taken only when it is whole.
    void EndFile();

    // Counts of the current file, complete after EndFile.
    const ScanCounts& Counts() const { return m_counts; }
    // "\r\n" or "\n", as the first line end seen; empty before one was seen.
    std::string_view LineEnd() const { return m_lineEnd; }

private:
    // A line whose end was seen (the carried start of the line goes first), then `emptyLines` more.
    void EndLine(std::string_view rest, std::size_t emptyLines);
    void Carry(std::string_view piece);
    void Line(std::string_view line);
    void EndEntry();
    void ContinueEntry(std::string_view text);

    ScanSink& m_sink;
    ScanCounts m_counts;
    std::string m_carry; // a line split across two Feed calls, without its line end
    bool m_carryCut = false;
    std::size_t m_pendingCr = 0; // CRs at the end of the last Feed: whether an LF follows is not known yet
    std::string m_lineEnd;

    // The entry being read.
    bool m_inEntry = false;
    bool m_success = false;
    std::int64_t m_when = 0;
    std::string m_host;
    bool m_hasTries = false; // a ping was attempted (tries, or a failure of the run itself): no socket error
    bool m_hasSummary = false; // the summary of a successful round
    bool m_allFailed = false;
    bool m_hasMore = false; // at least one continuation line
    int m_meanMs = 0;
    int m_lossPct = 0;

    // The path trace being read.
    bool m_inTrace = false;
    std::int64_t m_traceWhen = 0;
    std::string m_traceHost;
    std::vector<std::string> m_traceLines;
};

// Seconds since 01.01.1970 of a civil date and time, without time zones.
std::int64_t CivilSeconds(int year, int month, int day, int hour, int minute, int second);

} // namespace orvex
