// The wire code: checksum, request layout, and what the decoder accepts as an answer to a try.
#include "engine/IcmpEcho.h"

#include "IcmpPackets.h"

#include <functional>
#include <gtest/gtest.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

Bytes Request(std::size_t dataSize, std::uint16_t id = 0x1234) {
    Bytes m(kEchoHeaderSize + dataSize);
    FillEchoRequest(m, id);
    return m;
}

TEST(IcmpChecksum, KnownRequestsAndOddLength) {
    Bytes even = Request(32);
    StampEchoRequest(even, 0, 0);
    EXPECT_EQ(even[2], 0x1E);
    EXPECT_EQ(even[3], 0x48);

    Bytes odd = Request(33);
    StampEchoRequest(odd, 0, 0);
    EXPECT_EQ(odd[2], 0xC4);
    EXPECT_EQ(odd[3], 0x47);

    // A receiver summing the finished request gets all ones, whatever the stamp and sequence.
    for (Bytes m : {Request(32), Request(33), Request(512)}) {
        StampEchoRequest(m, 0xABCD, 0xDEADBEEF);
        EXPECT_EQ(IcmpChecksum(m), 0);
    }
}

TEST(EchoRequest, LayoutAndStamp) {
    for (std::size_t data : {32u, 512u}) {
        Bytes m = Request(data);
        EXPECT_EQ(m.size(), data == 32 ? 44u : 524u);
        StampEchoRequest(m, 7, 0x01020304);
        EXPECT_EQ(m[0], 8);
        EXPECT_EQ(m[1], 0);
        EXPECT_EQ(Get16(m, 4), 0x1234);
        EXPECT_EQ(m[4], 0x34) << "identifier is little-endian";
        EXPECT_EQ(Get16(m, 6), 7);
        EXPECT_EQ(Get32(m, 8), 0x01020304u);
        EXPECT_EQ(m[8], 0x04);
        for (std::size_t i = 12; i < m.size(); ++i)
            ASSERT_EQ(m[i], 0x5A) << i;
    }
    // Too small to hold a header: left alone rather than overrun.
    Bytes tiny(5, 0xEE);
    FillEchoRequest(tiny, 1);
    StampEchoRequest(tiny, 1, 1);
    EXPECT_EQ(tiny, Bytes(5, 0xEE));
}

class DecodeTest : public ::testing::Test {
protected:
    const std::uint32_t dest = Address("192.0.2.7");
    const std::uint32_t us = Address("192.0.2.99");
    Bytes request = Request(32);
    EchoExpectation expected;

    void SetUp() override {
        StampEchoRequest(request, 5, 100000);
        expected = {HostAddress::Ipv4(dest), 0x1234, 5, 100000};
    }
    DecodedEcho Decode(const Bytes& packet, std::uint32_t source, bool withIp = true) const {
        return DecodeEchoReply(packet, withIp, HostAddress::Ipv4(source), expected, 100042);
    }
    Bytes ReplyPacket(const std::function<void(Bytes&)>& spoil = nullptr, int options = 0) const {
        Bytes reply = EchoReplyFor(request);
        if (spoil)
            spoil(reply);
        return Ipv4Packet(dest, us, 57, reply, options);
    }
    Bytes ErrorPacket(std::uint8_t type, const Bytes& quotedRequest, std::uint32_t to) const {
        const Bytes original = Ipv4Packet(us, to, 1, quotedRequest);
        return Ipv4Packet(Address("198.51.100.1"), us, 250, IcmpErrorFor(type, 0, original));
    }
};

TEST_F(DecodeTest, ValidReplyGivesTimeAndTtl) {
    const DecodedEcho d = Decode(ReplyPacket(), dest);
    EXPECT_EQ(d.outcome, EchoOutcome::Reply);
    EXPECT_EQ(d.roundTrip, 42);
    EXPECT_EQ(d.ttl, 57);
    // A host may answer from another of its addresses: identifier, sequence and stamp decide.
    EXPECT_EQ(Decode(ReplyPacket(), Address("192.0.2.8")).outcome, EchoOutcome::Reply);

    // IPv4 options (header length 6 words): the ICMP part starts at 24.
    const DecodedEcho withOptions = Decode(ReplyPacket(nullptr, 1), dest);
    EXPECT_EQ(withOptions.outcome, EchoOutcome::Reply);
    EXPECT_EQ(withOptions.roundTrip, 42);

    // The tick count wrapped between stamp and reply.
    expected.stamp = 0xFFFFFFF0;
    StampEchoRequest(request, 5, 0xFFFFFFF0);
    const DecodedEcho wrapped = DecodeEchoReply(ReplyPacket(), true, HostAddress::Ipv4(dest), expected, 0x10);
    EXPECT_EQ(wrapped.outcome, EchoOutcome::Reply);
    EXPECT_EQ(wrapped.roundTrip, 0x20);
}

TEST_F(DecodeTest, PacketsThatDoNotAnswerThisTryArePassedOver) {
    const struct {
        const char* what;
        Bytes packet;
        std::uint32_t source;
    } cases[] = {
        {"wrong identifier", ReplyPacket([](Bytes& r) { Put16(r, 4, 0x4321); }), dest},
        {"earlier sequence", ReplyPacket([](Bytes& r) { Put16(r, 6, 4); }), dest},
        {"other stamp", ReplyPacket([](Bytes& r) { Put32(r, 8, 99999); }), dest},
        {"our own request", Ipv4Packet(us, dest, 64, request), us},
        {"error quoting another sequence",
         ErrorPacket(
             11,
             [&] {
                 Bytes r = request;
                 Put16(r, 6, 4);
                 return r;
             }(),
             dest),
         Address("198.51.100.1")},
        {"error quoting another destination", ErrorPacket(11, request, Address("192.0.2.8")),
         Address("198.51.100.1")},
        {"error quoting another identifier",
         ErrorPacket(
             3,
             [&] {
                 Bytes r = request;
                 Put16(r, 4, 1);
                 return r;
             }(),
             dest),
         Address("198.51.100.1")},
        {"redirect", ErrorPacket(5, request, dest), Address("198.51.100.1")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.packet, c.source).outcome, EchoOutcome::Unrelated) << c.what;
}

TEST_F(DecodeTest, ErrorsQuotingOurRequestEndTheTry) {
    const std::uint32_t router = Address("198.51.100.1");
    EXPECT_EQ(Decode(ErrorPacket(11, request, dest), router).outcome, EchoOutcome::TimeExceeded);
    EXPECT_EQ(Decode(ErrorPacket(3, request, dest), router).outcome, EchoOutcome::Unreachable);
}

TEST_F(DecodeTest, ShortAndMalformedPacketsAreSafe) {
    // Every cut of a valid error packet short of its quoted ICMP header is no answer, never a read
    // past the end (run under the sanitizers to see the latter).
    const Bytes error = ErrorPacket(11, request, dest);
    for (std::size_t n = 0; n < 20 + 8 + 20 + 8; ++n)
        EXPECT_EQ(Decode({error.data(), error.data() + n}, dest).outcome, EchoOutcome::Unrelated) << n;
    const Bytes reply = ReplyPacket();
    for (std::size_t n = 0; n < 20 + 12; ++n)
        EXPECT_EQ(Decode({reply.data(), reply.data() + n}, dest).outcome, EchoOutcome::Unrelated) << n;

    Bytes beyond = ReplyPacket();
    beyond[0] = 0x4F; // header length 60 bytes, more than the packet
    beyond.resize(40);
    EXPECT_EQ(Decode(beyond, dest).outcome, EchoOutcome::Unrelated);
    Bytes tooShortHeader = ReplyPacket();
    tooShortHeader[0] = 0x43; // 12-byte header cannot be
    EXPECT_EQ(Decode(tooShortHeader, dest).outcome, EchoOutcome::Unrelated);
    Bytes notV4 = ReplyPacket();
    notV4[0] = 0x65;
    EXPECT_EQ(Decode(notV4, dest).outcome, EchoOutcome::Unrelated);
}

TEST_F(DecodeTest, PingSocketMessagesHaveNoHeaderAndTheKernelsIdentifier) {
    Bytes reply = EchoReplyFor(request);
    Put16(reply, 4, 0xBEEF);
    expected.identifier.reset();
    const DecodedEcho d = Decode(reply, dest, false);
    EXPECT_EQ(d.outcome, EchoOutcome::Reply);
    EXPECT_EQ(d.ttl, -1);
    // The sequence still has to be this try's.
    Put16(reply, 6, 6);
    EXPECT_EQ(Decode(reply, dest, false).outcome, EchoOutcome::Unrelated);
}

// ICMPv6: every socket delivers the bare message, and errors quote our IPv6 header.
class Decode6Test : public ::testing::Test {
protected:
    const HostAddress dest = Ip("fd00::2");
    const HostAddress us = Ip("fd00::1");
    const HostAddress router = Ip("fd01::1");
    Bytes request = Bytes(kEchoHeaderSize + 32);
    EchoExpectation expected;

    void SetUp() override {
        FillEchoRequest(request, 0x1234, IpFamily::V6);
        StampEchoRequest(request, 5, 100000, IpFamily::V6);
        expected = {dest, 0x1234, 5, 100000};
    }
    EchoOutcome Decode(const Bytes& packet, const HostAddress& source) const {
        return DecodeEchoReply(packet, false, source, expected, 100042).outcome;
    }
    Bytes Reply(const std::function<void(Bytes&)>& spoil = nullptr) const {
        Bytes reply = EchoReplyFor(request);
        if (spoil)
            spoil(reply);
        return reply;
    }
};

TEST_F(Decode6Test, RequestAndReply) {
    // Type 128, and the checksum left to the kernel, which covers the addresses.
    EXPECT_EQ(request[0], 128);
    EXPECT_EQ(Get16(request, 2), 0);
    EXPECT_EQ(Get16(request, 6), 5);

    const DecodedEcho d = DecodeEchoReply(Reply(), false, dest, expected, 100042);
    EXPECT_EQ(d.outcome, EchoOutcome::Reply);
    EXPECT_EQ(d.roundTrip, 42);
    EXPECT_EQ(d.ttl, -1) << "the hop limit comes from the socket";

    EXPECT_EQ(Decode(Icmp6ErrorFor(3, 0, us, dest, request), router), EchoOutcome::TimeExceeded);
    EXPECT_EQ(Decode(Icmp6ErrorFor(1, 4, us, dest, request), router), EchoOutcome::Unreachable);
    EXPECT_EQ(Decode(Icmp6ErrorFor(2, 0, us, dest, request), router), EchoOutcome::Unreachable);
}

TEST_F(Decode6Test, PacketsThatDoNotAnswerThisTryArePassedOver) {
    Bytes otherSequence = request;
    Put16(otherSequence, 6, 4);
    Bytes wrongHeader = Icmp6ErrorFor(3, 0, us, dest, request);
    wrongHeader[8 + 6] = 17; // the quoted packet was UDP
    const struct {
        const char* what;
        Bytes packet;
        HostAddress source;
    } cases[] = {
        {"wrong identifier", Reply([](Bytes& r) { Put16(r, 4, 0x4321); }), dest},
        {"other stamp", Reply([](Bytes& r) { Put32(r, 8, 99999); }), dest},
        {"IPv4 echo reply type", Reply([](Bytes& r) { r[0] = kIcmpEchoReply; }), dest},
        {"our own request", request, dest},
        {"neighbour solicitation", Reply([](Bytes& r) { r[0] = 135; }), dest},
        {"error quoting another sequence", Icmp6ErrorFor(3, 0, us, dest, otherSequence), router},
        {"error quoting another destination", Icmp6ErrorFor(1, 0, us, Ip("fd00::3"), request), router},
        {"error quoting something else", wrongHeader, router},
        {"parameter problem", Icmp6ErrorFor(4, 0, us, dest, request), router},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.packet, c.source), EchoOutcome::Unrelated) << c.what;

    // Every cut short of a whole reply, or of an error's quoted echo header, is no answer.
    const Bytes error = Icmp6ErrorFor(3, 0, us, dest, request);
    for (std::size_t n = 0; n < 8 + 40 + 8; ++n)
        EXPECT_EQ(Decode({error.begin(), error.begin() + static_cast<std::ptrdiff_t>(n)}, router),
                  EchoOutcome::Unrelated)
            << n;
    const Bytes reply = Reply();
    for (std::size_t n = 0; n < kEchoHeaderSize; ++n)
        EXPECT_EQ(Decode({reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n)}, dest),
                  EchoOutcome::Unrelated)
            << n;
}

} // namespace
