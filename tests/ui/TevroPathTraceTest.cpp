// Path traces in the main window: scripted pings, and a scripted network under the trace on its real
// thread. The round due while a trace runs starts on time and abandons it; one trace per outage; the
// setting and its check box.
#include "../monitor/ScriptedPingWorkers.h"
#include "FakePing.h"
#include "engine/IcmpEcho.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <atomic>

namespace tevro::test {
namespace {

using testing::FakeTry;
using testing::FakeWorld;

class TevroPathTrace : public WindowFixture {
protected:
    std::unique_ptr<TF_Tevro> Window() {
        WriteSettings("Active_01=1\nUrl_01=192.0.2.7\nActive_02=1\nUrl_02=gateway\nNotify=0\n");
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        w->SetPathTraceEnvironment([this] { return world.Environment(); });
        return w;
    }

    // The next round, due after an interval of ticks; slot 1 with the given result, slot 2 answers.
    void Round(TF_Tevro& w, bool firstAnswers) {
        for (int tick = 0; tick < 12; ++tick)
            w.Timer1Timer(w.Timer1);
        const int first = workers.Started() - 1;
        workers.Finish(first, firstAnswers ? ScriptedPingWorkers::Success() : ScriptedPingWorkers::Failure());
        workers.Finish(first + 1, ScriptedPingWorkers::Success());
    }

    QString LogText() const {
        QFile file(settings.Folder() + QStringLiteral("/tevro.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    ScriptedPingWorkers workers; // outlives the windows
    FakeWorld world;
};

TEST_F(TevroPathTrace, TheRoundDueInMidTraceStartsOnTimeAndAbandonsIt) {
    auto w = Window();
    std::atomic<bool> waiting{false};
    world.network->onBlocked = [&waiting] { waiting = true; };
    // Hop 1 is a router; hop 2 stays silent; hop 3 waits for as long as the trace lasts.
    world.network->tries = {FakeTry{{}, {testing::IcmpError(4, kIcmpTimeExceeded)}}, testing::Unanswered(),
                            FakeTry{{}, {testing::BlockUntilStopped()}}};
    w->B_RunStop->click();
    workers.Finish(0, ScriptedPingWorkers::Failure()); // down: the trace starts
    ASSERT_EQ(workers.Started(), 2) << "slot 2 of the same round went on at once";
    workers.Finish(1, ScriptedPingWorkers::Success());
    ASSERT_TRUE(QTest::qWaitFor([&waiting] { return waiting.load(); }, 5000));

    for (int tick = 1; tick < 12; ++tick)
        w->Timer1Timer(w->Timer1);
    EXPECT_EQ(workers.Started(), 2);
    EXPECT_TRUE(w->PathTraceRunning(1));
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(workers.Started(), 3) << "the twelfth tick starts the round, trace or no trace";
    EXPECT_EQ(workers.At(2).params.Host, QStringLiteral("192.0.2.7"));
    // The host's new round abandoned the trace: what it found goes to the log.
    ASSERT_TRUE(QTest::qWaitFor([this] { return LogText().contains(QStringLiteral("abandoned")); }, 5000));
    EXPECT_TRUE(LogText().contains(QStringLiteral("): Path to 192.0.2.7 when it stopped answering:\r\n"
                                                  "   ## 1  198.51.100.1  4 ms\r\n"
                                                  "   ## 2  *\r\n"
                                                  "   ## Last answering hop: 1 (198.51.100.1); abandoned "
                                                  "after hop 2 when the host's next round began.\r\n")))
        << LogText().toStdString();
    EXPECT_FALSE(w->PathTraceRunning(1));
    workers.Finish(2, ScriptedPingWorkers::Failure());
    workers.Finish(3, ScriptedPingWorkers::Success());

    // Still down: no second trace in this outage. Back, then down again: traced again.
    EXPECT_EQ(world.network->sent.size(), 3u);
    Round(*w, true);
    Round(*w, false);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return LogText().count(QStringLiteral("when it stopped answering:")) == 2; }, 5000));
    EXPECT_EQ(world.network->sent.size(), 6u);
    EXPECT_TRUE(LogText().contains(QStringLiteral("   ## No hop answered; the last 3 hops did not answer.")));
}

TEST_F(TevroPathTrace, TheCheckBoxOnTheAlertPageSwitchesTracesOffForGood) {
    auto w = Window();
    EXPECT_TRUE(w->TracePathEnabled()) << "on by default";
    {
        TF_Alert alert(w.get());
        alert.SetAlertMode(1);
        EXPECT_TRUE(alert.CB_TracePath->isChecked());
        alert.CB_TracePath->setChecked(false);
    }
    EXPECT_FALSE(w->TracePathEnabled());
    w->B_RunStop->click();
    workers.Finish(0, ScriptedPingWorkers::Failure());
    workers.Finish(1, ScriptedPingWorkers::Success());
    EXPECT_FALSE(w->PathTraceRunning(1));
    EXPECT_TRUE(world.network->sent.empty()) << "no probe for any router";

    w.reset(); // saves the settings
    EXPECT_EQ(
        QSettings(settings.FileName(), QSettings::IniFormat).value(QStringLiteral("TracePath")).toString(),
        QStringLiteral("0"));
    EXPECT_FALSE(MakeWindow()->TracePathEnabled());
}

} // namespace
} // namespace tevro::test
