// The ping engine on the real wire: 127.0.0.1 and hosts in namespaces of the test's own (root only).
#include "EngineNetFixture.h"
#include "IcmpResponder.h"

#include <QElapsedTimer>
#include <QTest>
#include <fstream>

using namespace tevro;
using namespace tevro::testing;

namespace {

using EnginePingTest = EngineNetFixture;

// An echo reply that left its host with TTL (or hop limit) 99, whatever the request carried.
std::vector<IcmpResponder::Answer> EchoWithTtl99(const IcmpResponder::Request& request) {
    auto answers = IcmpResponder::Echo(0)(request);
    answers[0].ttl = 99;
    return answers;
}

TEST_F(EnginePingTest, LoopbackOverTheRawSocket) {
    int defaultTtl = 64;
    std::ifstream("/proc/sys/net/ipv4/ip_default_ttl") >> defaultTtl;
    StopSignal stop;
    const PingResult r =
        RunPing({QStringLiteral("127.0.0.1"), 1000, 32, 32, 3}, PingEnvironment::System(), stop);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS) << r.Report.toStdString();
    EXPECT_TRUE(r.Report.contains(QStringLiteral("3 request(s) total, 3 successful.")))
        << r.Report.toStdString();
    // The TTL shown is the reply's, not the 32 of the row.
    EXPECT_EQ(r.Report.count(QStringLiteral("TTL=%1,").arg(defaultTtl)), 3) << r.Report.toStdString();

    // An IPv4-mapped IPv6 address is the IPv4 host it holds.
    const PingResult mapped =
        RunPing({QStringLiteral("::ffff:127.0.0.1"), 1000, 32, 32, 1}, PingEnvironment::System(), stop);
    EXPECT_EQ(mapped.ResultCode, PING_SUCCESS) << mapped.Report.toStdString();
    EXPECT_TRUE(mapped.Report.contains(QStringLiteral("TTL=%1,").arg(defaultTtl)))
        << mapped.Report.toStdString();
}

TEST_F(EnginePingTest, PingSocketForAnOrdinaryUser) {
    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));
    const CommandResult allowed = ProbeAsNobody(*m_client, "127.0.0.1", 1000, 32, 3);
    EXPECT_TRUE(allowed.output.find("result=4 ") != std::string::npos) << allowed.output;
    EXPECT_TRUE(allowed.output.find("3 request(s) total, 3 successful.") != std::string::npos)
        << allowed.output;
    EXPECT_EQ(Text(allowed).count(QStringLiteral("TTL=64,")), 3) << allowed.output;

    // Neither socket allowed: the status of the raw socket and the two ways to allow pinging.
    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "1 0"));
    const CommandResult refused = ProbeAsNobody(*m_client, "127.0.0.1", 1000, 32, 3);
    EXPECT_TRUE(Text(refused).contains(QStringLiteral(
        "127.0.0.1\n\tSocket(AF_INET,SOCK_RAW,IPPROTO_ICMP) failed. Status: 1\n\tTo allow pinging")))
        << refused.output;
    EXPECT_TRUE(Text(refused).contains(QStringLiteral("sudo setcap cap_net_raw+ep '")));
    EXPECT_TRUE(Text(refused).contains(QStringLiteral("net.ipv4.ping_group_range=\"65534 65534\"")));
    EXPECT_TRUE(Text(refused).contains(QStringLiteral("result=2 ")));
}

TEST_F(EnginePingTest, HostsThatDoNotAnswerGiveTimeOuts) {
    const NetNamespace* ignoring = nullptr;
    const NetNamespace* dropping = nullptr;
    const std::string ignoringAddress = AddHost(&ignoring);
    const std::string droppingAddress = AddHost(&dropping);
    ASSERT_TRUE(ignoring && dropping);
    ASSERT_TRUE(ignoring->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    std::string error;
    ASSERT_TRUE(dropping->Nft(DropRule("drop"), &error)) << error;
    for (const std::string& host : {ignoringAddress, droppingAddress}) {
        const PingResult r = PingFromClient(host, 2, 300);
        EXPECT_EQ(r.ResultCode, PING_FAILED) << host;
        EXPECT_EQ(r.Report,
                  QStringLiteral("[%1] (reverse lookup failed):\r\n"
                                 "\tTry #1: RecvFrom() timed out after 300 ms.\r\n"
                                 "\tTry #2: RecvFrom() timed out after 300 ms.\r\n"
                                 "\t2 request(s) total, all failed with a time-out set to 300 ms each")
                      .arg(QString::fromStdString(host)));
        EXPECT_EQ(r.PacketLoss, 100);
    }
}

TEST_F(EnginePingTest, RandomDropsGivePartialLoss) {
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host);
    ASSERT_TRUE(host);
    std::string error;
    ASSERT_TRUE(host->Nft(DropRule("numgen random mod 100 < 50 drop"), &error)) << error;
    const PingResult r = PingFromClient(address, 30, 200);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS) << r.Report.toStdString();
    EXPECT_GT(r.PacketLoss, 0);
    EXPECT_LT(r.PacketLoss, 100);
    const int answered = static_cast<int>(TryTimes(r.Report).size());
    EXPECT_EQ(r.PacketLoss, (30 - answered) * 100 / 30 + ((30 - answered) * 100 % 30 * 2 > 30 ? 1 : 0));
}

TEST_F(EnginePingTest, WorkersAtOnceNeverTakeEachOthersReplies) {
    // The workers send the same identifier and the same sequence numbers at the same moments, and
    // each raw socket hears the other's replies. The IPv6 host answers 80 ms late.
    const std::string answering = AddHost();
    const NetNamespace* silentHost = nullptr;
    const std::string silent = AddHost(&silentHost);
    ASSERT_TRUE(silentHost && silentHost->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    const NetNamespace* sixHost = nullptr;
    const std::string six = AddHost(&sixHost, true);
    ASSERT_TRUE(sixHost && sixHost->Sysctl("net.ipv6.icmp.echo_ignore_all", "1"));
    IcmpResponder responder;
    std::string error;
    ASSERT_TRUE(responder.Start(IcmpResponder::Echo(80), sixHost, &error, IpFamily::V6)) << error;

    PingGroup group;
    PingResult results[3];
    int done = 0;
    const std::string hosts[3] = {answering, silent, six};
    ASSERT_TRUE(m_client->Enter([&] {
        for (int i = 0; i < 3; ++i) {
            auto* ping = new TPing(group, QString::fromStdString(hosts[i]), 400, 32, 32, 4,
                                   [&results, &done, i](const PingResult& r) {
                                       results[i] = r;
                                       ++done;
                                   });
            ping->Resume(); // the worker's thread starts inside the client namespace
        }
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 3; }, 20000));
    EXPECT_EQ(results[0].ResultCode, PING_SUCCESS);
    EXPECT_EQ(results[0].PacketLoss, 0) << results[0].Report.toStdString();
    for (int t : TryTimes(results[0].Report))
        EXPECT_LT(t, 60) << results[0].Report.toStdString();
    EXPECT_EQ(results[1].ResultCode, PING_FAILED) << results[1].Report.toStdString();
    EXPECT_EQ(results[1].Report.count(QStringLiteral("RecvFrom() timed out after 400 ms.")), 4);
    EXPECT_EQ(results[2].PacketLoss, 0) << results[2].Report.toStdString();
    for (int t : TryTimes(results[2].Report))
        EXPECT_GE(t, 80) << results[2].Report.toStdString();
}

TEST_F(EnginePingTest, RespondersAnswersAreMatchedOnTheWire) {
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host);
    ASSERT_TRUE(host && host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));

    // Every request first gets a reply with someone else's identifier; the first request's real reply
    // comes only after its try has timed out, the others' after 50 ms.
    IcmpResponder responder;
    std::string error;
    ASSERT_TRUE(responder.Start(
        [](const IcmpResponder::Request& r) {
            auto answers = IcmpResponder::Echo(r.index == 0 ? 450 : 50)(r);
            IcmpResponder::Answer foreign = answers[0];
            foreign.delayMs = 0;
            Put16(foreign.icmp, 4, static_cast<std::uint16_t>(Get16(foreign.icmp, 4) + 1));
            Rechecksum(foreign.icmp);
            answers.push_back(foreign);
            return answers;
        },
        host, &error))
        << error;
    const PingResult r = PingFromClient(address, 3, 300, 37);
    responder.Stop();
    EXPECT_TRUE(r.Report.contains(QStringLiteral("Try #1: RecvFrom() timed out after 300 ms.")))
        << r.Report.toStdString();
    const std::vector<int> times = TryTimes(r.Report);
    ASSERT_EQ(times.size(), 2u) << r.Report.toStdString();
    for (int t : times) {
        EXPECT_GE(t, 50);
        EXPECT_LT(t, 150) << "the late reply to try 1 was taken for a later try";
    }
    // The row's TTL left with every request.
    for (const auto& request : responder.Requests())
        EXPECT_EQ(request.ttl, 37);
}

TEST_F(EnginePingTest, IcmpErrorsOnBothSocketKinds) {
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host);
    ASSERT_TRUE(host && host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));
    const struct {
        std::uint8_t type, code;
        QString line;
    } cases[] = {
        {11, 0, QStringLiteral("failure, TTL expired during transmission; packet discarded.")},
        {3, 1, QStringLiteral("failure, responde not valid or time-out.")},
    };
    for (const auto& c : cases) {
        IcmpResponder responder;
        std::string error;
        ASSERT_TRUE(responder.Start(IcmpResponder::Error(c.type, c.code), host, &error)) << error;
        const PingResult raw = PingFromClient(address, 2, 1000);
        EXPECT_EQ(raw.ResultCode, PING_FAILED);
        EXPECT_EQ(raw.Report.count(c.line), 2) << raw.Report.toStdString();
        const CommandResult datagram = ProbeAsNobody(*m_client, address, 1000, 32, 2);
        EXPECT_EQ(Text(datagram).count(c.line), 2) << datagram.output;
    }

    // Through the ping socket the row's TTL goes out and the reply's TTL comes back.
    IcmpResponder responder;
    std::string error;
    ASSERT_TRUE(responder.Start(
        EchoWithTtl99,
        host, &error))
        << error;
    const CommandResult datagram = ProbeAsNobody(*m_client, address, 1000, 41, 2);
    EXPECT_EQ(Text(datagram).count(QStringLiteral("TTL=99,")), 2) << datagram.output;
    for (const auto& request : responder.Requests())
        EXPECT_EQ(request.ttl, 41);
}

TEST_F(EnginePingTest, EndingMidTryTakesLessThanASecond) {
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host);
    ASSERT_TRUE(host && host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    IcmpResponder counter;
    std::string error;
    ASSERT_TRUE(counter.Start(IcmpResponder::Silent(), host, &error)) << error;

    PingGroup group;
    int delivered = 0;
    ASSERT_TRUE(m_client->Enter([&] {
        for (int i = 0; i < 3; ++i) {
            auto* ping = new TPing(group, QString::fromStdString(address), 8000, 32, 32, 3,
                                   [&delivered](const PingResult&) { ++delivered; });
            ping->OnTerminate = [&delivered](TPing*) { ++delivered; };
            ping->Resume();
        }
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.RequestsSeen() == 3; }, 10000));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(group.Shutdown(1000));
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(delivered, 0);
}

// IPv6 hosts, over ICMPv6.

TEST_F(EnginePingTest, Ipv6OverTheRawAndThePingSocket) {
    StopSignal stop;
    const PingResult loopback =
        RunPing({QStringLiteral("::1"), 1000, 32, 32, 2}, PingEnvironment::System(), stop);
    EXPECT_EQ(loopback.ResultCode, PING_SUCCESS) << loopback.Report.toStdString();

    // The responder answers with hop limit 99: that is what the reports show, whatever the row sent.
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host, true);
    ASSERT_TRUE(host && host->Sysctl("net.ipv6.icmp.echo_ignore_all", "1"));
    IcmpResponder responder;
    std::string error;
    ASSERT_TRUE(responder.Start(
        EchoWithTtl99,
        host, &error, IpFamily::V6))
        << error;
    const PingResult raw = PingFromClient(address, 2, 1000, 37);
    EXPECT_EQ(raw.ResultCode, PING_SUCCESS) << raw.Report.toStdString();
    EXPECT_TRUE(raw.Report.startsWith(QStringLiteral("[%1] (reverse lookup failed):\r\n\tTry #1: successful")
                                          .arg(QString::fromStdString(address))))
        << raw.Report.toStdString();
    EXPECT_EQ(raw.Report.count(QStringLiteral("TTL=99,")), 2) << raw.Report.toStdString();

    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));
    const CommandResult datagram = ProbeAsNobody(*m_client, "[" + address + "]", 1000, 37, 2);
    EXPECT_TRUE(datagram.output.find("2 request(s) total, 2 successful.") != std::string::npos)
        << datagram.output;
    EXPECT_EQ(Text(datagram).count(QStringLiteral("TTL=99,")), 2) << datagram.output;
    // The row's TTL left as the hop limit of every request, from both sockets.
    ASSERT_EQ(responder.Requests().size(), 4u);
    for (const auto& request : responder.Requests())
        EXPECT_EQ(request.ttl, 37);

    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "1 0"));
    const CommandResult refused = ProbeAsNobody(*m_client, address, 1000, 32, 1);
    EXPECT_TRUE(
        Text(refused).contains(QStringLiteral("\n\tSocket(AF_INET6,SOCK_RAW,IPPROTO_ICMPV6) failed. Status: 1"
                                              "\n\tTo allow pinging")))
        << refused.output;
}

TEST_F(EnginePingTest, Ipv6HostWithEchoSwitchedOffTimesOut) {
    const NetNamespace* host = nullptr;
    const std::string address = AddHost(&host, true);
    ASSERT_TRUE(host && host->Sysctl("net.ipv6.icmp.echo_ignore_all", "1"));
    const PingResult r = PingFromClient(address, 2, 300);
    EXPECT_EQ(r.Report, QStringLiteral("[%1] (reverse lookup failed):\r\n"
                                       "\tTry #1: RecvFrom() timed out after 300 ms.\r\n"
                                       "\tTry #2: RecvFrom() timed out after 300 ms.\r\n"
                                       "\t2 request(s) total, all failed with a time-out set to 300 ms each")
                            .arg(QString::fromStdString(address)));
    EXPECT_EQ(r.ResultCode, PING_FAILED);
}

TEST_F(EnginePingTest, Ipv6TimeExceededFromARouter) {
    ASSERT_TRUE(AddRoutedHost());
    ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));

    // Two hops reach the host (its reply crossing the router too: hop limit 64 less one), once the
    // neighbours on both links have found each other.
    PingResult through;
    for (int i = 0; i < 10 && through.ResultCode != PING_SUCCESS; ++i)
        through = PingFromClient("fd31:102::2", 1, 300, 2);
    EXPECT_TRUE(through.Report.contains(QStringLiteral("TTL=63,"))) << through.Report.toStdString();

    const QString expired = QStringLiteral("failure, TTL expired during transmission; packet discarded.");
    const PingResult raw = PingFromClient("fd31:102::2", 2, 1000, 1);
    EXPECT_EQ(raw.Report.count(expired), 2) << raw.Report.toStdString();
    const CommandResult datagram = ProbeAsNobody(*m_client, "fd31:102::2", 1000, 1, 2);
    EXPECT_EQ(Text(datagram).count(expired), 2) << datagram.output;
}

TEST_F(EnginePingTest, NamesWithoutAnIpv4AddressGoOverIpv6) {
    const std::string four = AddHost();
    const std::string six = AddHost(nullptr, true);
    // "ip netns exec" lays the namespace's own hosts file over /etc/hosts for the probe.
    std::string error;
    ASSERT_TRUE(m_client->WriteEtcFile(
        "hosts", "127.0.0.1 localhost\n" + six + " sixonly both\n" + four + " both\n", &error))
        << error;
    const CommandResult only6 = m_client->Exec({s_probe, "sixonly", "1000", "32", "32", "2"});
    const CommandResult both = m_client->Exec({s_probe, "both", "1000", "32", "32", "2"});
    EXPECT_TRUE(Text(only6).startsWith(
        QStringLiteral("sixonly [%1]:\n\tTry #1: successful").arg(QString::fromStdString(six))))
        << only6.output;
    EXPECT_TRUE(only6.output.find("result=4 ") != std::string::npos) << only6.output;
    // A name that has an IPv4 address keeps it.
    EXPECT_TRUE(Text(both).startsWith(QStringLiteral("both [%1]:").arg(QString::fromStdString(four))))
        << both.output;
}

} // namespace
