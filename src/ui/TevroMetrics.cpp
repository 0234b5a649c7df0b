// The main window's figures for Prometheus: each finished ping is counted and the textfile rewritten,
// also when monitoring starts or stops; failures to write reach the message log and the LOG as the LOG's
// own do, once when they begin and once when they end.
#include "engine/PingRun.h"
#include "monitor/MetricsFile.h"
#include "ui/SettingsStore.h"
#include "ui/Tevro_u.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QProperty>
#include <QTimer>

struct TF_Tevro::MetricsState {
    ~MetricsState() {
        // The file's last word: Tevro no longer watches, whatever the hosts did last.
        if (path.isEmpty())
            return;
        tevro::ProgramState program = metrics.Program();
        program.running = false;
        metrics.SetProgramState(program);
        tevro::WriteFileAtomically(path, metrics.Exposition());
    }

    QString path;
    tevro::PrometheusMetrics metrics;
    tevro::MetricsWriteState writes;
    QPropertyNotifier runStateNotifier;
};

TF_Tevro::MetricsState& TF_Tevro::Metrics() {
    if (!m_metrics) {
        m_metrics = std::make_shared<MetricsState>();
        // The run state is Timer1's: it is stopped and started again on every tick, so the file is
        // compared with the state only once the event that changed it is over.
        m_metrics->runStateNotifier = Timer1->bindableActive().addNotifier([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_metrics && !m_metrics->path.isEmpty() &&
                        m_metrics->metrics.Program().running != IsRunning())
                        WriteMetrics();
                },
                Qt::QueuedConnection);
        });
    }
    return *m_metrics;
}

QString TF_Tevro::MetricsFile() const {
    return m_metrics ? m_metrics->path : QString();
}

void TF_Tevro::SetMetricsFile(const QString& path) {
    MetricsState& state = Metrics();
    // A relative name would depend on the folder Tevro happened to be started in.
    const QString absolute =
        path.trimmed().isEmpty() ? QString() : QFileInfo(path.trimmed()).absoluteFilePath();
    if (absolute == state.path)
        return;
    state.path = absolute;
    state.writes = {};
    if (!absolute.isEmpty())
        WriteMetrics();
}

void TF_Tevro::LoadMetricsSettings(tevro::SettingsStore& store) {
    QString path;
    store.ReadText(QStringLiteral("MetricsFile"), QString(), path);
    // Written with the first round or the switch to Running, when the message log can tell of a failure.
    Metrics().path = path.trimmed().isEmpty() ? QString() : QFileInfo(path.trimmed()).absoluteFilePath();
}

void TF_Tevro::SaveMetricsSettings(tevro::SettingsStore& store) {
    store.WriteText(QStringLiteral("MetricsFile"), MetricsFile());
}

void TF_Tevro::RecordMetrics(int slot, const QString& host, const tevro::PingResult& result) {
    MetricsState& state = Metrics();
    state.metrics.RecordRound(slot, host, result, Now().toMSecsSinceEpoch());
    if (!state.path.isEmpty())
        WriteMetrics();
}

void TF_Tevro::RefreshMetrics() {
    if (m_metrics && !m_metrics->path.isEmpty())
        WriteMetrics();
}

void TF_Tevro::WriteMetrics() {
    using Change = tevro::MetricsWriteState::Change;
    MetricsState& state = Metrics();
    // Rows no longer watched leave the file.
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (!Row(slot).Active->isChecked())
            state.metrics.Forget(slot);
    tevro::ProgramState program = state.metrics.Program();
    program.running = IsRunning();
    program.localNetworkUp = !LocalNetworkDown();
    program.asleep = Asleep();
    state.metrics.SetProgramState(program);

    const QString path = state.path;
    switch (state.writes.Write(path, state.metrics.Exposition())) {
    case Change::None:
        return;
    case Change::FirstFailure:
        PingDone(nullptr, PING_NONE, -1, -1, -1, -1,
                 QStringLiteral("The metrics file cannot be written:\r\n\t") + state.writes.LastError() +
                     QStringLiteral("\r\n\tMonitoring goes on and the file is written again after every "
                                    "round; this log tells when that works again"));
        return;
    case Change::Recovered:
        PingDone(nullptr, PING_NONE, -1, -1, -1, -1,
                 QStringLiteral(
                     "The metrics file can be written again:\r\n\t\"%1\"\r\n\t%2 write(s) failed before")
                     .arg(path)
                     .arg(state.writes.Failures()));
        return;
    }
}
