// The ping worker: one thread per host and cycle that runs a PingRun and hands its outcome to the
// GUI thread, then frees itself. Its owner keeps a PingGroup to stop and wait for workers at shutdown.
//
// Use, on the GUI thread:
//     auto* ping = new TPing(m_pings, host, timeOut, dataSize, ttl, count,
//                            [this](const tevro::PingResult& r) { PingDone(r); });
//     ping->OnTerminate = [this](TPing* sender) { PingNext(sender); };
//     ping->Resume();
// OnTerminate, then OnPingDone, run on the thread of the QCoreApplication in one hand-over while the
// worker waits, so no other event comes between them; after OnPingDone the worker deletes itself, so
// nobody keeps the pointer past it. Before the window goes away:
//     m_pings.Shutdown();   // no more hand-overs from now on; stops and waits (at most 1 s)
#pragma once

#include "engine/PingRun.h"
#include "engine/StopSignal.h"

#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class TPing;

// The result callback.
using TPingDoneEvent = std::function<void(const tevro::PingResult&)>;
// The termination notification.
using TNotifyEvent = std::function<void(TPing* Sender)>;

namespace tevro {

namespace detail {
struct PingGroupState;
}

// The workers one owner has started. GUI thread only.
class PingGroup {
public:
    PingGroup();
    ~PingGroup(); // shuts down if that has not been done yet
    PingGroup(const PingGroup&) = delete;
    PingGroup& operator=(const PingGroup&) = delete;

    // Closes the group: no hand-over reaches the owner from now on, workers started later are
    // stopped at once. Asks every worker to stop and serves the event queue (without user input)
    // until all have ended or timeoutMs has passed. True when all have ended.
    bool Shutdown(int timeoutMs = 1000);
    bool IsClosed() const;
    int Running() const; // workers made and not yet ended

private:
    friend class ::TPing;
    std::shared_ptr<detail::PingGroupState> m_state;
};

} // namespace tevro

class TPing final : public QThread {
public:
    // Made suspended: the socket library is started here, the run waits for Resume().
    TPing(tevro::PingGroup& Group, const QString& Host, int TimeOut, int DataSize, int TTL, int Count,
          TPingDoneEvent OnPingDone, tevro::PingEnvironment Environment = tevro::PingEnvironment::System());
    ~TPing() override;

    TNotifyEvent OnTerminate; // assign before Resume()

    void Resume();
    // Any thread: ends the run early (between tries or during one); the result still follows.
    void RequestStop();

    const tevro::PingParams& Params() const { return m_run.Params(); }

protected:
    void run() override;

private:
    // Runs fn on the GUI thread and waits for it, unless the group has been closed.
    void HandOver(const std::function<void()>& fn);
    void Ended();

    tevro::PingRun m_run;
    TPingDoneEvent m_onPingDone;
    tevro::StopSignal m_stop;
    std::shared_ptr<tevro::detail::PingGroupState> m_group;
    bool m_startedOk = false;
    // Set as run() returns: what the deleting GUI thread synchronises with (see HandOver).
    std::atomic<bool> m_runEnded{false};
    friend class tevro::PingGroup;
};
