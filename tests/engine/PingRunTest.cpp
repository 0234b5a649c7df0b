// Reports, statistics and result codes of whole runs over the scripted socket layer.
#include "FakePing.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

class PingRunTest : public ::testing::Test {
protected:
    FakeWorld world;
    StopSignal stop;
    const HostAddress gateway = Ip("192.0.2.7");

    void SetUp() override { world.resolver->names["gateway"] = gateway; }

    PingResult Run(const QString& host, int count = 3, int timeOut = 1000, int dataSize = 32) {
        return RunPing({host, timeOut, dataSize, 64, count}, world.Environment(), stop);
    }
    void Script(std::initializer_list<FakeTry> tries) {
        world.network->tries.assign(tries.begin(), tries.end());
    }
};

TEST_F(PingRunTest, AllRepliesBack) {
    Script({Answered(20, 52), Answered(25, 52), Answered(30, 52)});
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\tTry #1: successful, DataSize=32, TTL=52, Time=20 ms.\r\n"
                             "\tTry #2: successful, DataSize=32, TTL=52, Time=25 ms.\r\n"
                             "\tTry #3: successful, DataSize=32, TTL=52, Time=30 ms.\r\n"
                             "\t3 request(s) total, 3 successful. Min=20 ms, Max=30 ms, Mean=25 ms, "
                             "Packet loss=0%"));
    EXPECT_EQ(r.MinTime, 20);
    EXPECT_EQ(r.MaxTime, 30);
    EXPECT_EQ(r.MeanTime, 25);
    EXPECT_EQ(r.PacketLoss, 0);
    // Requests went out with sequence 0, 1, 2 and this run's identifier; the row's TTL and time-out
    // were applied to the socket, which is closed again.
    ASSERT_EQ(world.network->sent.size(), 3u);
    for (std::uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Get16(world.network->sent[i].icmp, 6), i);
        EXPECT_EQ(Get16(world.network->sent[i].icmp, 4), 0x1234);
        EXPECT_EQ(world.network->sent[i].destination, gateway);
    }
    EXPECT_EQ(world.network->openedTtl, 64);
    EXPECT_EQ(world.network->openedTimeOut, 1000);
    EXPECT_FALSE(world.network->socketOpen);
    EXPECT_EQ(world.library->startups, 1);
    EXPECT_EQ(world.library->cleanups, 1);
}

TEST_F(PingRunTest, PartialLossReportAndRounding) {
    Script({Answered(40), Answered(30), Unanswered()});
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\tTry #1: successful, DataSize=32, TTL=52, Time=40 ms.\r\n"
                             "\tTry #2: successful, DataSize=32, TTL=52, Time=30 ms.\r\n"
                             "\tTry #3: RecvFrom() timed out after 1000 ms.\r\n"
                             "\t3 request(s) total, 2 successful. Min=30 ms, Max=40 ms, Mean=35 ms, "
                             "Packet loss=33%"));

    const struct {
        int count, valid, loss;
    } rounding[] = {{8, 7, 12}, {8, 5, 38}, {3, 2, 33}, {3, 1, 67}, {8, 3, 62}, {99, 1, 99}};
    for (const auto& c : rounding) {
        world.network->tries.clear();
        for (int i = 0; i < c.count; ++i)
            world.network->tries.push_back(i < c.valid ? Answered(10) : Unanswered());
        EXPECT_EQ(Run(QStringLiteral("gateway"), c.count).PacketLoss, c.loss) << c.count << "/" << c.valid;
    }

    Script({Answered(10), Answered(11)});
    const PingResult mean = Run(QStringLiteral("gateway"), 2);
    EXPECT_EQ(mean.MeanTime, 10);
    EXPECT_TRUE(mean.Report.endsWith(QStringLiteral("Min=10 ms, Max=11 ms, Mean=10 ms, Packet loss=0%")));
}

// The texts keep whole milliseconds; the exact times, the requests sent and the family travel beside them.
TEST_F(PingRunTest, RepliesAreTimedToTheMicrosecond) {
    const auto after = [](std::uint32_t ms, std::int64_t us) {
        FakeEvent reply = Reply(ms);
        reply.afterUs = us;
        return FakeTry{{}, {reply}};
    };
    Script({after(0, 120), after(1, 880), Unanswered(), after(12, 345)});
    PingResult r = Run(QStringLiteral("gateway"), 4);
    EXPECT_TRUE(r.Report.contains(QStringLiteral("Try #1: successful, DataSize=32, TTL=52, Time=0 ms.")));
    EXPECT_TRUE(r.Report.contains(QStringLiteral("Try #2: successful, DataSize=32, TTL=52, Time=1 ms.")));
    EXPECT_TRUE(r.Report.endsWith(QStringLiteral("Min=0 ms, Max=12 ms, Mean=4 ms, Packet loss=25%")))
        << r.Report.toStdString();
    EXPECT_EQ(r.RepliesUs, (std::vector<std::int64_t>{120, 1880, 12345}));
    EXPECT_EQ(r.MeanTimeUs, (120 + 1880 + 12345) / 3);
    EXPECT_EQ(r.Requests, 4);
    EXPECT_EQ(r.Family, IpFamily::V4);

    // Nothing sent, nothing timed: a name that cannot be resolved has no family either.
    r = Run(QStringLiteral("nowhere.invalid"));
    EXPECT_EQ(r.Requests, 0);
    EXPECT_EQ(r.MeanTimeUs, -1);
    EXPECT_TRUE(r.RepliesUs.empty());
    EXPECT_FALSE(r.Family.has_value());
}

TEST_F(PingRunTest, AllFailedKeepsTheStartingStatistics) {
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, PING_FAILED);
    EXPECT_TRUE(r.Report.endsWith(
        QStringLiteral("\tTry #3: RecvFrom() timed out after 1000 ms.\r\n"
                       "\t3 request(s) total, all failed with a time-out set to 1000 ms each")));
    EXPECT_EQ(r.MinTime, 2147483647);
    EXPECT_EQ(r.MaxTime, -2147483647 - 1);
    EXPECT_EQ(r.MeanTime, 0);
    EXPECT_EQ(r.PacketLoss, 100);
}

TEST_F(PingRunTest, SendAndReceiveErrors) {
    // A send error other than a time-out ends the tries; Count stays the configured one.
    Script({{{IoStatus::Failed, ENETUNREACH}, {}}});
    PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, PING_FAILED);
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\tTry #1: SendTo() return an error other then time-out. Status: 101\r\n"
                             "\t3 request(s) total, all failed with a time-out set to 1000 ms each"));
    EXPECT_EQ(world.network->sent.size(), 1u);

    // A send time-out only fails its try; a receive error ends the run but keeps the replies so far.
    world.network->sent.clear();
    Script({{{IoStatus::TimedOut, EAGAIN}, {}}, Answered(12), {{}, {ReceiveError(ENOMEM)}}, Answered(1)});
    r = Run(QStringLiteral("gateway"), 4);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\tTry #1: SendTo() timed out after 1000 ms.\r\n"
                             "\tTry #2: successful, DataSize=32, TTL=52, Time=12 ms.\r\n"
                             "\tTry #3: RecvFrom() return an error other then time-out. Status: 12\r\n"
                             "\t4 request(s) total, 1 successful. Min=12 ms, Max=12 ms, Mean=12 ms, "
                             "Packet loss=75%"));
    EXPECT_EQ(world.network->sent.size(), 3u);
    EXPECT_EQ(r.Requests, 3) << "the fourth try never came";
}

TEST_F(PingRunTest, OtherPacketsArePassedOverWithinTheTryBudget) {
    // Another program's reply, our own request coming back on loopback, a late answer to the previous
    // try: none of them is this try's, and waiting for them does not extend the time-out.
    Script(
        {Answered(5),
         {{},
          {ReplyWith(300, [](Bytes& r) { Put16(r, 4, 0x9999); }), ReplyWith(200, [](Bytes& r) { r[0] = 8; }),
           ReplyWith(100, [](Bytes& r) { Put16(r, 6, 0); })}},
         {{}, {ReplyWith(900, [](Bytes& r) { Put32(r, 8, 1); })}}});
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_TRUE(r.Report.contains(QStringLiteral("\tTry #2: RecvFrom() timed out after 1000 ms.\r\n"
                                                 "\tTry #3: RecvFrom() timed out after 1000 ms.\r\n")))
        << r.Report.toStdString();
    EXPECT_EQ(r.PacketLoss, 67);
    // Try 2 waited 1000, 700, 500 then 400 ms; try 3 1000 then 100 ms.
    EXPECT_EQ(world.network->receiveWaits, (std::vector<int>{1000, 1000, 700, 500, 400, 1000, 100}));
}

// A multi-homed router, or a ping to 0.0.0.0, answers from an address other than the one pinged.
TEST_F(PingRunTest, AnAnswerFromAnotherAddressOfTheHostCounts) {
    Script({{{}, {ReplyFrom(8, Ip("192.0.2.8"))}}});
    const PingResult r = Run(QStringLiteral("gateway"), 1);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS) << r.Report.toStdString();
    EXPECT_EQ(r.MeanTime, 8);
}

TEST_F(PingRunTest, IcmpErrorsAboutOurRequestEndTheTry) {
    Script({{{}, {IcmpError(3, 11)}}, {{}, {IcmpError(4, 3, 1)}}, Answered(9)});
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\tTry #1: failure, TTL expired during transmission; packet discarded.\r\n"
                             "\tTry #2: failure, responde not valid or time-out.\r\n"
                             "\tTry #3: successful, DataSize=32, TTL=52, Time=9 ms.\r\n"
                             "\t3 request(s) total, 1 successful. Min=9 ms, Max=9 ms, Mean=9 ms, "
                             "Packet loss=67%"));
}

TEST_F(PingRunTest, PingSocketTakesTheTtlFromTheSocket) {
    world.network->kind = IcmpSocketKind::Datagram;
    Script({{{}, {DatagramReply(3, 61)}}});
    const PingResult r = Run(QStringLiteral("gateway"), 1, 1000, 33);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_TRUE(r.Report.contains(QStringLiteral("Try #1: successful, DataSize=33, TTL=61, Time=3 ms.")));
    EXPECT_EQ(world.network->sent[0].icmp.size(), 45u);
}

TEST_F(PingRunTest, HeadersOfNamesAndAddresses) {
    Script({Answered(1)});
    world.resolver->reverse["192.0.2.7"] = "gw.example";
    EXPECT_TRUE(Run(QStringLiteral("192.0.2.7"), 1)
                    .Report.startsWith(QStringLiteral("[192.0.2.7] (gw.example):\r\n\t")));

    // Without a registered name the address is still pinged, under the text as typed.
    Script({Answered(1)});
    const PingResult r = Run(QStringLiteral("192.0.2.9"), 1);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_TRUE(
        r.Report.startsWith(QStringLiteral("[192.0.2.9] (reverse lookup failed):\r\n\tTry #1: successful")));
    EXPECT_EQ(world.network->sent.back().destination, Ip("192.0.2.9"));
}

TEST_F(PingRunTest, FailuresBeforeTheFirstTry) {
    const auto expectNoStatistics = [](const PingResult& r) {
        EXPECT_EQ(r.MinTime, 0);
        EXPECT_EQ(r.MaxTime, 0);
        EXPECT_EQ(r.MeanTime, 0);
        EXPECT_EQ(r.PacketLoss, 0);
    };
    PingResult r = Run(QStringLiteral("nowhere.invalid"));
    EXPECT_EQ(r.ResultCode, SOCKET_ERROR);
    EXPECT_EQ(
        r.Report,
        QStringLiteral("nowhere.invalid\r\n\tGetHostByName() DNS lookup failed or invalid IP. Status: -2"));
    expectNoStatistics(r);
    EXPECT_TRUE(world.network->sent.empty());

    // Neither socket kind allowed: the status, and how to allow it.
    world.network->failure = OpenOutcome::Failure::Socket;
    world.network->error = EPERM;
    world.network->permissionDenied = true;
    r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, SOCKET_ERROR);
    EXPECT_EQ(
        r.Report,
        QStringLiteral("gateway\r\n\tSocket(AF_INET,SOCK_RAW,IPPROTO_ICMP) failed. Status: 1\r\n"
                       "\tTo allow pinging, either give Tevro's ping helper the raw-socket capability: sudo "
                       "setcap cap_net_raw+ep '/opt/tevro/libexec/tevro/tevro-ping' or admit your group to "
                       "ping sockets: sudo sysctl -w net.ipv4.ping_group_range=\"1000 1000\""));
    expectNoStatistics(r);
    world.network->permissionDenied = false;
    world.network->error = EMFILE;
    EXPECT_EQ(Run(QStringLiteral("gateway")).Report,
              QStringLiteral("gateway\r\n\tSocket(AF_INET,SOCK_RAW,IPPROTO_ICMP) failed. Status: 24"));

    world.network->failure = OpenOutcome::Failure::Option;
    world.network->error = EINVAL;
    r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, SOCKET_ERROR);
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway\r\n\tSetSockOpt(7,SOL_SOCKET,SO_RCVTIMEO,1000,16) failed. Status: 22"));

    // Out-of-range parameters are refused before any socket is opened; a "%1" in the host text stays text.
    world.network->failure = OpenOutcome::Failure::None;
    r = Run(QStringLiteral("a%1b"), 3, 1000, 2000);
    EXPECT_EQ(r.ResultCode, PING_FAILED);
    EXPECT_EQ(r.Report,
              QStringLiteral("a%1b\r\n\tInvalid parameters: TimeOut=1000 ms (1..60000), DataSize=2000 "
                             "(0..1012), TTL=64 (1..255), Count=3 (1..65535)"));
}

TEST_F(PingRunTest, SocketLibraryStartUp) {
    world.library->fail = true;
    PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, SOCKET_ERROR);
    EXPECT_EQ(r.Report, QStringLiteral("WSock32.dll: **Couldn't initialize**\r\n\t"
                                       "The IP stack seems not to be configured properly"));
    EXPECT_EQ(world.library->cleanups, 0);

    world.library->fail = false;
    world.library->grant = {1, 1};
    r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, VERSION_MISMATCH);
    EXPECT_TRUE(r.Report.startsWith(
        QStringLiteral("WSock32.dll: **Version mismatch**\r\n\tRequested version: 2.1.\r\n"
                       "\tHighest available: 1.1.\r\nGet the Windows Sockets 2 update "
                       "from\r\n\thttps://")));
    EXPECT_TRUE(r.Report.endsWith(QStringLiteral("\r\nInstall the update and try again")));
    EXPECT_TRUE(world.network->sent.empty());
    EXPECT_EQ(world.library->cleanups, 1) << "a start-up that succeeded is released, old version or not";
}

TEST_F(PingRunTest, StopRequest) {
    // Asked before the first try: no try, every request counts as lost.
    stop.Request();
    PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.Report,
              QStringLiteral("gateway [192.0.2.7]:\r\n"
                             "\t3 request(s) total, all failed with a time-out set to 1000 ms each"));
    EXPECT_TRUE(world.network->sent.empty());
}

TEST_F(PingRunTest, StopDuringATry) {
    Script({Answered(7), {{}, {BlockUntilStopped()}}, Answered(7)});
    world.network->onBlocked = [this] { stop.Request(); };
    const PingResult r = Run(QStringLiteral("gateway"));
    EXPECT_EQ(r.ResultCode, PING_SUCCESS);
    EXPECT_TRUE(
        r.Report.endsWith(QStringLiteral("\tTry #2: stopped before a reply came.\r\n"
                                         "\t3 request(s) total, 1 successful. Min=7 ms, Max=7 ms, Mean=7 ms, "
                                         "Packet loss=67%")));
    EXPECT_EQ(world.network->sent.size(), 2u);
}

TEST_F(PingRunTest, Ipv6HostsGoOverIcmpv6) {
    // A literal, with brackets: an ICMPv6 socket from the start, the hop limit from the socket, and the
    // request left for the kernel to checksum.
    world.resolver->reverse["fd00::2"] = "six.example";
    Script({Answered(4, 63)});
    PingResult r = Run(QStringLiteral("[fd00::2]"), 1);
    EXPECT_EQ(r.Report, QStringLiteral("[fd00::2] (six.example):\r\n"
                                       "\tTry #1: successful, DataSize=32, TTL=63, Time=4 ms.\r\n"
                                       "\t1 request(s) total, 1 successful. Min=4 ms, Max=4 ms, Mean=4 ms, "
                                       "Packet loss=0%"));
    EXPECT_EQ(world.network->openedFamilies, std::vector<IpFamily>{IpFamily::V6});
    ASSERT_EQ(world.network->sent.size(), 1u);
    EXPECT_EQ(world.network->sent[0].destination, Ip("fd00::2"));
    EXPECT_EQ(world.network->sent[0].icmp[0], 128);
    EXPECT_EQ(Get16(world.network->sent[0].icmp, 2), 0);

    // A zone names the interface; without a registered name the address stands as typed.
    Script({Answered(1)});
    r = Run(QStringLiteral("fe80::1%lo"), 1);
    EXPECT_TRUE(
        r.Report.startsWith(QStringLiteral("[fe80::1%lo] (reverse lookup failed):\r\n\tTry #1: successful")))
        << r.Report.toStdString();
    EXPECT_NE(world.network->sent.back().destination.scope, 0u);

    // An IPv4-mapped address, typed or looked up, is the IPv4 host it holds, pinged over ICMP.
    world.network->openedFamilies.clear();
    world.resolver->names["mapped"] = Ip("::ffff:192.0.2.8");
    Script({Answered(3), Answered(4)});
    r = Run(QStringLiteral("[::ffff:192.0.2.7]"), 1);
    EXPECT_TRUE(r.Report.startsWith(QStringLiteral(
        "[::ffff:192.0.2.7] (reverse lookup failed):\r\n\tTry #1: successful, DataSize=32, TTL=52")))
        << r.Report.toStdString();
    EXPECT_TRUE(Run(QStringLiteral("mapped"), 1)
                    .Report.startsWith(QStringLiteral("mapped [192.0.2.8]:\r\n\tTry #1: successful")));
    EXPECT_EQ(world.network->openedFamilies,
              (std::vector<IpFamily>{IpFamily::V6, IpFamily::V4, IpFamily::V4}));
    ASSERT_EQ(world.network->sent.size(), 4u);
    EXPECT_EQ(world.network->sent[2].destination, Ip("192.0.2.7"));
    EXPECT_EQ(world.network->sent[3].destination, Ip("192.0.2.8"));
    EXPECT_EQ(world.network->sent[2].icmp[0], 8);

    // A name without an IPv4 address: the IPv4 socket opened first gives way to an ICMPv6 one.
    world.network->openedFamilies.clear();
    world.resolver->names["six"] = Ip("fd00::5");
    Script({{{}, {IcmpError(2, 3, 0)}}, {{}, {IcmpError(1, 1, 4)}}, {{}, {IcmpError(2, 2)}}, Answered(2)});
    r = Run(QStringLiteral("six"), 4);
    EXPECT_EQ(r.Report,
              QStringLiteral("six [fd00::5]:\r\n"
                             "\tTry #1: failure, TTL expired during transmission; packet discarded.\r\n"
                             "\tTry #2: failure, responde not valid or time-out.\r\n"
                             "\tTry #3: failure, responde not valid or time-out.\r\n"
                             "\tTry #4: successful, DataSize=32, TTL=52, Time=2 ms.\r\n"
                             "\t4 request(s) total, 1 successful. Min=2 ms, Max=2 ms, Mean=2 ms, "
                             "Packet loss=75%"));
    EXPECT_EQ(world.network->openedFamilies, (std::vector<IpFamily>{IpFamily::V4, IpFamily::V6}));
    EXPECT_FALSE(world.network->socketOpen);

    // Not an address, and no name either.
    EXPECT_EQ(Run(QStringLiteral("fd00::zz")).Report,
              QStringLiteral("fd00::zz\r\n\tGetHostByName() DNS lookup failed or invalid IP. Status: -2"));
    EXPECT_EQ(Run(QStringLiteral("fe80::1%nosuchif")).ResultCode, SOCKET_ERROR);

    world.network->failure = OpenOutcome::Failure::Socket;
    world.network->error = EPERM;
    world.network->permissionDenied = true;
    r = Run(QStringLiteral("fd00::2"));
    EXPECT_TRUE(r.Report.startsWith(QStringLiteral(
        "fd00::2\r\n\tSocket(AF_INET6,SOCK_RAW,IPPROTO_ICMPV6) failed. Status: 1\r\n\tTo allow pinging")))
        << r.Report.toStdString();
}

} // namespace
