// Each watched host's up/down state, judged over consecutive rounds, and the desktop notifications
// when a host goes down or comes back.
#include "common/LocaleTime.h"
#include "common/Product.h"
#include "common/Resources.h"
#include "engine/PingRun.h"
#include "ui/Hints.h"
#include "ui/SettingsStore.h"
#include "ui/TevroMonitorState.h"

#include <QLabel>
#include <QLineEdit>

namespace {

// As the LOG prints a moment: the day, then the time with the locale's separator.
QString Moment(const QDateTime& at) {
    return at.date().toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
           tevro::ClockText(at.time(), tevro::TimeSeparator());
}

} // namespace

bool TF_Tevro::TrackHostState(int slot, int resultCode, int meanTime, const QString& report) {
    MonitorState& monitor = Monitor();
    tevro::HostStates& states = monitor.hostStates;
    const QString host = Row(slot).Url->text().trimmed();
    const bool success = resultCode == PING_SUCCESS;
    const tevro::HostChange change =
        states.Record(slot, host, success, Now(), success ? QString() : tevro::FailureReason(resultCode, report),
                      meanTime);

    // The picture shows every round; the hint tells how close a failing host is to its alert.
    const int failures = states.FailuresInRow(slot);
    QString hint = QString::fromLatin1(kStatusHint);
    if (failures > 0)
        hint += QStringLiteral("; %1 failed round(s) in a row, the alert comes at %2")
                    .arg(failures)
                    .arg(states.FailureThreshold());
    tevro::SetHint(Row(slot).Status, hint);

    if (monitor.notify && change.kind != tevro::HostChange::Kind::None) {
        if (change.kind == tevro::HostChange::Kind::WentDown) {
            monitor.Notifier().Notify(QStringLiteral("%1 is not answering").arg(change.host),
                                      QStringLiteral("Since %1 (first failed round): %2.")
                                          .arg(Moment(change.firstFailedAt), change.reason),
                                      true);
        } else {
            const qint64 away = change.firstFailedAt.secsTo(change.backAt);
            monitor.Notifier().Notify(QStringLiteral("%1 is answering again").arg(change.host),
                                      QStringLiteral("Away for %1, since %2. Reply time %3 ms.")
                                          .arg(tevro::DurationText(away), Moment(change.firstFailedAt))
                                          .arg(change.replyTime),
                                      false);
        }
    }
    return !success && states.AlertDue(slot);
}

void TF_Tevro::SetHostStateSettings(int alertAfterFailures, int recoverAfterSuccesses, bool notify) {
    MonitorState& monitor = Monitor();
    monitor.hostStates.SetThresholds(alertAfterFailures, recoverAfterSuccesses);
    monitor.notify = notify;
}

int TF_Tevro::AlertAfterFailures() const {
    return m_monitor ? m_monitor->hostStates.FailureThreshold() : 1;
}

int TF_Tevro::RecoverAfterSuccesses() const {
    return m_monitor ? m_monitor->hostStates.SuccessThreshold() : 1;
}

bool TF_Tevro::NotifyEnabled() const {
    return m_monitor ? m_monitor->notify : true;
}

void TF_Tevro::LoadHostStateSettings(tevro::SettingsStore& store) {
    int failures = 1;
    int successes = 1;
    bool notify = true;
    store.ReadInteger(QStringLiteral("AlertAfterFailures"), 1, failures);
    store.ReadInteger(QStringLiteral("RecoverAfterSuccesses"), 1, successes);
    store.ReadFlag(QStringLiteral("Notify"), true, notify);
    SetHostStateSettings(failures, successes, notify); // clamps out-of-range counts
}

void TF_Tevro::SaveHostStateSettings(tevro::SettingsStore& store) {
    store.WriteInteger(QStringLiteral("AlertAfterFailures"), AlertAfterFailures());
    store.WriteInteger(QStringLiteral("RecoverAfterSuccesses"), RecoverAfterSuccesses());
    store.WriteFlag(QStringLiteral("Notify"), NotifyEnabled());
}
