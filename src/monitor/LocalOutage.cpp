#include "monitor/LocalOutage.h"

#include "logging/DowntimeTable.h"

#include <algorithm>
#include <chrono>

namespace tevro {

std::vector<HeldResult> RoundLedger::Begin() {
    std::vector<HeldResult> left = std::move(m_held);
    m_held.clear();
    m_waiting.clear();
    m_open = true;
    m_reached = false;
    return left;
}

void RoundLedger::Started(const void* worker) {
    if (m_open)
        m_waiting.push_back(worker);
}

bool RoundLedger::Hold(const void* worker, bool success, HeldResult result,
                       std::vector<HeldResult>& release) {
    const auto it = std::find(m_waiting.begin(), m_waiting.end(), worker);
    if (it == m_waiting.end())
        return false; // a worker of an earlier round, or no round at all
    m_waiting.erase(it);
    if (success) {
        // A host answered: the round is no local outage, and its failures are the hosts' own.
        m_reached = true;
        std::move(m_held.begin(), m_held.end(), std::back_inserter(release));
        m_held.clear();
        return false;
    }
    if (m_reached)
        return false;
    m_held.push_back(std::move(result));
    return true;
}

bool RoundLedger::AllFailed(bool chainOver) const {
    return m_open && chainOver && m_waiting.empty() && !m_reached && !m_held.empty();
}

std::vector<HeldResult> RoundLedger::TakeAllFailed() {
    m_open = false;
    std::vector<HeldResult> held = std::move(m_held);
    m_held.clear();
    return held;
}

void RoundLedger::Abandon() {
    m_open = false;
    m_waiting.clear();
    m_held.clear();
}

RoundCheck::Verdict RoundCheck::Judge(RouteTable& routes) {
    bool anyAddress = false;
    for (const HeldResult& result : m_held) {
        if (!result.address)
            continue; // a name that did not resolve says nothing about the network
        anyAddress = true;
        const LocalSide side = CheckLocalSide(routes, *result.address);
        switch (side.state) {
        case LocalSide::State::Unknown:
            return m_verdict = Verdict::HostOutage;
        case LocalSide::State::Up:
            m_sideWorks = true;
            return m_verdict = Verdict::HostOutage;
        case LocalSide::State::Down: {
            std::vector<std::string>& into = side.noRoute ? m_noRoute : m_reasons;
            const std::string what = side.noRoute ? AddressText(*result.address) : side.reason;
            if (std::find(into.begin(), into.end(), what) == into.end())
                into.push_back(what);
            break;
        }
        case LocalSide::State::CheckGateway:
            m_gateways.try_emplace(AddressText(side.gateway), side.gateway, std::nullopt);
            break;
        }
    }
    if (!anyAddress)
        return m_verdict = Verdict::HostOutage;
    return m_verdict = m_gateways.empty() ? Verdict::LocalOutage : Verdict::Pending;
}

std::vector<HostAddress> RoundCheck::Gateways() const {
    std::vector<HostAddress> gateways;
    for (const auto& [text, gateway] : m_gateways) {
        if (!gateway.second)
            gateways.push_back(gateway.first);
    }
    return gateways;
}

RoundCheck::Verdict RoundCheck::GatewayAnswered(const HostAddress& gateway, bool answered) {
    const auto it = m_gateways.find(AddressText(gateway));
    if (m_verdict != Verdict::Pending || it == m_gateways.end())
        return m_verdict;
    if (answered) {
        m_sideWorks = true;
        return m_verdict = Verdict::HostOutage; // that host's link and gateway work: it failed by itself
    }
    it->second.second = false;
    for (const auto& [text, entry] : m_gateways) {
        if (!entry.second)
            return m_verdict;
    }
    for (const auto& [text, entry] : m_gateways)
        m_reasons.push_back(GatewaySilentReason(entry.first));
    return m_verdict = Verdict::LocalOutage;
}

void RoundCheck::Release() {
    if (m_verdict == Verdict::Pending)
        m_verdict = Verdict::HostOutage;
}

QString RoundCheck::Reason() const {
    // "no route to 192.0.2.1, 192.0.2.2 and 192.0.2.3", then the other reasons.
    QString reason;
    for (std::size_t i = 0; i < m_noRoute.size(); ++i) {
        reason += i == 0 ? QStringLiteral("no route to ")
                         : i + 1 == m_noRoute.size() ? QStringLiteral(" and ") : QStringLiteral(", ");
        reason += QString::fromStdString(m_noRoute[i]);
    }
    for (const std::string& part : m_reasons) {
        if (!reason.isEmpty())
            reason += QStringLiteral("; ");
        reason += QString::fromStdString(part);
    }
    return reason;
}

bool LocalNetwork::Down(qint64 atMs) {
    if (m_downSince)
        return false;
    m_downSince = atMs;
    return true;
}

std::optional<qint64> LocalNetwork::Up(qint64 atMs) {
    if (!m_downSince)
        return std::nullopt;
    const qint64 length = std::max<qint64>(0, atMs - *m_downSince);
    m_downSince.reset();
    return length;
}

QString LocalDownEntry(const QString& reason) {
    return QStringLiteral("The local network is down: ") + reason;
}

QString LocalBackEntry(qint64 lengthMs) {
    return QStringLiteral("The local network is back after ") +
           FormatDowntimeLength(std::chrono::milliseconds(lengthMs));
}

QString LocalAlertText(const QString& reason) {
    return QStringLiteral("Status for <the local network>:\r\n") + LocalDownEntry(reason) + QLatin1Char('.');
}

} // namespace tevro
