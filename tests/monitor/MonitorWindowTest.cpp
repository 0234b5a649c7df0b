// The scheduler and result processing in the main window, with scripted workers instead of pings.
#include "FakePing.h"
#include "ScriptedPingWorkers.h"
#include "monitor/LogEntry.h"
#include "monitor/WindowPorts.h"
#include "richview/RichView.h"
#include "support/LogViewText.h"
#include "support/WindowFixture.h"
#include "ui/Alert_u.h"
#include "ui/Gauge.h"
#include "ui/SpinEdit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>

namespace tevro::test {
namespace {

// A graph window that records what it is fed.
class FakeGraph final : public QWidget, public GraphFeed {
public:
    QStringList titles;
    std::vector<std::array<double, 3>> bars; // series, value, loss
    int titleValue = 0;
    int titleLoss = 0;
    int clears = 0;

    void SetGraphTitle(const QString& title, int value, int packetLoss) override {
        titles << title;
        titleValue = value;
        titleLoss = packetLoss;
    }
    void AddGraphBar(int series, double value, int packetLoss) override {
        bars.push_back({static_cast<double>(series), value, static_cast<double>(packetLoss)});
    }
    void ClearGraph() override { ++clears; }
};

// An alert window that records how it was set up.
class FakeAlert final : public QWidget, public AlertControl {
public:
    explicit FakeAlert(QWidget* owner) : QWidget(owner, Qt::Window) {}
    int mode = -1;
    QString sound;
    void SetAlertMode(int alertMode) override { mode = alertMode; }
    void PlayAlertSound(const QString& text) override { sound = text; }
};

// A socket library that tells when a worker releases it and when the worker has gone.
class WatchedLibrary final : public SocketLibrary {
public:
    std::function<void()> onCleanup; // on the worker's thread, after its tries
    std::function<void()> onGone;    // the worker and its run are freed
    ~WatchedLibrary() override {
        if (onGone)
            onGone();
    }
    SocketLibraryStartup Startup(SocketVersion) override { return {true, 0, {2, 1}}; }
    void Cleanup() override {
        if (onCleanup)
            onCleanup();
    }
};

class MonitorWindow : public WindowFixture {
protected:
    // A window over scripted workers, with the given rows active ({slot, host}) and interval.
    std::unique_ptr<TF_Tevro> Window(std::initializer_list<std::pair<int, const char*>> rows,
                                     int minutes = 1) {
        auto w = MakeWindow();
        w->SetPingWorkerFactory(&workers);
        for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
            w->Row(slot).Active->setChecked(false);
        for (const auto& [slot, host] : rows) {
            w->Row(slot).Url->setText(QString::fromUtf8(host));
            w->Row(slot).Active->setChecked(true);
        }
        w->SpinEdit_Intervall->setValue(minutes);
        return w;
    }

    static TRichView& Log(TF_Tevro& w) { return *w.Memo_Log; }

    static QString LogText(TF_Tevro& w) { return LogViewText(Log(w)); }

    // Back colour of the head label of the newest entry, 0 when it has none.
    static Color32 LastHeadColor(TF_Tevro& w) {
        Color32 color = 0;
        Color32 font = 0;
        for (const Node* node = Log(w).Content().Head(); node != nullptr; node = node->Next) {
            if (const FontNode* f = AsFont(node))
                font = f->Attrs.BackColor;
            else if (const ItemNode* item = AsItem(node); item != nullptr && item->Text.contains(QChar(0xA0)))
                color = font;
        }
        return color;
    }

    static void Tick(TF_Tevro& w, int times) {
        for (int i = 0; i < times; ++i)
            w.Timer1Timer(w.Timer1);
    }

    ScriptedPingWorkers workers; // outlives every window of a test
};

TEST_F(MonitorWindow, ACycleAtTheSwitchThenEveryIntervalOfTicks) {
    for (const auto& [minutes, ticks] : {std::pair{1, 12}, std::pair{59, 708}}) {
        const int before = workers.Started();
        auto w = Window({{2, "gateway"}}, minutes);
        w->B_RunStop->click();
        ASSERT_EQ(workers.Started(), before + 1) << "the first cycle starts with the switch";
        EXPECT_EQ(w->Timer1->timerType(), Qt::PreciseTimer);
        EXPECT_EQ(w->Label3->text(),
                  QStringLiteral("Current ping startet at 07.12.26, 00:15. Next ping scheduled "
                                 "at 07.12.26, ") +
                      QTime(0, 15).addSecs(60 * minutes).toString(QStringLiteral("HH:mm.")));
        workers.Finish(before, ScriptedPingWorkers::Success());

        Tick(*w, ticks - 1);
        EXPECT_EQ(workers.Started(), before + 1);
        EXPECT_EQ(w->Gauge1->Progress(), 1);
        EXPECT_LE(w->Timer1->remainingTime(), 5000) << "re-armed for the next mark";
        Tick(*w, 1);
        EXPECT_EQ(workers.Started(), before + 2) << minutes;
        EXPECT_EQ(w->Gauge1->Progress(), ticks);
        EXPECT_EQ(w->Gauge1->MaxValue(), ticks);
        workers.Finish(before + 1, ScriptedPingWorkers::Success());
    }
}

TEST_F(MonitorWindow, WorkersGetTheRowsParametersAndTheHostWithoutBlanksAround) {
    auto w = Window({{1, " gate way\t\x01"}});
    w->Row(1).TimeOut->setValue(2500);
    w->Row(1).DataSize->setValue(64);
    w->Row(1).TTL->setValue(40);
    w->Row(1).Count->setValue(7);
    w->Timer1Timer(nullptr);
    ASSERT_EQ(workers.Started(), 1);
    const PingParams& params = workers.At(0).params;
    EXPECT_EQ(params.Host, QStringLiteral("gate way")) << "only what surrounds the host goes";
    EXPECT_EQ(w->Row(1).Url->text(), QStringLiteral(" gate way\t\x01")) << "the row keeps what was typed";
    EXPECT_EQ(params.TimeOut, 2500);
    EXPECT_EQ(params.DataSize, 64);
    EXPECT_EQ(params.TTL, 40);
    EXPECT_EQ(params.Count, 7);
    // The row waits for its result; only its "?" button stays usable.
    EXPECT_FALSE(w->Row(1).Active->isEnabled());
    EXPECT_FALSE(w->Row(1).Url->isEnabled());
    EXPECT_FALSE(w->Row(1).Count->isEnabled());
    EXPECT_TRUE(w->Row(1).UrlLookup->isEnabled());
    workers.Finish(0, ScriptedPingWorkers::Success());
    EXPECT_TRUE(w->Row(1).Active->isEnabled());
    EXPECT_TRUE(w->Row(1).Url->isEnabled());
}

TEST_F(MonitorWindow, OnlyActiveSlotsArePingedInTurn) {
    {
        auto w = Window({{3, "three"}});
        w->Timer1Timer(nullptr);
        EXPECT_EQ(workers.Hosts(), QStringList{QStringLiteral("three")});
        EXPECT_EQ(w->NextSlot, 0);
        workers.Finish(0, ScriptedPingWorkers::Success());
    }
    {
        auto w = Window({});
        w->Timer1Timer(nullptr);
        EXPECT_EQ(workers.Started(), 1) << "no slot active: nothing starts";
        EXPECT_EQ(w->NextSlot, 0);
    }
}

TEST_F(MonitorWindow, TheNextSlotStartsBeforeThePreviousResultIsProcessed) {
    auto w = Window({{1, "one"}, {3, "three"}});
    w->B_RunStop->click();
    EXPECT_EQ(workers.Hosts(), QStringList{QStringLiteral("one")});
    EXPECT_EQ(w->NextSlot, 2);

    workers.Terminate(0);
    EXPECT_EQ(workers.Hosts(), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
    EXPECT_EQ(w->NextSlot, 0);
    EXPECT_FALSE(w->Row(1).Url->isEnabled()) << "slot 1's result is not processed yet";
    EXPECT_EQ(w->PingThread[0], workers.Id(0));

    workers.Deliver(0, ScriptedPingWorkers::Success());
    EXPECT_EQ(w->PingThread[0], nullptr);
    EXPECT_TRUE(w->Row(1).Url->isEnabled());
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    EXPECT_EQ(w->PingThread[2], workers.Id(1));
    workers.Finish(1, ScriptedPingWorkers::Failure());
    EXPECT_EQ(w->StatusPicture(3), QStringLiteral("Ping_Failed"));
}

// Real worker threads over scripted worlds. Slot 2's worker is held between its tries and its hand-over
// for as long as slot 3's worker, started by slot 2's termination and answered at once, needs to deliver
// and go: a worker that handed its termination and its result over apart would let slot 3's entry in
// before slot 2's.
TEST_F(MonitorWindow, RealWorkersDeliverInSlotOrderHoweverTheNextOneIsTimed) {
    std::array<testing::FakeWorld, 3> worlds;
    std::atomic<bool> thirdStarted{false};
    std::atomic<bool> thirdGone{false};
    auto threads = MakeThreadPingWorkers([&](const PingParams& params) {
        const int slot = params.Host.back().digitValue();
        testing::FakeWorld& world = worlds.at(static_cast<size_t>(slot - 1));
        world.network->tries = {testing::Answered(1)};
        auto library = std::make_shared<WatchedLibrary>();
        if (slot == 2) {
            library->onCleanup = [&] {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (thirdStarted && !thirdGone && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
        } else if (slot == 3) {
            thirdStarted = true;
            library->onGone = [&] { thirdGone = true; };
        }
        PingEnvironment environment = world.Environment();
        environment.library = library;
        return environment;
    });
    auto w = Window({{1, "192.0.2.1"}, {2, "192.0.2.2"}, {3, "192.0.2.3"}});
    w->SetPingWorkerFactory(threads.get());
    for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
        w->Row(slot).Count->setValue(1);
    w->B_RunStop->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return thirdGone && w->PingThread == std::array<const void*, 3>{}; }, 10000));

    QFile file(w->LogFileName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList heads;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")))
        if (line.startsWith(QStringLiteral("(SUCCESS)")))
            heads << line;
    ASSERT_EQ(heads.size(), 3) << heads.join(u'\n').toStdString();
    for (int slot = 1; slot <= TF_Tevro::kSlotCount; ++slot)
        EXPECT_TRUE(heads.at(slot - 1).contains(QStringLiteral("192.0.2.%1").arg(slot)))
            << heads.join(u'\n').toStdString();
}

TEST_F(MonitorWindow, ABusySlotIsLoggedAndTheChainWaitsForItsWorker) {
    auto w = Window({{1, "one"}, {2, "two"}});
    w->B_RunStop->click();
    ASSERT_EQ(workers.Started(), 1);

    // The next cycle comes while slot 1's worker still runs.
    Tick(*w, 12);
    EXPECT_EQ(workers.Started(), 1);
    EXPECT_TRUE(
        LogText(*w).endsWith(QStringLiteral("**FAILURE** Thread #1 is still running!\n## Pinging of <one> "
                                            "will be delayed until next timer tick is reached!.")))
        << LogText(*w).toStdString();
    EXPECT_EQ(w->LastResultCode, PING_NONE);
    EXPECT_EQ(w->NextSlot, 2);

    workers.Finish(0, ScriptedPingWorkers::Success());
    EXPECT_EQ(workers.Hosts(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}))
        << "the chain moves on when slot 1's worker ends";

    // A worker that has ended but whose result has not been taken yet still counts as busy.
    workers.Terminate(1);
    EXPECT_EQ(w->NextSlot, 0);
    Tick(*w, 12);
    ASSERT_EQ(workers.Started(), 3);
    workers.Terminate(2);
    EXPECT_TRUE(LogText(*w).contains(QStringLiteral("Thread #2 is still running!")));
    EXPECT_EQ(workers.Started(), 3);
    workers.Deliver(1, ScriptedPingWorkers::Success());
    workers.Deliver(2, ScriptedPingWorkers::Success());
    EXPECT_EQ(w->PingThread, (std::array<const void*, 3>{}));
}

TEST_F(MonitorWindow, SwitchingToInactiveLetsTheCycleFinish) {
    auto w = Window({{1, "one"}, {2, "two"}, {3, "three"}});
    w->B_RunStop->click();
    w->B_RunStop->click();
    EXPECT_FALSE(w->IsRunning());
    workers.Finish(0, ScriptedPingWorkers::Success());
    workers.Finish(1, ScriptedPingWorkers::Failure(SOCKET_ERROR));
    workers.Finish(2, ScriptedPingWorkers::Success(33));
    EXPECT_EQ(workers.Hosts(),
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Socket_Error"));
    EXPECT_EQ(w->StatusPicture(3), QStringLiteral("Ping_Success"));
    EXPECT_EQ(w->NextSlot, 0);
}

TEST_F(MonitorWindow, TheActiveBoxShowsGreyAtOnceAndAsksForAHost) {
    auto w = Window({{1, "one"}});
    w->Timer1Timer(nullptr);
    workers.Finish(0, ScriptedPingWorkers::Success());
    ASSERT_EQ(w->StatusPicture(1), QStringLiteral("Ping_Success"));
    w->Row(1).Active->click();
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Bitmap_None"));

    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->Row(3).Url->setText(QStringLiteral("   "));
    w->Row(3).Active->click();
    EXPECT_TRUE(w->Row(3).Url->hasFocus());
    w->Row(2).Url->setText(QStringLiteral("two"));
    w->Row(2).Active->click();
    EXPECT_TRUE(w->Row(3).Url->hasFocus()) << "a row with a host keeps the focus where it was";
}

TEST_F(MonitorWindow, HeadsFollowTheResultAndInformationHasNone) {
    auto w = Window({{1, "one"}});
    w->Add_PING_SUCCESS->setChecked(true);
    const auto result = [&](const PingResult& r) {
        w->Timer1Timer(nullptr);
        workers.Finish(workers.Started() - 1, r);
        return LastHeadColor(*w);
    };
    EXPECT_EQ(result(ScriptedPingWorkers::Success(0)), RgbColor(0, 128, 0));
    EXPECT_EQ(result(ScriptedPingWorkers::Success(33)), RgbColor(255, 128, 0));
    for (int code : {VERSION_MISMATCH, SOCKET_ERROR, PING_FAILED}) {
        Log(*w).Clear();
        EXPECT_EQ(result(ScriptedPingWorkers::Failure(code)), RgbColor(255, 0, 0)) << code;
        EXPECT_EQ(w->LastResultCode, code);
    }
    Log(*w).Clear();
    w->PingDone(nullptr, PING_NONE, -1, -1, -1, -1, QStringLiteral("note\r\n\tdetail"));
    EXPECT_EQ(LastHeadColor(*w), 0u);
    EXPECT_EQ(LogText(*w), QStringLiteral("07.12.2026 (00:15:02): note\n## detail."));
    EXPECT_EQ(w->LastResultCode, PING_NONE);
}

TEST_F(MonitorWindow, FiltersHideEntriesFromTheViewOnly) {
    auto w = Window({{1, "one"}});
    auto* graph = new FakeGraph;
    w->SetGraphWindow(graph);
    w->Add_SOCKET_ERROR->setChecked(false);
    w->Add_PING_FAILED->setChecked(false);
    w->Add_PING_SUCCESS->setChecked(false);
    const qint32 empty = Log(*w).DocumentSize();
    const std::vector<PingResult> results{ScriptedPingWorkers::Success(),
                                          ScriptedPingWorkers::Failure(SOCKET_ERROR),
                                          ScriptedPingWorkers::Failure(PING_FAILED)};
    for (const PingResult& r : results) {
        w->Timer1Timer(nullptr);
        workers.Finish(workers.Started() - 1, r);
        EXPECT_EQ(Log(*w).DocumentSize(), empty) << r.ResultCode;
        EXPECT_EQ(w->LastResultCode, r.ResultCode);
        EXPECT_EQ(w->StatusPicture(1), StatusPictureName(r.ResultCode));
    }
    EXPECT_EQ(graph->bars.size(), 3u) << "the graph is fed whatever the filters";
    QFile logFile(w->LogFileName);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(logFile.readAll());
    for (const PingResult& r : results) {
        const QString entry =
            FileEntry(r.ResultCode, r.PacketLoss, r.Report, w->Now()) + QStringLiteral("\r\n");
        EXPECT_TRUE(written.contains(entry)) << "the LOG file gets every entry: " << entry.toStdString();
    }
    w->PingDone(nullptr, PING_NONE, -1, -1, -1, -1, QStringLiteral("always"));
    EXPECT_GT(Log(*w).DocumentSize(), empty);

    w->Add_PING_FAILED->setChecked(true);
    w->Timer1Timer(nullptr);
    workers.Finish(workers.Started() - 1, ScriptedPingWorkers::Failure(PING_FAILED));
    EXPECT_TRUE(LogText(*w).contains(QStringLiteral("(FAILED)")));
    EXPECT_FALSE(LogText(*w).contains(QStringLiteral("(SUCCESS)")));
    w->SetGraphWindow(nullptr);
    delete graph;
}

TEST_F(MonitorWindow, TheGraphedSlotFeedsTheGraph) {
    auto w = Window({{1, "one"}, {2, "two"}});
    FakeGraph graph;
    w->SetGraphWindow(&graph);
    w->SetGraphChecked(1, true);
    w->Timer1Timer(nullptr);
    PingResult exact = ScriptedPingWorkers::Success(0, 17);
    exact.MeanTimeUs = 17340;
    workers.Finish(0, exact);
    EXPECT_EQ(graph.titles.value(0), QStringLiteral("Graph for <one>\r\nLast ping mean-time 17 ms"));
    EXPECT_EQ(graph.titleValue, 17);
    EXPECT_EQ(graph.bars.back(), (std::array<double, 3>{1, 17.34, 0})) << "the bar is exact, the title whole";
    workers.Finish(1, ScriptedPingWorkers::Success(33, 5));
    EXPECT_EQ(graph.bars.size(), 1u) << "slot 2 is not graphed";

    w->Timer1Timer(nullptr);
    workers.Finish(2, ScriptedPingWorkers::Failure());
    EXPECT_EQ(graph.titles.value(1), QStringLiteral("Graph for <one>\r\nLast ping attempt failed"));
    EXPECT_EQ(graph.titleValue, -1);
    EXPECT_EQ(graph.titleLoss, 100);
    EXPECT_EQ(graph.bars.back(), (std::array<double, 3>{1, -1, 100}));
    workers.Finish(3, ScriptedPingWorkers::Success());

    w->Row(2).Graph->click();
    EXPECT_EQ(graph.clears, 1) << "another graphed slot starts an empty graph";
    w->SetGraphWindow(nullptr);
}

TEST_F(MonitorWindow, AFailureRestoresTheWindowAndRaisesOneAlert) {
    auto w = Window({{1, "one"}, {2, "two"}});
    std::vector<FakeAlert*> alerts;
    w->AlertWindowMaker = [&](QWidget* owner) {
        alerts.push_back(new FakeAlert(owner));
        return alerts.back();
    };
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));

    // Alerts off: the window still comes back.
    w->showMinimized();
    w->Timer1Timer(nullptr);
    workers.Finish(0, ScriptedPingWorkers::Failure());
    EXPECT_FALSE(w->isMinimized());
    EXPECT_TRUE(alerts.empty());
    workers.Finish(1, ScriptedPingWorkers::Success());

    w->SB_Alert->setChecked(true);
    w->Timer1Timer(nullptr);
    workers.Finish(2, ScriptedPingWorkers::Failure(SOCKET_ERROR));
    EXPECT_TRUE(alerts.empty()) << "until slot 2 is heard, the round may be the local network's";
    workers.Finish(3, ScriptedPingWorkers::Failure());
    ASSERT_EQ(alerts.size(), 1u) << "no second alert while one is open";
    EXPECT_EQ(alerts[0]->mode, 0);
    EXPECT_EQ(alerts[0]->sound, QStringLiteral("Status for <one>:\r\nLast ping attempt failed."));
    EXPECT_TRUE(alerts[0]->isVisible());
    EXPECT_EQ(w->AlertWindow(), alerts[0]);
    EXPECT_EQ(w->StatusPicture(2), QStringLiteral("Ping_Failed"));

    alerts[0]->close(); // frees itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w->AlertWindow(), nullptr);
    w->Timer1Timer(nullptr);
    workers.Finish(4, ScriptedPingWorkers::Failure());
    workers.Finish(5, ScriptedPingWorkers::Failure());
    EXPECT_EQ(alerts.size(), 2u);
}

TEST_F(MonitorWindow, VersionMismatchEndsRunningEvenWithTheRunButtonDisabled) {
    auto w = Window({{1, "one"}});
    w->B_RunStop->click();
    workers.Finish(0, ScriptedPingWorkers::Failure(VERSION_MISMATCH));
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(w->StatusPicture(1), QStringLiteral("Socket_Error"));
    EXPECT_TRUE(LogText(*w).contains(QStringLiteral("(FAILED)")));

    // The button follows the rows, not the run: the result must stop monitoring without it.
    auto v = Window({{2, "two"}});
    v->B_RunStop->click();
    v->B_RunStop->setEnabled(false);
    workers.Finish(1, ScriptedPingWorkers::Failure(VERSION_MISMATCH));
    EXPECT_FALSE(v->IsRunning());
}

TEST_F(MonitorWindow, AHostWithAngleBracketsIsShownWhole) {
    auto w = Window({{1, "<f pic=\"Help_Icon\">gate<way"}});
    w->B_RunStop->click();
    Tick(*w, 12);
    const QString text = LogText(*w);
    EXPECT_TRUE(text.contains(QStringLiteral("Pinging of <<f pic=\"Help_Icon\">gate<way> will be delayed")))
        << text.toStdString();
    for (const Node* node = Log(*w).Content().Head(); node != nullptr; node = node->Next) {
        const ItemNode* item = AsItem(node);
        EXPECT_FALSE(item != nullptr && item->ItemType != TItemType::Text)
            << "no picture may come from a host";
    }
    workers.Finish(0, ScriptedPingWorkers::Success());
}

TEST_F(MonitorWindow, TheFullLogIsTrimmedBeforeTheNextEntry) {
    auto w = Window({});
    QStringList lines;
    for (int i = 0; i < 2600; ++i)
        lines << QStringLiteral("<p>line"); // a paragraph node and an item node each
    Log(*w).AddText(lines.join(QStringLiteral("\r\n")));
    ASSERT_GE(Log(*w).DocumentSize(), kLogTrimStart);
    w->PingDone(nullptr, PING_NONE, -1, -1, -1, -1, QStringLiteral("newest"));
    EXPECT_LT(Log(*w).DocumentSize(), kLogTrimTarget + 10 * 102);
    EXPECT_GE(Log(*w).DocumentSize(), kLogTrimTarget - 2 * 102);
    EXPECT_TRUE(LogText(*w).endsWith(QStringLiteral("line\n07.12.2026 (00:15:02): newest.")));
}

TEST_F(MonitorWindow, ShutdownStopsTheTimerAndStartsNothingMore) {
    auto w = Window({{1, "one"}});
    w->B_RunStop->click();
    w->ShutdownPingWorkers();
    EXPECT_TRUE(workers.shutDown);
    EXPECT_FALSE(w->Timer1->isActive());
    workers.Finish(0, ScriptedPingWorkers::Success());
    w->Timer1Timer(nullptr);
    EXPECT_EQ(workers.Started(), 1);
}

// The file for Prometheus: set on the alert configuration, rewritten after every round and when
// monitoring stops; a file that cannot be written is told once, and its return once.
TEST_F(MonitorWindow, TheMetricsFileFollowsTheRoundsAndTellsOfFailureAndRecoveryOnce) {
    const QString folder = settings.Folder() + QStringLiteral("/metrics");
    const QString path = folder + QStringLiteral("/tevro.prom");
    const auto file = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    PingResult answered = ScriptedPingWorkers::Success(0, 0);
    answered.MeanTimeUs = 250;
    answered.RepliesUs = {250};
    answered.Requests = 1;
    answered.Family = IpFamily::V4;

    auto w = Window({{1, "one"}, {3, "three"}});
    const auto told = [&w](const char* what) { return LogText(*w).count(QLatin1String(what)); };
    w->B_RunStop->click();
    {
        TF_Alert alert(w.get());
        alert.SetAlertMode(1);
        EXPECT_TRUE(alert.Edit_MetricsFile->text().isEmpty());
        alert.Edit_MetricsFile->setText(QStringLiteral(" ") + path);
    } // closing the configuration hands the file to the window, which writes it at once
    EXPECT_EQ(w->MetricsFile(), path);
    EXPECT_EQ(told("The metrics file cannot be written"), 1) << LogText(*w).toStdString();
    EXPECT_TRUE(LogText(*w).contains(QStringLiteral("\"%1\": No such file or directory").arg(path)));
    workers.Finish(0, answered);
    workers.Finish(1, ScriptedPingWorkers::Failure());
    EXPECT_EQ(told("The metrics file cannot be written"), 1) << "once, not after every round";

    ASSERT_TRUE(QDir().mkpath(folder));
    w->Timer1Timer(nullptr);
    workers.Finish(2, answered);
    EXPECT_EQ(told("The metrics file can be written again"), 1);
    EXPECT_TRUE(LogText(*w).contains(QStringLiteral("3 write(s) failed before")))
        << LogText(*w).toStdString();
    QString text = file();
    EXPECT_TRUE(text.contains(QStringLiteral("\ntevro_running 1\n"))) << text.toStdString();
    EXPECT_TRUE(
        text.contains(QStringLiteral("tevro_rounds_total{slot=\"1\",host=\"one\",family=\"ipv4\"} 2\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("tevro_reply_seconds_sum{slot=\"1\",host=\"one\",family=\"ipv4\"} 0.0005\n")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("tevro_host_up{slot=\"3\",host=\"three\",family=\"ipv4\"} 0\n")));

    // An unticked row leaves the file with the next write; switching to Inactive is such a write.
    workers.Finish(3, answered);
    w->Row(3).Active->setChecked(false);
    w->B_RunStop->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return file().contains(QStringLiteral("\ntevro_running 0\n")); }, 5000))
        << file().toStdString();
    EXPECT_FALSE(file().contains(QStringLiteral("host=\"three\"")));

    w.reset(); // saves the settings
    QSettings stored(settings.FileName(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("MetricsFile")).toString(), path);
}

} // namespace
} // namespace tevro::test
