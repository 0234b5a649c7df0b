// libFuzzer entry for the ICMPv6 side of the echo decoder: any received bytes against any try, and the
// reply to (or a time exceeded about) a request of the fuzzer's choosing, which must be recognised.
#include "engine/IcmpEcho.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace tevro;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

HostAddress Consume6(FuzzedDataProvider& in) {
    HostAddress a;
    a.family = IpFamily::V6;
    for (auto& b : a.bytes)
        b = in.ConsumeIntegral<std::uint8_t>();
    return a;
}

DecodedEcho Decode(const std::vector<std::uint8_t>& packet, const HostAddress& source,
                   const EchoExpectation& expected, std::uint32_t now) {
    const DecodedEcho decoded = DecodeEchoReply(packet, false, source, expected, now);
    Check(decoded.ttl == -1); // ICMPv6 sockets give the hop limit apart
    const std::uint32_t elapsed = now - expected.stamp;
    Check(decoded.roundTrip ==
          (decoded.outcome == EchoOutcome::Reply ? (elapsed > 0x7FFFFFFF ? 0 : static_cast<int>(elapsed)) : 0));
    return decoded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    EchoExpectation expected;
    expected.destination = Consume6(in);
    if (in.ConsumeBool())
        expected.identifier = in.ConsumeIntegral<std::uint16_t>();
    expected.sequence = in.ConsumeIntegral<std::uint16_t>();
    expected.stamp = in.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t now = in.ConsumeIntegral<std::uint32_t>();
    const HostAddress source = in.ConsumeBool() ? expected.destination : Consume6(in);
    const std::size_t dataSize = in.ConsumeIntegralInRange<std::size_t>(0, 64);

    // The rest is the received packet, in a buffer of exactly its size so that any overread is caught.
    const std::vector<std::uint8_t> packet = in.ConsumeRemainingBytes<std::uint8_t>();
    Decode(packet, source, expected, now);

    // Our own request, answered by the destination, is this try's reply.
    std::vector<std::uint8_t> request(kEchoHeaderSize + dataSize);
    FillEchoRequest(request, expected.identifier.value_or(0), IpFamily::V6);
    StampEchoRequest(request, expected.sequence, expected.stamp, IpFamily::V6);
    std::vector<std::uint8_t> reply = request;
    reply[0] = kIcmp6EchoReply;
    Check(Decode(reply, expected.destination, expected, now).outcome == EchoOutcome::Reply);

    // A router's time exceeded quoting our IPv6 header and request ends the try.
    std::vector<std::uint8_t> error(8 + 40, 0);
    error[0] = kIcmp6TimeExceeded;
    error[8] = 0x60;
    error[8 + 6] = 58;
    std::copy(expected.destination.bytes.begin(), expected.destination.bytes.end(), error.begin() + 8 + 24);
    error.insert(error.end(), request.begin(), request.end());
    Check(Decode(error, source, expected, now).outcome == EchoOutcome::TimeExceeded);
    return 0;
}
