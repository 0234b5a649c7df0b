// ICMP and ICMPv6 echo request layout, checksum and reply matching.
#include "engine/IcmpEcho.h"

#include <algorithm>
#include <cstring>

namespace tevro {
namespace {

constexpr std::size_t kIpMinHeader = 20;
constexpr std::size_t kIcmpMinHeader = 8;
constexpr std::uint8_t kProtocolIcmp = 1;
constexpr std::size_t kIp6Header = 40;
constexpr std::uint8_t kNextHeaderIcmp6 = 58;

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Addresses are compared in the byte order they travel in.
std::uint32_t ReadAddress(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint32_t a = 0;
    std::memcpy(&a, b.data() + at, sizeof a);
    return a;
}

void Write16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Write32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

// Length of a well-formed IPv4 header at the start of bytes, or 0.
std::size_t IpHeaderLength(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIpMinHeader || (bytes[0] >> 4) != 4)
        return 0;
    const std::size_t length = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
    if (length < kIpMinHeader || length > bytes.size())
        return 0;
    return length;
}

bool MatchesIdAndSequence(std::span<const std::uint8_t> icmp, const EchoExpectation& expected) {
    if (expected.identifier && Read16(icmp, 4) != *expected.identifier)
        return false;
    return Read16(icmp, 6) == expected.sequence;
}

// An ICMP error message quotes the IPv4 header of the packet it is about and at least the first
// eight bytes of that packet's payload: enough to recognise our echo request.
bool QuotesOurRequest(std::span<const std::uint8_t> error, const EchoExpectation& expected) {
    const auto quoted = error.subspan(kIcmpMinHeader);
    const std::size_t header = IpHeaderLength(quoted);
    if (header == 0 || quoted.size() < header + kIcmpMinHeader)
        return false;
    if (quoted[9] != kProtocolIcmp || ReadAddress(quoted, 16) != expected.destination.Ipv4())
        return false;
    const auto request = quoted.subspan(header);
    return request[0] == kIcmpEchoRequest && MatchesIdAndSequence(request, expected);
}

// An ICMPv6 error quotes as much of the packet it is about as fits: our IPv6 header (we send no
// extension headers) and our echo request.
bool QuotesOurRequest6(std::span<const std::uint8_t> error, const EchoExpectation& expected) {
    const auto quoted = error.subspan(kIcmpMinHeader);
    if (quoted.size() < kIp6Header + kIcmpMinHeader || (quoted[0] >> 4) != 6 || quoted[6] != kNextHeaderIcmp6)
        return false;
    const auto& destination = expected.destination.bytes;
    if (!std::equal(destination.begin(), destination.end(), quoted.begin() + 24))
        return false;
    const auto request = quoted.subspan(kIp6Header);
    return request[0] == kIcmp6EchoRequest && MatchesIdAndSequence(request, expected);
}

DecodedEcho JudgeReply(std::span<const std::uint8_t> icmp,
                       const EchoExpectation& expected, std::uint32_t now, DecodedEcho decoded) {
    // The stamp must be the one this try sent: a late answer to an earlier try, or an answer to
    // another worker pinging the same host, is not ours. The sender is not looked at: a host may
    // answer from another of its addresses (a multi-homed router, a ping to 0.0.0.0).
    if (icmp.size() < kEchoHeaderSize || !MatchesIdAndSequence(icmp, expected) ||
        Read32(icmp, 8) != expected.stamp)
        return decoded;
    decoded.outcome = EchoOutcome::Reply;
    // Unsigned subtraction survives the tick count wrapping; a clock that went backwards gives 0.
    const std::uint32_t elapsed = now - expected.stamp;
    decoded.roundTrip = elapsed > 0x7FFFFFFF ? 0 : static_cast<int>(elapsed);
    return decoded;
}

DecodedEcho DecodeIcmp6(std::span<const std::uint8_t> icmp,
                        const EchoExpectation& expected, std::uint32_t now) {
    DecodedEcho decoded;
    if (icmp.size() < kIcmpMinHeader)
        return decoded;
    switch (icmp[0]) {
    case kIcmp6EchoReply:
        return JudgeReply(icmp, expected, now, decoded);
    case kIcmp6TimeExceeded:
    case kIcmp6Unreachable:
    case kIcmp6PacketTooBig: // IPv4 reports this as an unreachable (fragmentation needed)
        if (QuotesOurRequest6(icmp, expected)) {
            decoded.outcome =
                icmp[0] == kIcmp6TimeExceeded ? EchoOutcome::TimeExceeded : EchoOutcome::Unreachable;
            decoded.type = icmp[0];
            decoded.code = icmp[1];
        }
        return decoded;
    default:
        return decoded;
    }
}

} // namespace

std::uint16_t IcmpChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += Read16(bytes, i);
    if (i < bytes.size())
        sum += bytes[i];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

void FillEchoRequest(std::span<std::uint8_t> message, std::uint16_t identifier, IpFamily family) {
    if (message.size() < kEchoHeaderSize)
        return;
    std::fill(message.begin(), message.begin() + kEchoHeaderSize, std::uint8_t{0});
    message[0] = family == IpFamily::V6 ? kIcmp6EchoRequest : kIcmpEchoRequest;
    Write16(message, 4, identifier);
    std::fill(message.begin() + kEchoHeaderSize, message.end(), kEchoDataByte);
}

void StampEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence, std::uint32_t stamp,
                      IpFamily family) {
    if (message.size() < kEchoHeaderSize)
        return;
    Write16(message, 2, 0);
    Write32(message, 8, stamp);
    Write16(message, 6, sequence);
    if (family == IpFamily::V4)
        Write16(message, 2, IcmpChecksum(message));
}

DecodedEcho DecodeEchoReply(std::span<const std::uint8_t> packet, bool withIpHeader,
                            const HostAddress& /*source*/, const EchoExpectation& expected,
                            std::uint32_t now) {
    if (expected.destination.family == IpFamily::V6)
        return DecodeIcmp6(packet, expected, now);
    DecodedEcho decoded;
    std::span<const std::uint8_t> icmp = packet;
    if (withIpHeader) {
        const std::size_t header = IpHeaderLength(packet);
        if (header == 0)
            return decoded;
        decoded.ttl = packet[8];
        icmp = packet.subspan(header);
    }
    if (icmp.size() < kIcmpMinHeader)
        return decoded;

    switch (icmp[0]) {
    case kIcmpEchoReply:
        return JudgeReply(icmp, expected, now, decoded);
    case kIcmpTimeExceeded:
    case kIcmpUnreachable:
        if (QuotesOurRequest(icmp, expected)) {
            decoded.outcome =
                icmp[0] == kIcmpTimeExceeded ? EchoOutcome::TimeExceeded : EchoOutcome::Unreachable;
            decoded.type = icmp[0];
            decoded.code = icmp[1];
        }
        return decoded;
    default:
        return decoded;
    }
}

} // namespace tevro
