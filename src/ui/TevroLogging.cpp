// The LOG file and the downtime table of the main window, over the pure pieces of tevro_logging.
#include "engine/PingRun.h"
#include "logging/DowntimeTable.h"
#include "logging/LogFile.h"
#include "monitor/LogEntry.h"
#include "ui/Tevro_u.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString kCannotWrite = QStringLiteral("The LOG file cannot be written:\r\n\t");

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
    tevro::LogWriteState writes;
    QString displaced; // the LOG's first choice, when something that is no file stood in its place
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
    LogState& log = Log();
    // A folder or a pipe under the LOG's name is left alone; the LOG goes to the user's folder.
    if (tevro::ExistsButIsNotAFile(LogFileName)) {
        const QString fallback =
            QDir(tevro::UserLogFolder()).absoluteFilePath(QFileInfo(LogFileName).fileName());
        if (fallback != LogFileName) {
            log.displaced = LogFileName;
            LogFileName = fallback;
            QDir().mkpath(tevro::UserLogFolder());
        }
    }
    log.rotation = tevro::RotateLogFiles(LogFileName);
}

void TF_Tevro::WriteStartupLogLines() {
    // One entry: a run's head is in the LOG whole or not at all.
    WriteLogLine(tevro::StartupLogLines(Log().rotation, LogFileName).join(QStringLiteral("\r\n")));
}

QString TF_Tevro::LogHeaderReport() {
    LogState& log = Log();
    QString why;
    // Claim the LOG only once it has really been opened for appending.
    if (!tevro::CanAppendTo(LogFileName, &why) || log.writes.Failing()) {
        if (why.isEmpty())
            why = log.writes.LastError();
        return kCannotWrite + why;
    }
    QString report = QStringLiteral("All output will be logged to:\r\n\t\"") + LogFileName + QLatin1Char('"');
    if (!log.displaced.isEmpty())
        report += QStringLiteral("\r\n\t(not to \"") + log.displaced +
                  QStringLiteral("\": that is not a regular file, so it is left alone)");
    return report;
}

void TF_Tevro::WriteLogLine(const QString& text) {
    using Change = tevro::LogWriteState::Change;
    LogState& log = Log();
    // No message box: monitoring runs unattended. The message log hears of the first entry lost,
    // whatever its filters, and of the return to working order, which the LOG records as well.
    const auto tell = [this](const QString& report) {
        AddLogEntry(tevro::ViewEntry(PING_NONE, -1, report, Now()));
    };
    const auto recoveryReport = [this](int lost) -> QString {
        return QStringLiteral("The LOG file can be written again:\r\n\t\"") + LogFileName +
               QStringLiteral("\"\r\n\t") + tevro::EntryCount(lost) +
               QStringLiteral(" could not be written before");
    };
    const Change change = log.writes.Write(LogFileName, text, [&](int lost) -> QString {
        return tevro::FileEntry(PING_NONE, -1, recoveryReport(lost), Now());
    });
    if (change == Change::Recovered)
        tell(recoveryReport(log.writes.LostEntries()));
    if (change == Change::FirstFailure)
        tell(kCannotWrite + log.writes.LastError() +
             QStringLiteral("\r\n\tMonitoring goes on and every entry is tried again; this log tells when "
                            "writing works again"));
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

qint64 TF_Tevro::DowntimeMonotonicMs() {
    return Log().clock.Elapsed().count();
}
