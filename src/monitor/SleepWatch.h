// Sleep and resume, as logind announces them and as the clocks show a suspend nobody announced:
// CLOCK_BOOTTIME goes on counting while the machine sleeps, CLOCK_MONOTONIC does not.
#pragma once

#include <QString>
#include <QtGlobal>

namespace tevro {

class SleepWatch {
public:
    struct Event {
        enum class Kind { None, Sleep, Wake };
        Kind kind = Kind::None;
        qint64 sleptMs = 0;    // Wake: how long the computer slept
        bool announced = true; // Wake: logind told of the sleep before it came
    };

    // A gap between the two clocks larger than this is a suspend; they never drift apart otherwise.
    static constexpr qint64 kSuspendGapMs = 2000;

    // logind's PrepareForSleep(start). The clocks' readings are those of the moment it arrived.
    Event PrepareForSleep(bool start, qint64 monotonicMs, qint64 boottimeMs);
    // A look at the clocks (every timer tick, every entry): finds a suspend since the last look.
    Event Look(qint64 monotonicMs, qint64 boottimeMs);

    bool Asleep() const { return m_asleep; }

private:
    void Rebase(qint64 monotonicMs, qint64 boottimeMs);

    bool m_asleep = false;
    qint64 m_sleptAt = 0; // boottime
    bool m_based = false;
    qint64 m_lastMonotonic = 0;
    qint64 m_lastBoottime = 0;
};

QString SleepEntry();                              // "The computer goes to sleep"
QString WakeEntry(qint64 sleptMs, bool announced); // "The computer woke up after hh:mm:ss"

} // namespace tevro
