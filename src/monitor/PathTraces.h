// Path traces beside the scheduler: each on a thread of its own, handing its result to the GUI thread
// when it ends. Nothing waits for a trace but the shutdown, and that for at most its time limit.
#pragma once

#include "engine/TracePath.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace tevro {

// GUI thread only.
class PathTraces {
public:
    using DoneHandler = std::function<void(int id, const TraceResult& result)>;
    // The outside world of each trace (sockets, resolver, clock); tests put a scripted one in.
    using EnvironmentMaker = std::function<PingEnvironment()>;

    explicit PathTraces(EnvironmentMaker environment);
    ~PathTraces(); // shuts down
    PathTraces(const PathTraces&) = delete;
    PathTraces& operator=(const PathTraces&) = delete;

    // Starts tracing host; onDone runs later on the GUI thread with the result, also after a Stop.
    // Returns the trace's id, 0 when none could be started (shut down, or no thread to be had).
    int Start(const QString& host, DoneHandler onDone);
    // Ends the trace early; its result (the hops traced so far) still comes.
    void Stop(int id);
    bool Running(int id) const;
    // No result is handed over from now on, every trace is asked to stop, and those that end within
    // timeoutMs are waited for. True when all have ended.
    bool Shutdown(int timeoutMs = 500);

private:
    struct Trace;
    struct Shared;
    void Reap(); // joins the threads that have ended

    EnvironmentMaker m_environment;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QObject> m_receiver; // lives on the GUI thread; results are queued to it
    std::vector<std::shared_ptr<Trace>> m_traces;
    int m_lastId = 0;
};

} // namespace tevro
