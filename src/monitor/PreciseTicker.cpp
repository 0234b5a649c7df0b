// Deadline grid and the precise single-shot timer that follows it.
#include "monitor/PreciseTicker.h"

#include <algorithm>

namespace tevro {

void TickDeadlines::Start(qint64 nowMs, int periodMs) {
    m_periodMs = std::max(1, periodMs);
    m_nextMs = nowMs + m_periodMs;
}

int TickDeadlines::DelayUntilNext(qint64 nowMs) const {
    return static_cast<int>(std::clamp<qint64>(m_nextMs - nowMs, 0, m_periodMs));
}

bool TickDeadlines::Fire(qint64 nowMs) {
    if (nowMs < m_nextMs)
        return false;
    m_nextMs += m_periodMs;
    if (m_nextMs <= nowMs)
        m_nextMs += ((nowMs - m_nextMs) / m_periodMs + 1) * m_periodMs;
    return true;
}

PreciseTicker::PreciseTicker(const MonitorClock& clock, std::function<void()> onTick)
    : m_clock(clock), m_onTick(std::move(onTick)) {
    // Coarse timers may fire 5 % off; single-shot precise timers re-armed per deadline cannot drift.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { OnTimeout(); });
}

void PreciseTicker::Start(int periodMs) {
    m_deadlines.Start(m_clock.MonotonicMs(), periodMs);
    m_active = true;
    Arm();
}

void PreciseTicker::Stop() {
    m_active = false;
    m_timer.stop();
}

void PreciseTicker::Arm() {
    m_timer.start(m_deadlines.DelayUntilNext(m_clock.MonotonicMs()));
}

void PreciseTicker::OnTimeout() {
    if (!m_active)
        return;
    const bool due = m_deadlines.Fire(m_clock.MonotonicMs());
    // Armed before the tick runs, so a tick that stops or restarts the ticker has the last word.
    Arm();
    if (due && m_onTick)
        m_onTick();
}

} // namespace tevro
