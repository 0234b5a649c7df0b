// The path to a host on the real wire, through a chain of namespaces of the test's own: client -> r1 ->
// r2 -> host, over IPv4 and IPv6, traced as root (raw socket) and as an ordinary user (ping socket); and
// the built program tracing a host that goes down, read back by orvex, and ended in mid-trace.
#include "NetLab.h"
#include "engine/PingRun.h"
#include "support/QtPrinters.h"
#include "support/TevroProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tevro::testing;

namespace {

constexpr const char* kPrefix = "tvtrace";

struct Family {
    const char* name;
    std::string client, r1, r2, r2ToHost, host; // r1 and r2 as the client sees them
    const char* cutError;                       // what r2 says once its link to the host is gone
};
const Family kFamilies[] = {
    {"IPv4", "10.234.1.1", "10.234.1.2", "10.234.2.2", "10.234.3.1", "10.234.3.2",
     "network unreachable (ICMP type 3, code 0)"},
    {"IPv6", "fd34:1::1", "fd34:1::2", "fd34:2::2", "fd34:3::1", "fd34:3::2",
     "no route to destination (ICMPv6 type 1, code 0)"},
};

// Reply times vary; everything else of the entry is exact.
QString WithoutTimes(QString text) {
    static const QRegularExpression time(QStringLiteral("  (<1|\\d+) ms"));
    return text.replace(time, QStringLiteral("  T ms"));
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

class TracePathNet : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!IsRoot())
            return;
        // The probe runs as nobody too. Beside it, where the engine looks first, the ping helper with
        // the capability the package gives it.
        const std::string dir = CopiesAnyoneMayRun("tvtrace-probe", {TEVRO_TRACE_PROBE, TEVRO_PING_HELPER});
        if (!dir.empty()) {
            s_probe = dir + "/tevro-trace-probe";
            s_helperReady = RunCommand({"setcap", "cap_net_raw+ep", dir + "/tevro-ping"}).exitCode == 0;
        }
    }
    static void TearDownTestSuite() {
        if (!s_probe.empty())
            std::filesystem::remove_all(std::filesystem::path(s_probe).parent_path());
    }

    void SetUp() override {
        if (!IsRoot())
            GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
        RemoveStaleNamespaces(kPrefix);
        std::string error;
        m_client = NetNamespace::Create(kPrefix, "c", &error);
        if (!m_client)
            GTEST_SKIP() << "network namespaces are not available here: " << error;
        m_r1 = NetNamespace::Create(kPrefix, "r1", &error);
        m_r2 = NetNamespace::Create(kPrefix, "r2", &error);
        m_host = NetNamespace::Create(kPrefix, "h", &error);
        ASSERT_TRUE(m_r1 && m_r2 && m_host) << error;
        for (const char* v : {"10.234.", "fd34:"}) {
            const bool v6 = v[0] == 'f';
            const std::string net = v, sep = v6 ? "::" : ".";
            const auto at = [&](int link, int end) {
                return net + std::to_string(link) + sep + std::to_string(end);
            };
            ASSERT_TRUE(LinkNamespaces(*m_client, at(1, 1), *m_r1, at(1, 2), &error)) << error;
            ASSERT_TRUE(LinkNamespaces(*m_r1, at(2, 1), *m_r2, at(2, 2), &error)) << error;
            ASSERT_TRUE(LinkNamespaces(*m_r2, at(3, 1), *m_host, at(3, 2), &error)) << error;
            const std::string family = v6 ? "-6" : "-4", all = v6 ? "::/0" : "0.0.0.0/0";
            const std::string net1 = v6 ? "fd34:1::/64" : "10.234.1.0/24",
                              net3 = v6 ? "fd34:3::/64" : "10.234.3.0/24";
            for (const auto& [ns, target, via] :
                 {std::tuple{m_client.get(), all, at(1, 2)}, std::tuple{m_r1.get(), net3, at(2, 2)},
                  std::tuple{m_r2.get(), net1, at(2, 1)}, std::tuple{m_host.get(), all, at(3, 1)}}) {
                const CommandResult r = ns->Exec({"ip", family, "route", "add", target, "via", via});
                ASSERT_EQ(r.exitCode, 0) << r.output;
            }
        }
        for (const NetNamespace* router : {m_r1.get(), m_r2.get()}) {
            ASSERT_TRUE(router->Sysctl("net.ipv4.ip_forward", "1"));
            ASSERT_TRUE(router->Sysctl("net.ipv6.conf.all.forwarding", "1"));
            // One error for every probe, however close together the tests send them.
            ASSERT_TRUE(router->Sysctl("net.ipv4.icmp_ratelimit", "0"));
            ASSERT_TRUE(router->Sysctl("net.ipv6.icmp.ratelimit", "0"));
        }
        // New links pass IPv6 only once their neighbours have found each other (link-local addresses
        // wait for their duplicate check): the host is pinged until it answers on both families.
        for (const Family& f : kFamilies) {
            tevro::PingResult answered;
            ASSERT_TRUE(m_client->Enter([&] {
                const tevro::StopSignal stop;
                for (int i = 0; i < 20 && answered.ResultCode != PING_SUCCESS; ++i)
                    answered =
                        tevro::RunPing({Q(f.host), 300, 32, 32, 1}, tevro::PingEnvironment::System(), stop);
            }));
            ASSERT_EQ(answered.ResultCode, PING_SUCCESS) << f.name << answered.Report.toStdString();
        }
        ASSERT_TRUE(m_host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
        ASSERT_TRUE(m_host->Sysctl("net.ipv6.icmp.echo_ignore_all", "1"));
        ASSERT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));
        // r1 has a name, r2 none; a name server on the client's loopback refuses at once, so no lookup
        // leaves the namespaces.
        ASSERT_TRUE(m_client->WriteEtcFile(
            "hosts", "127.0.0.1 localhost\n10.234.1.2 r1-v4.test\nfd34:1::2 r1-v6.test\n", &error))
            << error;
        ASSERT_TRUE(m_client->WriteEtcFile("resolv.conf", "nameserver 127.0.0.1\n", &error)) << error;
    }

    // The probe in the client namespace: as root through the raw socket; as nobody through the ping
    // socket, and with the ping sockets closed through the ping helper.
    enum class Way { RawSocket, PingSocket, Helper };
    static constexpr Way kWays[] = {Way::RawSocket, Way::PingSocket, Way::Helper};
    static const char* Name(Way way) {
        return way == Way::RawSocket ? " as root" : way == Way::PingSocket ? " as nobody" : " through the helper";
    }

    QString Trace(const std::string& host, Way way) {
        std::vector<std::string> argv = {s_probe, host};
        if (way != Way::RawSocket)
            argv.insert(argv.begin(),
                        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all"});
        if (way == Way::Helper) {
            EXPECT_TRUE(s_helperReady) << "setcap on the helper's copy failed";
            EXPECT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "1 0"));
        }
        const CommandResult r = m_client->Exec(argv);
        if (way == Way::Helper) {
            EXPECT_TRUE(m_client->Sysctl("net.ipv4.ping_group_range", "0 2147483647"));
        }
        EXPECT_EQ(r.exitCode, 0) << r.output;
        QString out = Q(r.output);
        return out.left(out.indexOf(QStringLiteral("\nelapsed=")));
    }

    // Takes r2's link to the host down, as a pulled cable would; r2 then has no route to the host.
    void CutTheHostsLinks() {
        const CommandResult addresses = m_r2->Exec({"ip", "-o", "addr", "show"});
        for (const char* address : {" 10.234.3.1/", " fd34:3::1/"}) {
            const auto at = addresses.output.find(address);
            ASSERT_NE(at, std::string::npos) << addresses.output;
            const auto lineStart = addresses.output.rfind('\n', at) + 1;
            const std::string device = Q(addresses.output.substr(lineStart, at - lineStart))
                                           .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                           .at(1)
                                           .toStdString();
            const CommandResult down = m_r2->Exec({"ip", "link", "set", "dev", device, "down"});
            ASSERT_EQ(down.exitCode, 0) << down.output;
        }
    }

    static std::string s_probe;
    static bool s_helperReady;
    std::unique_ptr<NetNamespace> m_client, m_r1, m_r2, m_host;
};

std::string TracePathNet::s_probe;
bool TracePathNet::s_helperReady = false;

TEST_F(TracePathNet, AHostThatStopsAnsweringEndsWithThreeSilentHops) {
    for (const Family& f : kFamilies) {
        for (const Way way : kWays) {
            const QString expected =
                QStringLiteral("Path to %1 when it stopped answering:\n"
                               "\t1  %2 (r1-%3.test)  T ms\n"
                               "\t2  %4  T ms\n"
                               "\t3  *\n\t4  *\n\t5  *\n"
                               "\tLast answering hop: 2 (%4); the last 3 hops did not answer")
                    .arg(Q(f.host), Q(f.r1), f.name[3] == '4' ? QStringLiteral("v4") : QStringLiteral("v6"),
                         Q(f.r2));
            EXPECT_EQ(WithoutTimes(Trace(f.host, way)), expected)
                << f.name << Name(way);
        }
    }
}

TEST_F(TracePathNet, ACutLinkEndsWithTheRoutersUnreachable) {
    CutTheHostsLinks();
    for (const Family& f : kFamilies) {
        for (const Way way : kWays) {
            // The trace ends the moment r2 answers, often before a name could come: names are not compared.
            QString got = WithoutTimes(Trace(f.host, way));
            got.replace(QRegularExpression(QStringLiteral(" \\(r1-v\\d\\.test\\)")), QString());
            const QString expected = QStringLiteral("Path to %1 when it stopped answering:\n"
                                                    "\t1  %2  T ms\n"
                                                    "\t2  %3  T ms  %4\n"
                                                    "\tLast answering hop: 2 (%3); it reported %4")
                                         .arg(Q(f.host), Q(f.r1), Q(f.r2), QString::fromLatin1(f.cutError));
            EXPECT_EQ(got, expected) << f.name << Name(way);
        }
    }
}

// The built program: a host in slot 1 stops answering while slot 2's answers. The trace runs beside the
// round (slot 2's result is logged before it), goes to the LOG as one entry and into orvex's report;
// and a program ended in mid-trace ends at once, without the entry.
TEST_F(TracePathNet, TheProgramTracesAHostThatGoesDownAndEndsInMidTrace) {
    TevroSandbox sandbox;
    const QString program = sandbox.InstallProgram(QStringLiteral("tevro"));
    ASSERT_FALSE(program.isEmpty());
    sandbox.WriteSettings({{QStringLiteral("Active_01"), QStringLiteral("1")},
                           {QStringLiteral("Url_01"), QStringLiteral("10.234.3.2")},
                           {QStringLiteral("TimeOut_01"), QStringLiteral("500")},
                           {QStringLiteral("Count_01"), QStringLiteral("1")},
                           {QStringLiteral("Active_02"), QStringLiteral("1")},
                           {QStringLiteral("Url_02"), QStringLiteral("10.234.1.2")},
                           {QStringLiteral("Count_02"), QStringLiteral("1")},
                           {QStringLiteral("Notify"), QStringLiteral("0")}});
    const QString log = sandbox.Path(QStringLiteral("bin/tevro.log"));
    const auto start = [&](QProcess& process) {
        process.setProcessEnvironment(sandbox.Environment());
        process.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                             Q(m_client->Name()), program, QStringLiteral("-ToRunning")});
        ASSERT_TRUE(process.waitForStarted());
    };
    const auto has = [](const QString& text) {
        return [text](const QStringList& lines) { return !lines.filter(text).isEmpty(); };
    };

    QProcess first;
    start(first);
    ASSERT_TRUE(WaitForLog(log, has(QStringLiteral("Last answering hop:")), 20000));
    EXPECT_TRUE(TerminateAndExpectCleanExit(first));
    const QStringList lines = ReadLogLines(log);
    qsizetype heading = -1, answered = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].endsWith(QStringLiteral("): Path to 10.234.3.2 when it stopped answering:")))
            heading = i;
        if (lines[i].startsWith(QStringLiteral("(SUCCESS)")) &&
            lines[i].contains(QStringLiteral("10.234.1.2")))
            answered = answered < 0 ? i : answered;
    }
    ASSERT_GE(heading, 0) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(answered >= 0 && answered < heading) << "the round went on while the trace ran";
    EXPECT_EQ(WithoutTimes(lines.mid(heading + 1, 6).join(u'\n')),
              QStringLiteral("   ## 1  10.234.1.2 (r1-v4.test)  T ms\n"
                             "   ## 2  10.234.2.2  T ms\n"
                             "   ## 3  *\n   ## 4  *\n   ## 5  *\n"
                             "   ## Last answering hop: 2 (10.234.2.2); the last 3 hops did not answer."));

    QProcess orvex;
    orvex.setWorkingDirectory(sandbox.Path(QStringLiteral("bin")));
    orvex.start(QStringLiteral(ORVEX_PATH), {QStringLiteral("-oOrvex.Out")});
    ASSERT_TRUE(orvex.waitForFinished(30000));
    QFile report(sandbox.Path(QStringLiteral("bin/Orvex.Out")));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(report.readAll());
    const qsizetype section = text.indexOf(QStringLiteral("Host 10.234.3.2\r\n"));
    const qsizetype traces = text.indexOf(QStringLiteral("  Paths traced when it stopped answering: 1\r\n"));
    EXPECT_TRUE(section >= 0 && traces > section && traces < text.indexOf(QStringLiteral("Host 10.234.1.2")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("      2  10.234.2.2  "))) << text.toStdString();

    // Again, ended by SIGTERM while the trace waits for the first silent hop.
    QProcess second;
    start(second);
    ASSERT_TRUE(WaitForLog(log, has(QStringLiteral("(FAILED)")), 20000));
    QTest::qWait(300);
    QElapsedTimer ending;
    ending.start();
    EXPECT_TRUE(TerminateAndExpectCleanExit(second, 5000));
    EXPECT_LT(ending.elapsed(), 1000);
    const QStringList after = ReadLogLines(log);
    EXPECT_TRUE(after.filter(QStringLiteral("Path to")).isEmpty()) << after.join(u'\n').toStdString();
    EXPECT_EQ(after.last(),
              QStringLiteral("||----------+--------------------------+--------------------------++"));
}

} // namespace
