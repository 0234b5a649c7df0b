// Whose fault a failed round is, with real pings in namespaces of the test's own: a client whose default
// route goes through a gateway namespace to two hosts behind it, and a host on a link of its own. The
// main window runs in the client's namespace, so no check ever reaches this machine's gateway. Its
// notifications go to a recording service on a session bus of the test's own; orvex reads its LOG.
#include "support/LogFolder.h"
#include "support/NetLab.h"
#include "support/PrivateBus.h"
#include "support/WindowFixture.h"
#include "ui/Hints.h"
#include "ui/SpinEdit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace tevro::test {
namespace {

using testing::LinkNamespaces;
using testing::NetNamespace;

const std::string kPrefix = "tvlocal";
const QString kHost1 = QStringLiteral("10.233.2.2");
const QString kHost2 = QStringLiteral("10.233.2.3");
const QString kOwnLinkHost = QStringLiteral("10.233.3.2");

class LocalOutageNet : public WindowFixture {
protected:
    static void SetUpTestSuite() {
        bus = new testing::PrivateBus(QStringLiteral("session"));
        // Before anything in the process reaches for the session bus.
        if (!bus->Address().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus->Address().toUtf8());
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
        delete bus;
        bus = nullptr;
    }

    void SetUp() override {
        if (!testing::IsRoot())
            GTEST_SKIP() << "needs root: raw ICMP sockets and network namespaces";
        if (bus->Address().isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (package dbus-daemon)";
        std::string error;
        m_client = NetNamespace::Create(kPrefix, "c", &error);
        if (!m_client)
            GTEST_SKIP() << "network namespaces are not available here: " << error;
        m_gateway = NetNamespace::Create(kPrefix, "g", &error);
        m_hosts = NetNamespace::Create(kPrefix, "h", &error);
        m_ownLink = NetNamespace::Create(kPrefix, "s", &error);
        ASSERT_TRUE(m_gateway && m_hosts && m_ownLink) << error;
        ASSERT_TRUE(LinkNamespaces(*m_client, "10.233.1.2", *m_gateway, "10.233.1.1", &error)) << error;
        ASSERT_TRUE(LinkNamespaces(*m_gateway, "10.233.2.1", *m_hosts, kHost1.toStdString(), &error))
            << error;
        ASSERT_TRUE(LinkNamespaces(*m_client, "10.233.3.1", *m_ownLink, kOwnLinkHost.toStdString(), &error))
            << error;
        ASSERT_EQ(
            m_hosts
                ->Exec({"ip", "addr", "add", kHost2.toStdString() + "/24", "dev", LinkOf(*m_hosts, kHost1)})
                .exitCode,
            0);
        ASSERT_TRUE(m_gateway->Sysctl("net.ipv4.ip_forward", "1"));
        ASSERT_EQ(m_hosts->Exec({"ip", "route", "add", "default", "via", "10.233.2.1"}).exitCode, 0);
        ASSERT_EQ(m_client->Exec({"ip", "route", "add", "default", "via", "10.233.1.1"}).exitCode, 0);
        ASSERT_TRUE(m_ownLink->Sysctl("net.ipv4.icmp_echo_ignore_all", "1"));
        // The window asks this machine's name servers for the hosts' names. Through the gateway they would
        // be silent for 5 s; held by the gateway itself they refuse at once.
        QFile resolv(QStringLiteral("/etc/resolv.conf"));
        if (resolv.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(resolv.readAll()).split(u'\n')) {
                const QStringList words = line.simplified().split(u' ');
                if (words.size() >= 2 && words[0] == QStringLiteral("nameserver") && words[1].contains(u'.'))
                    m_gateway->Exec({"ip", "addr", "add", words[1].toStdString() + "/32", "dev", "lo"});
            }
        }

        QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
        ASSERT_TRUE(recorder.Serve(bus->Connect(QStringLiteral("recorder"))));
    }

    // The name of the namespace's link that holds `address`.
    static std::string LinkOf(const NetNamespace& ns, const QString& address) {
        const QString shown = QString::fromStdString(
            ns.Exec({"ip", "-o", "-4", "addr", "show", "to", address.toStdString() + "/32"}).output);
        return shown.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty).toStdString();
    }

    // A window watching `hosts`, alerting and notifying at the first failed round, and Running.
    std::unique_ptr<TF_Tevro> Watch(const QStringList& hosts) {
        WriteSettings("AlertEnabled=1\nAlertAfterFailures=1\nRecoverAfterSuccesses=1\nNotify=1\n");
        auto w = MakeWindow();
        w->AlertWindowMaker = [this](QWidget* owner) {
            auto* alert = new QWidget(owner, Qt::Window);
            alert->setAttribute(Qt::WA_DontShowOnScreen);
            alerts << alert->objectName();
            return alert;
        };
        for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot) {
            const TSlotRow& row = w->Row(slot);
            row.Active->setChecked(slot <= hosts.size());
            row.Url->setText(hosts.value(slot - 1));
            row.TimeOut->setValue(500);
            row.Count->setValue(1);
        }
        w->B_RunStop->click();
        EXPECT_TRUE(RoundOver(*w));
        return w;
    }

    // Every slot's worker has handed over, and the round's judgement is written.
    bool RoundOver(TF_Tevro& w) {
        const bool over = QTest::qWaitFor(
            [&] {
                for (const void* worker : w.PingThread)
                    if (worker != nullptr)
                        return false;
                return w.NextSlot == 0;
            },
            20000);
        QTest::qWait(200); // the judgement's entries follow the round's
        now = now.addSecs(60);
        return over;
    }

    void Round(TF_Tevro& w) {
        w.Timer1Timer(nullptr);
        EXPECT_TRUE(RoundOver(w));
    }

    QStringList LogLines() const { return testing::LogFileLines(settings.Folder()); }
    QStringList Logged(const QString& text) const { return LogLines().filter(text); }
    QString Report() const { return testing::OrvexReport(QStringLiteral(ORVEX_PATH), settings.Folder()); }

    static inline testing::PrivateBus* bus = nullptr;
    testing::NotificationRecorder recorder;
    QStringList alerts;
    std::unique_ptr<NetNamespace> m_client, m_gateway, m_hosts, m_ownLink;
};

TEST_F(LocalOutageNet, TheClientsLinkDownIsOneLocalOutageThatNoHostIsBlamedFor) {
    ASSERT_TRUE(m_client->Enter([&] {
        auto w = Watch({kHost1, kHost2});
        EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
        EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Ping_Success"));

        const std::string link = LinkOf(*m_client, QStringLiteral("10.233.1.2"));
        ASSERT_EQ(m_client->Exec({"ip", "link", "set", link, "down"}).exitCode, 0);
        Round(*w);
        Round(*w); // still down: nothing new but the hosts' own entries
        // The hosts' entries are written as always.
        EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Failed"));
        EXPECT_EQ(Logged(QStringLiteral("(FAILED)")).size(), 4);
        const QStringList down = Logged(QStringLiteral("The local network is down: "));
        ASSERT_EQ(down.size(), 1) << LogLines().join(u'\n').toStdString();
        EXPECT_TRUE(down[0].endsWith(
            QStringLiteral("The local network is down: no route to 10.233.2.2 and 10.233.2.3.")))
            << down[0].toStdString();
        EXPECT_TRUE(w->LocalNetworkDown());
        static_cast<void>(QTest::qWaitFor(
            [&] { return recorder.Summaries() == QStringList{QStringLiteral("Your connection is down")}; },
            5000));
        EXPECT_EQ(recorder.Summaries(), QStringList{QStringLiteral("Your connection is down")});
        EXPECT_EQ(alerts.size(), 1) << "one alert, for the local network";
        EXPECT_EQ(HintOf(w->Row(1).Status), QString::fromLatin1(TF_Tevro::kStatusHint))
            << "no failed round counted";

        ASSERT_EQ(m_client->Exec({"ip", "link", "set", link, "up"}).exitCode, 0);
        ASSERT_EQ(m_client->Exec({"ip", "route", "add", "default", "via", "10.233.1.1"}).exitCode, 0);
        Round(*w);
        EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Ping_Success"));
        EXPECT_EQ(Logged(QStringLiteral("The local network is back after ")).size(), 1);
        EXPECT_FALSE(w->LocalNetworkDown());
        static_cast<void>(QTest::qWaitFor([&] { return recorder.Summaries().size() == 2; }, 5000));
        EXPECT_EQ(recorder.Summaries().size(), 2);
        EXPECT_EQ(recorder.Summaries().last(), QStringLiteral("Your connection is back"));
        w->B_RunStop->click();
    }));

    // The report lists the outage; the hosts' availability counts only the rounds the network was up.
    const QString report = Report();
    EXPECT_TRUE(report.contains(QStringLiteral("Local network outages"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("no route to 10.233.2.2"))) << report.toStdString();
    EXPECT_EQ(report.count(QStringLiteral("Availability:     100.00 % of rounds")), 2)
        << report.toStdString();
    EXPECT_EQ(report.count(QStringLiteral("Not counted:      2 rounds while the local network was down")), 2);
    EXPECT_EQ(report.count(QStringLiteral("Outages:          none")), 2);
}

TEST_F(LocalOutageNet, AGatewayThatDropsIcmpWhileTheHostsFailIsALocalOutage) {
    ASSERT_TRUE(
        m_gateway->Nft("table inet tvdrop {\n chain input {\n type filter hook input priority 0;\n"
                       " icmp type echo-request drop\n }\n chain forward {\n"
                       " type filter hook forward priority 0;\n icmp type echo-request drop\n }\n}\n"));
    ASSERT_TRUE(m_client->Enter([&] {
        auto w = Watch({kHost1, kHost2});
        // The gateway's echo has a second to answer.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !Logged(QStringLiteral("The local network is down: ")).isEmpty(); }, 5000));
        const QStringList down = Logged(QStringLiteral("The local network is down: "));
        ASSERT_EQ(down.size(), 1) << LogLines().join(u'\n').toStdString();
        EXPECT_TRUE(down[0].endsWith(QStringLiteral(": the gateway 10.233.1.1 does not answer.")))
            << down[0].toStdString();
        static_cast<void>(QTest::qWaitFor(
            [&] { return recorder.Summaries() == QStringList{QStringLiteral("Your connection is down")}; },
            5000));
        EXPECT_EQ(recorder.Summaries(), QStringList{QStringLiteral("Your connection is down")});
    }));
}

// A host that fails by itself is that host's outage, exactly as it always was: behind a working gateway
// beside a host that answers, or alone on a working link of its own.
TEST_F(LocalOutageNet, AHostThatFailsBehindAWorkingGatewayOrOnItsOwnLinkIsItsOwnOutage) {
    ASSERT_TRUE(m_hosts->Nft("table inet tvdrop {\n chain input {\n type filter hook input priority 0;\n"
                             " ip daddr 10.233.2.3 icmp type echo-request drop\n }\n}\n"));
    ASSERT_TRUE(m_client->Enter([&] {
        auto behind = Watch({kHost1, kHost2});
        EXPECT_EQ(behind->StatusPicture(1), QStringLiteral("Ping_Success"));
        EXPECT_EQ(behind->StatusPicture(2), QStringLiteral("Ping_Failed"));
        static_cast<void>(QTest::qWaitFor(
            [&] { return recorder.Summaries() == QStringList{kHost2 + QStringLiteral(" is not answering")}; },
            5000));
        EXPECT_EQ(recorder.Summaries(), QStringList{kHost2 + QStringLiteral(" is not answering")});
        EXPECT_TRUE(Logged(QStringLiteral("local network")).isEmpty())
            << LogLines().join(u'\n').toStdString();
        behind.reset();

        auto alone = Watch({kOwnLinkHost});
        EXPECT_EQ(alone->StatusPicture(1), QStringLiteral("Ping_Failed"));
        static_cast<void>(QTest::qWaitFor([&] { return recorder.Summaries().size() == 2; }, 5000));
        EXPECT_EQ(recorder.Summaries().size(), 2);
        EXPECT_EQ(recorder.Summaries().last(), kOwnLinkHost + QStringLiteral(" is not answering"));
        EXPECT_EQ(alerts.size(), 2);
        EXPECT_TRUE(HintOf(alone->Row(1).Status)
                        .endsWith(QStringLiteral("1 failed round(s) in a row, the alert came at 1")))
            << HintOf(alone->Row(1).Status).toStdString();
    }));
    EXPECT_TRUE(Logged(QStringLiteral("local network")).isEmpty()) << LogLines().join(u'\n').toStdString();
}

} // namespace
} // namespace tevro::test
