// Trace threads and the queued hand-over of their results. The hand-over never blocks the trace, so a
// window that is going away cannot deadlock with one: it closes the door under the mutex and the
// receiver it deletes takes any result still queued with it.
#include "monitor/PathTraces.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace tevro {

struct PathTraces::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    QObject* receiver = nullptr; // null once shut down
};

struct PathTraces::Trace {
    int id = 0;
    StopSignal stop;
    std::thread thread;
    std::atomic<bool> ended{false};
};

PathTraces::PathTraces(EnvironmentMaker environment)
    : m_environment(std::move(environment)), m_shared(std::make_shared<Shared>()),
      m_receiver(std::make_unique<QObject>()) {
    m_shared->receiver = m_receiver.get();
}

PathTraces::~PathTraces() {
    Shutdown();
}

int PathTraces::Start(const QString& host, DoneHandler onDone) {
    Reap();
    if (!m_receiver)
        return 0;
    auto trace = std::make_shared<Trace>();
    trace->id = ++m_lastId;
    try {
        trace->thread = std::thread(
            [shared = m_shared, trace, host, env = m_environment(), onDone = std::move(onDone)]() mutable {
                TraceResult result = TracePath(host, env, trace->stop);
                std::lock_guard lock(shared->mutex);
                if (shared->receiver != nullptr)
                    QMetaObject::invokeMethod(
                        shared->receiver,
                        [onDone = std::move(onDone), id = trace->id, result = std::move(result)] {
                            onDone(id, result);
                        },
                        Qt::QueuedConnection);
                trace->ended = true;
                shared->ended.notify_all();
            });
    } catch (const std::system_error&) {
        return 0;
    }
    m_traces.push_back(std::move(trace));
    return m_traces.back()->id;
}

void PathTraces::Stop(int id) {
    for (const auto& trace : m_traces)
        if (trace->id == id)
            trace->stop.Request();
}

bool PathTraces::Running(int id) const {
    return std::any_of(m_traces.begin(), m_traces.end(),
                       [id](const auto& trace) { return trace->id == id && !trace->ended; });
}

void PathTraces::Reap() {
    for (auto it = m_traces.begin(); it != m_traces.end();) {
        if ((*it)->ended) {
            (*it)->thread.join();
            it = m_traces.erase(it);
        } else {
            ++it;
        }
    }
}

bool PathTraces::Shutdown(int timeoutMs) {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->receiver = nullptr;
    }
    m_receiver.reset();
    for (const auto& trace : m_traces)
        trace->stop.Request();
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->ended.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [this] {
            return std::all_of(m_traces.begin(), m_traces.end(),
                               [](const auto& trace) { return trace->ended.load(); });
        });
    }
    Reap();
    const bool allEnded = m_traces.empty();
    // A trace past the limit finishes on its own: it owns what it uses and hands nothing over.
    for (const auto& trace : m_traces)
        trace->thread.detach();
    m_traces.clear();
    return allEnded;
}

} // namespace tevro
