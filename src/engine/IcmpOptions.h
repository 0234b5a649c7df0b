// The options an ICMP or ICMPv6 socket gets before its first send: time-outs, the outgoing TTL (hop
// limit), how the received TTL comes back, and which ICMP types reach it; and the header of a receive.
// Plain C++ (no Qt): the ping helper sets the same options on its raw socket as the program does on
// its own.
#pragma once

#include "engine/HostAddress.h"

#include <cstddef>
#include <string>
#include <sys/socket.h>

namespace tevro {

// The refused option, for the report.
struct SocketOptionFailure {
    int error = 0; // errno
    int handle = -1;
    std::string level;
    std::string option;
    int value = 0;
    int length = 0;
};

// raw: a raw socket (needs CAP_NET_RAW when opened); otherwise the kernel's ping socket. False, with
// failure filled, at the first option the kernel refuses.
bool ConfigureIcmpSocket(int fd, bool raw, IpFamily family, int timeOutMs, int ttl,
                         SocketOptionFailure& failure);

// A recvmsg header over one buffer, with room for the sender's address and for control messages.
msghdr ReceiveHeader(sockaddr_storage& from, iovec& buffer, char* control, std::size_t controlSize);

} // namespace tevro
