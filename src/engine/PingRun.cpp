// The ping run: resolving the host, the tries, the statistics and every line of the report.
#include "engine/PingRun.h"

#include "common/Product.h"
#include "engine/HelperSocket.h"
#include "engine/EchoWait.h"
#include "engine/IcmpEcho.h"

#include <arpa/inet.h>
#include <atomic>
#include <limits>
#include <new>
#include <optional>
#include <unistd.h>

namespace tevro {
namespace {

constexpr SocketVersion kWantedVersion{2, 1};

// Limits of what the buffers and the socket accept; the host rows stay well inside them.
constexpr int kMaxTimeOut = 60000;
constexpr int kMaxDataSize = static_cast<int>(kEchoBufferSize - kEchoHeaderSize);
constexpr int kMaxCount = 65535;

QString Text(const HostAddress& address) {
    return QString::fromStdString(AddressText(address));
}

// Loss in percent, rounded to the nearest integer with ties to the even one, without floating point.
int LossPercent(int count, int valid) {
    const std::int64_t lost = static_cast<std::int64_t>(count - valid) * 100;
    std::int64_t q = lost / count;
    const std::int64_t twice = (lost % count) * 2;
    if (twice > count || (twice == count && (q & 1) != 0))
        ++q;
    return static_cast<int>(q);
}

} // namespace

PingEnvironment PingEnvironment::System() {
    PingEnvironment env;
    env.library = SystemSocketLibrary();
    env.network = SystemIcmpNetwork();
    env.resolver = SystemResolver();
    env.clock = SystemTickClock();
    // Each run an identifier of its own: the workers of one process ping at the same moments with the
    // same sequence numbers, and replies are told apart without looking at their sender.
    static std::atomic<unsigned> runs{0};
    env.identifier =
        static_cast<std::uint16_t>((static_cast<unsigned>(::getpid()) + runs.fetch_add(1)) & 0xFFFF);
    env.helperPath = QString::fromStdString(PingHelperPath());
    env.groupId = ::getgid();
    return env;
}

QString VersionMismatchReport() {
    return QStringLiteral("WSock32.dll: **Version mismatch**\r\n\tRequested version: 2.1.\r\n\t"
                          "Highest available: 1.1.\r\nGet the Windows Sockets 2 update from\r\n\t") %
           HomePageAddress() % QStringLiteral("sockets2/") %
           QStringLiteral("\r\nInstall the update and try again");
}

PingRun::PingRun(PingParams params, PingEnvironment environment)
    : m_params(std::move(params)), m_env(std::move(environment)) {}

PingRun::~PingRun() {
    Finish();
}

bool PingRun::Startup() {
    const SocketLibraryStartup startup = m_env.library->Startup(kWantedVersion);
    if (!startup.ok) {
        m_result.ResultCode = SOCKET_ERROR;
        m_result.Report = QStringLiteral(
            "WSock32.dll: **Couldn't initialize**\r\n\tThe IP stack seems not to be configured properly");
        return false;
    }
    m_started = true;
    if (startup.granted != kWantedVersion) {
        m_result.ResultCode = VERSION_MISMATCH;
        m_result.Report = VersionMismatchReport();
        return false;
    }
    return true;
}

void PingRun::Finish() {
    m_socket.reset();
    if (m_started) {
        m_started = false;
        m_env.library->Cleanup();
    }
}

void PingRun::Execute(const StopSignal& stop) {
    if (!m_started || m_result.ResultCode != PING_NONE)
        return;
    const PingParams& p = m_params;
    if (p.TimeOut < 1 || p.TimeOut > kMaxTimeOut || p.DataSize < 0 || p.DataSize > kMaxDataSize ||
        p.TTL < 1 || p.TTL > 255 || p.Count < 1 || p.Count > kMaxCount) {
        m_result.ResultCode = PING_FAILED;
        // The host text goes in by concatenation: a "%1" typed into it must stay text.
        m_result.Report =
            p.Host % QStringLiteral("\r\n\tInvalid parameters: TimeOut=%1 ms (1..%2), DataSize=%3 "
                                    "(0..%4), TTL=%5 (1..255), Count=%6 (1..%7)")
                         .arg(p.TimeOut)
                         .arg(kMaxTimeOut)
                         .arg(p.DataSize)
                         .arg(kMaxDataSize)
                         .arg(p.TTL)
                         .arg(p.Count)
                         .arg(kMaxCount);
        return;
    }
    // The socket is opened before the name is looked up, as it always was; only a name that turns
    // out to have no IPv4 address needs the other family's socket.
    const IpFamily guess = LooksLikeIpv6(p.Host.toStdString()) ? IpFamily::V6 : IpFamily::V4;
    if (!OpenSocket(guess))
        return;
    HostAddress destination;
    QString header;
    if (!Resolve(stop, destination, header))
        return;
    m_result.Family = destination.family;
    if (destination.family != guess) {
        m_socket.reset();
        if (!OpenSocket(destination.family))
            return;
    }
    if (!Opened(m_socket->Begin({destination, p.DataSize, p.Count, m_env.identifier}, stop),
                destination.family)) {
        m_socket.reset();
        return;
    }

    std::unique_ptr<std::uint8_t[]> request(new (std::nothrow) std::uint8_t[kEchoBufferSize]());
    std::unique_ptr<std::uint8_t[]> reply(new (std::nothrow) std::uint8_t[kEchoBufferSize]);
    if (!request || !reply) {
        m_result.ResultCode = PING_FAILED;
        m_result.Report = p.Host % QStringLiteral("\r\n\tMemory allocation failed, reason unknown");
        return;
    }
    const std::span<std::uint8_t> message(request.get(),
                                          static_cast<std::size_t>(p.DataSize) + kEchoHeaderSize);
    FillEchoRequest(message, m_env.identifier, destination.family);

    m_result.MinTime = std::numeric_limits<std::int32_t>::max();
    m_result.MaxTime = std::numeric_limits<std::int32_t>::min();
    m_result.MeanTime = 0;
    m_result.PacketLoss = 100;
    m_result.Report = header;

    int validReplies = 0;
    std::int64_t sum = 0;
    std::int64_t sumUs = 0;
    std::uint16_t sequence = 0;
    for (int remaining = p.Count; remaining > 0 && !stop.Requested(); --remaining) {
        const TryEnd end = RunTry(message, {reply.get(), kEchoBufferSize}, destination, sequence, stop,
                                  validReplies, sum, sumUs);
        ++sequence;
        if (end != TryEnd::Next)
            break;
    }
    Close(validReplies, sum, sumUs);
    m_socket.reset();
}

bool PingRun::OpenSocket(IpFamily family) {
    OpenOutcome opened = m_env.network->Open(family, m_params.TimeOut, m_params.TTL);
    if (!Opened(opened, family))
        return false;
    m_socket = std::move(opened.socket);
    return true;
}

bool PingRun::Opened(const OpenOutcome& opened, IpFamily family) {
    const PingParams& p = m_params;
    switch (opened.failure) {
    case OpenOutcome::Failure::None:
        return true;
    case OpenOutcome::Failure::Socket:
        m_result.ResultCode = SOCKET_ERROR;
        m_result.Report =
            p.Host % QStringLiteral("\r\n\tSocket(%1) failed. Status: %2")
                         .arg(family == IpFamily::V6 ? QStringLiteral("AF_INET6,SOCK_RAW,IPPROTO_ICMPV6")
                                                     : QStringLiteral("AF_INET,SOCK_RAW,IPPROTO_ICMP"))
                         .arg(opened.error);
        if (opened.permissionDenied) {
            // A bare "permission denied" helps nobody: say how to allow it. The window program itself
            // never gets the capability: it loads plugins that its user's environment chooses.
            m_result.Report +=
                QStringLiteral("\r\n\tTo allow pinging, either give Tevro's ping helper the raw-socket "
                               "capability: sudo setcap cap_net_raw+ep '%1' or admit your group to ping "
                               "sockets: sudo sysctl -w net.ipv4.ping_group_range=\"%2 %2\"")
                    .arg(m_env.helperPath, QString::number(m_env.groupId));
        }
        return false;
    case OpenOutcome::Failure::Option:
        m_result.ResultCode = SOCKET_ERROR;
        m_result.Report =
            p.Host % QStringLiteral("\r\n\tSetSockOpt(%1,%2,%3,%4,%5) failed. Status: %6")
                         .arg(opened.handle)
                         .arg(QString::fromStdString(opened.level), QString::fromStdString(opened.option))
                         .arg(opened.value)
                         .arg(opened.length)
                         .arg(opened.error);
        return false;
    case OpenOutcome::Failure::Helper:
        m_result.ResultCode = SOCKET_ERROR;
        m_result.Report = p.Host % QStringLiteral("\r\n\tThe ping helper '%1' did not accept the request. "
                                                  "Status: %2")
                                       .arg(m_env.helperPath)
                                       .arg(opened.error);
        return false;
    }
    return false;
}

bool PingRun::Resolve(const StopSignal& stop, HostAddress& destination, QString& header) {
    const PingParams& p = m_params;
    const std::string host = p.Host.toStdString();
    const auto failed = [this, &p](int status) {
        m_result.ResultCode = SOCKET_ERROR;
        m_result.Report =
            p.Host %
            QStringLiteral("\r\n\tGetHostByName() DNS lookup failed or invalid IP. Status: %1").arg(status);
        return false;
    };
    in_addr dotted{};
    std::optional<QString> literal; // the address as typed, without brackets
    if (::inet_aton(host.c_str(), &dotted) != 0) {
        destination = HostAddress::Ipv4(dotted.s_addr);
        literal = p.Host;
    } else if (LooksLikeIpv6(host)) {
        const Ipv6Literal parsed = ParseIpv6Literal(host);
        if (parsed.status != 0)
            return failed(parsed.status);
        // An IPv4-mapped address means the IPv4 host it holds; over ICMPv6 it would never answer.
        destination = WithoutIpv4Mapping(parsed.address);
        literal = p.Host.startsWith(QLatin1Char('[')) ? p.Host.mid(1, p.Host.size() - 2) : p.Host;
    }
    if (literal) {
        // An address is pinged even when no name is registered for it.
        m_result.Address = destination;
        if (!p.ReverseLookup)
            header = QStringLiteral("[%1]:\r\n\t").arg(*literal);
        else if (const auto name = m_env.resolver->ByAddress(destination, stop))
            header = QStringLiteral("[%1] (%2):\r\n\t").arg(Text(destination), QString::fromStdString(*name));
        else
            header = QStringLiteral("[%1] (reverse lookup failed):\r\n\t").arg(*literal);
        return true;
    }
    const HostLookup found = m_env.resolver->ByName(host, stop);
    if (found.status != 0)
        return failed(found.status);
    destination = WithoutIpv4Mapping(found.address);
    m_result.Address = destination;
    header = QStringLiteral("%1 [%2]:\r\n\t").arg(p.Host, Text(destination));
    return true;
}

PingRun::TryEnd PingRun::RunTry(std::span<std::uint8_t> request, std::span<std::uint8_t> reply,
                                const HostAddress& destination, std::uint16_t sequence,
                                const StopSignal& stop, int& validReplies, std::int64_t& sum,
                                std::int64_t& sumUs) {
    const PingParams& p = m_params;
    QString& report = m_result.Report;
    TickClock& clock = *m_env.clock;

    m_socket->AwaitSendSlot(stop);
    const std::uint32_t stamp = clock.NowMs();
    StampEchoRequest(request, sequence, stamp, destination.family);
    report += QStringLiteral("Try #%1: ").arg(static_cast<std::uint16_t>(sequence + 1));

    ++m_result.Requests;
    // The exact round trip is timed here; the stamp in the packet only tells our reply from others.
    const std::int64_t sentUs = clock.NowUs();
    const SendOutcome sent = m_socket->Send(request, destination);
    if (sent.status == IoStatus::TimedOut) {
        report += QStringLiteral("SendTo() timed out after %1 ms.\r\n\t").arg(p.TimeOut);
        return TryEnd::Next;
    }
    if (sent.status != IoStatus::Done) {
        report +=
            QStringLiteral("SendTo() return an error other then time-out. Status: %1\r\n\t").arg(sent.error);
        return TryEnd::Leave;
    }

    const EchoExpectation expected =
        ExpectEcho(m_socket->Kind(), destination, m_env.identifier, sequence, stamp);
    const EchoWait wait = AwaitEcho(*m_socket, reply, expected, sent, clock.NowMs(), p.TimeOut, clock, stop);
    switch (wait.status) {
    case IoStatus::TimedOut:
        report += QStringLiteral("RecvFrom() timed out after %1 ms.\r\n\t").arg(p.TimeOut);
        return TryEnd::Next;
    case IoStatus::Stopped:
        report += QStringLiteral("stopped before a reply came.\r\n\t");
        return TryEnd::Stopped;
    case IoStatus::Failed:
        report += QStringLiteral("RecvFrom() return an error other then time-out. Status: %1\r\n\t")
                      .arg(wait.error);
        return TryEnd::Leave;
    case IoStatus::Done:
        break;
    }
    const ReceiveOutcome& got = wait.got;
    const DecodedEcho& decoded = wait.decoded;
    switch (decoded.outcome) {
    case EchoOutcome::TimeExceeded:
        report += QStringLiteral("failure, TTL expired during transmission; packet discarded.\r\n\t");
        return TryEnd::Next;
    case EchoOutcome::Unrelated: // AwaitEcho returns none
    case EchoOutcome::Unreachable:
        report += QStringLiteral("failure, responde not valid or time-out.\r\n\t");
        return TryEnd::Next;
    case EchoOutcome::Reply: {
        // The texts keep whole milliseconds, cut from the exact time so that both tell the same.
        const std::int64_t us = std::max<std::int64_t>(
            sent.sentUs >= 0 && got.receivedUs >= 0 ? got.receivedUs - sent.sentUs : wait.receivedUs - sentUs,
            0);
        const int t = static_cast<int>(std::min<std::int64_t>(us / 1000, std::numeric_limits<int>::max()));
        m_result.RepliesUs.push_back(us);
        sumUs += us;
        ++validReplies;
        m_result.MinTime = std::min(m_result.MinTime, t);
        m_result.MaxTime = std::max(m_result.MaxTime, t);
        sum += t;
        const int ttl = decoded.ttl >= 0 ? decoded.ttl : got.ttl;
        report += QStringLiteral("successful, DataSize=%1, TTL=%2, Time=%3 ms.\r\n\t")
                      .arg(p.DataSize)
                      .arg(ttl)
                      .arg(t);
        return TryEnd::Next;
    }
    }
    return TryEnd::Next;
}

void PingRun::Close(int validReplies, std::int64_t sum, std::int64_t sumUs) {
    const PingParams& p = m_params;
    if (validReplies == 0) {
        m_result.ResultCode = PING_FAILED;
        m_result.Report += QStringLiteral("%1 request(s) total, all failed with a time-out set to %2 ms each")
                               .arg(p.Count)
                               .arg(p.TimeOut);
        return;
    }
    m_result.MeanTime = static_cast<int>(sum / validReplies);
    m_result.MeanTimeUs = sumUs / validReplies;
    m_result.PacketLoss = LossPercent(p.Count, validReplies);
    m_result.ResultCode = PING_SUCCESS;
    m_result.Report += QStringLiteral("%1 request(s) total, %2 successful. Min=%3 ms, Max=%4 ms, Mean=%5 ms, "
                                      "Packet loss=%6%")
                           .arg(p.Count)
                           .arg(validReplies)
                           .arg(m_result.MinTime)
                           .arg(m_result.MaxTime)
                           .arg(m_result.MeanTime)
                           .arg(m_result.PacketLoss);
}

PingResult RunPing(const PingParams& params, const PingEnvironment& environment, const StopSignal& stop) {
    PingRun run(params, environment);
    if (run.Startup())
        run.Execute(stop);
    run.Finish();
    return run.Result();
}

} // namespace tevro
