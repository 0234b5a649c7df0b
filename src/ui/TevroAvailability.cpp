// Whose fault a failed round is: the local network (route, link, gateway), the computer's sleep, or the
// hosts. Also the clock's steps and UTC offset, written so that the LOG can be measured honestly.
#include "common/LocaleTime.h"
#include "desktop/LogindWatch.h"
#include "engine/RouteCheck.h"
#include "monitor/ClockWatch.h"
#include "monitor/HostStates.h"
#include "monitor/LocalOutage.h"
#include "monitor/LogEntry.h"
#include "monitor/SleepWatch.h"
#include "ui/TevroMonitorState.h"

#include <QTimer>
#include <ctime>
#include <map>
#include <set>

namespace {

constexpr int kGatewayTimeOutMs = 1000;
constexpr int kGatewayTtl = 64;
constexpr qint64 kNetworkWaitMs = 60000;
constexpr int kNetworkPollMs = 500;

qint64 ClockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

struct TF_Tevro::AvailabilityState {
    std::unique_ptr<tevro::RouteTable> systemRoutes = tevro::SystemRouteTable();
    tevro::RouteTable* routes = systemRoutes.get();
    std::function<qint64()> monotonicMs = [] { return ClockMs(CLOCK_MONOTONIC); };
    std::function<qint64()> boottimeMs = [] { return ClockMs(CLOCK_BOOTTIME); }; // counts through suspend
    bool testClocks = false;

    tevro::RoundLedger ledger;
    std::unique_ptr<tevro::RoundCheck> check;                // of the last round whose every host failed
    std::map<const void*, tevro::HostAddress> gatewayEchoes; // the check's echoes in flight
    std::map<const void*, std::optional<tevro::HostAddress>> addresses; // of results being handed over
    tevro::LocalNetwork local;
    QDateTime localDownAt;

    tevro::SleepWatch sleep;
    tevro::ClockWatch clock;
    std::set<const void*> abandoned; // workers whose round a sleep abandoned
    QTimer* networkWait = nullptr;   // after waking: polls for a default route
    qint64 waitSince = 0;
    bool waiting = false;
    bool watching = false; // WatchClocks writes entries, which look at the clocks again
    tevro::LogindWatch* logind = nullptr;
};

TF_Tevro::AvailabilityState& TF_Tevro::Availability() {
    if (!m_availability) {
        m_availability = std::make_shared<AvailabilityState>();
        m_availability->networkWait = new QTimer(this);
        m_availability->networkWait->setSingleShot(true);
        connect(m_availability->networkWait, &QTimer::timeout, this, &TF_Tevro::NetworkWaitTick);
    }
    return *m_availability;
}

void TF_Tevro::StartAvailabilityWatch() {
    AvailabilityState& a = Availability();
    WatchClocks(); // the first look writes the UTC offset
    if (a.logind == nullptr) {
        a.logind = new tevro::LogindWatch(this);
        connect(a.logind, &tevro::LogindWatch::PrepareForSleep, this, &TF_Tevro::PrepareForSleep);
        a.logind->Start();
    }
}

bool TF_Tevro::LocalNetworkDown() const {
    return m_availability && m_availability->local.IsDown();
}

bool TF_Tevro::Asleep() const {
    return m_availability && m_availability->sleep.Asleep();
}

void TF_Tevro::SetRouteTable(tevro::RouteTable* routes) {
    AvailabilityState& a = Availability();
    a.routes = routes != nullptr ? routes : a.systemRoutes.get();
}

void TF_Tevro::SetAvailabilityClocks(std::function<qint64()> monotonicMs,
                                     std::function<qint64()> boottimeMs) {
    AvailabilityState& a = Availability();
    a.monotonicMs = std::move(monotonicMs);
    a.boottimeMs = std::move(boottimeMs);
    a.testClocks = true;
    // New clocks start new bases: the change of clocks is neither a suspend nor a step.
    a.sleep = tevro::SleepWatch();
    const QDateTime now = Now();
    a.clock.Look(now.toMSecsSinceEpoch(), a.boottimeMs(), now.offsetFromUtc(), false);
}

void TF_Tevro::WatchClocks() {
    AvailabilityState& a = Availability();
    if (a.watching)
        return;
    a.watching = true;
    const qint64 boottime = a.boottimeMs();
    const tevro::SleepWatch::Event event = a.sleep.Look(a.monotonicMs(), boottime);
    if (event.kind == tevro::SleepWatch::Event::Kind::Wake)
        ComputerWoke(event.sleptMs, event.announced);
    const QDateTime now = Now();
    // A test's set wall clock against the real monotonic one would look like a step at every look.
    const bool watchSteps = !m_env.clock || a.testClocks;
    const tevro::ClockWatch::Change change =
        a.clock.Look(now.toMSecsSinceEpoch(), boottime, now.offsetFromUtc(), watchSteps);
    if (change.stepMs)
        PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::ClockStepEntry(*change.stepMs));
    // The LOG's moments carry no zone: this names it, for the LOG alone.
    if (change.offsetSeconds)
        WriteLogLine(tevro::FileEntry(PING_NONE, -1, tevro::UtcOffsetEntry(*change.offsetSeconds), now));
    a.watching = false;
}

void TF_Tevro::PrepareForSleep(bool start) {
    AvailabilityState& a = Availability();
    const tevro::SleepWatch::Event event = a.sleep.PrepareForSleep(start, a.monotonicMs(), a.boottimeMs());
    if (event.kind == tevro::SleepWatch::Event::Kind::Sleep)
        ComputerSleeps();
    else if (event.kind == tevro::SleepWatch::Event::Kind::Wake)
        ComputerWoke(event.sleptMs, true);
}

void TF_Tevro::ComputerSleeps() {
    AvailabilityState& a = Availability();
    PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::SleepEntry());
    AbandonRound();
    RefreshMetrics();
    a.waiting = false;
    a.networkWait->stop();
}

void TF_Tevro::ComputerWoke(qint64 sleptMs, bool announced) {
    AvailabilityState& a = Availability();
    // Found only now: the round in flight went through the sleep.
    if (!announced)
        AbandonRound();
    PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::WakeEntry(sleptMs, announced));
    RefreshMetrics();
    if (!IsRunning())
        return;
    // Not from here: this may run inside a result's hand-over.
    a.waiting = true;
    a.waitSince = a.monotonicMs();
    a.networkWait->start(0);
}

void TF_Tevro::AbandonRound() {
    AvailabilityState& a = Availability();
    MonitorState& monitor = Monitor();
    for (const void*& worker : PingThread) {
        if (worker == nullptr || !a.abandoned.insert(worker).second)
            continue;
        if (monitor.factory != nullptr)
            monitor.factory->Stop(worker);
    }
    for (const auto& [worker, gateway] : a.gatewayEchoes) {
        if (monitor.factory != nullptr)
            monitor.factory->Stop(worker);
    }
    a.gatewayEchoes.clear();
    a.check.reset();
    a.ledger.Abandon();
    NextSlot = 0; // the chain goes no further
}

void TF_Tevro::NetworkWaitTick() {
    AvailabilityState& a = Availability();
    if (!a.waiting || !IsRunning()) {
        a.waiting = false;
        return;
    }
    // The stopped workers of the abandoned round end within moments; the round waits for them so that
    // no slot of it is found busy.
    const bool ready = a.abandoned.empty() && a.routes->HasDefaultRoute();
    if (!ready && a.monotonicMs() - a.waitSince < kNetworkWaitMs) {
        a.networkWait->start(kNetworkPollMs);
        return;
    }
    a.waiting = false;
    // A Running period of its own from now: the next round one interval later, as at the switch.
    Timer1Timer(nullptr);
    Timer1->start(tevro::kTickMs);
}

bool TF_Tevro::BeginRound(bool runningStarts) {
    AvailabilityState& a = Availability();
    if (runningStarts) {
        // Monitoring starts (again): what the network did while nobody watched is not known.
        a.local.Forget();
        a.waiting = false;
        a.networkWait->stop();
    }
    if (a.sleep.Asleep() || a.waiting)
        return false;
    for (const tevro::HeldResult& left : a.ledger.Begin())
        HostRoundResult(left.slot, left.resultCode, left.meanTimeUs, left.report);
    return true;
}

void TF_Tevro::RoundWorkerStarted(const void* worker) {
    Availability().ledger.Started(worker);
}

void TF_Tevro::NoteResultAddress(const void* worker, const tevro::PingResult& result) {
    Availability().addresses[worker] = result.Address;
}

bool TF_Tevro::AvailabilityBeforeEntry(const void* sender) {
    WatchClocks();
    if (sender == nullptr)
        return true;
    AvailabilityState& a = Availability();
    if (a.abandoned.erase(sender) == 0)
        return true;
    a.addresses.erase(sender);
    // Not written, not drawn, not counted: only the slot is freed.
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const void*& worker = PingThread.at(static_cast<size_t>(slot - 1));
        if (worker == sender) {
            worker = nullptr;
            EnableSlotRow(slot, true);
        }
    }
    return false;
}

void TF_Tevro::JudgeInRound(const void* sender, int slot, int resultCode, qint64 meanTimeUs,
                            const QString& report) {
    AvailabilityState& a = Availability();
    std::optional<tevro::HostAddress> address;
    if (const auto it = a.addresses.find(sender); it != a.addresses.end()) {
        address = it->second;
        a.addresses.erase(it);
    }
    const bool success = resultCode == PING_SUCCESS;
    std::vector<tevro::HeldResult> release;
    const bool held = a.ledger.Hold(sender, success, {slot, resultCode, meanTimeUs, report, address}, release);
    for (const tevro::HeldResult& earlier : release)
        HostRoundResult(earlier.slot, earlier.resultCode, earlier.meanTimeUs, earlier.report);
    if (!held)
        HostRoundResult(slot, resultCode, meanTimeUs, report);
    if (success && a.local.IsDown()) // after this result's own entry
        QTimer::singleShot(0, this, &TF_Tevro::LocalNetworkBack);
    if (!a.ledger.AllFailed(NextSlot == 0))
        return;
    if (a.check) {
        // An earlier check still waits for a gateway: its hosts' failures are theirs.
        a.check->Release();
        FinishRoundCheck();
    }
    a.check = std::make_unique<tevro::RoundCheck>(a.ledger.TakeAllFailed());
    // The routing table answers at once: a round of the hosts' own failures is taken now, as it always
    // was. Entries of the local network come after this result's entry.
    switch (Monitor().shutDown ? tevro::RoundCheck::Verdict::HostOutage : a.check->Judge(*a.routes)) {
    case tevro::RoundCheck::Verdict::HostOutage:
        FinishRoundCheck();
        break;
    case tevro::RoundCheck::Verdict::LocalOutage:
        QTimer::singleShot(0, this, &TF_Tevro::FinishRoundCheck);
        break;
    case tevro::RoundCheck::Verdict::Pending:
        PingGateways();
        break;
    }
}

void TF_Tevro::PingGateways() {
    AvailabilityState& a = Availability();
    MonitorState& monitor = Monitor();
    // Each gateway answers one echo through the same engine as the hosts, without a name look-up.
    for (const tevro::HostAddress& gateway : a.check->Gateways()) {
        tevro::PingParams params{QString::fromStdString(tevro::AddressText(gateway)), kGatewayTimeOutMs, 32,
                                 kGatewayTtl, 1};
        params.ReverseLookup = false;
        const void* worker = monitor.Workers().Start(
            params, [] {},
            [this](tevro::PingWorkerId id, const tevro::PingResult& result) {
                GatewayAnswered(id, result.ResultCode == PING_SUCCESS);
            });
        a.gatewayEchoes[worker] = gateway;
    }
}

void TF_Tevro::GatewayAnswered(const void* worker, bool answered) {
    AvailabilityState& a = Availability();
    const auto it = a.gatewayEchoes.find(worker);
    if (it == a.gatewayEchoes.end() || !a.check)
        return; // abandoned by a sleep, or decided already
    const tevro::HostAddress gateway = it->second;
    a.gatewayEchoes.erase(it);
    if (a.check->GatewayAnswered(gateway, answered) != tevro::RoundCheck::Verdict::Pending)
        FinishRoundCheck();
}

void TF_Tevro::FinishRoundCheck() {
    AvailabilityState& a = Availability();
    const std::unique_ptr<tevro::RoundCheck> check = std::move(a.check);
    if (!check)
        return; // abandoned by a sleep
    a.gatewayEchoes.clear();
    if (check->Current() == tevro::RoundCheck::Verdict::LocalOutage) {
        // The round is no host's: its failures do not count towards "down".
        if (!a.local.Down(a.boottimeMs()))
            return;
        a.localDownAt = Now();
        const QString reason = check->Reason();
        PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::LocalDownEntry(reason));
        RefreshMetrics();
        ConnectionNotice(QStringLiteral("Your connection is down"),
                         QStringLiteral("Since %1: %2. Hosts are not counted as down meanwhile.")
                             .arg(tevro::ClockText(a.localDownAt.time(), tevro::TimeSeparator()), reason),
                         true);
        ShowAlert(0, tevro::LocalAlertText(reason));
        return;
    }
    for (const tevro::HeldResult& result : check->TakeHeld())
        HostRoundResult(result.slot, result.resultCode, result.meanTimeUs, result.report);
    if (check->LocalSideWorks() && a.local.IsDown())
        QTimer::singleShot(0, this, &TF_Tevro::LocalNetworkBack);
}

void TF_Tevro::LocalNetworkBack() {
    AvailabilityState& a = Availability();
    const std::optional<qint64> length = a.local.Up(a.boottimeMs());
    if (!length)
        return;
    PingDone(nullptr, PING_NONE, -1, -1, -1, -1, tevro::LocalBackEntry(*length));
    RefreshMetrics();
    ConnectionNotice(QStringLiteral("Your connection is back"),
                     QStringLiteral("Away for %1, since %2.")
                         .arg(tevro::DurationText(*length / 1000),
                              tevro::ClockText(a.localDownAt.time(), tevro::TimeSeparator())),
                     false);
}

void TF_Tevro::ConnectionNotice(const QString& summary, const QString& body, bool urgent) {
    MonitorState& monitor = Monitor();
    // Under a key of its own beside the slots' 1 to 3: "back" takes the place of "down".
    if (monitor.notify && monitor.notifier)
        monitor.notifier->Notify(kConnectionNoticeKey, summary, body, urgent, urgent);
}
