// The helper's command line and frames, written and read the same way on both sides.
#include "engine/HelperProtocol.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace tevro::helper {
namespace {

void Put32(Frame& frame, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        frame.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

void Put64(Frame& frame, std::int64_t v) {
    Put32(frame, static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFFFFFF));
    Put32(frame, static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
}

std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

int GetInt(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<int>(static_cast<std::int32_t>(Get32(b, at)));
}

std::int64_t Get64(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int64_t>(Get32(b, at) | (static_cast<std::uint64_t>(Get32(b, at + 4)) << 32));
}

bool IsType(std::span<const std::uint8_t> frame, FrameType type, std::size_t minimum) {
    return frame.size() >= minimum && frame[0] == static_cast<std::uint8_t>(type);
}

// An argument as it may appear in the one-line reason: printable, and not too long.
std::string Shown(const char* text) {
    std::string shown;
    for (const char* c = text; *c != '\0' && shown.size() < 64; ++c)
        shown += (*c >= 0x20 && *c < 0x7F) ? *c : '?';
    return "\"" + shown + "\"";
}

// Decimal digits only: no sign, no blanks, no leading zeros beyond "0" itself.
std::optional<long> Number(const char* text, long minimum, long maximum) {
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 10 || (length > 1 && text[0] == '0'))
        return std::nullopt;
    long value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<HostAddress> Address(const char* text, IpFamily family) {
    HostAddress address;
    address.family = family;
    if (family == IpFamily::V4) {
        in_addr in{};
        if (::inet_pton(AF_INET, text, &in) != 1)
            return std::nullopt;
        std::memcpy(address.bytes.data(), &in, sizeof in);
        return address;
    }
    std::string host = text;
    const std::size_t percent = host.find('%');
    if (percent != std::string::npos) {
        const auto zone = Number(host.c_str() + percent + 1, 1, 0xFFFFFFFFL);
        if (!zone)
            return std::nullopt;
        address.scope = static_cast<std::uint32_t>(*zone);
        host.resize(percent);
    }
    in6_addr in6{};
    if (::inet_pton(AF_INET6, host.c_str(), &in6) != 1)
        return std::nullopt;
    std::memcpy(address.bytes.data(), &in6, sizeof in6);
    return address;
}

} // namespace

std::string NumericAddress(const HostAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const int af = address.family == IpFamily::V6 ? AF_INET6 : AF_INET;
    if (::inet_ntop(af, address.bytes.data(), text, sizeof text) == nullptr)
        return {};
    std::string result = text;
    if (address.family == IpFamily::V6 && address.scope != 0)
        result += "%" + std::to_string(address.scope);
    return result;
}

std::vector<std::string> RequestArguments(const Request& r) {
    return {r.destination.family == IpFamily::V6 ? "6" : "4",
            NumericAddress(r.destination),
            std::to_string(r.dataSize),
            std::to_string(r.ttl),
            std::to_string(r.timeOutMs),
            std::to_string(r.tries),
            std::to_string(r.identifier)};
}

std::optional<Request> ParseRequest(std::span<const char* const> arguments, std::string& reason) {
    if (arguments.size() != 7) {
        reason = "expected 7 arguments, got " + std::to_string(arguments.size()) + "; " + kUsage;
        return std::nullopt;
    }
    Request request;
    const std::string family = arguments[0];
    if (family != "4" && family != "6") {
        reason = "the family must be 4 or 6, not " + Shown(arguments[0]);
        return std::nullopt;
    }
    const auto destination = Address(arguments[1], family == "6" ? IpFamily::V6 : IpFamily::V4);
    if (!destination) {
        reason = "not a numeric IPv" + family + " address: " + Shown(arguments[1]) +
                 " (names are looked up by the caller)";
        return std::nullopt;
    }
    request.destination = *destination;
    const struct {
        const char* name;
        long minimum, maximum;
        int* target;
    } numbers[] = {
        {"data size", kMinDataSize, kMaxDataSize, &request.dataSize},
        {"TTL", kMinTtl, kMaxTtl, &request.ttl},
        {"time-out", kMinTimeOut, kMaxTimeOut, &request.timeOutMs},
        {"tries", kMinTries, kMaxTries, &request.tries},
    };
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        const auto& n = numbers[i];
        const auto value = Number(arguments[2 + i], n.minimum, n.maximum);
        if (!value) {
            reason = std::string("the ") + n.name + " must be a whole number from " +
                     std::to_string(n.minimum) + " to " + std::to_string(n.maximum) + ", not " +
                     Shown(arguments[2 + i]);
            return std::nullopt;
        }
        *n.target = static_cast<int>(*value);
    }
    const auto identifier = Number(arguments[6], 0, 0xFFFF);
    if (!identifier) {
        reason = "the identifier must be a whole number from 0 to 65535, not " + Shown(arguments[6]);
        return std::nullopt;
    }
    request.identifier = static_cast<std::uint16_t>(*identifier);
    return request;
}

Frame EncodeSend(const SendFrame& send) {
    Frame frame{static_cast<std::uint8_t>(FrameType::Send), static_cast<std::uint8_t>(send.sequence & 0xFF),
                static_cast<std::uint8_t>(send.sequence >> 8)};
    Put32(frame, send.stamp);
    return frame;
}

Frame EncodeSimple(FrameType type) {
    return {static_cast<std::uint8_t>(type)};
}

Frame EncodeFailed(const FailedFrame& failed) {
    Frame frame{static_cast<std::uint8_t>(FrameType::Failed), static_cast<std::uint8_t>(failed.stage)};
    for (const int v : {failed.error, failed.handle, failed.value, failed.length})
        Put32(frame, static_cast<std::uint32_t>(v));
    frame.insert(frame.end(), failed.level.begin(), failed.level.end());
    frame.push_back(0);
    frame.insert(frame.end(), failed.option.begin(), failed.option.end());
    return frame;
}

Frame EncodeSent(const SentFrame& sent) {
    Frame frame{static_cast<std::uint8_t>(FrameType::Sent)};
    Put32(frame, static_cast<std::uint32_t>(sent.error));
    Put64(frame, sent.sentUs);
    return frame;
}

Frame EncodePacket(const PacketFrame& packet) {
    Frame frame{static_cast<std::uint8_t>(FrameType::Packet)};
    frame.reserve(kPacketHeader + packet.packet.size());
    Put32(frame, static_cast<std::uint32_t>(packet.ttl));
    frame.push_back(packet.source.family == IpFamily::V6 ? 6 : 4);
    Put32(frame, packet.source.scope);
    frame.insert(frame.end(), packet.source.bytes.begin(), packet.source.bytes.end());
    Put64(frame, packet.receivedUs);
    frame.insert(frame.end(), packet.packet.begin(), packet.packet.end());
    return frame;
}

std::optional<SendFrame> DecodeSend(std::span<const std::uint8_t> frame) {
    if (!IsType(frame, FrameType::Send, 7) || frame.size() != 7)
        return std::nullopt;
    return SendFrame{static_cast<std::uint16_t>(frame[1] | (frame[2] << 8)), Get32(frame, 3)};
}

std::optional<FailedFrame> DecodeFailed(std::span<const std::uint8_t> frame) {
    if (!IsType(frame, FrameType::Failed, 18))
        return std::nullopt;
    FailedFrame failed{frame[1], GetInt(frame, 2), GetInt(frame, 6), GetInt(frame, 10), GetInt(frame, 14), {},
                       {}};
    const std::string names(frame.begin() + 18, frame.end());
    const std::size_t zero = names.find('\0');
    failed.level = names.substr(0, zero);
    if (zero != std::string::npos)
        failed.option = names.substr(zero + 1);
    return failed;
}

std::optional<SentFrame> DecodeSent(std::span<const std::uint8_t> frame) {
    if (!IsType(frame, FrameType::Sent, 13) || frame.size() != 13)
        return std::nullopt;
    return SentFrame{GetInt(frame, 1), Get64(frame, 5)};
}

std::optional<PacketFrame> DecodePacket(std::span<const std::uint8_t> frame) {
    if (!IsType(frame, FrameType::Packet, kPacketHeader) || (frame[5] != 4 && frame[5] != 6))
        return std::nullopt;
    PacketFrame packet;
    packet.ttl = GetInt(frame, 1);
    packet.source.family = frame[5] == 6 ? IpFamily::V6 : IpFamily::V4;
    packet.source.scope = Get32(frame, 6);
    std::memcpy(packet.source.bytes.data(), frame.data() + 10, 16);
    packet.receivedUs = Get64(frame, 26);
    packet.packet = frame.subspan(kPacketHeader);
    return packet;
}

} // namespace tevro::helper
