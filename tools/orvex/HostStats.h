// What the report says about each host, gathered round by round from the scanner: counts, reply times,
// packet loss and the host's own outages.
#pragma once

#include "Availability.h"
#include "LogScanner.h"
#include "Spool.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvex {

struct HostStats {
    std::string name;
    std::uint64_t rounds = 0;
    std::uint64_t successes = 0;
    std::uint64_t failures = 0;
    std::uint64_t socketErrors = 0;
    std::int64_t firstSeen = 0;
    std::int64_t lastSeen = 0;

    // Mean reply time of each successful round, counted per millisecond value: exact percentiles. Fast
    // replies are counted in a small array indexed by their value; slower ones as (value, count) pairs of
    // the values that occurred, in order, so that one slow reply costs a host 8 bytes, not an array up to
    // its value. Counts are 32-bit: a LOG set holds far fewer than 2^32 rounds of one host.
    static constexpr int kDirectMs = 256;
    struct ReplyCount {
        std::int32_t ms;
        std::uint32_t count;
    };
    std::vector<std::uint32_t> fastReplies; // index: ms below kDirectMs; made by the first such reply
    std::vector<ReplyCount> slowReplies;    // ascending
    void AddReply(int ms);
    double replySum = 0;
    std::uint64_t lossSum = 0;    // percent, over rounds that sent requests
    std::uint64_t lossRounds = 0; // successes and failures; socket errors sent nothing

    std::uint64_t traces = 0; // paths traced when it stopped answering
    std::uint64_t outages = 0;
    std::int64_t outageSeconds = 0;
    Outage longest;
    // Rounds made while the local network was down: no round of this host's.
    std::uint64_t notCounted = 0;

    // The outage being followed, with its first and last failed round on the continuous time line.
    bool down = false;
    Outage current;
    std::int64_t currentFirstAt = 0;
    std::int64_t currentLastAt = 0;
    std::int64_t unwatched = 0; // local outages and sleep that began after its first failed round

    // Nearest-rank percentile of the reply times (p in 1..100); 0 without successful rounds.
    int ReplyPercentile(int p) const;
    double Availability() const {
        return rounds == 0 ? 0.0 : 100.0 * static_cast<double>(successes) / static_cast<double>(rounds);
    }
    double MeanLoss() const {
        return lossRounds == 0 ? 0.0 : static_cast<double>(lossSum) / static_cast<double>(lossRounds);
    }
    double MeanReply() const { return successes == 0 ? 0.0 : replySum / static_cast<double>(successes); }
};

class HostCollector final : public ScanSink {
public:
    void OnRound(const Round& round) override;
    void OnTableLine(std::string_view line) override;
    void OnPhaseStart() override { StopWatching(); }
    void OnRunStart() override;
    void OnTrace(const PathTrace& trace) override;
    void OnInfo(std::int64_t when, std::string_view text) override;
    // Ends the outages still open at the end of the LOG.
    void Finish() { StopWatching(); }

    const std::vector<HostStats>& Hosts() const { return m_hosts; }
    std::vector<std::uint64_t> OutagesPerHost() const;
    OutageStore& Outages() { return m_outages; }
    TextSpool& TableLines() { return m_table; }
    // Every path traced to the host, in LOG order: `start` with its moment, then `line` for each line.
    void ForEachTrace(std::uint32_t host, const std::function<void(std::int64_t when)>& start,
                      const std::function<void(std::string_view line)>& line);

    Availability& Periods() { return m_availability; }

    std::uint64_t Rounds() const { return m_rounds; }
    std::uint64_t Runs() const { return m_runs; }
    std::uint64_t Unattributed() const { return m_unattributed; }
    std::int64_t FirstMoment() const { return m_first; }
    std::int64_t LastMoment() const { return m_last; }

private:
    // A failed round waits until it is known whether its round was a local outage: the program says
    // so in an entry after the round's entries.
    struct Held {
        std::uint32_t host = 0;
        std::int64_t when = 0;
        std::int64_t at = 0; // on the continuous time line
        Outcome outcome = Outcome::Failed;
    };

    std::uint32_t IndexOf(std::string_view name, std::int64_t when);
    void Count(std::uint32_t index, const Round& round, std::int64_t at);
    // Takes the held failures as the hosts' own, or, for a round of a local outage, as nobody's.
    void Release(bool localOutage);
    // Takes the local outages and sleep periods that just ended out of the hosts' outages.
    void Unwatched();
    void StopWatching();
    void CloseOutages();
    void CloseOutage(HostStats& host);

    std::vector<HostStats> m_hosts;
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::uint32_t m_lastIndex = 0;
    OutageStore m_outages;
    TextSpool m_table;
    TextSpool m_traces; // "@<host> <moment>" before the lines of each trace
    std::uint64_t m_rounds = 0;
    std::uint64_t m_runs = 0;
    std::uint64_t m_unattributed = 0;
    std::int64_t m_first = 0;
    std::int64_t m_last = 0;
    Availability m_availability;
    std::vector<Held> m_held;
    bool m_frameSeen = false; // the last table line was a frame line not below a head
    bool m_headSeen = false;  // the last table line was the head
};

} // namespace orvex
