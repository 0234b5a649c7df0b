// The ping helper on the real wire (root only): started by hand as a stranger would, and through the
// engine by the user nobody, for whom it is the only way to ping (no capability of its own, ping sockets
// closed). Its copy carries cap_net_raw as the package gives it.
#include "EngineNetFixture.h"
#include "IcmpPackets.h"
#include "engine/HelperProtocol.h"
#include "engine/IcmpEcho.h"

#include <QElapsedTimer>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                            "--inh-caps=-all"};

// The helper started by hand inside a namespace: its request on its command line, the test at the other
// end of its socket pair.
class HelperByHand {
public:
    ~HelperByHand() { Wait(); }

    bool Start(const NetNamespace& ns, std::vector<std::string> argv) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return false;
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        const bool entered = ns.Enter([&] {
            m_pid = ::fork();
            if (m_pid == 0) {
                ::dup2(pair[1], 0);
                ::dup2(pair[1], 1);
                ::execvp(args[0], args.data());
                ::_exit(127);
            }
        });
        ::close(pair[1]);
        m_channel = pair[0];
        return entered && m_pid > 0;
    }

    pid_t Pid() const { return m_pid; }

    // The next frame, or nothing within waitMs (or at the end of the helper).
    std::optional<helper::Frame> Next(int waitMs) {
        pollfd fd{m_channel, POLLIN, 0};
        if (::poll(&fd, 1, waitMs) <= 0)
            return std::nullopt;
        helper::Frame frame(helper::kMaxFrame);
        const ssize_t n = ::recv(m_channel, frame.data(), frame.size(), MSG_DONTWAIT);
        if (n <= 0)
            return std::nullopt;
        frame.resize(static_cast<std::size_t>(n));
        return frame;
    }

    bool Send(const helper::Frame& frame) {
        return ::send(m_channel, frame.data(), frame.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(frame.size());
    }

    // Closes the test's end (the helper's sign to stop) and returns its exit status, -1 when it had to
    // be killed after waitMs.
    int Wait(int waitMs = 1000) {
        if (m_channel >= 0)
            ::close(m_channel);
        m_channel = -1;
        if (m_pid <= 0)
            return m_status;
        int status = 0;
        for (int i = 0; i < waitMs && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            ::usleep(1000);
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            m_status = -1;
        } else {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        m_pid = -1;
        return m_status;
    }

private:
    pid_t m_pid = -1;
    int m_channel = -1;
    int m_status = -1;
};

// "Name:\tvalue" from /proc/PID/status.
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    }
    return "(none)";
}

// The report of a run with the parts that differ from run to run (reply times) taken out.
std::string Comparable(QString report) {
    report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    report.replace(QRegularExpression(QStringLiteral("(Time|Min|Max|Mean)=\\d+ ms")),
                   QStringLiteral("\\1=# ms"));
    return report.toStdString();
}

// The probe's report, without its closing line of figures.
std::string ProbeReport(const CommandResult& r) {
    const std::size_t figures = r.output.rfind("\nresult=");
    return Comparable(QString::fromStdString(r.output.substr(0, figures)));
}

using PingHelperTest = EngineNetFixture;

TEST_F(PingHelperTest, AStrangersRequestIsRefusedUnlessExactlyRightAndNothingElseIsSent) {
    IcmpResponder counter;
    const std::string address = AddServedHost(counter, IcmpResponder::Silent());
    ASSERT_TRUE(GiveHelperTheCapability(true));

    const auto request = [&address](int field, const std::string& value) {
        std::vector<std::string> r = {"4", address, "32", "64", "300", "2", "4660"};
        r[static_cast<std::size_t>(field)] = value;
        return r;
    };
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"4", address, "32", "64", "300", "2"},
        {"4", address, "32", "64", "300", "2", "4660", "9"},
        request(0, "5"),
        request(0, "6"),
        request(1, "localhost"),
        request(1, "h1"),
        request(1, address + " "),
        request(1, "10.231.1"),
        request(1, "fd31:1::2"),
        {"6", "fe80::1%lo", "32", "64", "300", "2", "4660"}, // a zone by name is a look-up too
        request(2, "31"),
        request(2, "513"),
        request(3, "0"),
        request(3, "256"),
        request(4, "0"),
        request(4, "60001"),
        request(5, "0"),
        request(5, "100"),
        request(6, "65536"),
        request(6, "-1"),
        request(6, "+7"),
        request(6, "0x10"),
        request(6, ""),
        request(6, " 7"),
        request(3, "64\n\tTry #1: successful"),
    };
    for (const auto& arguments : refused) {
        std::vector<std::string> argv = kAsNobody;
        argv.push_back(s_helper);
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const CommandResult r = m_client->Exec(argv);
        std::string shown;
        for (const auto& a : arguments)
            shown += "[" + a + "]";
        EXPECT_EQ(r.exitCode, 2) << shown << ": " << r.output;
        // One line that says why.
        EXPECT_EQ(r.output.rfind("tevro-ping: ", 0), 0u) << shown << ": " << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << shown << ": " << r.output;
    }
    // A right request with a pipe for its channel, as from a shell, is refused as well.
    std::vector<std::string> fromShell = kAsNobody;
    fromShell.push_back(s_helper);
    for (const std::string& a : request(0, "4"))
        fromShell.push_back(a);
    const CommandResult piped = m_client->Exec(fromShell);
    EXPECT_EQ(piped.exitCode, 2) << piped.output;
    EXPECT_NE(piped.output.find("SOCK_SEQPACKET"), std::string::npos) << piped.output;
    EXPECT_EQ(counter.RequestsSeen(), 0);

    // Exactly right: it sends what it is asked, at most one request per 2 ms, and never more than its tries.
    std::vector<std::string> argv = kAsNobody;
    argv.push_back(s_helper);
    for (const std::string& a : request(0, "4"))
        argv.push_back(a);
    HelperByHand helper;
    ASSERT_TRUE(helper.Start(*m_client, argv));
    const auto ready = helper.Next(2000);
    ASSERT_TRUE(ready && (*ready)[0] == 'R');
    for (std::uint16_t seq = 0; seq < 3; ++seq)
        EXPECT_TRUE(helper.Send(helper::EncodeSend({seq, 1000u + seq})));
    std::vector<helper::SentFrame> acknowledged;
    while (const auto frame = helper.Next(1000)) {
        const auto sent = helper::DecodeSent(*frame);
        ASSERT_TRUE(sent);
        EXPECT_EQ(sent->error, 0);
        acknowledged.push_back(*sent);
    }
    ASSERT_EQ(acknowledged.size(), 2u);
    EXPECT_GE(acknowledged[1].sentUs - acknowledged[0].sentUs, helper::kMinSendGapUs);
    EXPECT_EQ(helper.Wait(), 3); // the third request broke the protocol and ended it
    // The responder reads the packets on a thread of its own: the second may still be on its way.
    for (int i = 0; i < 100 && counter.RequestsSeen() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(counter.RequestsSeen(), 2);
}

TEST_F(PingHelperTest, PassesBackOnlyAnswersToItsOwnRequestsAndHoldsNoCapability) {
    const std::string address = AddHost();
    ASSERT_TRUE(AddRoutedHost());
    ASSERT_TRUE(GiveHelperTheCapability(true));
    constexpr std::uint16_t kId = 4660;
    constexpr int kTries = 10;

    std::vector<std::string> argv = kAsNobody;
    argv.insert(argv.end(),
                {s_helper, "4", address, "32", "64", "1000", std::to_string(kTries), std::to_string(kId)});
    HelperByHand helper;
    ASSERT_TRUE(helper.Start(*m_client, argv));
    const auto ready = helper.Next(2000);
    ASSERT_TRUE(ready && (*ready)[0] == 'R');
    // Ready means: no capability left, none to gain, and nothing open but its channel, stderr and socket.
    EXPECT_EQ(StatusField(helper.Pid(), "Uid").substr(0, 5), "65534");
    for (const char* set : {"CapPrm", "CapEff", "CapInh", "CapAmb"})
        EXPECT_EQ(StatusField(helper.Pid(), set), "0000000000000000") << set;
    EXPECT_EQ(StatusField(helper.Pid(), "NoNewPrivs"), "1");
    std::vector<std::string> open;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(helper.Pid()) + "/fd"))
        open.push_back(fd.path().filename().string());
    std::sort(open.begin(), open.end());
    EXPECT_EQ(open, (std::vector<std::string>{"0", "1", "2", "3"}));

    // Meanwhile root's ping sends the same identifier, with the same sequence numbers among its own.
    auto other = std::async(std::launch::async, [this, &address] {
        return m_client->Exec(
            {"ping", "-n", "-q", "-e", std::to_string(kId), "-i", "0.01", "-c", "60", address});
    });
    std::vector<std::uint32_t> stamps;
    int replies = 0;
    const auto take = [&](const helper::Frame& frame) {
        const auto packet = helper::DecodePacket(frame);
        if (!packet)
            return;
        // Each one is the answer to exactly one request of ours.
        int matches = 0;
        for (std::uint16_t seq = 0; seq < stamps.size(); ++seq) {
            EchoExpectation expected{Ip(address.c_str()), kId, seq, stamps[seq]};
            matches += DecodeEchoReply(packet->packet, true, packet->source, expected, stamps[seq]).outcome ==
                       EchoOutcome::Reply;
        }
        EXPECT_EQ(matches, 1);
        ++replies;
    };
    for (std::uint16_t seq = 0; seq < kTries; ++seq) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stamps.push_back(0x10000u * seq + 77);
        ASSERT_TRUE(helper.Send(helper::EncodeSend({seq, stamps.back()})));
        for (auto frame = helper.Next(300); frame; frame = helper.Next(50))
            take(*frame);
    }
    const CommandResult pinged = other.get();
    EXPECT_EQ(replies, kTries);
    EXPECT_NE(pinged.output.find("60 packets transmitted, 60 received"), std::string::npos) << pinged.output;
    // Its caller going away ends it.
    EXPECT_EQ(helper.Wait(1000), 0);

    // A request that expires on the way comes back as the router's time-exceeded, from the router.
    for (const auto& [host, router, type] : {std::tuple{"10.231.102.2", "10.231.101.2", kIcmpTimeExceeded},
                                             std::tuple{"fd31:102::2", "fd31:101::2", kIcmp6TimeExceeded}}) {
        const bool v6 = std::string(host).find(':') != std::string::npos;
        std::vector<std::string> expiring = kAsNobody;
        expiring.insert(expiring.end(), {s_helper, v6 ? "6" : "4", host, "32", "1", "1000", "1", "7"});
        HelperByHand hop;
        ASSERT_TRUE(hop.Start(*m_client, expiring));
        ASSERT_TRUE(hop.Next(2000));
        ASSERT_TRUE(hop.Send(helper::EncodeSend({0, 5})));
        std::optional<helper::PacketFrame> error;
        helper::Frame frame;
        for (auto next = hop.Next(1500); next && !error; next = hop.Next(1500)) {
            frame = *next;
            error = helper::DecodePacket(frame);
        }
        ASSERT_TRUE(error) << host;
        EXPECT_EQ(error->source, Ip(router)) << host;
        EXPECT_EQ(error->packet[v6 ? 0 : 20], type) << host;
    }
}

TEST_F(PingHelperTest, ReportsThroughTheHelperAreTheRawSocketsReports) {
    const NetNamespace* silentHost = nullptr;
    const std::string answering = AddHost();
    const std::string silent = AddHost(&silentHost);
    const std::string answering6 = AddHost(nullptr, true);
    ASSERT_TRUE(silentHost && silentHost->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
    ASSERT_TRUE(AddRoutedHost());
    ASSERT_TRUE(GiveHelperTheCapability(true));
    // Let the neighbours on every link find each other first.
    for (const char* far : {"10.231.102.2", "fd31:102::2"}) {
        for (int i = 0; i < 10 && PingFromClient(far, 1, 300).ResultCode != PING_SUCCESS; ++i) {
        }
    }
    const struct {
        std::string host;
        int ttl, count, timeOut;
    } cases[] = {
        {answering, 32, 3, 1000},     {silent, 32, 2, 300},      {"10.231.102.2", 32, 2, 1000},
        {"10.231.102.2", 1, 2, 1000}, {answering6, 32, 2, 1000}, {"fd31:102::2", 1, 2, 1000},
    };
    for (const auto& c : cases) {
        const PingResult raw = PingFromClient(c.host, c.count, c.timeOut, c.ttl);
        const CommandResult helped = ProbeAsNobody(*m_client, c.host, c.timeOut, c.ttl, c.count);
        EXPECT_EQ(ProbeReport(helped), Comparable(raw.Report)) << c.host << " TTL " << c.ttl;
        EXPECT_NE(helped.output.find("result=" + std::to_string(raw.ResultCode) + " "), std::string::npos)
            << helped.output;
    }

    // Without the capability the helper cannot help, and the advice names it.
    ASSERT_TRUE(GiveHelperTheCapability(false));
    const CommandResult refused = ProbeAsNobody(*m_client, answering, 1000, 32, 1);
    EXPECT_NE(refused.output.find("sudo setcap cap_net_raw+ep '" + s_helper + "'"), std::string::npos)
        << refused.output;
}

TEST_F(PingHelperTest, AnotherProcessPingingTheSameHostKeepsItsReplies) {
    // Two users' runs with the same identifier, at the same time: the host answers only the one that
    // sends 32 data bytes, 100 ms late. The other must never count those answers as its own.
    IcmpResponder responder;
    const std::string address = AddServedHost(responder, [](const IcmpResponder::Request& r) {
        const std::size_t icmpLength = r.packet.size() - static_cast<std::size_t>(r.packet[0] & 0x0F) * 4;
        return icmpLength == kEchoHeaderSize + 32 ? IcmpResponder::Echo(100)(r)
                                                  : std::vector<IcmpResponder::Answer>{};
    });
    ASSERT_TRUE(GiveHelperTheCapability(true));
    const std::vector<std::string> sameId = {"--identifier", "4242"};
    auto answered = std::async(std::launch::async,
                               [&] { return ProbeAsNobody(*m_client, address, 300, 32, 5, sameId, 32); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const CommandResult ignored = ProbeAsNobody(*m_client, address, 250, 32, 5, sameId, 48);
    const CommandResult got = answered.get();
    EXPECT_NE(got.output.find("5 request(s) total, 5 successful."), std::string::npos) << got.output;
    for (int t : TryTimes(Text(got)))
        EXPECT_GE(t, 100) << got.output;
    EXPECT_EQ(Text(ignored).count(QStringLiteral("RecvFrom() timed out after 250 ms.")), 5) << ignored.output;
    EXPECT_NE(ignored.output.find("result=3 "), std::string::npos) << ignored.output;
}

TEST_F(PingHelperTest, AStopInMidTryEndsWithinASecond) {
    IcmpResponder counter;
    const std::string address = AddServedHost(counter, IcmpResponder::Silent());
    ASSERT_TRUE(GiveHelperTheCapability(true));

    // The window closes 400 ms into a try of 8 s.
    const CommandResult r = ProbeAsNobody(*m_client, address, 8000, 32, 3, {"--stop-after", "400"});
    EXPECT_EQ(counter.RequestsSeen(), 1);
    const QRegularExpressionMatch stopped =
        QRegularExpression(QStringLiteral("stopped=1 in (\\d+) ms")).match(Text(r));
    ASSERT_TRUE(stopped.hasMatch()) << r.output;
    EXPECT_LT(stopped.captured(1).toInt(), 1000);
    // No helper is left behind.
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink(process.path() / "exe", ec);
        EXPECT_NE(exe.string(), s_helper) << process.path();
    }
}

} // namespace
