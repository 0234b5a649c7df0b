// The tests' ICMP responder: a raw socket that sees echo requests and a queue of timed answers.
#include "IcmpResponder.h"

#include "NetLab.h"
#include "engine/IcmpEcho.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/icmp.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tevro::testing {
namespace {

using Clock = std::chrono::steady_clock;

} // namespace

IcmpResponder::Policy IcmpResponder::Echo(int delayMs) {
    return [delayMs](const Request& r) {
        const std::size_t header = static_cast<std::size_t>(r.packet[0] & 0x0F) * 4;
        const std::span<const std::uint8_t> icmp(r.packet.data() + header, r.packet.size() - header);
        return std::vector<Answer>{{delayMs, EchoReplyFor(icmp), 64}};
    };
}

IcmpResponder::Policy IcmpResponder::Silent() {
    return [](const Request&) { return std::vector<Answer>{}; };
}

IcmpResponder::Policy IcmpResponder::Error(std::uint8_t type, std::uint8_t code) {
    return [type, code](const Request& r) {
        return std::vector<Answer>{{0, IcmpErrorFor(type, code, r.packet), 64}};
    };
}

IcmpResponder::~IcmpResponder() {
    Stop();
}

bool IcmpResponder::Start(Policy policy, const NetNamespace* ns, std::string* error) {
    m_policy = std::move(policy);
    const auto open = [this] { m_socket = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP); };
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
    icmp_filter filter{~(1U << kIcmpEchoRequest)};
    ::setsockopt(m_socket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
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

void IcmpResponder::Serve() {
    struct Due {
        std::uint32_t to;
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
        if (fds[0].revents & POLLIN) {
            std::uint8_t buffer[2048];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(m_socket, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n >= 28) {
                Request r;
                r.packet.assign(buffer, buffer + n);
                r.source = from.sin_addr.s_addr;
                r.ttl = buffer[8];
                const std::size_t header = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
                if (header + 8 <= static_cast<std::size_t>(n)) {
                    r.sequence = Get16(r.packet, header + 6);
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
            }
        }
        while (!queue.empty() && queue.begin()->first <= Clock::now()) {
            const Due& due = queue.begin()->second;
            ::setsockopt(m_socket, IPPROTO_IP, IP_TTL, &due.answer.ttl, sizeof due.answer.ttl);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = due.to;
            ::sendto(m_socket, due.answer.icmp.data(), due.answer.icmp.size(), 0,
                     reinterpret_cast<sockaddr*>(&to), sizeof to);
            queue.erase(queue.begin());
        }
    }
}

} // namespace tevro::testing
