// What the program and its ping helper (tevro-ping) say to each other. Plain C++ (no Qt): both sides
// compile it.
//
// The request is the helper's command line:
//     tevro-ping FAMILY ADDRESS DATASIZE TTL TIMEOUT TRIES IDENTIFIER
//     tevro-ping 4 192.0.2.7 32 64 1000 3 4660
//     tevro-ping 6 fe80::1%2 32 64 1000 3 4660      (an IPv6 zone by interface number, never by name)
// Its standard input is the caller's end of an AF_UNIX SOCK_SEQPACKET socket pair: one message is one
// frame, little-endian fields.
//     caller -> helper   'S' seq:u16 stamp:u32       send the echo request of this sequence and stamp
//                        'Q'                          stop
//     helper -> caller   'R'                          ready: socket open, capabilities given up
//                        'F' stage:u8 errno:i32 handle:i32 value:i32 length:i32 level\0option
//                                                     the raw socket (stage 1) or an option (stage 2)
//                                                     was refused; the helper ends
//                        'A' errno:i32 sent:i64       the request went out (0) or sendto's errno; when
//                                                     it was handed to the kernel
//                        'P' ttl:i32 family:u8 scope:u32 address:16 received:i64 packet...
//                                                     a packet that answers one of our requests, as the
//                                                     raw socket gave it, with its sender, (ICMPv6) hop
//                                                     limit (-1 when not reported apart) and when it
//                                                     was read
// Times are CLOCK_MONOTONIC microseconds of the helper, so that the hops to and from it are not
// counted in a reply time.
#pragma once

#include "engine/HostAddress.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tevro::helper {

// What a request may ask for: any TTL (a path is traced hop by hop), the host rows' data sizes and tries.
inline constexpr int kMinTtl = 1, kMaxTtl = 255;
inline constexpr int kMinDataSize = 32, kMaxDataSize = 512;
inline constexpr int kMinTries = 1, kMaxTries = 99;
inline constexpr int kMinTimeOut = 1, kMaxTimeOut = 60000; // ms
// At most one request per this many microseconds, as an ordinary user's ping is held to.
inline constexpr int kMinSendGapUs = 2000;
// The helper ends by itself when nothing has been asked of it for the time-out plus this long.
inline constexpr int kIdleGraceMs = 2000;

struct Request {
    HostAddress destination; // its family is the request's
    int dataSize = 32;
    int ttl = 64;
    int timeOutMs = 1000;
    int tries = 1;
    std::uint16_t identifier = 0;
};

// The address as the helper reads it: dotted quad, or IPv6 text with a numeric zone.
std::string NumericAddress(const HostAddress& address);
// The command line after the program's name.
std::vector<std::string> RequestArguments(const Request& request);
// Reads a command line (without the program's name). Nothing, with the reason, for anything it does
// not accept exactly: a wrong count, a name, a number out of its range or with anything around it.
std::optional<Request> ParseRequest(std::span<const char* const> arguments, std::string& reason);
inline constexpr const char* kUsage =
    "usage: tevro-ping 4|6 ADDRESS DATASIZE TTL TIMEOUT_MS TRIES IDENTIFIER";

enum class FrameType : std::uint8_t {
    Send = 'S',
    Stop = 'Q',
    Ready = 'R',
    Failed = 'F',
    Sent = 'A',
    Packet = 'P',
};

inline constexpr std::size_t kMaxPacket = 2048;
inline constexpr std::size_t kPacketHeader = 1 + 4 + 1 + 4 + 16 + 8;
inline constexpr std::size_t kMaxFrame = kPacketHeader + kMaxPacket;

using Frame = std::vector<std::uint8_t>;

struct SendFrame {
    std::uint16_t sequence = 0;
    std::uint32_t stamp = 0;
};
struct FailedFrame {
    int stage = 0; // 1 socket, 2 option
    int error = 0;
    int handle = -1;
    int value = 0;
    int length = 0;
    std::string level;
    std::string option;
};
struct SentFrame {
    int error = 0;
    std::int64_t sentUs = 0;
};
struct PacketFrame {
    int ttl = -1;
    HostAddress source;
    std::int64_t receivedUs = 0;
    std::span<const std::uint8_t> packet; // into the frame it was read from
};

Frame EncodeSend(const SendFrame& send);
Frame EncodeSimple(FrameType type); // Stop, Ready
Frame EncodeFailed(const FailedFrame& failed);
Frame EncodeSent(const SentFrame& sent);
Frame EncodePacket(const PacketFrame& packet); // packet.packet: the bytes to pass on

// The decoders take a whole frame and check its type and length.
std::optional<SendFrame> DecodeSend(std::span<const std::uint8_t> frame);
std::optional<FailedFrame> DecodeFailed(std::span<const std::uint8_t> frame);
std::optional<SentFrame> DecodeSent(std::span<const std::uint8_t> frame);
std::optional<PacketFrame> DecodePacket(std::span<const std::uint8_t> frame);

} // namespace tevro::helper
