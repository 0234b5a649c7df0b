// Cycle arithmetic and the slot chain.
#include "monitor/CycleSchedule.h"

#include "common/LocaleTime.h"

#include <algorithm>
#include <cmath>

namespace tevro {

int TicksPerCycle(int intervalMinutes) {
    return static_cast<int>(std::lround(intervalMinutes * 60000.0 / kTickMs));
}

QString ScheduleLine(const QDateTime& now, int intervalMinutes) {
    const QString separator = TimeSeparator();
    const auto moment = [&separator](const QDateTime& at) -> QString {
        return at.toString(QStringLiteral("dd.MM.yy, ")) + ClockText(at.time(), separator, false);
    };
    return QStringLiteral("Current ping startet at ") % moment(now) % QStringLiteral(". Next ping scheduled at ") %
           moment(now.addSecs(intervalMinutes * 60LL)) % QLatin1Char('.');
}

int ChainStep(int nextSlot, const std::function<bool(int slot)>& startSlot) {
    if (nextSlot < 1 || nextSlot > kSlotCount)
        return 0;
    for (int slot = nextSlot; slot < kSlotCount; ++slot) {
        if (startSlot(slot))
            return slot + 1;
    }
    // The last slot ends the cycle whether or not it is active.
    startSlot(kSlotCount);
    return 0;
}

void TickGrid::Start(qint64 nowMs, int periodMs) {
    m_startMs = nowMs;
    m_periodMs = std::max(1, periodMs);
}

int TickGrid::DelayAfterTick(qint64 nowMs) const {
    const qint64 elapsed = std::max<qint64>(0, nowMs - m_startMs);
    // A wake-up up to 5 % early still counts for its own mark, not for the one before it.
    const qint64 mark = (elapsed + m_periodMs / 20) / m_periodMs;
    return static_cast<int>(m_startMs + (mark + 1) * m_periodMs - nowMs);
}

} // namespace tevro
