// Waiting for the answer to one echo request.
#include "engine/EchoWait.h"

#include <algorithm>

namespace tevro {
namespace {

// Where the helper sent and read a packet, its own times count: the hops to and from it are not the
// network's.
std::uint32_t ReceivedAtMs(std::uint32_t stamp, std::uint32_t nowMs, const SendOutcome& sent,
                           const ReceiveOutcome& got) {
    if (sent.sentUs < 0 || got.receivedUs < 0)
        return nowMs;
    return stamp + static_cast<std::uint32_t>(got.receivedUs / 1000 - sent.sentUs / 1000);
}

} // namespace

EchoExpectation ExpectEcho(IcmpSocketKind kind, const HostAddress& destination, std::uint16_t identifier,
                           std::uint16_t sequence, std::uint32_t stamp) {
    EchoExpectation expected;
    expected.destination = destination;
    if (CarriesOurIdentifier(kind))
        expected.identifier = identifier;
    expected.sequence = sequence;
    expected.stamp = stamp;
    return expected;
}

EchoWait AwaitEcho(IcmpSocket& socket, std::span<std::uint8_t> buffer, const EchoExpectation& expected,
                   const SendOutcome& sent, std::uint32_t startMs, int timeOutMs, TickClock& clock,
                   const StopSignal& stop) {
    // Only the IPv4 raw socket (and the helper's) delivers the IP header; ICMPv6 sockets give the hop
    // limit apart.
    const bool withIpHeader =
        CarriesOurIdentifier(socket.Kind()) && expected.destination.family == IpFamily::V4;
    EchoWait wait;
    for (;;) {
        const std::uint32_t elapsed = clock.NowMs() - startMs;
        if (elapsed >= static_cast<std::uint32_t>(timeOutMs)) {
            wait.status = IoStatus::TimedOut;
            return wait;
        }
        wait.got = socket.Receive(buffer, timeOutMs - static_cast<int>(elapsed), stop);
        wait.receivedUs = clock.NowUs();
        wait.status = wait.got.status;
        wait.error = wait.got.error;
        if (wait.status != IoStatus::Done)
            return wait;
        wait.receivedMs = ReceivedAtMs(expected.stamp, clock.NowMs(), sent, wait.got);
        wait.decoded = DecodeEchoReply(buffer.first(std::min(wait.got.length, buffer.size())), withIpHeader,
                                       wait.got.source, expected, wait.receivedMs);
        if (wait.decoded.outcome != EchoOutcome::Unrelated)
            return wait;
    }
}

} // namespace tevro
