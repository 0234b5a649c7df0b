// Changes of the wall clock: steps against a monotonic clock (NTP, a hand set) and changes of the UTC
// offset (daylight saving time). The LOG holds local times without a zone; these entries let a reader
// of it measure lengths that neither step nor daylight saving time distorts.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tevro {

class ClockWatch {
public:
    static constexpr qint64 kStepMs = 2000;

    struct Change {
        std::optional<qint64> stepMs;     // the wall clock jumped by this much
        std::optional<int> offsetSeconds; // the UTC offset is now this
    };

    // wallMs: milliseconds since 1970 UTC; boottimeMs: a monotonic clock that counts through suspend,
    // so that a sleep is no step; offsetSeconds: local time minus UTC. The first look only sets the
    // base and reports the offset.
    Change Look(qint64 wallMs, qint64 boottimeMs, int offsetSeconds, bool watchSteps = true);

private:
    bool m_based = false;
    qint64 m_wallMinusBoot = 0;
    int m_offset = 0;
};

QString ClockStepEntry(qint64 stepMs);     // "The clock was changed by +hh:mm:ss"
QString UtcOffsetEntry(int offsetSeconds); // "The local time is UTC+hh:mm"

} // namespace tevro
