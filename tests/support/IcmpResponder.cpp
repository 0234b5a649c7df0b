// The tests' ICMP responder: a raw socket that sees echo requests and a queue of timed answers.
#include "IcmpResponder.h"

#include "NetLab.h"
#include "engine/IcmpEcho.h"
#include "engine/IcmpOptions.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/icmp.h>
#include <map>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tevro::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The ICMP message of a request: behind the IPv4 header, or the whole packet for ICMPv6.
std::span<const std::uint8_t> MessageOf(const IcmpResponder::Request& r) {
    if (r.source.family == IpFamily::V6)
        return r.packet;
    const std::size_t header = static_cast<std::size_t>(r.packet[0] & 0x0F) * 4;
    return {r.packet.data() + header, r.packet.size() - header};
}

} // namespace

IcmpResponder::Policy IcmpResponder::Echo(int delayMs) {
    return [delayMs](const Request& r) {
        return std::vector<Answer>{{delayMs, EchoReplyFor(MessageOf(r)), 64}};
    };
}

IcmpResponder::Policy IcmpResponder::Silent() {
    return [](const Request&) { return std::vector<Answer>{}; };
}

IcmpResponder::Policy IcmpResponder::Error(std::uint8_t type, std::uint8_t code) {
    return [type, code](const Request& r) {
        if (r.source.family == IpFamily::V6)
            return std::vector<Answer>{{0, Icmp6ErrorFor(type, code, r.source, r.destination, r.packet), 64}};
        return std::vector<Answer>{{0, IcmpErrorFor(type, code, r.packet), 64}};
    };
}

IcmpResponder::~IcmpResponder() {
    Stop();
}

bool IcmpResponder::Start(Policy policy, const NetNamespace* ns, std::string* error, IpFamily family) {
    m_policy = std::move(policy);
    m_family = family;
    const bool v6 = family == IpFamily::V6;
    const auto open = [this, v6] {
        const int protocol = v6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
        m_socket = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_RAW | SOCK_CLOEXEC, protocol);
    };
    if (ns ? !ns->Enter(open) : (open(), false)) {
        if (error)
            *error = "cannot enter the namespace";
        return false;
    }
    if (m_socket < 0) {
        if (error)
            *error = std::string("raw socket: ") + std::strerror(errno);
        return false;
    }
    // Echo requests only: our own answers and anything else stay out.
    if (v6) {
        icmp6_filter filter{};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(kIcmp6EchoRequest, &filter);
        ::setsockopt(m_socket, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        const int on = 1;
        ::setsockopt(m_socket, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
        ::setsockopt(m_socket, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on);
    } else {
        icmp_filter filter{~(1U << kIcmpEchoRequest)};
        ::setsockopt(m_socket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void IcmpResponder::Stop() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    m_socket = m_stopFd = -1;
}

std::vector<IcmpResponder::Request> IcmpResponder::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool IcmpResponder::ReadRequest(Request& r) {
    std::uint8_t buffer[2048];
    sockaddr_storage from{};
    iovec iov{buffer, sizeof buffer};
    alignas(cmsghdr) char control[128];
    msghdr msg = ReceiveHeader(from, iov, control, sizeof control);
    const ssize_t n = ::recvmsg(m_socket, &msg, MSG_DONTWAIT);
    const auto source = FromSockaddr(reinterpret_cast<const sockaddr*>(&from), msg.msg_namelen);
    if (n <= 0 || !source)
        return false;
    r.packet.assign(buffer, buffer + n);
    r.source = *source;
    std::size_t header = 0;
    if (m_family == IpFamily::V4) {
        if (n < 28)
            return false;
        header = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        r.ttl = buffer[8];
        r.destination = HostAddress::Ipv4(Get32(r.packet, 16));
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IPV6)
            continue;
        if (c->cmsg_type == IPV6_HOPLIMIT) {
            int hops = 0;
            std::memcpy(&hops, CMSG_DATA(c), sizeof hops);
            r.ttl = static_cast<std::uint8_t>(hops);
        } else if (c->cmsg_type == IPV6_PKTINFO) {
            // in6_pktinfo begins with the address the request was sent to.
            r.destination.family = IpFamily::V6;
            std::memcpy(r.destination.bytes.data(), CMSG_DATA(c), 16);
        }
    }
    if (header + 8 > r.packet.size())
        return false;
    r.sequence = Get16(r.packet, header + 6);
    return true;
}

void IcmpResponder::Serve() {
    struct Due {
        HostAddress to;
        Answer answer;
    };
    std::multimap<Clock::time_point, Due> queue;
    for (;;) {
        int waitMs = -1;
        if (!queue.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(queue.begin()->first - Clock::now());
            waitMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, waitMs) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        Request r;
        if ((fds[0].revents & POLLIN) && ReadRequest(r)) {
            {
                std::lock_guard lock(m_mutex);
                r.index = static_cast<int>(m_requests.size());
                m_requests.push_back(r);
            }
            for (Answer& a : m_policy(r)) {
                const auto due = Clock::now() + std::chrono::milliseconds(a.delayMs);
                queue.emplace(due, Due{r.source, std::move(a)});
            }
            ++m_seen;
        }
        while (!queue.empty() && queue.begin()->first <= Clock::now()) {
            const Due& due = queue.begin()->second;
            if (m_family == IpFamily::V6)
                ::setsockopt(m_socket, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &due.answer.ttl,
                             sizeof due.answer.ttl);
            else
                ::setsockopt(m_socket, IPPROTO_IP, IP_TTL, &due.answer.ttl, sizeof due.answer.ttl);
            sockaddr_storage to{};
            const socklen_t length = ToSockaddr(due.to, to);
            ::sendto(m_socket, due.answer.icmp.data(), due.answer.icmp.size(), 0,
                     reinterpret_cast<sockaddr*>(&to), length);
            queue.erase(queue.begin());
        }
    }
}

} // namespace tevro::testing
