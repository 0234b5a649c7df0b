// An outage ends with the host's next successful round. A new run or a restart of monitoring ends it too,
// unended: nobody pinged the host in between, so its state there is unknown. Rounds of a local outage are
// no host's, and lengths are measured on the time line that the clock entries straighten.
#include "HostStats.h"

#include <algorithm>

namespace orvex {

int HostStats::ReplyPercentile(int p) const {
    if (successes == 0)
        return 0;
    // Nearest rank: the smallest value with at least p percent of the rounds at or below it.
    const std::uint64_t rank =
        std::max<std::uint64_t>(1, (successes * static_cast<std::uint64_t>(p) + 99) / 100);
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms < fastReplies.size(); ++ms) {
        seen += fastReplies[ms];
        if (seen >= rank)
            return static_cast<int>(ms);
    }
    for (const ReplyCount& value : slowReplies) {
        seen += value.count;
        if (seen >= rank)
            return value.ms;
    }
    return 0;
}

void HostStats::AddReply(int ms) {
    replySum += ms;
    if (ms >= 0 && ms < kDirectMs) {
        if (fastReplies.empty())
            fastReplies.resize(kDirectMs);
        ++fastReplies[static_cast<std::size_t>(ms)];
        return;
    }
    const auto at = std::lower_bound(slowReplies.begin(), slowReplies.end(), ms,
                                     [](const ReplyCount& value, int wanted) { return value.ms < wanted; });
    if (at != slowReplies.end() && at->ms == ms)
        ++at->count;
    else
        slowReplies.insert(at, ReplyCount{ms, 1});
}

void HostCollector::OnRound(const Round& round) {
    if (round.host.empty()) {
        ++m_unattributed;
        return;
    }
    if (m_frameSeen)
        StopWatching(); // that frame line closed the table: monitoring had stopped
    const std::uint32_t index = IndexOf(round.host, round.when);
    HostStats& host = m_hosts[index];

    if (m_rounds == 0 || round.when < m_first)
        m_first = round.when;
    if (m_rounds == 0 || round.when > m_last)
        m_last = round.when;
    ++m_rounds;
    host.firstSeen = std::min(host.firstSeen, round.when);
    host.lastSeen = std::max(host.lastSeen, round.when);
    m_availability.OnRound(round.when);
    const std::int64_t at = m_availability.Corrected(round.when);

    // Each host comes once a round: a host already held starts the next round.
    const bool nextRound =
        std::any_of(m_held.begin(), m_held.end(), [index](const Held& h) { return h.host == index; });
    if (nextRound)
        Release(m_availability.LocalDown());
    if (round.outcome != Outcome::Success) {
        m_held.push_back({index, round.when, at, round.outcome});
        return;
    }
    // A host answered: the failures held from this round are their hosts' own.
    Release(false);
    Count(index, round, at);
}

void HostCollector::Release(bool localOutage) {
    for (const Held& held : m_held) {
        if (localOutage) {
            ++m_hosts[held.host].notCounted;
            continue;
        }
        Round round;
        round.when = held.when;
        round.outcome = held.outcome;
        Count(held.host, round, held.at);
    }
    m_held.clear();
}

void HostCollector::Count(std::uint32_t index, const Round& round, std::int64_t at) {
    HostStats& host = m_hosts[index];
    ++host.rounds;
    if (round.outcome == Outcome::Success) {
        ++host.successes;
        host.AddReply(round.meanMs);
        host.lossSum += static_cast<std::uint64_t>(round.lossPct);
        ++host.lossRounds;
        if (host.down) {
            host.current.end = round.when;
            host.current.ended = 1;
            // Sleep and local outages inside it were nobody's time.
            host.current.seconds = at - host.currentFirstAt - host.unwatched;
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
        host.currentFirstAt = at;
        host.unwatched = 0;
    }
    ++host.current.rounds;
    host.current.end = round.when;
    host.currentLastAt = at;
}

void HostCollector::OnInfo(std::int64_t when, std::string_view text) {
    if (m_frameSeen)
        StopWatching();
    const Availability::Info kind = Availability::Kind(text);
    // Rounds before a sleep were made before it.
    if (kind == Availability::Info::Sleep || kind == Availability::Info::Wake)
        Release(m_availability.LocalDown());
    m_availability.OnInfo(when, text);
    Unwatched();
    if (kind == Availability::Info::LocalDown)
        Release(true); // the round just written was the local network's outage
    else if (kind == Availability::Info::LocalBack)
        Release(false); // written after the round that reached a host or found the local side working
}

void HostCollector::StopWatching() {
    m_frameSeen = m_headSeen = false;
    Release(m_availability.LocalDown());
    m_availability.StopWatching();
    Unwatched();
    CloseOutages();
}

void HostCollector::Unwatched() {
    for (const Availability::Unwatched& period : m_availability.TakeEnded()) {
        for (HostStats& host : m_hosts) {
            if (host.down && period.startAt >= host.currentFirstAt)
                host.unwatched += period.seconds;
        }
    }
}

std::uint32_t HostCollector::IndexOf(std::string_view name, std::int64_t when) {
    // Rounds come host after host in slot order, so the host after the last one is nearly always it.
    const auto count = static_cast<std::uint32_t>(m_hosts.size());
    if (count > 0) {
        const std::uint32_t next = (m_lastIndex + 1) % count;
        if (m_hosts[next].name == name)
            return m_lastIndex = next;
    }
    auto [it, added] = m_index.try_emplace(std::string(name), count);
    if (added) {
        m_hosts.emplace_back();
        m_hosts.back().name = it->first;
        m_hosts.back().firstSeen = when;
    }
    return m_lastIndex = it->second;
}

void HostCollector::OnTableLine(std::string_view line) {
    m_table.Add(line);
    // A frame line right below the head belongs to it; one not followed by the head closes the table.
    const bool frame = line.starts_with("||---");
    const bool head = line.starts_with("|| Downtime |");
    if (frame && m_frameSeen)
        StopWatching();
    m_frameSeen = frame && !m_headSeen;
    m_headSeen = head;
}

void HostCollector::OnRunStart() {
    ++m_runs;
    StopWatching();
}

void HostCollector::OnTrace(const PathTrace& trace) {
    const std::uint32_t index = IndexOf(trace.host, trace.when);
    HostStats& host = m_hosts[index];
    ++host.traces;
    if (host.rounds == 0) // a host known only from its traces
        host.lastSeen = std::max(host.lastSeen, trace.when);
    // Each trace is a head line "@<host> <moment>" and its lines, each behind a blank.
    m_traces.Add("@" + std::to_string(index) + ' ' + std::to_string(trace.when));
    for (const std::string& line : trace.lines)
        m_traces.Add(' ' + line);
}

void HostCollector::ForEachTrace(std::uint32_t host, const std::function<void(std::int64_t when)>& start,
                                 const std::function<void(std::string_view line)>& line) {
    if (m_hosts.at(host).traces == 0)
        return;
    bool ours = false;
    m_traces.ForEach([&](std::string_view text) {
        if (text.empty())
            return;
        if (text.front() == ' ') {
            if (ours)
                line(text.substr(1));
            return;
        }
        const std::size_t blank = text.find(' ');
        ours = text.substr(1, blank - 1) == std::to_string(host);
        if (ours)
            start(std::stoll(std::string(text.substr(blank + 1))));
    });
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
        if (host.down) {
            host.current.seconds = host.currentLastAt - host.currentFirstAt - host.unwatched;
            CloseOutage(host);
        }
    }
}

void HostCollector::CloseOutage(HostStats& host) {
    host.down = false;
    const std::int64_t length = Length(host.current);
    if (host.outages == 0 || length > Length(host.longest))
        host.longest = host.current;
    ++host.outages;
    host.outageSeconds += length;
    m_outages.Add(host.current);
}

} // namespace orvex
