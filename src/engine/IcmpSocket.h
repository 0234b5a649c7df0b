// The socket layer of the ping: opening an ICMP or ICMPv6 socket with its options, one send, one receive.
// Abstract so the run can be tested over scripted sockets.
#pragma once

#include "engine/HostAddress.h"
#include "engine/StopSignal.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tevro {

enum class IcmpSocketKind {
    Raw,      // whole IPv4 datagrams (ICMPv6: bare messages), our own identifier; needs CAP_NET_RAW
    Datagram, // the kernel's ping socket: bare ICMP messages, the kernel's identifier
    Helper,   // the ping helper's raw socket: what Raw delivers, but only what answers our requests
};

// Whether received packets carry our own identifier (the kernel's ping socket puts in its own).
inline bool CarriesOurIdentifier(IcmpSocketKind kind) {
    return kind != IcmpSocketKind::Datagram;
}

enum class IoStatus { Done, TimedOut, Failed, Stopped };

struct SendOutcome {
    IoStatus status = IoStatus::Done;
    int error = 0; // errno when Failed
    // When another process (the ping helper) sent it: CLOCK_MONOTONIC microseconds there, else -1.
    std::int64_t sentUs = -1;
};

struct ReceiveOutcome {
    IoStatus status = IoStatus::Done;
    int error = 0;          // errno when Failed
    std::size_t length = 0; // bytes in the buffer when Done
    int ttl = -1; // received time-to-live (hop limit) when the socket reports it apart from the packet
    HostAddress source = {}; // sender
    // When another process (the ping helper) read it, on the clock of SendOutcome::sentUs, else -1.
    std::int64_t receivedUs = -1;
};

// A run's destination and requests, known once the host is resolved.
struct EchoRun {
    HostAddress destination;
    int dataSize = 0;
    int count = 0;
    std::uint16_t identifier = 0;
};

struct OpenOutcome;

class IcmpSocket {
public:
    virtual ~IcmpSocket() = default;
    virtual int Handle() const = 0;
    virtual IcmpSocketKind Kind() const = 0;
    // Once the destination is known, before the first send: the helper starts here. Sockets of the
    // program's own are ready already.
    virtual OpenOutcome Begin(const EchoRun& run, const StopSignal& stop);
    // Before a request is stamped: waits until it can go out without being held back.
    virtual void AwaitSendSlot(const StopSignal& /*stop*/) {}
    virtual SendOutcome Send(std::span<const std::uint8_t> message, const HostAddress& destination) = 0;
    // Waits up to waitMs for one packet (an ICMP error about our traffic counts as one).
    virtual ReceiveOutcome Receive(std::span<std::uint8_t> buffer, int waitMs, const StopSignal& stop) = 0;
};

struct OpenOutcome {
    enum class Failure {
        None,
        Socket, // error: the raw socket's errno (or the helper's)
        Option, // the option below was refused
        Helper, // the helper ended before it was ready; error: its exit status
    };
    std::unique_ptr<IcmpSocket> socket; // when Failure::None (and not from Begin)
    Failure failure = Failure::None;
    int error = 0;                 // errno of the refused call
    bool permissionDenied = false; // no way to ping is open to this user
    // The refused option, for the report.
    int handle = -1;
    std::string level;
    std::string option;
    int value = 0;
    int length = 0;
};

inline OpenOutcome IcmpSocket::Begin(const EchoRun&, const StopSignal&) {
    return {};
}

class IcmpNetwork {
public:
    virtual ~IcmpNetwork() = default;
    // Opens a socket of the family with send and receive time-outs and the outgoing time-to-live
    // (hop limit).
    virtual OpenOutcome Open(IpFamily family, int timeOutMs, int ttl) = 0;
};

// Raw ICMP (ICMPv6) socket first; where that is refused for want of privilege, the kernel's ping socket,
// then the ping helper when its file carries the capability.
std::shared_ptr<IcmpNetwork> SystemIcmpNetwork();

} // namespace tevro
