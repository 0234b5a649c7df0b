// The arithmetic of the ping cycles: ticks per cycle, the schedule line, one step of the slot chain and
// the grid that keeps the cycle timer on time.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace tevro {

inline constexpr int kTickMs = 5000;
inline constexpr int kSlotCount = 3;

// Timer ticks between two cycle starts for an interval in minutes (12 per minute).
int TicksPerCycle(int intervalMinutes);

// "Current ping startet at dd.mm.yy, hh:nn. Next ping scheduled at ...".
QString ScheduleLine(const QDateTime& now, int intervalMinutes);

// One step of a cycle's chain from `nextSlot` (1..3; 0 means the cycle is over). `startSlot` starts
// slot n's worker, or reports it busy, and answers whether the slot is active. Slots are tried in
// order until one answers active; slot 3 is always the last step. Returns the new next slot.
int ChainStep(int nextSlot, const std::function<bool(int slot)>& startSlot);

// The 5-second marks of a Running period, counted from its start. The cycle timer is re-armed after
// every tick for the mark after the one it woke for, so its late wake-ups never add up (the platform's
// default coarse timers may be 5 % off, which over an interval drifts the cycles by seconds). A wake-up
// late by a whole period or more (a suspend, a stalled loop) is one tick; the missed ones are not
// replayed in a burst.
class TickGrid {
public:
    void Start(qint64 nowMs, int periodMs);
    int PeriodMs() const { return m_periodMs; }
    // What to arm the timer with after a tick at nowMs.
    int DelayAfterTick(qint64 nowMs) const;

private:
    qint64 m_startMs = 0;
    int m_periodMs = kTickMs;
};

} // namespace tevro
