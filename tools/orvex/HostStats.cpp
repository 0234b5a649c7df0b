// An outage ends with the host's next successful round. A new run or a restart of monitoring ends it too,
// unended: nobody pinged the host in between, so its state there is unknown.
#include "HostStats.h"

#include <algorithm>

namespace orvex {

int HostStats::ReplyPercentile(int p) const {
    if (successes == 0)
        return 0;
    // Nearest rank: the smallest value with at least p percent of the rounds at or below it.
    const std::uint64_t rank = std::max<std::uint64_t>(1, (successes * static_cast<std::uint64_t>(p) + 99) / 100);
    std::uint64_t seen = 0;
    for (const auto& [ms, count] : replyTimes) {
        seen += count;
        if (seen >= rank)
            return ms;
    }
    return replyTimes.rbegin()->first;
}

void HostCollector::OnRound(const Round& round) {
    if (round.host.empty()) {
        ++m_unattributed;
        return;
    }
    auto [it, added] = m_index.try_emplace(std::string(round.host), static_cast<std::uint32_t>(m_hosts.size()));
    if (added) {
        m_hosts.emplace_back();
        m_hosts.back().name = it->first;
        m_hosts.back().firstSeen = round.when;
    }
    const std::uint32_t index = it->second;
    HostStats& host = m_hosts[index];

    if (m_rounds == 0 || round.when < m_first)
        m_first = round.when;
    if (m_rounds == 0 || round.when > m_last)
        m_last = round.when;
    ++m_rounds;
    ++host.rounds;
    host.firstSeen = std::min(host.firstSeen, round.when);
    host.lastSeen = std::max(host.lastSeen, round.when);

    if (round.outcome == Outcome::Success) {
        ++host.successes;
        ++host.replyTimes[round.meanMs];
        host.replySum += round.meanMs;
        host.lossSum += static_cast<std::uint64_t>(round.lossPct);
        ++host.lossRounds;
        if (host.down) {
            host.current.end = round.when;
            host.current.ended = 1;
            CloseOutage(host);
        }
        return;
    }

    if (round.outcome == Outcome::Failed) {
        ++host.failures;
        host.lossSum += 100;
        ++host.lossRounds;
    } else {
        ++host.socketErrors;
    }
    if (!host.down) {
        host.down = true;
        host.current = Outage{index, 0, round.when, round.when, 0};
    }
    ++host.current.rounds;
    host.current.end = round.when;
}

void HostCollector::OnTableLine(std::string_view line) {
    m_table.Add(line);
}

void HostCollector::OnRunStart() {
    ++m_runs;
    CloseOutages();
}

std::vector<std::uint64_t> HostCollector::OutagesPerHost() const {
    std::vector<std::uint64_t> counts;
    counts.reserve(m_hosts.size());
    for (const HostStats& host : m_hosts)
        counts.push_back(host.outages);
    return counts;
}

void HostCollector::CloseOutages() {
    for (HostStats& host : m_hosts) {
        if (host.down)
            CloseOutage(host);
    }
}

void HostCollector::CloseOutage(HostStats& host) {
    host.down = false;
    // A clock set back during the outage gives no negative length.
    const std::int64_t length = std::max<std::int64_t>(0, host.current.end - host.current.first);
    if (host.outages == 0 || length > host.longest.end - host.longest.first)
        host.longest = host.current;
    ++host.outages;
    host.outageSeconds += length;
    m_outages.Add(host.current);
}

} // namespace orvex
