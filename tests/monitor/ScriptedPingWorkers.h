// Ping workers that a test finishes by hand: it decides when each hands over and with what result.
#pragma once

#include "monitor/PingWorkerFactory.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace tevro::test {

class ScriptedPingWorkers final : public PingWorkerFactory {
public:
    struct Worker {
        PingParams params;
        TerminateHandler onTerminate;
        DoneHandler onDone;
        bool terminated = false;
        bool delivered = false;
    };

    PingWorkerId Start(const PingParams& params, TerminateHandler onTerminate, DoneHandler onDone) override {
        m_workers.push_back(
            std::make_unique<Worker>(Worker{params, std::move(onTerminate), std::move(onDone)}));
        return m_workers.back().get();
    }
    void Stop(PingWorkerId worker) override { stops.push_back(worker); }
    void Shutdown() override { shutDown = true; }

    int Started() const { return static_cast<int>(m_workers.size()); }
    const Worker& At(int index) const { return *m_workers.at(static_cast<size_t>(index)); }
    PingWorkerId Id(int index) const { return m_workers.at(static_cast<size_t>(index)).get(); }
    // Hosts of the started workers, in start order.
    QStringList Hosts() const {
        QStringList hosts;
        for (const auto& worker : m_workers)
            hosts << worker->params.Host;
        return hosts;
    }

    // The two hand-overs of a finished worker, separately or one after the other.
    void Terminate(int index) {
        Worker& worker = *m_workers.at(static_cast<size_t>(index));
        worker.terminated = true;
        worker.onTerminate();
    }
    void Deliver(int index, const PingResult& result) {
        Worker& worker = *m_workers.at(static_cast<size_t>(index));
        worker.delivered = true;
        worker.onDone(&worker, result);
    }
    void Finish(int index, const PingResult& result) {
        Terminate(index);
        Deliver(index, result);
    }

    static PingResult Success(int packetLoss = 0, int meanTime = 2) {
        PingResult result;
        result.ResultCode = PING_SUCCESS;
        result.MinTime = 1;
        result.MaxTime = 3;
        result.MeanTime = meanTime;
        result.PacketLoss = packetLoss;
        result.Report = QStringLiteral("localhost [127.0.0.1]:\r\n\tTry #1: successful, DataSize=32, TTL=64, "
                                       "Time=2 ms.\r\n\t1 request(s) total, 1 successful.");
        return result;
    }
    static PingResult Failure(int code = PING_FAILED) {
        PingResult result;
        result.ResultCode = code;
        result.MinTime = 2147483647;
        result.MaxTime = -2147483647 - 1;
        result.PacketLoss = 100;
        result.Report =
            QStringLiteral("[192.0.2.1] (reverse lookup failed):\r\n\tTry #1: RecvFrom() timed out "
                           "after 500 ms.\r\n\t1 request(s) total, all failed");
        return result;
    }

    bool shutDown = false;
    std::vector<PingWorkerId> stops; // workers asked to end early; a scripted one ends when the test says

private:
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace tevro::test
