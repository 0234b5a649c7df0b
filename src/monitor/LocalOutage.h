// Whose fault a failed round is. The results of a round are held while every host of it has failed; once
// the round is over, the local side of each failed host's way is checked (route, link, gateway), and a
// round whose every host lost its local side is an outage of the local network, not of the hosts.
#pragma once

#include "engine/HostAddress.h"
#include "engine/RouteCheck.h"

#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace tevro {

// A host's result whose effect on the host's up/down state waits for the round's judgement.
struct HeldResult {
    int slot = 0;
    int resultCode = 0;
    qint64 meanTimeUs = -1;
    QString report;
    std::optional<HostAddress> address; // what the host resolved to; none: it decides nothing
};

// The workers of the current round and the failures held back from the hosts' states.
class RoundLedger {
public:
    // A new round starts. Results still held from an earlier round that was never judged come back,
    // to be taken as the hosts' own: nothing is known against it.
    std::vector<HeldResult> Begin();
    void Started(const void* worker);
    // A worker's result arrives. False: the host's state takes it now (and `release` holds results
    // of the round that may now be taken too); true: it is held for the judgement.
    bool Hold(const void* worker, bool success, HeldResult result, std::vector<HeldResult>& release);
    // Every worker of the round has reported, the chain is over, and every result failed.
    bool AllFailed(bool chainOver) const;
    // The held results of a round that AllFailed, for the judgement; the round is then closed.
    std::vector<HeldResult> TakeAllFailed();
    // The computer sleeps: the round's results are nobody's.
    void Abandon();

private:
    std::vector<const void*> m_waiting;
    std::vector<HeldResult> m_held;
    bool m_open = false;
    bool m_reached = false;
};

// The judgement of one round whose every host failed.
class RoundCheck {
public:
    enum class Verdict {
        Pending,     // gateways must answer an echo first
        HostOutage,  // the hosts' own failures, as any other
        LocalOutage, // the local side of every host with an address is down
    };

    explicit RoundCheck(std::vector<HeldResult> held) : m_held(std::move(held)) {}

    // Asks the routing table about every failed host with an address.
    Verdict Judge(RouteTable& routes);
    // The gateways whose echo decides, each once, while the verdict is pending.
    std::vector<HostAddress> Gateways() const;
    Verdict GatewayAnswered(const HostAddress& gateway, bool answered);

    // Gives up waiting for the gateways: the failures are the hosts' own, as without the check.
    void Release();

    Verdict Current() const { return m_verdict; }
    // The check found a host's link and gateway working: the local network is up.
    bool LocalSideWorks() const { return m_sideWorks; }
    // The reasons the local side was found down, as the entry gives them.
    QString Reason() const;
    std::vector<HeldResult> TakeHeld() { return std::move(m_held); }

private:
    std::vector<HeldResult> m_held;
    std::vector<std::string> m_reasons;
    std::vector<std::string> m_noRoute; // addresses without any route, named together
    std::map<std::string, std::pair<HostAddress, std::optional<bool>>> m_gateways; // by text
    Verdict m_verdict = Verdict::Pending;
    bool m_sideWorks = false;
};

// The local network's state across rounds: one outage from the first round found local until a host is
// reached again or the local side is found working.
class LocalNetwork {
public:
    // True when this starts an outage; `atMs` is on a monotonic clock that counts through suspend.
    bool Down(qint64 atMs);
    // The outage's length in ms when one ends now.
    std::optional<qint64> Up(qint64 atMs);
    bool IsDown() const { return m_downSince.has_value(); }
    // Monitoring starts again: what happened while nobody watched is not known.
    void Forget() { m_downSince.reset(); }

private:
    std::optional<qint64> m_downSince;
};

QString LocalDownEntry(const QString& reason); // "The local network is down: <reason>"
QString LocalBackEntry(qint64 lengthMs);       // "The local network is back after hh:mm:ss"
QString LocalAlertText(const QString& reason); // what the alert window says, once per outage

} // namespace tevro
