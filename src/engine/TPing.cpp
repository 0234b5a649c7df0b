// The ping worker thread and the group its owner uses to stop and wait for workers at shutdown.
#include "engine/TPing.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <mutex>

namespace tevro::detail {

// Shared by the owner's PingGroup and its workers, so that a worker outliving the owner (past the
// shutdown deadline) still finds it. Both fields are touched on the GUI thread only.
struct PingGroupState {
    bool closed = false;
    std::vector<TPing*> workers;
};

} // namespace tevro::detail

namespace tevro {

PingGroup::PingGroup() : m_state(std::make_shared<detail::PingGroupState>()) {}

PingGroup::~PingGroup() {
    if (!m_state->closed)
        Shutdown();
}

bool PingGroup::IsClosed() const {
    return m_state->closed;
}

int PingGroup::Running() const {
    return static_cast<int>(m_state->workers.size());
}

bool PingGroup::Shutdown(int timeoutMs) {
    m_state->closed = true;
    for (TPing* worker : m_state->workers)
        worker->RequestStop();
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    auto& workers = m_state->workers;
    for (;;) {
        // A worker that has ended (or was never resumed) is freed here; its own queued clean-up
        // goes with it.
        for (auto it = workers.begin(); it != workers.end();) {
            TPing* worker = *it;
            if (worker->wait(QDeadlineTimer(0))) {
                it = workers.erase(it);
                worker->m_runEnded.load(std::memory_order_acquire);
                delete worker;
            } else {
                ++it;
            }
        }
        if (workers.empty())
            return true;
        if (deadline.hasExpired())
            return false;
        // Workers blocked in a hand-over need the event queue served to go on (the hand-over itself
        // is skipped now that the group is closed).
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!workers.empty())
            workers.front()->wait(QDeadlineTimer(std::min<qint64>(5, deadline.remainingTime())));
    }
}

} // namespace tevro

TPing::TPing(tevro::PingGroup& Group, const QString& Host, int TimeOut, int DataSize, int TTL, int Count,
             TPingDoneEvent OnPingDone, tevro::PingEnvironment Environment)
    : m_run(tevro::PingParams{Host, TimeOut, DataSize, TTL, Count}, std::move(Environment)),
      m_onPingDone(std::move(OnPingDone)), m_group(Group.m_state) {
    m_startedOk = m_run.Startup();
    m_group->workers.push_back(this);
    if (m_group->closed)
        m_stop.Request();
    // Frees itself once run() has returned; the clean-up runs on the GUI thread, which owns the object.
    connect(this, &QThread::finished, this, [this] { Ended(); });
}

TPing::~TPing() = default;

void TPing::Resume() {
    start();
}

void TPing::RequestStop() {
    m_stop.Request();
}

void TPing::run() {
    if (m_startedOk)
        m_run.Execute(m_stop);
    m_run.Finish();
    tevro::PingResult result = m_run.Result();
    result.Sender = this;
    // One hand-over for both: the termination starts the next slot's worker, which may finish at
    // once; were the result handed over separately, that worker's result could overtake this one.
    HandOver([this, &result] {
        if (OnTerminate)
            OnTerminate(this);
        if (m_onPingDone)
            m_onPingDone(result);
    });
    m_runEnded.store(true, std::memory_order_release);
}

void TPing::HandOver(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // The closed flag is read on the GUI thread, where the owner sets it: a window that has begun to
    // go away never sees another hand-over.
    auto group = m_group;
    // Qt orders the blocking call inside Qt; locking this mutex on both sides repeats the two edges
    // (worker to GUI thread and back) where ThreadSanitizer sees them, Qt not being built with it.
    std::mutex order;
    { std::lock_guard publish(order); }
    QMetaObject::invokeMethod(
        app,
        [group, &fn, &order] {
            std::lock_guard run(order);
            if (!group->closed)
                fn();
        },
        Qt::BlockingQueuedConnection);
    std::lock_guard receive(order);
}

void TPing::Ended() {
    m_runEnded.load(std::memory_order_acquire);
    auto& workers = m_group->workers;
    workers.erase(std::remove(workers.begin(), workers.end(), this), workers.end());
    deleteLater();
}
