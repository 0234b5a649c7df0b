// The path to a host that stopped answering, traced once per outage beside the scheduler: one
// informational entry in the log, and the last hop that answered in the "down" notification.
#include "engine/PingRun.h"
#include "engine/TracePath.h"
#include "monitor/HostText.h"
#include "ui/TevroMonitorState.h"

#include <QLineEdit>

void TF_Tevro::StartPathTrace(int slot, int resultCode) {
    MonitorState& monitor = Monitor();
    TevroPathTraceState& traces = monitor.pathTraces;
    // A round that could not send (no socket, no address) says nothing about the path.
    const TevroPathTraceState::Slot& running = traces.At(slot);
    if (!traces.enabled || resultCode != PING_FAILED || monitor.shutDown ||
        (running.id != 0 && !running.abandoned))
        return;
    // Scripted workers (tests) ping no real host: their hosts are traced only in a world given with them.
    if (!traces.environment && !monitor.ownWorkers)
        return;
    if (!traces.runner)
        traces.runner = std::make_unique<tevro::PathTraces>(
            traces.environment ? traces.environment : tevro::PingEnvironment::System);
    TevroPathTraceState::Slot& trace = traces.At(slot);
    trace = {};
    trace.id = traces.runner->Start(
        tevro::HostForPing(Row(slot).Url->text()),
        [this, slot](int id, const tevro::TraceResult& result) { PathTraced(slot, id, result); });
}

void TF_Tevro::NotifyHostDown(int slot, const QString& summary, const QString& body) {
    MonitorState& monitor = Monitor();
    TevroPathTraceState::Slot& trace = monitor.pathTraces.At(slot);
    if (trace.id != 0 && !trace.abandoned) {
        trace.holding = true;
        trace.summary = summary;
        trace.body = body;
        return;
    }
    if (monitor.notifier)
        monitor.notifier->Notify(slot, summary, body, true, true);
}

void TF_Tevro::AbandonPathTrace(int slot) {
    MonitorState& monitor = Monitor();
    TevroPathTraceState::Slot& trace = monitor.pathTraces.At(slot);
    if (trace.id == 0 || trace.abandoned)
        return;
    trace.abandoned = true;
    monitor.pathTraces.runner->Stop(trace.id);
    // The news that the host is down must not come after the news of this round, which may be that
    // it is back.
    SendHeldDownNotification(slot, QString());
}

void TF_Tevro::PathTraced(int slot, int id, const tevro::TraceResult& result) {
    // An abandoned trace may end after the slot's next one has begun: its entry still counts.
    TevroPathTraceState::Slot& trace = Monitor().pathTraces.At(slot);
    if (trace.id == id) {
        trace.id = 0;
        SendHeldDownNotification(slot, tevro::LastAnsweringHop(result));
    }
    PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::TraceReport(result));
}

void TF_Tevro::SendHeldDownNotification(int slot, const QString& lastHop) {
    MonitorState& monitor = Monitor();
    TevroPathTraceState::Slot& trace = monitor.pathTraces.At(slot);
    if (!trace.holding)
        return;
    trace.holding = false;
    if (!monitor.notify || !monitor.notifier)
        return;
    const QString body =
        lastHop.isEmpty() ? trace.body : trace.body + QLatin1Char(' ') + lastHop + QLatin1Char('.');
    monitor.notifier->Notify(slot, trace.summary, body, true, true);
}

bool TF_Tevro::PathTraceRunning(int slot) const {
    if (!m_monitor || !m_monitor->pathTraces.runner)
        return false;
    return m_monitor->pathTraces.runner->Running(m_monitor->pathTraces.At(slot).id);
}

void TF_Tevro::SetTracePathEnabled(bool enabled) {
    Monitor().pathTraces.enabled = enabled;
}

bool TF_Tevro::TracePathEnabled() const {
    return m_monitor ? m_monitor->pathTraces.enabled : true;
}

void TF_Tevro::SetPathTraceEnvironment(std::function<tevro::PingEnvironment()> environment) {
    Monitor().pathTraces.environment = std::move(environment);
}
