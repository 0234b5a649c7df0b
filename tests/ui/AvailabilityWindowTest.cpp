// Sleep and clock changes through the real window with scripted results and clocks the test sets: logind
// stood in for on a system bus of the test's own, a clock step and a daylight saving time change during
// outages, and orvex's report of the LOG that comes of it.
#include "../monitor/ScriptedPingWorkers.h"
#include "engine/RouteCheck.h"
#include "monitor/WindowPorts.h"
#include "support/LogFolder.h"
#include "support/PrivateBus.h"
#include "support/WindowFixture.h"
#include "ui/Hints.h"

#include <QCheckBox>
#include <QDBusMessage>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <cstdlib>
#include <ctime>

namespace tevro::test {
namespace {

// The kernel's routing table as the test sets it: only the default route matters here.
class FakeRoutes final : public RouteTable {
public:
    RouteAnswer Route(const HostAddress&) override { return {}; }
    LinkAnswer Link(int) override { return {}; }
    bool HasDefaultRoute() override { return defaultRoute; }
    bool defaultRoute = true;
};

class CountingGraph final : public QWidget, public GraphFeed {
public:
    void SetGraphTitle(const QString&, int, int) override {}
    void AddGraphBar(int, double value, int) override { values.push_back(static_cast<int>(value)); }
    void ClearGraph() override {}
    std::vector<int> values;
};

PingResult Result(bool success) {
    PingResult result;
    result.ResultCode = success ? PING_SUCCESS : PING_FAILED;
    result.MeanTime = success ? 2 : 0;
    result.PacketLoss = success ? 0 : 100;
    result.Report =
        success
            ? QStringLiteral("gateway [192.0.2.1]:\r\n\tTry #1: successful, DataSize=32, TTL=64, Time=2 "
                             "ms.\r\n\t1 request(s) total, 1 successful. Min=2 ms, Max=2 ms, Mean=2 "
                             "ms, Packet loss=0%")
            : QStringLiteral("gateway [192.0.2.1]:\r\n\tTry #1: RecvFrom() timed out after 500 "
                             "ms.\r\n\t1 request(s) total, all failed with a time-out set to 500 ms each");
    return result;
}

class AvailabilityWindow : public WindowFixture {
protected:
    std::unique_ptr<TF_Tevro> Window() {
        WriteSettings("Active_01=1\nUrl_01=gateway\nActive_02=0\nActive_03=0\nGraph_01=1\n");
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->SetRouteTable(&routes);
        w->SetAvailabilityClocks([this] { return monotonicMs; }, [this] { return boottimeMs; });
        w->SetGraphWindow(&graph);
        return w;
    }

    // Time passes on every clock; a suspend would leave the monotonic one behind.
    void Pass(int seconds) {
        monotonicMs += seconds * 1000LL;
        boottimeMs += seconds * 1000LL;
        now = now.addSecs(seconds);
    }

    QStringList LogLines() const { return testing::LogFileLines(settings.Folder()); }
    QStringList Logged(const QString& text) const { return LogLines().filter(text); }
    QString Report() const { return testing::OrvexReport(QStringLiteral(ORVEX_PATH), settings.Folder()); }

    ScriptedPingWorkers workers;
    FakeRoutes routes;
    CountingGraph graph;
    qint64 monotonicMs = 1000000;
    qint64 boottimeMs = 2000000;
};

TEST_F(AvailabilityWindow, LogindsSleepAbandonsTheRoundInFlightAndTheRoundAfterWakingComesAtOnce) {
    testing::PrivateBus system(QStringLiteral("system"));
    if (system.Address().isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed (package dbus-daemon)";
    // The stand-in logind owns its name before the window looks for it.
    QDBusConnection logind = system.Connect(QStringLiteral("stand-in-logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    const auto prepareForSleep = [&](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << start;
        logind.send(signal);
    };
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.Address().toUtf8());
    auto w = Window(); // reads the address as it starts
    qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");

    w->B_RunStop->click();
    ASSERT_EQ(workers.Started(), 1);
    // The window connects in the background: the announcement is repeated until it is heard.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            prepareForSleep(true);
            QTest::qWait(50);
            return !Logged(QStringLiteral("The computer goes to sleep.")).isEmpty();
        },
        10000));
    EXPECT_TRUE(w->Asleep());
    EXPECT_EQ(workers.stops, std::vector<PingWorkerId>{workers.Id(0)}) << "the try in flight is stopped";

    // The worker that was in mid-try hands its failure over late: nobody's failure.
    Pass(300);
    workers.Finish(0, Result(false));
    EXPECT_EQ(w->PingThread[0], nullptr);
    EXPECT_TRUE(w->Row(1).Url->isEnabled());
    EXPECT_TRUE(Logged(QStringLiteral("(FAILED)")).isEmpty());
    EXPECT_TRUE(graph.values.empty()) << "not drawn";
    EXPECT_EQ(HintOf(w->Row(1).Status), QString::fromLatin1(TF_Tevro::kStatusHint)) << "not counted";
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Bitmap_None"));
    for (int tick = 0; tick < 24; ++tick)
        w->Timer1Timer(w->Timer1);
    EXPECT_EQ(workers.Started(), 1) << "no round while asleep";

    // Awake, the next round waits for a default route, then comes at once.
    routes.defaultRoute = false;
    prepareForSleep(false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !Logged(QStringLiteral("The computer woke up after 00:05:00.")).isEmpty(); }, 5000));
    EXPECT_FALSE(w->Asleep());
    QTest::qWait(700);
    EXPECT_EQ(workers.Started(), 1);
    routes.defaultRoute = true;
    static_cast<void>(QTest::qWaitFor([&] { return workers.Started() == 2; }, 2000));
    EXPECT_EQ(workers.Started(), 2);
    Pass(60);
    workers.Finish(1, Result(true));
    EXPECT_EQ(graph.values, std::vector<int>{2});

    // Only logind's own announcements count.
    QDBusConnection impostor = system.Connect(QStringLiteral("impostor"));
    const QDBusMessage fake = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"))
                              << true;
    impostor.send(fake);
    QTest::qWait(300);
    EXPECT_FALSE(w->Asleep());

    // The round after waking started an interval of its own: the next comes twelve ticks later.
    for (int tick = 0; tick < 11; ++tick)
        w->Timer1Timer(w->Timer1);
    EXPECT_EQ(workers.Started(), 2);
    w->Timer1Timer(w->Timer1);
    ASSERT_EQ(workers.Started(), 3);

    // A suspend nobody announced: the clock that counts through it ran ten minutes ahead of the other.
    boottimeMs += 600000;
    now = now.addSecs(600);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(Logged(QStringLiteral("The computer woke up after 00:10:00 (a sleep that was not announced)."))
                  .size(),
              1);
    EXPECT_EQ(workers.stops.back(), workers.Id(2));
    workers.Finish(2, Result(false));
    static_cast<void>(QTest::qWaitFor([&] { return workers.Started() == 4; }, 2000));
    EXPECT_EQ(workers.Started(), 4);
    workers.Finish(3, Result(true));
    EXPECT_TRUE(Logged(QStringLiteral("(FAILED)")).isEmpty());
    w->B_RunStop->click();

    const QString report = Report();
    EXPECT_TRUE(report.contains(QStringLiteral("Sleep periods"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral(R"(\n    07\.12\.2026 \(00:15:02\) +07\.12\.2026 \(00:20:02\) +00:05:00)"))))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral(R"(\n    07\.12\.2026 \(00:21:02\) +07\.12\.2026 \(00:31:02\) +00:10:00)"))))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Availability:     100.00 %")));
}

// Berlin leaves daylight saving time at 03:00 on 25.10.2026, and the clock is set an hour forward while
// the host is down: neither makes an outage negative or an hour too long.
TEST_F(AvailabilityWindow, ClockStepsAndDaylightSavingTimeLeaveOutageLengthsTrue) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    now = QDateTime(QDate(2026, 10, 25), QTime(0, 40), QTimeZone::utc()).toLocalTime(); // 02:40 CEST
    auto w = Window();
    const auto round = [&](bool success) {
        w->Timer1Timer(nullptr);
        workers.Finish(workers.Started() - 1, Result(success));
    };

    round(true);
    Pass(600);
    round(false); // 02:50 CEST
    Pass(1200);
    round(true); // 02:10 CET: twenty minutes later
    EXPECT_EQ(Logged(QStringLiteral(": The local time is UTC+02:00.")).size(), 1) << "named at start-up";
    EXPECT_EQ(Logged(QStringLiteral(": The local time is UTC+01:00.")).size(), 1);

    Pass(300);
    round(false);            // 02:15 CET
    now = now.addSecs(3600); // set forward by hand
    Pass(300);
    round(true); // 03:20 CET on the clock, five minutes later
    const QStringList step = Logged(QStringLiteral("The clock was changed by "));
    ASSERT_EQ(step.size(), 1);
    EXPECT_TRUE(step[0].endsWith(QStringLiteral("The clock was changed by +01:00:00.")))
        << step[0].toStdString();
    w.reset();

    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    ::tzset();

    const QString report = Report();
    EXPECT_TRUE(
        report.contains(QStringLiteral("Outages:          2 outages, total 00:25:00, longest 00:20:00")))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral(R"(\n    25\.10\.2026 \(02:50:00\) +25\.10\.2026 \(02:10:00\) +00:20:00 +1)"))))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral(R"(\n    25\.10\.2026 \(02:15:00\) +25\.10\.2026 \(03:20:00\) +00:05:00 +1)"))))
        << report.toStdString();
}

} // namespace
} // namespace tevro::test
