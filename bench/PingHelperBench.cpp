// What the ping helper costs a run: starting it until it is ready (posix_spawn, its socket, giving up
// its capabilities) and ending it, and a whole one-try ping of 127.0.0.1 through it against the same
// ping over the program's own raw socket. Needs root (or the helper given cap_net_raw) for the raw
// sockets: build/bench/PingHelperBench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "engine/HelperSocket.h"
#include "engine/PingRun.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cerrno>

namespace {

using namespace tevro;

HostAddress Loopback() {
    in_addr a{};
    ::inet_pton(AF_INET, "127.0.0.1", &a);
    return HostAddress::Ipv4(a.s_addr);
}

// Every socket through the helper, as for a user without any other way.
class HelperOnly final : public IcmpNetwork {
public:
    OpenOutcome Open(IpFamily family, int timeOutMs, int ttl) override {
        OpenOutcome out;
        out.socket = MakeHelperSocket(TEVRO_PING_HELPER, family, timeOutMs, ttl, EPERM);
        return out;
    }
};

void HelperStartAndEnd(benchmark::State& state) {
    StopSignal stop;
    for (auto _ : state) {
        auto socket = MakeHelperSocket(TEVRO_PING_HELPER, IpFamily::V4, 1000, 64, EPERM);
        const OpenOutcome ready = socket->Begin({Loopback(), 32, 1, 4660}, stop);
        if (ready.failure != OpenOutcome::Failure::None) {
            state.SkipWithError("the helper did not start: run as root or give it cap_net_raw");
            break;
        }
        socket.reset(); // ends and reaps it
    }
}
BENCHMARK(HelperStartAndEnd)->Unit(benchmark::kMillisecond);

void OneTryPing(benchmark::State& state, bool throughHelper) {
    PingEnvironment environment = PingEnvironment::System();
    if (throughHelper)
        environment.network = std::make_shared<HelperOnly>();
    StopSignal stop;
    for (auto _ : state) {
        const PingResult r = RunPing({QStringLiteral("127.0.0.1"), 1000, 32, 64, 1}, environment, stop);
        if (r.ResultCode != PING_SUCCESS) {
            state.SkipWithError("the ping failed: run as root");
            break;
        }
    }
}
BENCHMARK_CAPTURE(OneTryPing, OwnRawSocket, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OneTryPing, ThroughTheHelper, true)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
