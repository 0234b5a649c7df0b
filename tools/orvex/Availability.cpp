// The entries read here are written by the program's availability watch; their texts are fixed.
#include "Availability.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace orvex {
namespace {

bool Take(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

bool Digits(std::string_view& text, std::int64_t& value, std::size_t most) {
    std::size_t n = 0;
    value = 0;
    while (n < text.size() && n < most && text[n] >= '0' && text[n] <= '9')
        value = value * 10 + (text[n++] - '0');
    text.remove_prefix(n);
    return n > 0;
}

// A separator of the locale's time format: one character that is not a digit.
bool Separator(std::string_view& text) {
    if (text.empty() || (text.front() >= '0' && text.front() <= '9'))
        return false;
    text.remove_prefix(1);
    return true;
}

// "hh:nn:ss" with the total hours; any single separator.
bool ReadLength(std::string_view& text, std::int64_t& seconds) {
    std::int64_t hours = 0, minutes = 0, rest = 0;
    if (!Digits(text, hours, 9) || !Separator(text) || !Digits(text, minutes, 2) || !Separator(text) ||
        !Digits(text, rest, 2))
        return false;
    seconds = hours * 3600 + minutes * 60 + rest;
    return true;
}

bool Sign(std::string_view& text, int& sign) {
    if (Take(text, "+"))
        sign = 1;
    else if (Take(text, "-"))
        sign = -1;
    else
        return false;
    return true;
}

std::string_view WithoutFullStop(std::string_view text) {
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    return text;
}

} // namespace

Availability::Info Availability::Kind(std::string_view text) {
    static constexpr std::pair<std::string_view, Info> kPrefixes[] = {
        {"The local time is UTC", Info::UtcOffset},
        {"The clock was changed by ", Info::ClockStep},
        {"The local network is down: ", Info::LocalDown},
        {"The local network is back after ", Info::LocalBack},
        {"The computer goes to sleep", Info::Sleep},
        {"The computer woke up after ", Info::Wake},
    };
    for (const auto& [prefix, kind] : kPrefixes) {
        if (text.starts_with(prefix))
            return kind;
    }
    return Info::Other;
}

Availability::Info Availability::OnInfo(std::int64_t when, std::string_view text) {
    std::int64_t seconds = 0;
    int sign = 1;
    std::string_view rest = text;
    if (Take(rest, "The local time is UTC")) {
        std::int64_t hours = 0, minutes = 0;
        if (!Sign(rest, sign) || !Digits(rest, hours, 2) || !Take(rest, ":") || !Digits(rest, minutes, 2))
            return Info::Other;
        m_offset = sign * (hours * 3600 + minutes * 60);
        return Info::UtcOffset;
    }
    if (Take(rest, "The clock was changed by ")) {
        if (!Sign(rest, sign) || !ReadLength(rest, seconds))
            return Info::Other;
        m_shift += sign * seconds;
        return Info::ClockStep;
    }
    m_lastWhen = when;
    const std::int64_t at = Corrected(when);
    if (Take(rest, "The local network is down: ")) {
        if (!m_local.open)
            m_local.open = Open{when, at, std::string(WithoutFullStop(rest))};
        return Info::LocalDown;
    }
    if (Take(rest, "The computer goes to sleep")) {
        if (!m_sleep.open)
            m_sleep.open = Open{when, at, {}};
        return Info::Sleep;
    }
    const bool back = Take(rest, "The local network is back after ");
    // A sleep nobody announced has no entry of its start: its length says when it began.
    if (!back && !Take(rest, "The computer woke up after "))
        return Info::Other;
    if (!ReadLength(rest, seconds))
        return Info::Other;
    Close(back ? m_local : m_sleep, when, at, seconds, true);
    return back ? Info::LocalBack : Info::Wake;
}

void Availability::Close(Track& track, std::int64_t when, std::int64_t at, std::int64_t seconds, bool ended) {
    const Open open = track.open.value_or(Open{when - seconds, at - seconds, {}});
    track.open.reset();
    seconds = std::max<std::int64_t>(0, seconds);
    char head[96];
    std::snprintf(head, sizeof head, "%" PRId64 " %" PRId64 " %" PRId64 " %d ", open.when, when, seconds,
                  ended ? 1 : 0);
    track.periods.Add(std::string(head) + open.reason);
    track.seconds += seconds;
    if (m_watching)
        m_notWatched += seconds;
    m_ended.push_back({open.at, seconds});
}

bool Availability::ReadPeriod(std::string_view line, Period& period) {
    std::int64_t values[4] = {};
    for (std::int64_t& value : values) {
        bool negative = Take(line, "-");
        if (!Digits(line, value, 19) || !Take(line, " "))
            return false;
        if (negative)
            value = -value;
    }
    period = Period{values[0], values[1], values[2], values[3] != 0, std::string(line)};
    return true;
}

void Availability::OnRound(std::int64_t when) {
    m_lastWhen = when;
    const std::int64_t at = Corrected(when);
    if (!m_watching) {
        m_watching = true;
        m_spanStart = m_spanLast = at;
    }
    m_spanLast = std::max(m_spanLast, at);
    if (m_rounds++ == 0 || at < m_firstAt)
        m_firstAt = at;
    m_lastAt = std::max(m_lastAt, at);
}

void Availability::StopWatching() {
    // Periods that did not end in the LOG end where the LOG last looked.
    const std::int64_t lastAt = Corrected(m_lastWhen);
    for (Track* track : {&m_local, &m_sleep}) {
        if (track->open)
            Close(*track, m_lastWhen, lastAt, lastAt - track->open->at, false);
    }
    if (m_watching)
        m_monitored += std::max<std::int64_t>(0, m_spanLast - m_spanStart);
    m_watching = false;
}

std::int64_t Availability::MonitoredSeconds() const {
    return std::max<std::int64_t>(0, m_monitored - m_notWatched);
}

} // namespace orvex
