// Host down/back notifications and alert thresholds, driven through the real window with scripted
// results, against a session bus of the test's own whose notification service records every call.
#include "../monitor/ScriptedPingWorkers.h"
#include "monitor/WindowPorts.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"
#include "ui/SpinEdit.h"
#include "ui/Hints.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace tevro::test {

// Stands in for the desktop's notification daemon.
class NotificationRecorder final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString app, icon, summary, body;
        QVariantMap hints;
    };
    std::vector<Call> calls;

public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int) {
        calls.push_back({app, icon, summary, body, hints});
        return static_cast<uint>(calls.size());
    }
};

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

class Notifications : public WindowFixture {
protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return;
        bus = new QProcess;
        bus->start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
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
        w->AlertWindowMaker = [this](QWidget* owner) {
            ++alerts;
            auto* alert = new QWidget(owner, Qt::Window);
            alert->setAttribute(Qt::WA_DontShowOnScreen);
            return alert;
        };
        return w;
    }

    // One round of slot 1, a minute after the last.
    void Round(TF_Tevro& w, bool success) {
        w.Timer1Timer(nullptr);
        workers.Finish(workers.Started() - 1,
                       success ? ScriptedPingWorkers::Success(0, 7) : ScriptedPingWorkers::Failure());
        now = now.addSecs(60);
    }

    // Waits until the recorder holds `count` calls, and a little longer to see that no more come.
    void ExpectCalls(size_t count) {
        QTRY_VERIFY_WITH_TIMEOUT(recorder.calls.size() >= count, 5000);
        QTest::qWait(50);
        EXPECT_EQ(recorder.calls.size(), count);
    }

    static inline QProcess* bus = nullptr;
    static inline QString address;
    NotificationRecorder recorder;
    ScriptedPingWorkers workers;
    int alerts = 0;
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
    EXPECT_TRUE(HintOf(w->Row(1).Status).endsWith(QStringLiteral("; 2 failed round(s) in a row, the alert comes at 3")))
        << HintOf(w->Row(1).Status).toStdString();

    Round(*w, false);
    ExpectCalls(1);
    EXPECT_EQ(alerts, 1) << "the alert comes with the third failure";
    const NotificationRecorder::Call& down = recorder.calls.at(0);
    EXPECT_EQ(down.app, QStringLiteral("Tevro"));
    EXPECT_EQ(down.summary, QStringLiteral("gateway is not answering"));
    EXPECT_TRUE(down.body.contains(firstFailure.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))) << down.body.toStdString();
    EXPECT_TRUE(down.body.contains(QStringLiteral("time-out"))) << down.body.toStdString();
    EXPECT_TRUE(down.hints.contains(QStringLiteral("image-data"))) << "the program's icon travels along";

    Round(*w, true);
    ExpectCalls(2);
    const NotificationRecorder::Call& back = recorder.calls.at(1);
    EXPECT_EQ(back.summary, QStringLiteral("gateway is answering again"));
    EXPECT_TRUE(back.body.contains(QStringLiteral("Away for 3 min 0 s"))) << back.body.toStdString();
    EXPECT_TRUE(back.body.contains(QStringLiteral("7 ms"))) << back.body.toStdString();
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
