// Lookups through the real resolver: namespaces of the test's own with their own hosts file and name
// server. "ip netns exec" mounts those files only for the command it runs, so each outer test runs one
// Inside test of this same program in its namespace and checks that it passed.
#include "NetLab.h"
#include "engine/DnsLookup.h"
#include "engine/TPing.h"
#include "monitor/ScriptedPingWorkers.h"
#include "support/TempSettings.h"
#include "ui/Tevro_u.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

constexpr const char* kInside = "TEVRO_LOOKUP_INSIDE";
const std::string kHosts = "127.0.0.1 localhost\n"
                           "127.0.0.1 loop.test\n"
                           "10.0.0.7 seven.test seven\n";
// Queries to this server vanish: a lookup that needs it waits its full time-out.
const std::string kSlowResolvConf = "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n";
const std::string kDropDns = "table inet tvlookup {\n chain input {\n  type filter hook input priority 0;\n"
                             "  udp dport 53 drop\n  tcp dport 53 drop\n }\n}\n";

std::int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---- Outside: namespaces with their files, and the Inside tests run in them ----

class HostLookupNet : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv(kInside) != nullptr)
            GTEST_SKIP() << "inside a namespace only the Inside tests run";
        if (!IsRoot())
            GTEST_SKIP() << "needs root: network namespaces";
        std::string error;
        m_ns = NetNamespace::Create("tvlookup", "ns", &error);
        if (!m_ns)
            GTEST_SKIP() << "network namespaces are not available here: " << error;
        ASSERT_TRUE(m_ns->WriteEtcFile("hosts", kHosts, &error)) << error;
    }

    // A name server that never answers.
    void MakeResolverSlow() {
        std::string error;
        ASSERT_TRUE(m_ns->WriteEtcFile("resolv.conf", kSlowResolvConf, &error)) << error;
        ASSERT_TRUE(m_ns->Nft(kDropDns, &error)) << error;
    }

    CommandResult RunInside(const std::string& test) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        return m_ns->Exec({"env", std::string(kInside) + "=1", self, "--gtest_filter=Inside." + test});
    }

    void ExpectInsidePasses(const std::string& test) {
        const CommandResult r = RunInside(test);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
    }

    std::unique_ptr<NetNamespace> m_ns;
};

TEST_F(HostLookupNet, WindowLooksUpFromTheHostsFile) {
    std::string error;
    // Nothing listens on port 53: names outside the hosts file fail at once.
    ASSERT_TRUE(m_ns->WriteEtcFile("resolv.conf", "nameserver 127.0.0.1\n", &error)) << error;
    ExpectInsidePasses("WindowLooksUpFromTheHostsFile");
}

TEST_F(HostLookupNet, EnginePingsANameFromTheHostsFile) {
    ExpectInsidePasses("EnginePingsANameFromTheHostsFile");
}

TEST_F(HostLookupNet, WindowKeepsWorkingWhileTheResolverWaits) {
    MakeResolverSlow();
    ExpectInsidePasses("WindowKeepsWorkingWhileTheResolverWaits");
}

TEST_F(HostLookupNet, ClosingDuringASlowLookupEndsTheProgramWithinASecond) {
    MakeResolverSlow();
    const CommandResult r = RunInside("ClosingDuringASlowLookup");
    const std::int64_t ended = MonotonicMs();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const auto at = r.output.find("closing-at=");
    ASSERT_NE(at, std::string::npos) << r.output;
    const std::int64_t closing = std::stoll(r.output.substr(at + 11));
    EXPECT_LT(ended - closing, 1000) << r.output;
}

TEST_F(HostLookupNet, EngineStopsDuringASlowReverseLookup) {
    MakeResolverSlow();
    ExpectInsidePasses("EngineStopsDuringASlowReverseLookup");
}

// ---- Inside: run by the tests above in their namespace ----

class Inside : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv(kInside) == nullptr)
            GTEST_SKIP() << "runs inside a namespace of HostLookupNet";
    }

    std::unique_ptr<TF_Tevro> MakeWindow() {
        TevroEnvironment env;
        env.logFileName = settings.Folder() + QStringLiteral("/tevro.log");
        env.arguments = {QStringLiteral("tevro")};
        env.messageBox = [this](const QString& text, MessageKind, QMessageBox::StandardButtons, bool) {
            boxes << text;
            if (replies.empty())
                return QMessageBox::Ok;
            const auto reply = replies.front();
            replies.pop_front();
            return reply;
        };
        auto w = std::make_unique<TF_Tevro>(std::move(env));
        boxes.clear();
        return w;
    }

    // Looks up text in row 1 and returns the box that answers.
    QString LookUp(TF_Tevro& w, const QString& text, int timeoutMs = 5000) {
        w.Row(1).Url->setText(text);
        const qsizetype before = boxes.size();
        w.Row(1).UrlLookup->click();
        if (!QTest::qWaitFor([&] { return boxes.size() > before; }, timeoutMs))
            return QStringLiteral("(no answer)");
        return boxes.back();
    }

    test::TempSettings settings;
    QStringList boxes;
    std::deque<QMessageBox::StandardButton> replies;
};

TEST_F(Inside, WindowLooksUpFromTheHostsFile) {
    auto w = MakeWindow();
    const QString head = QStringLiteral("Domain name\t: <%1>\rIP address\t: <%2>\r\r");
    EXPECT_EQ(LookUp(*w, QStringLiteral("127.0.0.1")),
              head.arg(QStringLiteral("localhost"), QStringLiteral("127.0.0.1")) +
                  QStringLiteral("Would you like to replace the IP address with it's domain name?"));
    EXPECT_EQ(LookUp(*w, QStringLiteral("localhost")),
              head.arg(QStringLiteral("localhost"), QStringLiteral("127.0.0.1")) +
                  QStringLiteral("Would you like to replace the domain name with it's IP address?"));
    // An alias shows the official name.
    replies = {QMessageBox::Yes};
    EXPECT_EQ(LookUp(*w, QStringLiteral("seven")),
              head.arg(QStringLiteral("seven.test"), QStringLiteral("10.0.0.7")) +
                  QStringLiteral("Would you like to replace the domain name with it's IP address?"));
    EXPECT_EQ(w->Row(1).Url->text(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(LookUp(*w, QStringLiteral("10.0.0.9")),
              head.arg(QStringLiteral("reverse lookup failed"), QStringLiteral("10.0.0.9")) +
                  QStringLiteral("The requested call failed."));
    const QString missing = LookUp(*w, QStringLiteral("missing.test"));
    EXPECT_TRUE(missing.startsWith(
        QStringLiteral("missing.test\r\rGetHostByName() DNS lookup failed or invalid IP. Status: -")))
        << missing.toStdString();
    EXPECT_EQ(w->Row(1).Url->text(), QStringLiteral("missing.test"));
}

TEST_F(Inside, EnginePingsANameFromTheHostsFile) {
    StopSignal stop;
    const PingResult r =
        RunPing({QStringLiteral("loop.test"), 1000, 32, 32, 2}, PingEnvironment::System(), stop);
    EXPECT_EQ(r.ResultCode, PING_SUCCESS) << r.Report.toStdString();
    EXPECT_TRUE(r.Report.startsWith(QStringLiteral("loop.test [127.0.0.1]:\r\n"))) << r.Report.toStdString();
}

TEST_F(Inside, WindowKeepsWorkingWhileTheResolverWaits) {
    auto w = MakeWindow();
    test::ScriptedPingWorkers workers;
    w->SetPingWorkerFactory(&workers);
    for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
        w->Row(slot).Active->setChecked(false);
    w->Row(1).Active->setChecked(true);
    w->Row(1).Url->setText(QStringLiteral("slow.test"));
    w->B_RunStop->click();
    ASSERT_EQ(workers.Started(), 1);

    QElapsedTimer elapsed;
    elapsed.start();
    w->Row(1).UrlLookup->click(); // the row's ping is under way: "?" still works
    ASSERT_TRUE(w->LookupRunning(1));

    // A timer tick and a worker's result are both handled while the resolver has not answered.
    const int ticks = w->Timer1Tag;
    w->Timer1->start(10);
    workers.Finish(0, test::ScriptedPingWorkers::Success());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Timer1Tag < ticks; }, 1000));
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    EXPECT_TRUE(w->LookupRunning(1)) << "the resolver answered already after " << elapsed.elapsed() << " ms";
    EXPECT_FALSE(w->Row(1).UrlLookup->isEnabled());

    // The name server's time-out ends it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.isEmpty(); }, 15000));
    EXPECT_EQ(boxes.back(),
              QStringLiteral("slow.test\r\rGetHostByName() DNS lookup failed or invalid IP. Status: -3"));
    EXPECT_GE(elapsed.elapsed(), 1500);
    EXPECT_TRUE(w->Row(1).UrlLookup->isEnabled());
}

TEST_F(Inside, ClosingDuringASlowLookup) {
    auto w = MakeWindow();
    w->Row(1).Url->setText(QStringLiteral("slow.test"));
    w->Row(1).UrlLookup->click();
    QTest::qWait(300);
    ASSERT_TRUE(w->LookupRunning(1));
    std::printf("closing-at=%lld\n", static_cast<long long>(MonotonicMs()));
    std::fflush(stdout);
    QElapsedTimer elapsed;
    elapsed.start();
    w.reset();
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(Inside, EngineStopsDuringASlowReverseLookup) {
    // 127.0.0.2 answers pings, but the name server is asked for its name first.
    PingGroup group;
    bool delivered = false;
    auto* ping = new TPing(group, QStringLiteral("127.0.0.2"), 1000, 32, 32, 1,
                           [&delivered](const PingResult&) { delivered = true; });
    ping->Resume();
    QTest::qWait(300);
    ASSERT_EQ(group.Running(), 1) << "the reverse lookup ended already";
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(group.Shutdown(1000));
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_FALSE(delivered);
}

} // namespace
