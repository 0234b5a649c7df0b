// The arithmetic of the ping cycles: ticks per cycle, the schedule line and one step of the slot chain.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace tevro {

inline constexpr int kTickMs = 5000;
inline constexpr int kSlotCount = 3;
inline constexpr int kMinIntervalMinutes = 1;
inline constexpr int kMaxIntervalMinutes = 59;

// Timer ticks between two cycle starts for an interval in minutes (12 per minute).
int TicksPerCycle(int intervalMinutes);

// "Current ping startet at dd.mm.yy, hh:nn. Next ping scheduled at ...".
QString ScheduleLine(const QDateTime& now, int intervalMinutes);
QString NothingScheduledLine();

// One step of a cycle's chain from `nextSlot` (1..3; 0 means the cycle is over). `startSlot` starts
// slot n's worker, or reports it busy, and answers whether the slot is active. Slots are tried in
// order until one answers active; slot 3 is always the last step. Returns the new next slot.
int ChainStep(int nextSlot, const std::function<bool(int slot)>& startSlot);

} // namespace tevro
