#include "monitor/HostStates.h"

#include "engine/PingRun.h"

#include <algorithm>

namespace tevro {

QString FailureReason(int resultCode, const QString& report) {
    if (report.contains(QStringLiteral("DNS lookup failed")))
        return QStringLiteral("the name could not be resolved");
    if (resultCode == VERSION_MISMATCH || resultCode == SOCKET_ERROR)
        return QStringLiteral("pings could not be sent");
    // The last try decides: it is what the host did most recently.
    const qsizetype lastTry = report.lastIndexOf(QStringLiteral("Try #"));
    const QString last = lastTry < 0 ? report : report.mid(lastTry);
    if (last.contains(QStringLiteral("TTL expired")))
        return QStringLiteral("the time-to-live ran out on the way");
    if (last.contains(QStringLiteral("responde not valid")))
        return QStringLiteral("unreachable, or no valid reply");
    if (last.contains(QStringLiteral("timed out")))
        return QStringLiteral("time-out, no reply");
    return QStringLiteral("no valid reply");
}

QString DurationText(qint64 seconds) {
    seconds = std::max<qint64>(seconds, 0);
    const qint64 days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60, rest = seconds % 60;
    if (days > 0)
        return QStringLiteral("%1 d %2 h").arg(days).arg(hours);
    if (hours > 0)
        return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes);
    if (minutes > 0)
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(rest);
    return QStringLiteral("%1 s").arg(rest);
}

QString ReplyTimeText(qint64 microseconds) {
    microseconds = std::max<qint64>(microseconds, 0);
    if (microseconds < 10000)
        return QString::number(static_cast<double>(microseconds) / 1000.0, 'f', 2) + QStringLiteral(" ms");
    return QString::number(microseconds / 1000) + QStringLiteral(" ms"); // cut, as the LOG's figures are
}

void HostStates::SetThresholds(int failures, int successes) {
    m_failuresForDown = std::clamp(failures, kMinThreshold, kMaxThreshold);
    m_successesForUp = std::clamp(successes, kMinThreshold, kMaxThreshold);
}

HostStates::Slot& HostStates::At(int slot) {
    return m_slots.at(static_cast<size_t>(std::clamp(slot, 1, 3) - 1));
}

const HostStates::Slot* HostStates::Find(int slot) const {
    return slot >= 1 && slot <= 3 ? &m_slots.at(static_cast<size_t>(slot - 1)) : nullptr;
}

void HostStates::Reset(int slot) {
    At(slot) = Slot{};
}

HostState HostStates::State(int slot) const {
    const Slot* s = Find(slot);
    return s ? s->state : HostState::Unknown;
}

int HostStates::FailuresInRow(int slot) const {
    const Slot* s = Find(slot);
    return s ? s->failuresInRow : 0;
}

int HostStates::AlertedAtRound(int slot) const {
    const Slot* s = Find(slot);
    return s != nullptr && s->failuresInRow > 0 ? s->alertedAt : 0;
}

HostChange HostStates::Record(int slot, const QString& host, bool success, const QDateTime& at,
                              qint64 monotonicMs, const QString& reason, qint64 replyTimeUs) {
    Slot& s = At(slot);
    if (s.host != host) {
        s = Slot{};
        s.host = host;
    }
    HostChange change;
    change.host = host;
    if (success) {
        if (s.successesInRow++ == 0)
            s.firstSuccessMs = monotonicMs;
        s.failuresInRow = 0;
        s.alertedAt = 0;
        if (s.state != HostState::Up && s.successesInRow >= m_successesForUp) {
            if (s.state == HostState::Down) {
                change.kind = HostChange::Kind::CameBack;
                change.firstFailedAt = s.firstFailedAt;
                change.awayMs = s.firstSuccessMs - s.firstFailedMs;
                change.replyTimeUs = replyTimeUs;
            }
            s.state = HostState::Up;
        }
        return change;
    }
    if (s.failuresInRow++ == 0 && s.state != HostState::Down) {
        s.firstFailedAt = at; // a short dip while down does not restart the outage
        s.firstFailedMs = monotonicMs;
    }
    s.successesInRow = 0;
    if (s.alertedAt == 0 && s.failuresInRow >= m_failuresForDown)
        s.alertedAt = s.failuresInRow;
    if (s.state != HostState::Down && s.failuresInRow >= m_failuresForDown) {
        s.state = HostState::Down;
        change.kind = HostChange::Kind::WentDown;
        change.firstFailedAt = s.firstFailedAt;
        change.reason = reason;
    }
    return change;
}

} // namespace tevro
