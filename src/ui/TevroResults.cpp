// Result processing of the main window: every finished ping and informational entry arrives here.
#include "monitor/LogEntry.h"
#include "ui/TevroMonitorState.h"
#include "monitor/WindowPorts.h"
#include "richview/RichView.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QToolButton>

namespace {

// The message log as the trim sees it.
class RichViewTrim final : public tevro::TrimmableLog {
public:
    explicit RichViewTrim(TRichView& view) : m_view(view) {}
    int DocumentSize() const override { return m_view.DocumentSize(); }
    void DeleteFirstParagraph() override { m_view.DeleteParagraph(0); }

private:
    TRichView& m_view;
};

} // namespace

void TF_Tevro::PingDone(const void* sender, int resultCode, int, int, int meanTime, int packetLoss,
                        const QString& report, qint64 meanTimeUs) {
    // A suspend or a clock change found now is written first; a result of a round that a sleep
    // abandoned is nobody's.
    if (!AvailabilityBeforeEntry(sender))
        return;
    if (sender != nullptr) {
        int slot = 1;
        for (int n = 1; n <= kSlotCount; ++n) {
            const void*& worker = PingThread.at(static_cast<size_t>(n - 1));
            if (worker == sender) {
                worker = nullptr;
                slot = n;
                break;
            }
        }
        EnableSlotRow(slot, true);
        if (meanTimeUs < 0)
            meanTimeUs = qint64{meanTime} * 1000;
        if (GraphedSlot() == slot)
            FeedGraph(slot, resultCode, meanTime, meanTimeUs, packetLoss);
        if (resultCode != PING_SUCCESS && isMinimized())
            WinTaskbarDblClick();
        JudgeInRound(sender, slot, resultCode, meanTimeUs, report);
        const QString picture = tevro::StatusPictureName(resultCode);
        if (!picture.isEmpty())
            SetStatusPicture(slot, picture);
    }

    const QDateTime now = Now();
    // The LOG file gets every entry; the filters are the view's alone.
    WriteLogLine(tevro::FileEntry(resultCode, packetLoss, report, now));
    UpdateDowntime(resultCode);
    const tevro::LogFilters filters{Add_SOCKET_ERROR->isChecked(), Add_PING_FAILED->isChecked(),
                                    Add_PING_SUCCESS->isChecked()};
    if (filters.Passes(resultCode))
        AddLogEntry(tevro::ViewEntry(resultCode, packetLoss, report, now));
    // Called directly rather than through the button: a disabled button would ignore the click and
    // leave monitoring on with a socket layer that cannot ping.
    if (resultCode == VERSION_MISMATCH && IsRunning())
        B_RunStopClick();
    LastResultCode = resultCode;
}

void TF_Tevro::HostRoundResult(int slot, int resultCode, qint64 meanTimeUs, const QString& report) {
    const bool alertDue = TrackHostState(slot, resultCode, meanTimeUs, report);
    if (resultCode != PING_SUCCESS && alertDue)
        ShowAlert(0, tevro::AlertText(Row(slot).Url->text()));
}

void TF_Tevro::AddLogEntry(const QString& markup) {
    RichViewTrim trim(*Memo_Log);
    tevro::TrimLog(trim);
    Memo_Log->AddText(markup);
}

tevro::GraphFeed* TF_Tevro::GraphFeedTarget() const {
    return dynamic_cast<tevro::GraphFeed*>(GraphWindow());
}

void TF_Tevro::FeedGraph(int slot, int resultCode, int meanTime, qint64 meanTimeUs, int packetLoss) {
    tevro::GraphFeed* graph = GraphFeedTarget();
    if (graph == nullptr)
        return;
    // −1 is how the graph tells a failed attempt. The title's text keeps whole ms, the bar is exact.
    const bool success = resultCode == PING_SUCCESS;
    graph->SetGraphTitle(tevro::GraphTitle(Row(slot).Url->text(), resultCode, meanTime),
                         success ? meanTime : -1, packetLoss);
    graph->AddGraphBar(1, success ? static_cast<double>(meanTimeUs) / 1000.0 : -1.0, packetLoss);
}

void TF_Tevro::Graph_Click(int) {
    if (tevro::GraphFeed* graph = GraphFeedTarget())
        graph->ClearGraph();
}

QWidget* TF_Tevro::AlertWindow() const {
    return m_monitor ? m_monitor->alertWindow.data() : nullptr;
}

void TF_Tevro::ShowAlert(int mode, const QString& text) {
    MonitorState& monitor = Monitor();
    if (!SB_Alert->isChecked() || monitor.alertWindow || !AlertWindowMaker)
        return;
    QPointer<QWidget> window = AlertWindowMaker(this);
    if (window.isNull())
        return;
    monitor.alertWindow = window;
    auto* control = dynamic_cast<tevro::AlertControl*>(window.data());
    auto* dialog = qobject_cast<QDialog*>(window.data());
    if (mode == 1 && dialog != nullptr) {
        if (control != nullptr)
            control->SetAlertMode(1);
        dialog->exec();
        delete window.data(); // null when the dialog has freed itself already
        return;
    }
    if (control != nullptr) {
        control->SetAlertMode(mode == 1 ? 1 : 0);
        if (mode != 1)
            control->PlayAlertSound(text);
    }
    if (mode == 1)
        window->setWindowModality(Qt::ApplicationModal);
    // Frees itself when the user closes it.
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}
