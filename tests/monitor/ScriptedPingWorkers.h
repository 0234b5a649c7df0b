// Ping workers that a test finishes by hand: it decides when each hands over and with what result.
#pragma once

#include "monitor/PingResult.h"
#include "monitor/PingWorkerFactory.h"

#include <memory>
#include <vector>

namespace tevro {

class ScriptedPingWorkers final : public PingWorkerFactory {
public:
    struct Worker {
        PingRequest request;
        TerminateHandler onTerminate;
        DoneHandler onDone;
        bool terminated = false;
        bool delivered = false;
    };

    PingWorkerId Start(const PingRequest& request, TerminateHandler onTerminate,
                       DoneHandler onDone) override {
        m_workers.push_back(
            std::make_unique<Worker>(Worker{request, std::move(onTerminate), std::move(onDone)}));
        return m_workers.back().get();
    }
    void Shutdown() override { shutDown = true; }

    int Started() const { return static_cast<int>(m_workers.size()); }
    const Worker& At(int index) const { return *m_workers.at(static_cast<size_t>(index)); }
    PingWorkerId Id(int index) const { return m_workers.at(static_cast<size_t>(index)).get(); }
    // Hosts of the started workers, in start order.
    std::vector<QString> Hosts() const {
        std::vector<QString> hosts;
        for (const auto& worker : m_workers)
            hosts.push_back(worker->request.host);
        return hosts;
    }

    // The two hand-overs of a finished worker, separately or together.
    void Terminate(int index) {
        Worker& worker = *m_workers.at(static_cast<size_t>(index));
        worker.terminated = true;
        worker.onTerminate();
    }
    void Deliver(int index, const PingOutcome& outcome) {
        Worker& worker = *m_workers.at(static_cast<size_t>(index));
        worker.delivered = true;
        worker.onDone(&worker, outcome);
    }
    void Finish(int index, const PingOutcome& outcome) {
        Terminate(index);
        Deliver(index, outcome);
    }

    static PingOutcome Success(int packetLoss = 0,
                               const QString& report = QStringLiteral("host [127.0.0.1]:")) {
        return {PING_SUCCESS, 1, 3, 2, packetLoss, report};
    }
    static PingOutcome Failure(int code = PING_FAILED, const QString& report = QStringLiteral("host:")) {
        return {code, 2147483647, -2147483647 - 1, 0, 100, report};
    }

    bool shutDown = false;

private:
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace tevro
