// Whether each watched host is up or down, judged over consecutive rounds so that one lost round
// does not count as an outage, and the moments a host goes down or comes back.
#pragma once

#include <QDateTime>
#include <QString>
#include <array>

namespace tevro {

inline constexpr int kMinThreshold = 1;
inline constexpr int kMaxThreshold = 10;

enum class HostState { Unknown, Up, Down };

struct HostChange {
    enum class Kind { None, WentDown, CameBack };
    Kind kind = Kind::None;
    QString host;
    QDateTime firstFailedAt; // the first failed round of the outage
    qint64 awayMs = 0;       // CameBack: from that round to the first successful one, on the monotonic clock
    QString reason;          // WentDown: why the last round failed
    qint64 replyTimeUs = -1; // CameBack: mean reply time of that round
};

// A round's failure in a few words, taken from the report of the ping.
QString FailureReason(int resultCode, const QString& report);
// "3 min 12 s", "1 h 5 min", "2 d 3 h": an outage's length for a notification.
QString DurationText(qint64 seconds);
// A reply time for a notification: "0.12 ms" below 10 ms, where the fraction tells; whole ms above.
QString ReplyTimeText(qint64 microseconds);

class HostStates {
public:
    // Clamped to 1..10: a host is down after `failures` unsuccessful rounds in a row and up again
    // after `successes` successful ones.
    void SetThresholds(int failures, int successes);
    int FailureThreshold() const { return m_failuresForDown; }
    int SuccessThreshold() const { return m_successesForUp; }

    // One round of a slot (1..3) at the wall-clock moment `at`, `monotonicMs` on a clock that no setting
    // of the wall clock moves. A slot whose host text changed starts again as unknown.
    HostChange Record(int slot, const QString& host, bool success, const QDateTime& at, qint64 monotonicMs,
                      const QString& reason, qint64 replyTimeUs);
    // Forgets a slot, as when its row is no longer watched.
    void Reset(int slot);

    HostState State(int slot) const;
    int FailuresInRow(int slot) const;
    // The alert of a failed round waits until as many rounds in a row failed as the threshold asks.
    bool AlertDue(int slot) const { return FailuresInRow(slot) >= m_failuresForDown; }
    // The round of the current run of failures that brought the alert (and the notification), 0 while
    // the run is shorter than the threshold. The threshold may have been raised since.
    int AlertedAtRound(int slot) const;

private:
    struct Slot {
        QString host;
        HostState state = HostState::Unknown;
        int failuresInRow = 0;
        int successesInRow = 0;
        QDateTime firstFailedAt; // of the current run of failures
        qint64 firstFailedMs = 0;
        qint64 firstSuccessMs = 0; // of the current run of successes
        int alertedAt = 0;         // the round of the current run of failures that alerted
    };
    Slot& At(int slot);
    const Slot* Find(int slot) const;

    std::array<Slot, 3> m_slots;
    int m_failuresForDown = 1;
    int m_successesForUp = 1;
};

} // namespace tevro
