// How the scheduler gets its ping workers: one factory call per slot start. Abstract so tests can
// script workers (when they finish and with what result) instead of pinging.
#pragma once

#include "engine/PingRun.h"

#include <functional>

namespace tevro {

// Identity of a running worker: the sender of its result. Only ever compared, never dereferenced.
using PingWorkerId = const void*;

class PingWorkerFactory {
public:
    using TerminateHandler = std::function<void()>;
    using DoneHandler = std::function<void(PingWorkerId worker, const PingResult& result)>;

    virtual ~PingWorkerFactory() = default;

    // Creates a worker for the row's parameters and starts it; never returns null. When it has
    // finished it calls, on the GUI thread and in this order, onTerminate and then onDone with the
    // identity returned here, with nothing else run between the two: the worker that onTerminate
    // starts cannot deliver before this one, so the results of a cycle come in slot order.
    virtual PingWorkerId Start(const PingParams& params, TerminateHandler onTerminate,
                               DoneHandler onDone) = 0;

    // Asks a worker to end early (between tries or during one); its hand-overs still follow. Only for a
    // worker whose result has not been handed over yet.
    virtual void Stop(PingWorkerId worker) { static_cast<void>(worker); }

    // The owner is going away: running workers are asked to stop and hand nothing over any more.
    virtual void Shutdown() = 0;
};

// The outside world a worker pings through, by its row's parameters.
using PingEnvironmentMaker = std::function<PingEnvironment(const PingParams& params)>;

// The real workers: one TPing thread each, pinging through the system unless `environmentFor` is given
// (tests script the world behind real threads with it).
std::unique_ptr<PingWorkerFactory> MakeThreadPingWorkers(PingEnvironmentMaker environmentFor = {});

} // namespace tevro
