// Host down/back notifications and alert thresholds, driven through the real window with scripted
// results, against a session bus of the test's own whose notification service records every call.
#include "../monitor/ScriptedPingWorkers.h"
#include "FakePing.h"
#include "engine/IcmpEcho.h"
#include "monitor/WindowPorts.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"
#include "ui/Hints.h"
#include "ui/SpinEdit.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

namespace tevro::test {

// Stands in for the desktop's notification daemon.
class NotificationRecorder final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString app, icon, summary, body;
        QVariantMap hints;
        uint replaces = 0;
        uint id = 0; // what the service answered
    };
    std::vector<Call> calls;
    std::vector<uint> closed;

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        // Ids as a daemon gives them: a replaced notification keeps its id, a new one gets the next.
        const uint id = replaces != 0 ? replaces : 100 + static_cast<uint>(calls.size());
        calls.push_back({app, icon, summary, body, hints, replaces, id});
        return id;
    }
    void CloseNotification(uint id) { closed.push_back(id); }
};

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

class Notifications : public WindowFixture {
protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return;
        bus = new QProcess;
        bus->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address")});
        if (!bus->waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(bus->readLine()).trimmed();
        // Before anything in the process touches the session bus: the program connects to this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
        if (bus != nullptr) {
            bus->kill();
            bus->waitForFinished();
            delete bus;
            bus = nullptr;
        }
    }

    void SetUp() override {
        if (address.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (package dbus-daemon)";
    }
    void TearDown() override {
        QDBusConnection recorderBus(QStringLiteral("recorder"));
        if (recorderBus.isConnected())
            recorderBus.unregisterService(kService);
    }

    // Puts the recording service on the bus under the daemon's name.
    NotificationRecorder& Serve() {
        QDBusConnection recorderBus = QDBusConnection::connectToBus(address, QStringLiteral("recorder"));
        recorderBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        recorderBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                   QDBusConnection::ExportAllSlots);
        EXPECT_TRUE(recorderBus.registerService(kService));
        return recorder;
    }

    std::unique_ptr<TF_Tevro> Window(int failures, int successes, bool notify) {
        WriteSettings(QStringLiteral("Active_01=1\nUrl_01=gateway\nAlertEnabled=1\n"
                                     "AlertAfterFailures=%1\nRecoverAfterSuccesses=%2\nNotify=%3\n")
                          .arg(failures)
                          .arg(successes)
                          .arg(notify ? 1 : 0)
                          .toUtf8());
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->SetDowntimeMonotonicClock([this] { return monotonicMs; });
        w->AlertWindowMaker = [this](QWidget* owner) {
            ++alerts;
            auto* alert = new QWidget(owner, Qt::Window);
            alert->setAttribute(Qt::WA_DontShowOnScreen);
            return alert;
        };
        return w;
    }

    // One round of slot 1, a minute after the last; a success with this mean reply time.
    void Round(TF_Tevro& w, bool success, qint64 meanUs = 120) {
        w.Timer1Timer(nullptr);
        PingResult result = ScriptedPingWorkers::Failure();
        if (success) {
            result = ScriptedPingWorkers::Success(0, static_cast<int>(meanUs / 1000));
            result.MeanTimeUs = meanUs;
        }
        workers.Finish(workers.Started() - 1, result);
        now = now.addSecs(60);
        monotonicMs += 60000;
    }

    // Waits until the recorder has seen `count` closings, and a little longer to see that no more come.
    void ExpectClosed(const std::vector<uint>& ids) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.closed.size() >= ids.size(); }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(recorder.closed, ids);
    }

    QString StatusHint(const TF_Tevro& w) const { return HintOf(w.Row(1).Status); }

    // Waits until the recorder holds `count` calls, and a little longer to see that no more come.
    void ExpectCalls(size_t count) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.calls.size() >= count; }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(recorder.calls.size(), count);
    }

    static inline QProcess* bus = nullptr;
    static inline QString address;
    NotificationRecorder recorder;
    ScriptedPingWorkers workers;
    int alerts = 0;
    qint64 monotonicMs = 5000000; // the clock behind outage lengths; the wall clock is `now`
};

TEST_F(Notifications, ThreeFailuresMakeOneOutageAndTheRecoveryTellsItsLength) {
    Serve();
    auto w = Window(3, 1, true);
    const QDateTime firstFailure = now;
    for (int round = 1; round <= 2; ++round) {
        Round(*w, false);
        EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Failed")) << "every round shows";
    }
    ExpectCalls(0);
    EXPECT_EQ(alerts, 0) << "two failures stay below the threshold";
    EXPECT_TRUE(HintOf(w->Row(1).Status)
                    .endsWith(QStringLiteral("; 2 failed round(s) in a row, the alert comes at 3")))
        << HintOf(w->Row(1).Status).toStdString();

    Round(*w, false);
    ExpectCalls(1);
    EXPECT_EQ(alerts, 1) << "the alert comes with the third failure";
    EXPECT_TRUE(StatusHint(*w).endsWith(QStringLiteral("; 3 failed round(s) in a row, the alert came at 3")))
        << StatusHint(*w).toStdString();
    const NotificationRecorder::Call down = recorder.calls.at(0); // a copy: the list grows
    EXPECT_EQ(down.app, QStringLiteral("Tevro"));
    EXPECT_EQ(down.summary, QStringLiteral("gateway is not answering"));
    EXPECT_TRUE(down.body.contains(firstFailure.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))))
        << down.body.toStdString();
    EXPECT_TRUE(down.body.contains(QStringLiteral("time-out"))) << down.body.toStdString();
    EXPECT_TRUE(down.hints.contains(QStringLiteral("image-data"))) << "the program's icon travels along";

    // The wall clock is set an hour forward meanwhile, and the last minute is a little short: the
    // length comes from the clock the downtime table measures with, and reads as the table does.
    now = now.addSecs(3600);
    monotonicMs -= 400;
    Round(*w, true);
    ExpectCalls(2);
    const NotificationRecorder::Call& back = recorder.calls.at(1);
    EXPECT_EQ(back.summary, QStringLiteral("gateway is answering again"));
    EXPECT_EQ(back.replaces, down.id) << "in place of the \"not answering\" one, which never expires";
    EXPECT_TRUE(back.body.contains(QStringLiteral("Away for 2 min 59 s"))) << back.body.toStdString();
    EXPECT_TRUE(back.body.endsWith(QStringLiteral("Reply time 0.12 ms."))) << back.body.toStdString();
    QFile log(settings.Folder() + QStringLiteral("/tevro.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("|| 00:02:59 |"));
    EXPECT_TRUE(recorder.closed.empty()) << "a replaced notification needs no closing";

    // From 10 ms on, whole milliseconds say enough.
    for (int round = 1; round <= 3; ++round)
        Round(*w, false);
    Round(*w, true, 23456);
    ExpectCalls(4);
    EXPECT_TRUE(recorder.calls.at(3).body.endsWith(QStringLiteral("Reply time 23 ms.")))
        << recorder.calls.at(3).body.toStdString();
}

// What was seen of a host before monitoring stopped, before its row was unticked or before its host
// changed says nothing about it afterwards: its count starts again and its "not answering" goes.
TEST_F(Notifications, HostStatesStartAfreshWhenWatchingStopsOrTheHostChanges) {
    Serve();
    auto w = Window(1, 1, true);
    const auto down = [&](size_t count) {
        ExpectCalls(count);
        EXPECT_TRUE(recorder.calls.back().summary.endsWith(QStringLiteral(" is not answering")))
            << recorder.calls.back().summary.toStdString();
        EXPECT_EQ(recorder.calls.back().replaces, 0u) << "a new outage, not one carried over";
        return recorder.calls.back().id;
    };

    // Running, then Inactive: the outage of the first run ends with it.
    w->B_RunStop->click();
    workers.Finish(workers.Started() - 1, ScriptedPingWorkers::Failure());
    const uint first = down(1);
    w->B_RunStop->click();
    ExpectClosed({first});
    EXPECT_EQ(StatusHint(*w), QString::fromLatin1(TF_Tevro::kStatusHint));
    now = now.addSecs(3600);
    monotonicMs += 3600000;
    Round(*w, true);
    ExpectCalls(1); // an hour later the host answers: no "answering again", and no "Away for 1 h"

    // Unticked and ticked again.
    Round(*w, false);
    const uint second = down(2);
    w->Row(1).Active->setChecked(false);
    ExpectClosed({first, second});
    w->Row(1).Active->setChecked(true);
    w->SetHostStateSettings(2, 1, true);
    Round(*w, false);
    EXPECT_TRUE(StatusHint(*w).endsWith(QStringLiteral("; 1 failed round(s) in a row, the alert comes at 2")))
        << "counted from the new tick: " << StatusHint(*w).toStdString();

    // Another host in the row.
    Round(*w, false);
    const uint third = down(3);
    w->Row(1).Url->setText(QStringLiteral("gateway2"));
    ExpectClosed({first, second, third});
    Round(*w, false);
    Round(*w, false);
    down(4);
    EXPECT_EQ(recorder.calls.back().summary, QStringLiteral("gateway2 is not answering"));
    EXPECT_EQ(alerts, 1) << "the alert window stays open from the first failure";
}

TEST_F(Notifications, WithOneFailureTheAlertComesAtOnceAsBefore) {
    Serve();
    auto w = Window(1, 1, true);
    Round(*w, false);
    EXPECT_EQ(alerts, 1);
    ExpectCalls(1);
}

TEST_F(Notifications, ATickedRowWithoutAHostGivesNoEntryAndNoNotification) {
    Serve();
    auto w = Window(1, 1, true);
    for (const auto& [slot, text] : {std::pair{2, " \t"}, std::pair{3, ""}}) {
        w->Row(slot).Active->setChecked(true);
        w->Row(slot).Url->setText(QString::fromLatin1(text));
    }
    w->B_RunStop->click();
    // Every worker that starts fails, as a ping of no host would.
    for (int i = 0; i < workers.Started(); ++i)
        workers.Finish(i, ScriptedPingWorkers::Failure(SOCKET_ERROR));
    EXPECT_EQ(workers.Hosts(), QStringList{QStringLiteral("gateway")});
    EXPECT_EQ(w->NextSlot, 0);
    EXPECT_TRUE(w->IsRunning());
    ExpectCalls(1);
    EXPECT_EQ(recorder.calls.at(0).summary, QStringLiteral("gateway is not answering"));
    EXPECT_EQ(alerts, 1);
    QFile log(w->LogFileName);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(log.readAll()).count(QStringLiteral("(FAILED)")), 1);
    EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Bitmap_None"));
}

TEST_F(Notifications, OutOfRangeSettingsAreClampedAndNotifyOffSendsNothing) {
    Serve();
    auto w = Window(40, 0, false);
    EXPECT_EQ(w->AlertAfterFailures(), 10);
    EXPECT_EQ(w->RecoverAfterSuccesses(), 1);
    for (int round = 1; round <= 10; ++round)
        Round(*w, false);
    EXPECT_EQ(alerts, 1);
    ExpectCalls(0);
}

TEST_F(Notifications, TheAlertConfigurationSetsTheThresholdsThatTheSettingsKeep) {
    auto w = Window(1, 1, true);
    {
        TF_Alert alert(w.get());
        alert.SetAlertMode(1);
        EXPECT_EQ(alert.SE_AlertAfterFailures->value(), 1);
        EXPECT_TRUE(alert.CB_Notify->isChecked());
        alert.SE_AlertAfterFailures->setValue(4);
        alert.SE_RecoverAfterSuccesses->setValue(2);
        alert.CB_Notify->setChecked(false);
    }
    EXPECT_EQ(w->AlertAfterFailures(), 4);
    EXPECT_EQ(w->RecoverAfterSuccesses(), 2);
    EXPECT_FALSE(w->NotifyEnabled());
    w.reset(); // saves the settings
    QSettings stored(settings.FileName(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("AlertAfterFailures")).toString(), QStringLiteral("4"));
    EXPECT_EQ(stored.value(QStringLiteral("RecoverAfterSuccesses")).toString(), QStringLiteral("2"));
    EXPECT_EQ(stored.value(QStringLiteral("Notify")).toString(), QStringLiteral("0"));
}

// The daemon stops (as a bus under a hung desktop would): results go on at once, the LOG says that the
// notifications end, and none is sent after that.
TEST_F(Notifications, ABusThatStopsAnsweringHoldsUpNoResultAndEndsTheNotifications) {
    Serve();
    auto w = Window(1, 1, true);
    Round(*w, false);
    ExpectCalls(1); // connected and answering
    ASSERT_EQ(::kill(static_cast<pid_t>(bus->processId()), SIGSTOP), 0);
    auto resume = qScopeGuard([] { ::kill(static_cast<pid_t>(bus->processId()), SIGCONT); });
    QElapsedTimer timer;
    timer.start();
    Round(*w, true);
    EXPECT_LT(timer.elapsed(), 100) << "a result waited for the bus";
    const QString log = settings.Folder() + QStringLiteral("/tevro.log");
    const auto logText = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return logText().contains(QStringLiteral("The session bus stopped answering")); }, 15000));
    Round(*w, false);
    Round(*w, true);
    ::kill(static_cast<pid_t>(bus->processId()), SIGCONT);
    resume.dismiss();
    ExpectCalls(2); // the one that was on its way when the bus stopped, and nothing after it
    EXPECT_EQ(logText().count(QStringLiteral("The session bus stopped answering")), 1);
}

TEST_F(Notifications, TheDownNotificationWaitsForThePathTraceAndNamesTheLastHopThatAnswered) {
    Serve();
    auto w = Window(1, 1, true);
    testing::FakeWorld world;
    world.resolver->names["gateway"] = testing::Ip("192.0.2.7");
    // A router at hop 1, then silence.
    world.network->tries = {testing::FakeTry{{}, {testing::IcmpError(2, kIcmpTimeExceeded)}}};
    w->SetPathTraceEnvironment([&world] { return world.Environment(); });
    Round(*w, false);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !recorder.calls.empty(); }, 5000));
    EXPECT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls.at(0).summary, QStringLiteral("gateway is not answering"));
    EXPECT_TRUE(
        recorder.calls.at(0).body.endsWith(QStringLiteral(": time-out, no reply. Last answering hop: 1 "
                                                          "(198.51.100.1).")))
        << recorder.calls.at(0).body.toStdString();
}

TEST_F(Notifications, WithoutAServiceAResultNeitherFailsNorWaits) {
    auto w = Window(1, 1, true);
    QElapsedTimer timer;
    timer.start();
    Round(*w, false);
    const qint64 elapsed = timer.elapsed();
    // Measured here at about 1 ms; the bound only catches a call that waits for an answer.
    EXPECT_LT(elapsed, 100);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Failed"));
}

} // namespace
} // namespace tevro::test

#include "NotificationsTest.moc"
