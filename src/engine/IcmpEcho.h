// The ICMP and ICMPv6 echo wire format: building a request, its checksum, and deciding what a received
// packet means. Pure functions over bytes, so they can be tested and fuzzed without a socket.
#pragma once

#include "engine/HostAddress.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tevro {

inline constexpr std::size_t kEchoBufferSize = 1024;
inline constexpr std::size_t kEchoHeaderSize = 12; // type, code, checksum, identifier, sequence, stamp
inline constexpr std::uint8_t kEchoDataByte = 0x5A;

inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpUnreachable = 3;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;
inline constexpr std::uint8_t kIcmpTimeExceeded = 11;

inline constexpr std::uint8_t kIcmp6Unreachable = 1;
inline constexpr std::uint8_t kIcmp6PacketTooBig = 2;
inline constexpr std::uint8_t kIcmp6TimeExceeded = 3;
inline constexpr std::uint8_t kIcmp6EchoRequest = 128;
inline constexpr std::uint8_t kIcmp6EchoReply = 129;

// Internet checksum over consecutive little-endian 16-bit words; stored little-endian it is the
// standard checksum on the wire.
std::uint16_t IcmpChecksum(std::span<const std::uint8_t> bytes);

// Writes the fixed part of an echo request into message (its size is the message length):
// type 8 (ICMPv6: 128), code 0, identifier, zero checksum, sequence and stamp, then the data bytes.
void FillEchoRequest(std::span<std::uint8_t> message, std::uint16_t identifier,
                     IpFamily family = IpFamily::V4);

// Per try: sets sequence and time stamp and recomputes the checksum. The ICMPv6 checksum covers the
// IPv6 addresses, so the kernel computes it; it is left at zero here.
void StampEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence, std::uint32_t stamp,
                      IpFamily family = IpFamily::V4);

// What a try waits for. The identifier is left out for the kernel's ping socket, which replaces it
// with its own and already delivers only the replies that carry it.
struct EchoExpectation {
    HostAddress destination; // its family says whether ICMP or ICMPv6 is spoken
    std::optional<std::uint16_t> identifier;
    std::uint16_t sequence = 0;
    std::uint32_t stamp = 0;
};

enum class EchoOutcome {
    Unrelated,    // malformed, or not an answer to this try: keep waiting
    Reply,        // our echo reply: roundTrip is valid
    TimeExceeded, // a router dropped our request
    Unreachable,  // the destination (or the way to it) refused our request
};

struct DecodedEcho {
    EchoOutcome outcome = EchoOutcome::Unrelated;
    int roundTrip = 0;
    int ttl = -1; // from the packet's IPv4 header; -1 when the packet came without one
    std::uint8_t type = 0; // of the ICMP (ICMPv6) error, for TimeExceeded and Unreachable
    std::uint8_t code = 0;
};

// Judges one received packet against the try. withIpHeader: the packet starts with the IPv4 header
// (IPv4 raw socket); otherwise it is the bare ICMP message (ping socket, and every ICMPv6 socket).
// source is the sender, which does not decide anything: identifier, sequence and stamp tell our reply
// from any other. now is the tick count at reception. Safe on any bytes.
DecodedEcho DecodeEchoReply(std::span<const std::uint8_t> packet, bool withIpHeader,
                            const HostAddress& source, const EchoExpectation& expected, std::uint32_t now);

} // namespace tevro
