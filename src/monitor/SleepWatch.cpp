#include "monitor/SleepWatch.h"

#include "logging/DowntimeTable.h"

#include <algorithm>
#include <chrono>

namespace tevro {

void SleepWatch::Rebase(qint64 monotonicMs, qint64 boottimeMs) {
    m_based = true;
    m_lastMonotonic = monotonicMs;
    m_lastBoottime = boottimeMs;
}

SleepWatch::Event SleepWatch::PrepareForSleep(bool start, qint64 monotonicMs, qint64 boottimeMs) {
    Event event;
    // A suspend already seen by Look ended the sleep: the late "woke" signal changes nothing.
    if (start == m_asleep)
        return event;
    m_asleep = start;
    if (start) {
        m_sleptAt = boottimeMs;
        event.kind = Event::Kind::Sleep;
    } else {
        event.kind = Event::Kind::Wake;
        event.sleptMs = std::max<qint64>(0, boottimeMs - m_sleptAt);
    }
    Rebase(monotonicMs, boottimeMs);
    return event;
}

SleepWatch::Event SleepWatch::Look(qint64 monotonicMs, qint64 boottimeMs) {
    Event event;
    const qint64 gap = (boottimeMs - m_lastBoottime) - (monotonicMs - m_lastMonotonic);
    const bool based = m_based;
    Rebase(monotonicMs, boottimeMs);
    if (!based || gap <= kSuspendGapMs)
        return event;
    event.kind = Event::Kind::Wake;
    if (m_asleep) {
        // Announced, and the clocks tell of the resume before logind's signal does.
        m_asleep = false;
        event.sleptMs = std::max<qint64>(0, boottimeMs - m_sleptAt);
    } else {
        event.announced = false;
        event.sleptMs = gap;
    }
    return event;
}

QString SleepEntry() {
    return QStringLiteral("The computer goes to sleep");
}

QString WakeEntry(qint64 sleptMs, bool announced) {
    QString text = QStringLiteral("The computer woke up after ") +
                   FormatDowntimeLength(std::chrono::milliseconds(sleptMs));
    if (!announced)
        text += QStringLiteral(" (a sleep that was not announced)");
    return text;
}

} // namespace tevro
