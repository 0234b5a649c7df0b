#include "monitor/ClockWatch.h"

#include "logging/DowntimeTable.h"

#include <chrono>
#include <cstdlib>

namespace tevro {

ClockWatch::Change ClockWatch::Look(qint64 wallMs, qint64 boottimeMs, int offsetSeconds, bool watchSteps) {
    Change change;
    const qint64 wallMinusBoot = wallMs - boottimeMs;
    if (!m_based) {
        m_based = true;
        m_wallMinusBoot = wallMinusBoot;
        m_offset = offsetSeconds;
        change.offsetSeconds = offsetSeconds;
        return change;
    }
    const qint64 step = wallMinusBoot - m_wallMinusBoot;
    // Without steps watched (a test's fixed wall clock against the real monotonic one) the base follows.
    if (!watchSteps || std::llabs(step) > kStepMs) {
        if (watchSteps)
            change.stepMs = step;
        m_wallMinusBoot = wallMinusBoot;
    }
    if (offsetSeconds != m_offset) {
        m_offset = offsetSeconds;
        change.offsetSeconds = offsetSeconds;
    }
    return change;
}

QString ClockStepEntry(qint64 stepMs) {
    // Whole seconds, rounded to the nearest: a step of 2.6 s reads 00:00:03.
    const qint64 seconds = (std::llabs(stepMs) + 500) / 1000;
    return QStringLiteral("The clock was changed by ") + (stepMs < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           FormatDowntimeLength(std::chrono::seconds(seconds));
}

QString UtcOffsetEntry(int offsetSeconds) {
    const int minutes = std::abs(offsetSeconds) / 60;
    return QStringLiteral("The local time is UTC%1%2:%3")
        .arg(offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace tevro
