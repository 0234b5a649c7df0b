// How the scheduler gets its ping workers: one factory call per slot start. Abstract so tests can
// script workers (their timing and results) instead of pinging.
#pragma once

#include <QString>
#include <functional>

namespace tevro {

struct PingRequest {
    QString host; // as entered, not trimmed
    int timeOut = 1000;
    int dataSize = 32;
    int ttl = 32;
    int count = 3;
};

// A finished ping, handed over by value from the worker's thread.
struct PingOutcome {
    int resultCode = 0;
    int minTime = 0;
    int maxTime = 0;
    int meanTime = 0;
    int packetLoss = 0;
    QString report;
};

// Identity of a running worker: the sender of its result. Only ever compared, never dereferenced.
using PingWorkerId = const void*;

class PingWorkerFactory {
public:
    using TerminateHandler = std::function<void()>;
    using DoneHandler = std::function<void(PingWorkerId worker, const PingOutcome& outcome)>;

    virtual ~PingWorkerFactory() = default;

    // Creates a worker for the request and starts it; never returns null. When it has finished it
    // calls, on the GUI thread and in this order, onTerminate and then onDone with its identity.
    virtual PingWorkerId Start(const PingRequest& request, TerminateHandler onTerminate,
                               DoneHandler onDone) = 0;

    // The owner is going away: workers still running stop early and hand nothing over any more.
    virtual void Shutdown() = 0;
};

} // namespace tevro
