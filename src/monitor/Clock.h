// The time sources of monitoring: wall-clock time for the entries and the schedule line, a monotonic
// millisecond count for the cycle timer. Abstract so tests can set the time instead of waiting.
#pragma once

#include <QDateTime>

namespace tevro {

class MonitorClock {
public:
    virtual ~MonitorClock() = default;
    virtual QDateTime LocalNow() const = 0;
    virtual qint64 MonotonicMs() const = 0;
};

// The process's real clock.
MonitorClock& SystemMonitorClock();

} // namespace tevro
