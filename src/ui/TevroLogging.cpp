// The LOG file and the downtime table of the main window, over the pure pieces of tevro_logging.
#include "logging/DowntimeTable.h"
#include "logging/LogFile.h"
#include "ui/Tevro_u.h"

#include <QCoreApplication>

namespace {

// Moments from the window's clock (which tests fix), lengths from a monotonic clock.
class WindowDowntimeClock final : public tevro::DowntimeClock {
public:
    explicit WindowDowntimeClock(const TF_Tevro& window) : m_window(window) {}
    QDateTime Now() const override { return m_window.Now(); }
    std::chrono::milliseconds Elapsed() const override {
        return monotonic ? std::chrono::milliseconds(monotonic()) : m_system.Elapsed();
    }

    std::function<qint64()> monotonic;

private:
    const TF_Tevro& m_window;
    tevro::SystemDowntimeClock m_system;
};

} // namespace

struct TF_Tevro::LogState {
    explicit LogState(TF_Tevro& window)
        : clock(window), downtime(clock, [&window](const QString& line) { window.WriteLogLine(line); }) {}

    WindowDowntimeClock clock;
    tevro::DowntimeTable downtime;
    tevro::RotationOutcome rotation;
};

void TF_Tevro::LogStateDeleter::operator()(LogState* state) const {
    delete state;
}

TF_Tevro::LogState& TF_Tevro::Log() {
    if (!m_logState)
        m_logState.reset(new LogState(*this));
    return *m_logState;
}

QString TF_Tevro::DefaultLogFileName() {
    return tevro::ChooseLogFileName(QCoreApplication::applicationFilePath(), tevro::UserLogFolder());
}

void TF_Tevro::RotateLogFiles() {
    Log().rotation = tevro::RotateLogFiles(LogFileName);
}

void TF_Tevro::WriteStartupLogLines() {
    for (const QString& line : tevro::StartupLogLines(Log().rotation, LogFileName))
        WriteLogLine(line);
}

void TF_Tevro::WriteLogLine(const QString& text) {
    tevro::AppendLogLine(LogFileName, text); // errors are silent: the next line is tried afresh
}

void TF_Tevro::ResetDowntimeTable() {
    Log().downtime.Reset();
}

void TF_Tevro::OpenDowntimeTable() {
    if (Log().downtime.Open())
        LastResultCode = 0;
}

void TF_Tevro::CloseDowntimeTable() {
    Log().downtime.Close(LastResultCode);
}

void TF_Tevro::UpdateDowntime(int resultCode) {
    Log().downtime.Update(resultCode, LastResultCode);
}

bool TF_Tevro::DowntimeTableOpen() const {
    return m_logState && m_logState->downtime.IsOpen();
}

QDateTime TF_Tevro::DowntimeStart() const {
    return m_logState ? m_logState->downtime.PeriodStart() : QDateTime();
}

void TF_Tevro::SetDowntimeMonotonicClock(std::function<qint64()> milliseconds) {
    Log().clock.monotonic = std::move(milliseconds);
}
