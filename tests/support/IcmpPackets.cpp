// Packet builders for the engine's tests and the tests' ICMP responder.
#include "IcmpPackets.h"

#include "engine/IcmpEcho.h"

#include <arpa/inet.h>
#include <cstring>

namespace tevro::testing {

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(Get16(b, at)) | (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}

void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    Put16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

void Rechecksum(std::span<std::uint8_t> icmp) {
    Put16(icmp, 2, 0);
    Put16(icmp, 2, IcmpChecksum(icmp));
}

std::uint32_t Address(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

Bytes Ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t ttl,
                 std::span<const std::uint8_t> payload, int optionWords) {
    const std::size_t header = 20 + 4 * static_cast<std::size_t>(optionWords);
    Bytes p(header, 0);
    p[0] = static_cast<std::uint8_t>(0x40 | (header / 4));
    const auto total = static_cast<std::uint16_t>(header + payload.size());
    p[2] = static_cast<std::uint8_t>(total >> 8); // network order
    p[3] = static_cast<std::uint8_t>(total & 0xFF);
    p[8] = ttl;
    p[9] = 1; // ICMP
    std::memcpy(p.data() + 12, &source, 4);
    std::memcpy(p.data() + 16, &destination, 4);
    for (std::size_t i = 20; i < header; ++i)
        p[i] = 1; // no-op option
    const std::uint16_t sum = IcmpChecksum(std::span<const std::uint8_t>(p.data(), header));
    // Header checksum in network order, which the little-endian sum stored as is gives.
    Put16(p, 10, sum);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

Bytes EchoReplyFor(std::span<const std::uint8_t> request) {
    Bytes reply(request.begin(), request.end());
    const bool v6 = reply[0] == kIcmp6EchoRequest;
    reply[0] = v6 ? kIcmp6EchoReply : kIcmpEchoReply;
    reply[1] = 0;
    if (v6)
        Put16(reply, 2, 0);
    else
        Rechecksum(reply);
    return reply;
}

HostAddress Ip(const char* text) {
    HostAddress a;
    if (::inet_pton(AF_INET6, text, a.bytes.data()) == 1)
        a.family = IpFamily::V6;
    else
        ::inet_pton(AF_INET, text, a.bytes.data());
    return a;
}

Bytes Icmp6ErrorFor(std::uint8_t type, std::uint8_t code, const HostAddress& source,
                    const HostAddress& destination, std::span<const std::uint8_t> request) {
    Bytes error(8 + 40, 0);
    error[0] = type;
    error[1] = code;
    error[8] = 0x60;
    error[8 + 4] = static_cast<std::uint8_t>(request.size() >> 8);
    error[8 + 5] = static_cast<std::uint8_t>(request.size() & 0xFF);
    error[8 + 6] = 58; // ICMPv6
    error[8 + 7] = 1;
    std::copy(source.bytes.begin(), source.bytes.end(), error.begin() + 8 + 8);
    std::copy(destination.bytes.begin(), destination.bytes.end(), error.begin() + 8 + 24);
    error.insert(error.end(), request.begin(), request.end());
    return error;
}

Bytes IcmpErrorFor(std::uint8_t type, std::uint8_t code, std::span<const std::uint8_t> original,
                   std::size_t quoteBytes) {
    const std::size_t header = static_cast<std::size_t>(original[0] & 0x0F) * 4;
    const std::size_t quoted = std::min(original.size(), header + quoteBytes);
    Bytes error(8, 0);
    error[0] = type;
    error[1] = code;
    error.insert(error.end(), original.begin(), original.begin() + static_cast<std::ptrdiff_t>(quoted));
    Rechecksum(error);
    return error;
}

} // namespace tevro::testing
