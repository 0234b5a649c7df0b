// Builders of IPv4/ICMP and ICMPv6 packets for tests: echo replies and ICMP errors made from a request,
// with the fields a test wants wrong. Shared by the scripted socket layer and the real responder.
#pragma once

#include "engine/HostAddress.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tevro::testing {

using Bytes = std::vector<std::uint8_t>;

// An IPv4 header (20 bytes plus optionWords × 4 of no-op options) followed by payload.
Bytes Ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t ttl,
                 std::span<const std::uint8_t> payload, int optionWords = 0);

// The echo reply to an echo request (bare ICMP or ICMPv6 message), with a fresh checksum (ICMPv6:
// none, the kernel fills it in).
Bytes EchoReplyFor(std::span<const std::uint8_t> request);

// An ICMP error (type, code) quoting original, the whole IPv4 packet it is about, cut to its header
// plus quoteBytes of payload as routers do.
Bytes IcmpErrorFor(std::uint8_t type, std::uint8_t code, std::span<const std::uint8_t> original,
                   std::size_t quoteBytes = 8);

// An ICMPv6 error (type, code) about request, a bare ICMPv6 message sent from source to destination:
// the error quotes the IPv6 header rebuilt from those and the whole request.
Bytes Icmp6ErrorFor(std::uint8_t type, std::uint8_t code, const HostAddress& source,
                    const HostAddress& destination, std::span<const std::uint8_t> request);

// Field access in the byte order the engine writes (little-endian).
std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at);
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at);
void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v);
void Put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v);
// Recomputes the ICMP checksum of a bare message.
void Rechecksum(std::span<std::uint8_t> icmp);

// "a.b.c.d" to network byte order.
std::uint32_t Address(const char* dotted);
// "192.0.2.7" or "fd00::2" as the engine's address.
HostAddress Ip(const char* text);

} // namespace tevro::testing
