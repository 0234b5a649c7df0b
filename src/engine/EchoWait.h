// Waiting for the answer to one echo request: the ping's tries and the path trace's hops read their
// socket the same way, so that one decoder and one time budget judge both.
#pragma once

#include "engine/IcmpEcho.h"
#include "engine/IcmpSocket.h"
#include "engine/StopSignal.h"
#include "engine/TickClock.h"

#include <cstdint>
#include <span>

namespace tevro {

// What a request waits for on a socket of this kind: the identifier only where the socket carries
// ours (the kernel's ping socket puts its own).
EchoExpectation ExpectEcho(IcmpSocketKind kind, const HostAddress& destination, std::uint16_t identifier,
                           std::uint16_t sequence, std::uint32_t stamp);

struct EchoWait {
    IoStatus status = IoStatus::TimedOut; // Done: decoded is a reply or an error about the request
    int error = 0;                        // errno when Failed
    DecodedEcho decoded;
    ReceiveOutcome got;
    std::uint32_t receivedMs = 0; // tick of reception; where the helper read it, on its own times
    std::int64_t receivedUs = 0;  // this process's microsecond clock right after the read
};

// Reads packets until one answers `expected` or timeOutMs have passed since `startMs`: packets that are
// not ours do not extend the budget. `sent` carries the helper's send time, when it sent the request.
EchoWait AwaitEcho(IcmpSocket& socket, std::span<std::uint8_t> buffer, const EchoExpectation& expected,
                   const SendOutcome& sent, std::uint32_t startMs, int timeOutMs, TickClock& clock,
                   const StopSignal& stop);

} // namespace tevro
