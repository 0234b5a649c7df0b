// Hop-by-hop probing: a socket of its own per hop (the time-to-live is set when a socket opens, on every
// kind of socket the engine has), one echo request each, judged by the ping's own decoder.
#include "engine/TracePath.h"

#include "engine/EchoWait.h"
#include "engine/IcmpEcho.h"

#include <algorithm>
#include <arpa/inet.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace tevro {
namespace {

constexpr int kDataSize = 32; // as a host row sends by default

QString Text(const HostAddress& address) {
    return QString::fromStdString(AddressText(address));
}

// A reverse name goes into the log only when it looks like one: a name server may answer anything.
bool PlainName(const std::string& name) {
    if (name.empty() || name.size() > 253)
        return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        if (!plain)
            return false;
    }
    return true;
}

// Reverse look-ups of the hops that answered, each on a thread of its own beside the probes, so that a
// slow name server never lengthens the trace: what has not come by its end is abandoned.
class HopNames {
public:
    explicit HopNames(std::shared_ptr<Resolver> resolver) : m_resolver(std::move(resolver)) {}
    ~HopNames() { Abandon(); }
    HopNames(const HopNames&) = delete;
    HopNames& operator=(const HopNames&) = delete;

    void Ask(const HostAddress& address) {
        if (!m_resolver)
            return;
        for (const auto& lookup : m_lookups)
            if (lookup->address == address)
                return;
        auto lookup = std::make_unique<Lookup>();
        lookup->address = address;
        Lookup* target = lookup.get();
        try {
            lookup->thread = std::thread([this, target] {
                auto name = m_resolver->ByAddress(target->address, m_stop);
                std::lock_guard lock(m_mutex);
                if (name && PlainName(*name))
                    target->name = std::move(*name);
                target->done = true;
            });
        } catch (const std::system_error&) {
            return; // no thread to be had: the hop goes without its name
        }
        m_lookups.push_back(std::move(lookup));
    }

    // Gives the hops the names found by now and abandons the rest.
    void Fill(std::vector<TraceHop>& hops) {
        {
            std::lock_guard lock(m_mutex);
            for (TraceHop& hop : hops) {
                if (hop.kind == TraceHop::Kind::Silent)
                    continue;
                for (const auto& lookup : m_lookups)
                    if (lookup->done && lookup->address == hop.from)
                        hop.name = lookup->name;
            }
        }
        Abandon();
    }

private:
    struct Lookup {
        HostAddress address;
        std::string name;
        bool done = false;
        std::thread thread;
    };

    // The resolver gives up its wait at the stop request, so the joins are short.
    void Abandon() {
        m_stop.Request();
        for (const auto& lookup : m_lookups)
            if (lookup->thread.joinable())
                lookup->thread.join();
        m_lookups.clear();
    }

    std::shared_ptr<Resolver> m_resolver;
    StopSignal m_stop;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Lookup>> m_lookups;
};

bool Resolve(const QString& host, const PingEnvironment& env, const StopSignal& stop,
             HostAddress& destination, TraceResult& result) {
    const std::string text = host.toStdString();
    in_addr dotted{};
    if (::inet_aton(text.c_str(), &dotted) != 0) {
        destination = HostAddress::Ipv4(dotted.s_addr);
        return true;
    }
    if (LooksLikeIpv6(text)) {
        const Ipv6Literal parsed = ParseIpv6Literal(text);
        destination = parsed.address;
        if (parsed.status == 0)
            return true;
        result.end = TraceResult::End::NoAddress;
        result.problem = QStringLiteral("not a valid address (status %1)").arg(parsed.status);
        return false;
    }
    const HostLookup found = env.resolver->ByName(text, stop);
    destination = found.address;
    if (found.status == 0)
        return true;
    if (found.status == kLookupStopped) {
        result.end = TraceResult::End::Stopped;
    } else {
        result.end = TraceResult::End::NoAddress;
        result.problem = QStringLiteral("the name could not be resolved (status %1)").arg(found.status);
    }
    return false;
}

enum class ProbeEnd { Done, Stopped, Failed };

// One echo request with the hop's time-to-live and what came back for it within the time-out.
ProbeEnd ProbeHop(IcmpSocket& socket, std::span<std::uint8_t> request, std::span<std::uint8_t> reply,
                  const HostAddress& destination, const PingEnvironment& env, int timeOutMs,
                  const StopSignal& stop, TraceHop& hop, QString& problem) {
    TickClock& clock = *env.clock;
    // The sequence is the hop number: a late answer to an earlier hop is not taken for this one's.
    const auto sequence = static_cast<std::uint16_t>(hop.number);
    socket.AwaitSendSlot(stop);
    const std::uint32_t stamp = clock.NowMs();
    StampEchoRequest(request, sequence, stamp, destination.family);
    const SendOutcome sent = socket.Send(request, destination);
    if (sent.status == IoStatus::TimedOut)
        return ProbeEnd::Done;
    if (sent.status != IoStatus::Done) {
        problem = QStringLiteral("sending failed (status %1)").arg(sent.error);
        return ProbeEnd::Failed;
    }

    const EchoExpectation expected = ExpectEcho(socket.Kind(), destination, env.identifier, sequence, stamp);
    const EchoWait wait = AwaitEcho(socket, reply, expected, sent, stamp, timeOutMs, clock, stop);
    switch (wait.status) {
    case IoStatus::TimedOut:
        return ProbeEnd::Done;
    case IoStatus::Stopped:
        return ProbeEnd::Stopped;
    case IoStatus::Failed:
        problem = QStringLiteral("receiving failed (status %1)").arg(wait.error);
        return ProbeEnd::Failed;
    case IoStatus::Done:
        break;
    }
    switch (wait.decoded.outcome) {
    case EchoOutcome::Unrelated: // AwaitEcho returns none
        return ProbeEnd::Done;
    case EchoOutcome::Reply:
        hop.kind = TraceHop::Kind::Reply;
        break;
    case EchoOutcome::TimeExceeded:
        hop.kind = TraceHop::Kind::TimeExceeded;
        break;
    case EchoOutcome::Unreachable:
        hop.kind = TraceHop::Kind::Error;
        hop.type = wait.decoded.type;
        hop.code = wait.decoded.code;
        break;
    }
    // The router's address: the packet's source, or for the ping socket the offender of its error.
    hop.from = wait.got.source;
    const std::uint32_t roundTrip = wait.receivedMs - stamp;
    hop.replyMs = roundTrip > 0x7FFFFFFF ? 0 : static_cast<int>(roundTrip);
    return ProbeEnd::Done;
}

const TraceHop* LastAnswering(const TraceResult& result) {
    for (auto it = result.hops.rbegin(); it != result.hops.rend(); ++it)
        if (it->kind != TraceHop::Kind::Silent)
            return &*it;
    return nullptr;
}

QString HopLine(const TraceHop& hop, IpFamily family) {
    QString line = QString::number(hop.number) + QStringLiteral("  ");
    if (hop.kind == TraceHop::Kind::Silent)
        return line + QLatin1Char('*');
    line += Text(hop.from);
    if (!hop.name.empty())
        line += QStringLiteral(" (") + QString::fromStdString(hop.name) + QLatin1Char(')');
    line += hop.replyMs == 0 ? QStringLiteral("  <1 ms") : QStringLiteral("  %1 ms").arg(hop.replyMs);
    if (hop.kind == TraceHop::Kind::Error)
        line += QStringLiteral("  ") + IcmpErrorText(family, hop.type, hop.code);
    return line;
}

QString ClosingLine(const TraceResult& result) {
    QString line = LastAnsweringHop(result);
    switch (result.end) {
    case TraceResult::End::Reached:
        return line + QStringLiteral(", the host itself");
    case TraceResult::End::Error: {
        const TraceHop& last = result.hops.back();
        return line + QStringLiteral("; it reported ") + IcmpErrorText(result.family, last.type, last.code);
    }
    case TraceResult::End::Silence: {
        int silent = 0;
        for (auto it = result.hops.rbegin(); it != result.hops.rend() && it->kind == TraceHop::Kind::Silent;
             ++it)
            ++silent;
        return line + QStringLiteral("; the last %1 hops did not answer").arg(silent);
    }
    case TraceResult::End::HopLimit:
        return line + QStringLiteral("; the host was not reached within %1 hops").arg(result.hops.size());
    case TraceResult::End::Stopped:
        return line + QStringLiteral("; abandoned after hop %1 when the host's next round began")
                          .arg(result.hops.size());
    case TraceResult::End::NoAddress:
    case TraceResult::End::SocketFailed:
        return line + QStringLiteral("; then ") + result.problem;
    }
    return line;
}

} // namespace

TraceResult TracePath(const QString& host, const PingEnvironment& env, const StopSignal& stop,
                      const TraceLimits& limits) {
    TraceResult result;
    // Named as the ping's report names it, so that the tools that read the LOG find the host.
    result.host = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))
                      ? host.mid(1, host.size() - 2)
                      : host;
    HostAddress destination;
    if (!Resolve(host, env, stop, destination, result))
        return result;
    result.family = destination.family;

    std::vector<std::uint8_t> request(kEchoHeaderSize + kDataSize);
    std::vector<std::uint8_t> reply(kEchoBufferSize);
    FillEchoRequest(request, env.identifier, destination.family);
    HopNames names(env.resolver);
    int silentInRow = 0;
    result.end = TraceResult::End::HopLimit;
    for (int ttl = 1; ttl <= limits.maxHops; ++ttl) {
        if (stop.Requested()) {
            result.end = TraceResult::End::Stopped;
            break;
        }
        const OpenOutcome opened = env.network->Open(destination.family, limits.hopTimeOutMs, ttl);
        if (!opened.socket) {
            result.end = TraceResult::End::SocketFailed;
            result.problem =
                opened.permissionDenied
                    ? QStringLiteral("pinging is not allowed to this user (status %1)").arg(opened.error)
                    : QStringLiteral("no socket could be opened (status %1)").arg(opened.error);
            break;
        }
        // The helper starts once it knows where to send: one request per hop.
        const OpenOutcome begun = opened.socket->Begin({destination, kDataSize, 1, env.identifier}, stop);
        if (begun.failure != OpenOutcome::Failure::None) {
            result.end = stop.Requested() ? TraceResult::End::Stopped : TraceResult::End::SocketFailed;
            result.problem = QStringLiteral("the ping helper did not start (status %1)").arg(begun.error);
            break;
        }
        TraceHop hop;
        hop.number = ttl;
        QString problem;
        const ProbeEnd end = ProbeHop(*opened.socket, request, reply, destination, env, limits.hopTimeOutMs,
                                      stop, hop, problem);
        if (end == ProbeEnd::Stopped) {
            result.end = TraceResult::End::Stopped;
            break;
        }
        if (end == ProbeEnd::Failed) {
            result.end = TraceResult::End::SocketFailed;
            result.problem = problem;
            break;
        }
        result.hops.push_back(hop);
        if (hop.kind == TraceHop::Kind::Silent) {
            if (++silentInRow >= limits.silentHopsToStop) {
                result.end = TraceResult::End::Silence;
                break;
            }
            continue;
        }
        silentInRow = 0;
        names.Ask(hop.from);
        if (hop.kind == TraceHop::Kind::Reply) {
            result.end = TraceResult::End::Reached;
            break;
        }
        if (hop.kind == TraceHop::Kind::Error) {
            result.end = TraceResult::End::Error;
            break;
        }
    }
    names.Fill(result.hops);
    return result;
}

QString LastAnsweringHop(const TraceResult& result) {
    const TraceHop* last = LastAnswering(result);
    if (last == nullptr)
        return QStringLiteral("No hop answered");
    return QStringLiteral("Last answering hop: %1 (%2)").arg(last->number).arg(Text(last->from));
}

QString TraceReport(const TraceResult& result) {
    QString report = QStringLiteral("Path to ") + result.host + QStringLiteral(" when it stopped answering:");
    if (result.hops.empty() && !result.problem.isEmpty())
        return report + QStringLiteral("\r\n\tNot traced: ") + result.problem;
    for (const TraceHop& hop : result.hops)
        report += QStringLiteral("\r\n\t") + HopLine(hop, result.family);
    return report + QStringLiteral("\r\n\t") + ClosingLine(result);
}

QString IcmpErrorText(IpFamily family, std::uint8_t type, std::uint8_t code) {
    static const char* const kUnreachable[] = {
        "network unreachable",
        "host unreachable",
        "protocol unreachable",
        "port unreachable",
        "fragmentation needed",
        "source route failed",
        "destination network unknown",
        "destination host unknown",
        "source host isolated",
        "network administratively prohibited",
        "host administratively prohibited",
        "network unreachable for the type of service",
        "host unreachable for the type of service",
        "communication administratively prohibited",
        "host precedence violation",
        "precedence cut-off in effect",
    };
    static const char* const kUnreachable6[] = {
        "no route to destination",
        "communication administratively prohibited",
        "beyond the scope of the source address",
        "address unreachable",
        "port unreachable",
        "source address failed the ingress/egress policy",
        "reject route to destination",
        "error in the source routing header",
    };
    const char* what = "ICMP error";
    if (family == IpFamily::V4) {
        if (type == kIcmpUnreachable && code < std::size(kUnreachable))
            what = kUnreachable[code];
        else if (type == kIcmpUnreachable)
            what = "destination unreachable";
        else if (type == kIcmpTimeExceeded)
            what = "time exceeded";
    } else {
        if (type == kIcmp6Unreachable && code < std::size(kUnreachable6))
            what = kUnreachable6[code];
        else if (type == kIcmp6Unreachable)
            what = "destination unreachable";
        else if (type == kIcmp6PacketTooBig)
            what = "packet too big";
        else if (type == kIcmp6TimeExceeded)
            what = "time exceeded";
    }
    return QStringLiteral("%1 (%2 type %3, code %4)")
        .arg(QString::fromLatin1(what),
             family == IpFamily::V4 ? QStringLiteral("ICMP") : QStringLiteral("ICMPv6"))
        .arg(type)
        .arg(code);
}

} // namespace tevro
