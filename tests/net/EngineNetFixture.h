// The engine's real-network fixture (root only): a client namespace, hosts linked to it, the ping run
// inside it, and copies of the probe and the ping helper that the user nobody may run. The helper copy
// carries cap_net_raw only while a test asks for it.
#pragma once

#include "IcmpResponder.h"
#include "NetLab.h"
#include "engine/TPing.h"

#include <QRegularExpression>
#include <filesystem>
#include <gtest/gtest.h>

namespace tevro::testing {

inline constexpr const char* kEnginePrefix = "tvengine";

// An nftables ruleset that applies verdict to incoming echo requests.
inline std::string DropRule(const std::string& verdict) {
    return "table inet tvengine {\n chain input {\n  type filter hook input priority 0;\n"
           "  icmp type echo-request " +
           verdict + "\n }\n}\n";
}

inline QString Text(const CommandResult& r) {
    return QString::fromStdString(r.output);
}

// Times of the successful tries, in order.
inline std::vector<int> TryTimes(const QString& report) {
    std::vector<int> times;
    static const QRegularExpression time(QStringLiteral("Time=(\\d+) ms"));
    for (auto it = time.globalMatch(report); it.hasNext();)
        times.push_back(it.next().captured(1).toInt());
    return times;
}

class EngineNetFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!IsRoot())
            return;
        s_dir = CopiesAnyoneMayRun("tvengine-probe", {TEVRO_PING_PROBE, TEVRO_PING_HELPER});
        if (s_dir.empty())
            return;
        s_probe = (s_dir / "tevro-ping-probe").string();
        s_helper = (s_dir / "tevro-ping").string();
    }
    static void TearDownTestSuite() {
        if (!s_dir.empty())
            std::filesystem::remove_all(s_dir);
        s_dir.clear();
    }

    void SetUp() override {
        if (!IsRoot())
            GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
        ASSERT_FALSE(s_dir.empty()) << "no folder for the probe and the helper";
        std::string error;
        m_client = NetNamespace::Create(kEnginePrefix, "c", &error);
        if (!m_client)
            GTEST_SKIP() << "network namespaces are not available here: " << error;
    }
    void TearDown() override {
        if (!s_helper.empty())
            GiveHelperTheCapability(false);
    }

    // cap_net_raw+ep on the helper copy, or no capability at all.
    static bool GiveHelperTheCapability(bool give) {
        const CommandResult r = give ? RunCommand({"setcap", "cap_net_raw+ep", s_helper})
                                     : RunCommand({"setcap", "-r", s_helper});
        // Removing what is not there fails harmlessly.
        return r.exitCode == 0 || !give;
    }

    // A host in a namespace of its own, linked to the client; returns its address.
    std::string AddHost(const NetNamespace** host = nullptr, bool v6 = false) {
        const int n = static_cast<int>(m_hosts.size()) + 1;
        std::string error;
        auto ns = NetNamespace::Create(kEnginePrefix, "h" + std::to_string(n), &error);
        EXPECT_TRUE(ns) << error;
        if (!ns)
            return {};
        const std::string net = v6 ? "fd31:" + std::to_string(n) + "::" : "10.231." + std::to_string(n) + ".";
        EXPECT_TRUE(LinkNamespaces(*m_client, net + "1", *ns, net + "2", &error)) << error;
        if (host)
            *host = ns.get();
        m_hosts.push_back(std::move(ns));
        return net + "2";
    }

    // A host whose kernel leaves echo requests to responder, started with policy; returns its address.
    std::string AddServedHost(IcmpResponder& responder, IcmpResponder::Policy policy) {
        const NetNamespace* host = nullptr;
        const std::string address = AddHost(&host);
        EXPECT_TRUE(host && host->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
        std::string error;
        EXPECT_TRUE(host && responder.Start(std::move(policy), host, &error)) << error;
        return address;
    }

    // A host two hops away, behind a router that forwards and reports every expired packet:
    // client 10.231.101.1 / fd31:101::1 -- router -- 10.231.102.2 / fd31:102::2 host.
    // Returns the router's namespace; the host's address is on its side of the router.
    const NetNamespace* AddRoutedHost(const NetNamespace** host = nullptr) {
        std::string error;
        auto router = NetNamespace::Create(kEnginePrefix, "r", &error);
        auto far = NetNamespace::Create(kEnginePrefix, "f", &error);
        EXPECT_TRUE(router && far) << error;
        if (!router || !far)
            return nullptr;
        for (const auto& [a, b, x, y] :
             {std::tuple{m_client.get(), router.get(), "10.231.101.1", "10.231.101.2"},
              std::tuple{m_client.get(), router.get(), "fd31:101::1", "fd31:101::2"},
              std::tuple{router.get(), far.get(), "10.231.102.1", "10.231.102.2"},
              std::tuple{router.get(), far.get(), "fd31:102::1", "fd31:102::2"}})
            EXPECT_TRUE(LinkNamespaces(*a, x, *b, y, &error)) << error;
        const std::vector<std::vector<std::string>> routes = {
            {"ip", "route", "add", "10.231.102.0/24", "via", "10.231.101.2"},
            {"ip", "-6", "route", "add", "fd31:102::/64", "via", "fd31:101::2"}};
        for (const auto& route : routes)
            EXPECT_EQ(m_client->Exec(route).exitCode, 0);
        EXPECT_EQ(far->Exec({"ip", "route", "add", "10.231.101.0/24", "via", "10.231.102.1"}).exitCode, 0);
        EXPECT_EQ(far->Exec({"ip", "-6", "route", "add", "fd31:101::/64", "via", "fd31:102::1"}).exitCode, 0);
        for (const auto& [key, value] :
             {std::pair{"net.ipv4.ip_forward", "1"}, std::pair{"net.ipv6.conf.all.forwarding", "1"},
              std::pair{"net.ipv4.icmp_ratelimit", "0"}, std::pair{"net.ipv6.icmp.ratelimit", "0"}})
            EXPECT_TRUE(router->Sysctl(key, value)) << key; // one error for every expired try
        if (host)
            *host = far.get();
        const NetNamespace* routerNs = router.get();
        m_hosts.push_back(std::move(router));
        m_hosts.push_back(std::move(far));
        return routerNs;
    }

    PingResult PingFromClient(const std::string& host, int count, int timeOut, int ttl = 32,
                              int dataSize = 32) {
        PingResult result;
        StopSignal stop;
        EXPECT_TRUE(m_client->Enter([&] {
            result = RunPing({QString::fromStdString(host), timeOut, dataSize, ttl, count},
                             PingEnvironment::System(), stop);
        }));
        return result;
    }

    // The probe as the user nobody, inside ns; options go before the host ("--identifier", "7").
    CommandResult ProbeAsNobody(const NetNamespace& ns, const std::string& host, int timeOut, int ttl,
                                int count, std::vector<std::string> options = {}, int dataSize = 32) {
        std::vector<std::string> argv = {"setpriv",        "--reuid=65534",   "--regid=65534",
                                         "--clear-groups", "--inh-caps=-all", s_probe};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {host, std::to_string(timeOut), std::to_string(dataSize), std::to_string(ttl),
                                 std::to_string(count)});
        return ns.Exec(argv);
    }

    static inline std::filesystem::path s_dir;
    static inline std::string s_probe;
    static inline std::string s_helper;
    std::unique_ptr<NetNamespace> m_client;
    std::vector<std::unique_ptr<NetNamespace>> m_hosts;
};

} // namespace tevro::testing
