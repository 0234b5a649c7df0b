// The socket layer of the ping: opening an ICMP or ICMPv6 socket with its options, one send, one receive.
// Abstract so the run can be tested over scripted sockets.
#pragma once

#include "engine/HostAddress.h"
#include "engine/StopSignal.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tevro {

enum class IcmpSocketKind {
    Raw,      // whole IPv4 datagrams (ICMPv6: bare messages), our own identifier; needs CAP_NET_RAW
    Datagram, // the kernel's ping socket: bare ICMP messages, the kernel's identifier
};

enum class IoStatus { Done, TimedOut, Failed, Stopped };

struct SendOutcome {
    IoStatus status = IoStatus::Done;
    int error = 0; // errno when Failed
};

struct ReceiveOutcome {
    IoStatus status = IoStatus::Done;
    int error = 0;          // errno when Failed
    std::size_t length = 0; // bytes in the buffer when Done
    int ttl = -1; // received time-to-live (hop limit) when the socket reports it apart from the packet
    HostAddress source = {}; // sender
};

class IcmpSocket {
public:
    virtual ~IcmpSocket() = default;
    virtual int Handle() const = 0;
    virtual IcmpSocketKind Kind() const = 0;
    virtual SendOutcome Send(std::span<const std::uint8_t> message, const HostAddress& destination) = 0;
    // Waits up to waitMs for one packet (an ICMP error about our traffic counts as one).
    virtual ReceiveOutcome Receive(std::span<std::uint8_t> buffer, int waitMs, const StopSignal& stop) = 0;
};

struct OpenOutcome {
    enum class Failure { None, Socket, Option };
    std::unique_ptr<IcmpSocket> socket; // when Failure::None
    Failure failure = Failure::None;
    int error = 0;                 // errno of the refused call
    bool permissionDenied = false; // neither socket kind is allowed to this user
    // The refused option, for the report.
    int handle = -1;
    const char* level = "";
    const char* option = "";
    int value = 0;
    int length = 0;
};

class IcmpNetwork {
public:
    virtual ~IcmpNetwork() = default;
    // Opens a socket of the family with send and receive time-outs and the outgoing time-to-live
    // (hop limit).
    virtual OpenOutcome Open(IpFamily family, int timeOutMs, int ttl) = 0;
};

// Raw ICMP (ICMPv6) socket first; where that is refused for want of privilege, the kernel's ping socket.
std::shared_ptr<IcmpNetwork> SystemIcmpNetwork();

} // namespace tevro
