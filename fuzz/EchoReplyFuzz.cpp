// libFuzzer entry for the ICMP echo wire code: any received bytes against any try, and a request of the
// fuzzer's choosing turned into its reply, which must always be recognised.
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

// What a decoded packet may claim, whatever its bytes.
void CheckDecoded(const DecodedEcho& decoded, std::span<const std::uint8_t> packet, bool withIpHeader,
                  const EchoExpectation& expected, std::uint32_t now) {
    if (!withIpHeader)
        Check(decoded.ttl == -1);
    else if (decoded.outcome != EchoOutcome::Unrelated)
        Check(decoded.ttl == packet[8]);
    Check(decoded.roundTrip >= 0);
    if (decoded.outcome == EchoOutcome::Reply) {
        const std::uint32_t elapsed = now - expected.stamp;
        Check(decoded.roundTrip == (elapsed > 0x7FFFFFFF ? 0 : static_cast<int>(elapsed)));
    } else {
        Check(decoded.roundTrip == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool withIpHeader = in.ConsumeBool();
    const bool fromDestination = in.ConsumeBool();
    const bool pingSocket = in.ConsumeBool();
    EchoExpectation expected;
    const std::uint32_t destination = in.ConsumeIntegral<std::uint32_t>();
    expected.destination = HostAddress::Ipv4(destination);
    const std::uint16_t identifier = in.ConsumeIntegral<std::uint16_t>();
    if (!pingSocket)
        expected.identifier = identifier;
    expected.sequence = in.ConsumeIntegral<std::uint16_t>();
    expected.stamp = in.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t now = in.ConsumeIntegral<std::uint32_t>();
    // The sender decides nothing; any address must do.
    const HostAddress source = HostAddress::Ipv4(fromDestination ? destination : in.ConsumeIntegral<std::uint32_t>());

    // The rest is the received packet, in a buffer of exactly its size so that any overread is caught.
    const std::vector<std::uint8_t> packet = in.ConsumeRemainingBytes<std::uint8_t>();
    CheckDecoded(DecodeEchoReply(packet, withIpHeader, source, expected, now), packet, withIpHeader, expected,
                 now);

    // Our own request, answered: the reply of the same try is ours, whichever address sent it.
    const std::size_t dataSize = packet.size() % 64;
    std::vector<std::uint8_t> message(kEchoHeaderSize + dataSize);
    FillEchoRequest(message, identifier);
    StampEchoRequest(message, expected.sequence, expected.stamp);
    message[0] = kIcmpEchoReply;
    const DecodedEcho own = DecodeEchoReply(message, false, source, expected, now);
    Check(own.outcome == EchoOutcome::Reply);
    CheckDecoded(own, message, false, expected, now);
    return 0;
}
