// ICMP and ICMPv6 sockets on Linux: the raw socket where the program may open one, the kernel's ping
// socket (net.ipv4.ping_group_range, which governs both families) where it may not, and else the ping
// helper (HelperSocket.cpp).
#include "engine/IcmpSocket.h"

#include "engine/HelperSocket.h"
#include "engine/IcmpOptions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tevro {
namespace {

std::int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsTimeOut(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// Errors the kernel reports on a socket because some ICMP error arrived (not necessarily about our
// traffic: a raw socket hears every ICMP message). They are news, not a broken socket.
bool IsIcmpReport(int error) {
    switch (error) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENONET:
    case ENOPROTOOPT:
    case EPROTO:
    case EMSGSIZE:
    case EACCES:
        return true;
    default:
        return false;
    }
}

class PosixIcmpSocket final : public IcmpSocket {
public:
    PosixIcmpSocket(int fd, IcmpSocketKind kind, IpFamily family)
        : m_fd(fd), m_kind(kind), m_family(family) {}
    ~PosixIcmpSocket() override { ::close(m_fd); }
    PosixIcmpSocket(const PosixIcmpSocket&) = delete;
    PosixIcmpSocket& operator=(const PosixIcmpSocket&) = delete;

    int Handle() const override { return m_fd; }
    IcmpSocketKind Kind() const override { return m_kind; }

    SendOutcome Send(std::span<const std::uint8_t> message, const HostAddress& destination) override {
        ForgetStaleErrors();
        sockaddr_storage to{};
        const socklen_t toLength = ToSockaddr(destination, to);
        for (;;) {
            const ssize_t sent = ::sendto(m_fd, message.data(), message.size(), 0,
                                          reinterpret_cast<const sockaddr*>(&to), toLength);
            if (sent >= 0)
                return {IoStatus::Done, 0};
            if (errno == EINTR)
                continue;
            if (IsTimeOut(errno))
                return {IoStatus::TimedOut, errno};
            return {IoStatus::Failed, errno};
        }
    }

    ReceiveOutcome Receive(std::span<std::uint8_t> buffer, int waitMs, const StopSignal& stop) override {
        const std::int64_t deadline = SteadyMs() + waitMs;
        for (;;) {
            const int left = static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 0));
            const auto wait = stop.Wait(m_fd, POLLIN, left);
            if (wait.wake == StopSignal::Wake::Stopped)
                return {IoStatus::Stopped};
            if (wait.wake == StopSignal::Wake::TimedOut)
                return {IoStatus::TimedOut, EAGAIN};
            if (wait.wake == StopSignal::Wake::Failed)
                return {IoStatus::Failed, wait.error};

            if (wait.revents & POLLERR) {
                ReceiveOutcome fromQueue;
                if (ReadErrorQueue(buffer, fromQueue))
                    return fromQueue;
            }
            ReceiveOutcome got;
            if (ReadPacket(buffer, got))
                return got;
            if (got.status == IoStatus::Failed)
                return got;
            // Nothing after all (a report of someone else's ICMP error, or a spurious wake-up).
        }
    }

private:
    // Returns true with a packet, false with nothing to report (got.status Failed on a real error).
    bool ReadPacket(std::span<std::uint8_t> buffer, ReceiveOutcome& got) {
        sockaddr_storage from{};
        iovec iov{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[64];
        msghdr msg = ReceiveHeader(from, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            const int error = errno;
            if (error == EINTR || IsTimeOut(error))
                return false;
            if (IsIcmpReport(error)) {
                // The message itself is queued (raw) or in the error queue (ping socket).
                return m_kind == IcmpSocketKind::Datagram && ReadErrorQueue(buffer, got);
            }
            got = {IoStatus::Failed, error};
            return false;
        }
        const auto source = FromSockaddr(reinterpret_cast<const sockaddr*>(&from), msg.msg_namelen);
        got = {IoStatus::Done, 0, static_cast<std::size_t>(n), -1, source.value_or(HostAddress{})};
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            const bool hops = (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) ||
                              (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT);
            if (hops && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
                int ttl = 0;
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
                got.ttl = ttl;
            }
        }
        return true;
    }

    // The ping socket hands ICMP errors about our requests over through its error queue. They are
    // rebuilt here into the ICMP message a raw socket would have seen, so one decoder judges both.
    bool ReadErrorQueue(std::span<std::uint8_t> buffer, ReceiveOutcome& got) {
        std::uint8_t quoted[576];
        sockaddr_storage original{};
        iovec iov{quoted, sizeof quoted};
        alignas(cmsghdr) char control[256];
        msghdr msg = ReceiveHeader(original, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(m_fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0)
            return false;
        const bool v6 = m_family == IpFamily::V6;
        const auto destination = FromSockaddr(reinterpret_cast<const sockaddr*>(&original), msg.msg_namelen);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            const bool report = v6 ? c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR
                                   : c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR;
            if (!report || c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
                continue;
            sock_extended_err err{};
            std::memcpy(&err, CMSG_DATA(c), sizeof err);
            const int origin = v6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP;
            if (err.ee_origin != origin || !destination)
                return false;
            // The router that reported it follows the error record.
            sockaddr_storage offender{};
            std::memcpy(&offender, CMSG_DATA(c) + sizeof err,
                        std::min(sizeof offender, c->cmsg_len - CMSG_LEN(sizeof err)));
            const std::size_t kIcmp = 8, kIp = v6 ? 40 : 20;
            if (buffer.size() < kIcmp + kIp)
                return false;
            const std::size_t body = std::min(static_cast<std::size_t>(n), buffer.size() - kIcmp - kIp);
            std::fill(buffer.begin(), buffer.begin() + kIcmp + kIp, std::uint8_t{0});
            buffer[0] = err.ee_type;
            buffer[1] = err.ee_code;
            if (v6) {
                buffer[kIcmp] = 0x60;
                buffer[kIcmp + 6] = IPPROTO_ICMPV6;
                std::memcpy(buffer.data() + kIcmp + 24, destination->bytes.data(), 16);
            } else {
                buffer[kIcmp] = 0x45; // 20-byte header
                buffer[kIcmp + 9] = IPPROTO_ICMP;
                std::memcpy(buffer.data() + kIcmp + 16, destination->bytes.data(), 4);
            }
            std::memcpy(buffer.data() + kIcmp + kIp, quoted, body);
            const auto from = FromSockaddr(reinterpret_cast<const sockaddr*>(&offender), sizeof offender);
            got = {IoStatus::Done, 0, kIcmp + kIp + body, -1, from.value_or(HostAddress{})};
            return true;
        }
        return false;
    }

    // An ICMP error left over from an earlier try (or about someone else's packet) would otherwise
    // make this send fail.
    void ForgetStaleErrors() {
        int pending = 0;
        socklen_t length = sizeof pending;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &pending, &length);
        if (m_kind == IcmpSocketKind::Datagram) {
            std::uint8_t scratch[576];
            ReceiveOutcome ignored;
            while (ReadErrorQueue(scratch, ignored)) {
            }
        }
    }

    int m_fd;
    IcmpSocketKind m_kind;
    IpFamily m_family;
};

class PosixIcmpNetwork final : public IcmpNetwork {
public:
    OpenOutcome Open(IpFamily family, int timeOutMs, int ttl) override {
        OpenOutcome out;
        IcmpSocketKind kind = IcmpSocketKind::Raw;
        const bool v6 = family == IpFamily::V6;
        const int domain = v6 ? AF_INET6 : AF_INET;
        const int protocol = v6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
        int fd = ::socket(domain, SOCK_RAW | SOCK_CLOEXEC, protocol);
        if (fd < 0) {
            const int rawError = errno;
            out.failure = OpenOutcome::Failure::Socket;
            out.error = rawError;
            // Only a refusal for want of privilege is worth the other ways: it is the same refusal a
            // missing capability gives, and neither the ping socket nor the helper needs one here.
            if (rawError != EPERM && rawError != EACCES)
                return out;
            fd = ::socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
            if (fd < 0) {
                if (HelperGrantsRawSockets(m_helper)) {
                    out.failure = OpenOutcome::Failure::None;
                    out.error = 0;
                    out.socket = MakeHelperSocket(m_helper, family, timeOutMs, ttl, rawError);
                    return out;
                }
                out.permissionDenied = true;
                return out;
            }
            kind = IcmpSocketKind::Datagram;
            out.failure = OpenOutcome::Failure::None;
            out.error = 0;
        }
        auto socket = std::make_unique<PosixIcmpSocket>(fd, kind, family);
        SocketOptionFailure refused;
        if (!ConfigureIcmpSocket(fd, kind == IcmpSocketKind::Raw, family, timeOutMs, ttl, refused)) {
            out.failure = OpenOutcome::Failure::Option;
            out.error = refused.error;
            out.handle = refused.handle;
            out.level = refused.level;
            out.option = refused.option;
            out.value = refused.value;
            out.length = refused.length;
            return out;
        }
        out.socket = std::move(socket);
        return out;
    }

private:
    const std::string m_helper = PingHelperPath();
};

} // namespace

std::shared_ptr<IcmpNetwork> SystemIcmpNetwork() {
    static const auto network = std::make_shared<PosixIcmpNetwork>();
    return network;
}

} // namespace tevro
