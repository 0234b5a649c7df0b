// What the program's informational entries tell about the time between the rounds: outages of the local
// network, sleep, clock steps and UTC offsets. From them the report measures lengths on one continuous
// time line, lists the local outages and sleep periods, and tells how much of the period was monitored.
#pragma once

#include "Spool.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex {

// A local outage or a sleep period as the report lists it.
struct Period {
    std::int64_t first = 0;   // moment it began, as the LOG gives it
    std::int64_t end = 0;     // moment it ended, or the last moment seen when it did not end in the LOG
    std::int64_t seconds = 0; // its length
    bool ended = false;
    std::string reason; // local outages: why the local side was found down
};

class Availability {
public:
    enum class Info { Other, LocalDown, LocalBack, Sleep, Wake, ClockStep, UtcOffset };

    // What an informational entry's text (after its moment) is, without taking it in.
    static Info Kind(std::string_view text);
    // Takes in an informational entry at `when` and answers what it was.
    Info OnInfo(std::int64_t when, std::string_view text);
    // A ping round at `when`: monitoring runs.
    void OnRound(std::int64_t when);
    // Monitoring stops (the table's closing frame, a new head, a new run, the end of the LOG): the
    // current stretch of monitoring ends, and so do a local outage or sleep still open.
    void StopWatching();

    // `when` on a line that neither daylight saving time nor a clock step bends: the LOG's local time
    // less its UTC offset and less the clock's steps so far.
    std::int64_t Corrected(std::int64_t when) const { return when - m_offset - m_shift; }
    bool LocalDown() const { return m_local.open.has_value(); }

    // Totals, in seconds. Monitored: the stretches from a round to the last round before monitoring
    // stopped, less the local outages and sleep inside them. Period: first round to last round.
    std::int64_t MonitoredSeconds() const;
    std::int64_t PeriodSeconds() const { return std::max<std::int64_t>(0, m_lastAt - m_firstAt); }
    std::int64_t LocalDownSeconds() const { return m_local.seconds; }
    std::int64_t AsleepSeconds() const { return m_sleep.seconds; }

    // Local outages and sleep periods that ended since the last call: their start on the continuous
    // line and their length. What of a host's outage they cover was nobody's time.
    struct Unwatched {
        std::int64_t startAt = 0;
        std::int64_t seconds = 0;
    };
    std::vector<Unwatched> TakeEnded() { return std::exchange(m_ended, {}); }

    // The periods in LOG order; read back with ReadPeriod.
    TextSpool& LocalOutages() { return m_local.periods; }
    TextSpool& Sleeps() { return m_sleep.periods; }
    static bool ReadPeriod(std::string_view line, Period& period);

private:
    struct Open {
        std::int64_t when = 0;
        std::int64_t at = 0; // corrected
        std::string reason;
    };
    // Local outages, or sleep periods: the one going on, the ones ended, their total.
    struct Track {
        std::optional<Open> open;
        TextSpool periods;
        std::int64_t seconds = 0;
    };
    // Ends the track's period at `when` (`at` corrected), `seconds` long; without an entry of its start
    // it began that long before.
    void Close(Track& track, std::int64_t when, std::int64_t at, std::int64_t seconds, bool ended);

    std::int64_t m_offset = 0; // seconds east of UTC
    std::int64_t m_shift = 0;  // sum of the clock's steps

    Track m_local;
    Track m_sleep;
    std::vector<Unwatched> m_ended;

    bool m_watching = false;
    std::int64_t m_spanStart = 0; // corrected
    std::int64_t m_spanLast = 0;  // corrected, of the last round
    std::int64_t m_lastWhen = 0;  // as the LOG gives it, of the last moment seen
    std::int64_t m_monitored = 0;
    std::int64_t m_notWatched = 0; // local outages and sleep inside the stretches
    std::uint64_t m_rounds = 0;
    std::int64_t m_firstAt = 0;
    std::int64_t m_lastAt = 0;
};

} // namespace orvex
