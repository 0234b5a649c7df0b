// Each watched host's up/down state, judged over consecutive rounds, and the desktop notifications
// when a host goes down or comes back.
#include "common/LocaleTime.h"
#include "common/Product.h"
#include "common/Resources.h"
#include "desktop/SessionBus.h"
#include "engine/PingRun.h"
#include "monitor/HostText.h"
#include "ui/Hints.h"
#include "ui/SettingsStore.h"
#include "ui/TevroMonitorState.h"

#include <QLabel>
#include <QLineEdit>
#include <cstdio>

namespace {

// As the LOG prints a moment: the day, then the time with the locale's separator.
QString Moment(const QDateTime& at) {
    return at.date().toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
           tevro::ClockText(at.time(), tevro::TimeSeparator());
}

} // namespace

bool TF_Tevro::TrackHostState(int slot, int resultCode, qint64 meanTimeUs, const QString& report) {
    MonitorState& monitor = Monitor();
    tevro::HostStates& states = monitor.hostStates;
    const QString host = tevro::HostForPing(Row(slot).Url->text());
    const bool success = resultCode == PING_SUCCESS;
    const tevro::HostChange change =
        states.Record(slot, host, success, Now(), DowntimeMonotonicMs(),
                      success ? QString() : tevro::FailureReason(resultCode, report), meanTimeUs);
    ShowHostStateHint(slot);
    if (change.kind == tevro::HostChange::Kind::WentDown)
        StartPathTrace(slot, resultCode);

    tevro::DesktopNotifier* notifier = monitor.notifier.get();
    if (notifier == nullptr || change.kind == tevro::HostChange::Kind::None)
        return !success && states.AlertDue(slot);
    if (change.kind == tevro::HostChange::Kind::WentDown) {
        if (monitor.notify)
            NotifyHostDown(slot, QStringLiteral("%1 is not answering").arg(change.host),
                           QStringLiteral("Since %1 (first failed round): %2.")
                               .arg(Moment(change.firstFailedAt), change.reason));
    } else if (monitor.notify) {
        // In place of the "not answering" one, which would otherwise stay: it never expires.
        notifier->Notify(slot, QStringLiteral("%1 is answering again").arg(change.host),
                         QStringLiteral("Away for %1, since %2. Reply time %3.")
                             .arg(tevro::DurationText(change.awayMs / 1000), Moment(change.firstFailedAt),
                                  tevro::ReplyTimeText(change.replyTimeUs)),
                         false, false);
    } else {
        notifier->Close(slot);
    }
    return !success && states.AlertDue(slot);
}

void TF_Tevro::ShowHostStateHint(int slot) {
    // The picture shows every round; the hint tells how close a failing host is to its alert.
    const tevro::HostStates& states = Monitor().hostStates;
    const int failures = states.FailuresInRow(slot);
    const int alertedAt = states.AlertedAtRound(slot);
    QString hint = QString::fromLatin1(kStatusHint);
    if (alertedAt > 0)
        hint += QStringLiteral("; %1 failed round(s) in a row, the alert came at %2")
                    .arg(failures)
                    .arg(alertedAt);
    else if (failures > 0)
        hint += QStringLiteral("; %1 failed round(s) in a row, the alert comes at %2")
                    .arg(failures)
                    .arg(states.FailureThreshold());
    tevro::SetHint(Row(slot).Status, hint);
}

void TF_Tevro::ForgetHostState(int slot) {
    MonitorState& monitor = Monitor();
    monitor.hostStates.Reset(slot);
    ShowHostStateHint(slot);
    if (monitor.notifier)
        monitor.notifier->Close(slot);
}

void TF_Tevro::ForgetHostStates() {
    for (int slot = 1; slot <= kSlotCount; ++slot)
        ForgetHostState(slot);
}

void TF_Tevro::StartDesktopNotifier() {
    MonitorState& monitor = Monitor();
    if (monitor.notifier || !m_env.withoutSessionBus.isEmpty() || tevro::SessionBusAddress().isEmpty())
        return;
    monitor.notifier = tevro::MakeSessionBusNotifier(
        QString::fromLatin1(tevro::kProductName), QString::fromLatin1(tevro::kDesktopId),
        QImage(tevro::ResourcePath(QStringLiteral("Tevro_Icon_64"))), this, [this](const QString& line) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
            std::fflush(stderr);
            if (!Monitor().shutDown) // the LOG's table is closed on the way out
                PingDone(nullptr, PING_NONE, -1, -1, -1, -1, line);
        });
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
