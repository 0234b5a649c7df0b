// The ping scheduler of the main window: the cycle timer, the chain over the active slots, the Active boxes.
#include "monitor/HostText.h"
#include "monitor/LogEntry.h"
#include "ui/TevroMonitorState.h"
#include "ui/Gauge.h"
#include "ui/SpinEdit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <chrono>

namespace {

qint64 MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TF_Tevro::MonitorState& TF_Tevro::Monitor() {
    if (!m_monitor) {
        m_monitor = std::make_shared<MonitorState>(Timer1);
        // Workers are stopped while the window and its event loop are still whole.
        if (QCoreApplication* app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, this, &TF_Tevro::ShutdownPingWorkers);
    }
    return *m_monitor;
}

void TF_Tevro::SetPingWorkerFactory(tevro::PingWorkerFactory* factory) {
    MonitorState& monitor = Monitor();
    monitor.factory = factory != nullptr ? factory : monitor.ownWorkers.get();
}

void TF_Tevro::ShutdownPingWorkers() {
    Monitor().Shutdown();
}

void TF_Tevro::Timer1Timer(QObject* sender) {
    MonitorState& monitor = Monitor();
    WatchClocks(); // a suspend or a clock step since the last tick
    if (sender != nullptr) {
        // Re-armed for the next 5-second mark first, so that a tick which switches monitoring off
        // has the last word.
        if (Timer1->isActive())
            Timer1->start(monitor.grid.DelayAfterTick(MonotonicMs()));
        --Timer1Tag;
        Gauge1->SetProgress(Timer1Tag);
        if (Timer1Tag > 0)
            return;
    } else {
        // A Running period starts: its marks count from now, on a timer that does not round.
        Timer1->setTimerType(Qt::PreciseTimer);
        monitor.grid.Start(MonotonicMs(), tevro::kTickMs);
    }
    // Timer1 runs from the switch to Running on: until then this is a Running period's first cycle.
    if (!BeginRound(sender == nullptr && !Timer1->isActive())) {
        // The computer sleeps, or waits for its network after waking: that round starts by itself.
        Timer1Tag = tevro::TicksPerCycle(SpinEdit_Intervall->value());
        Gauge1->SetProgress(Timer1Tag);
        return;
    }
    Label3->setText(tevro::ScheduleLine(Now(), SpinEdit_Intervall->value()));
    NextSlot = 1;
    PingNext();
    Timer1Tag = tevro::TicksPerCycle(SpinEdit_Intervall->value());
    Gauge1->SetProgress(Timer1Tag);
}

void TF_Tevro::PingNext() {
    NextSlot = tevro::ChainStep(NextSlot, [this](int slot) { return StartPing(slot); });
}

bool TF_Tevro::StartPing(int slot) {
    const TSlotRow& row = Row(slot);
    // A ticked row without a host is passed over as an unticked one is: there is nothing to ping, and
    // a result for it would be a failure of no host.
    const QString host = tevro::HostForPing(row.Url->text());
    if (!row.Active->isChecked() || host.isEmpty())
        return false;
    const void*& worker = PingThread.at(static_cast<size_t>(slot - 1));
    if (worker != nullptr) {
        PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::BusySlotReport(slot, row.Url->text()));
        return true;
    }
    MonitorState& monitor = Monitor();
    if (monitor.shutDown)
        return true;
    EnableSlotRow(slot, false);
    AbandonPathTrace(slot);
    const tevro::PingParams params{host, row.TimeOut->value(), row.DataSize->value(), row.TTL->value(),
                                   row.Count->value()};
    worker = monitor.Workers().Start(
        params, [this] { PingNext(); },
        [this, slot, host = params.Host](tevro::PingWorkerId id, const tevro::PingResult& result) {
            NoteResultAddress(id, result);
            PingDone(id, result.ResultCode, result.MinTime, result.MaxTime, result.MeanTime,
                     result.PacketLoss, result.Report, result.MeanTimeUs);
            RecordMetrics(slot, host, result);
        });
    RoundWorkerStarted(worker);
    return true;
}

void TF_Tevro::Active_Click(int slot) {
    EnableSlotRow(slot, true);
    SelectSingleGraph();
    const TSlotRow& row = Row(slot);
    if (!row.Active->isChecked()) {
        SetStatusPicture(slot, QString::fromLatin1(tevro::kNoStatusPicture));
        ForgetHostState(slot);
    } else if (isVisible() && tevro::IsBlankText(row.Url->text()))
        row.Url->setFocus();
}
