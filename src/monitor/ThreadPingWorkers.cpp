// The real ping workers: TPing threads of one group, so that shutdown can stop them all.
#include "engine/TPing.h"
#include "monitor/PingWorkerFactory.h"

namespace tevro {

namespace {

class ThreadPingWorkers final : public PingWorkerFactory {
public:
    explicit ThreadPingWorkers(PingEnvironmentMaker environmentFor)
        : m_environmentFor(std::move(environmentFor)) {}

    PingWorkerId Start(const PingParams& params, TerminateHandler onTerminate, DoneHandler onDone) override {
        auto* ping = new TPing(
            m_group, params.Host, params.TimeOut, params.DataSize, params.TTL, params.Count,
            [onDone = std::move(onDone)](const PingResult& result) { onDone(result.Sender, result); },
            m_environmentFor ? m_environmentFor(params) : PingEnvironment::System());
        ping->OnTerminate = [onTerminate = std::move(onTerminate)](TPing*) { onTerminate(); };
        ping->Resume();
        // The worker frees itself after its result; the pointer is kept only to be compared.
        return ping;
    }

    // The worker lives until its result has been handed over, which the caller has not seen yet.
    void Stop(PingWorkerId worker) override {
        const_cast<TPing*>(static_cast<const TPing*>(worker))->RequestStop();
    }

    void Shutdown() override { m_group.Shutdown(); }

private:
    PingEnvironmentMaker m_environmentFor;
    PingGroup m_group;
};

} // namespace

std::unique_ptr<PingWorkerFactory> MakeThreadPingWorkers(PingEnvironmentMaker environmentFor) {
    return std::make_unique<ThreadPingWorkers>(std::move(environmentFor));
}

} // namespace tevro
