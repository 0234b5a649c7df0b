// The cycle timer's clockwork: ticks held to a fixed grid of deadlines on a monotonic clock, so that
// late wake-ups of the event loop never add up over the hours.
#pragma once

#include "monitor/Clock.h"

#include <QTimer>
#include <functional>

namespace tevro {

// The deadline grid alone, free of any timer so that long runs can be simulated.
class TickDeadlines {
public:
    void Start(qint64 nowMs, int periodMs);
    int PeriodMs() const { return m_periodMs; }
    qint64 NextDeadline() const { return m_nextMs; }
    // What to arm a single-shot timer with to wake at the next deadline.
    int DelayUntilNext(qint64 nowMs) const;
    // The timer woke at nowMs: true when a tick is due. An early wake-up keeps the deadline; one
    // later than a whole period delivers a single tick and moves on to the next deadline of the grid
    // (after a suspend or a stalled loop the missed ticks are not replayed in a burst).
    bool Fire(qint64 nowMs);

private:
    qint64 m_nextMs = 0;
    int m_periodMs = 0;
};

// A repeating timer on that grid, armed as a precise single-shot for each deadline.
class PreciseTicker {
public:
    PreciseTicker(const MonitorClock& clock, std::function<void()> onTick);
    PreciseTicker(const PreciseTicker&) = delete;
    PreciseTicker& operator=(const PreciseTicker&) = delete;

    // (Re)starts the grid with its first tick one period from now.
    void Start(int periodMs);
    void Stop();
    bool IsActive() const { return m_active; }
    int PeriodMs() const { return m_deadlines.PeriodMs(); }

private:
    void Arm();
    void OnTimeout();

    const MonitorClock& m_clock;
    std::function<void()> m_onTick;
    TickDeadlines m_deadlines;
    QTimer m_timer;
    bool m_active = false;
};

} // namespace tevro
