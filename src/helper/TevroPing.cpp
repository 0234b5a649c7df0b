// tevro-ping: the one program of Tevro that may carry cap_net_raw. It opens a raw ICMP (ICMPv6) socket,
// gives up every capability before it reads anything, sends the echo requests its caller asks for (it
// builds them itself, to the one address of its command line) and passes back only the packets that
// answer them. engine/HelperProtocol.h describes the request and the frames.
//
// Plain C++ over the C library and the kernel: no Qt, no plugins, no environment variables.
#include "engine/HelperProtocol.h"
#include "engine/IcmpEcho.h"
#include "engine/IcmpOptions.h"
#include "engine/Privileges.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace tevro;
using namespace tevro::helper;

constexpr int kChannel = 0;

// Exit statuses.
constexpr int kDone = 0;
constexpr int kFailed = 1;  // the socket or an option was refused (and said so on the channel)
constexpr int kRefused = 2; // the request or the channel was not accepted: nothing was sent
constexpr int kBroken = 3;  // the caller broke the protocol

std::int64_t NowUs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::uint32_t NowMs() {
    return static_cast<std::uint32_t>(NowUs() / 1000);
}

// One line on stderr; write(2) directly, as nothing else here needs stdio.
int Say(int status, const std::string& line) {
    const std::string text = "tevro-ping: " + line + "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    return status;
}

// A descriptor left closed by the caller would be handed to the raw socket, and a later message to
// stderr would go there.
bool OpenStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0)
            continue;
        const int null = ::open("/dev/null", O_RDWR);
        if (null != fd)
            return false;
    }
    return true;
}

bool IsChannel(int fd) {
    sockaddr_storage name{};
    socklen_t nameLength = sizeof name;
    int type = 0;
    socklen_t typeLength = sizeof type;
    return ::getsockname(fd, reinterpret_cast<sockaddr*>(&name), &nameLength) == 0 &&
           name.ss_family == AF_UNIX && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 &&
           type == SOCK_SEQPACKET;
}

bool Tell(const Frame& frame) {
    for (;;) {
        if (::send(kChannel, frame.data(), frame.size(), MSG_NOSIGNAL) >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

struct SentTry {
    std::uint16_t sequence = 0;
    std::uint32_t stamp = 0;
};

class Pinger {
public:
    Pinger(const Request& request, int socket) : m_request(request), m_socket(socket) {
        m_message.resize(static_cast<std::size_t>(request.dataSize) + kEchoHeaderSize);
        FillEchoRequest(m_message, request.identifier, request.destination.family);
        m_lastActivityUs = NowUs();
    }

    int Run() {
        if (!Tell(EncodeSimple(FrameType::Ready)))
            return kDone;
        for (;;) {
            const std::int64_t idleLimitUs =
                m_lastActivityUs + (static_cast<std::int64_t>(m_request.timeOutMs) + kIdleGraceMs) * 1000;
            const std::int64_t left = idleLimitUs - NowUs();
            if (left <= 0)
                return kDone; // nothing asked of us for longer than a try can last
            pollfd fds[2] = {{kChannel, POLLIN, 0}, {m_socket, POLLIN, 0}};
            const int ready = ::poll(fds, 2, static_cast<int>((left + 999) / 1000));
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return Say(kFailed, std::string("poll: ") + std::strerror(errno));
            }
            if (fds[1].revents & POLLIN)
                ForwardAnswers();
            if (fds[0].revents & POLLIN) {
                const int status = Serve();
                if (status >= 0)
                    return status;
            } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return kDone; // the caller has gone
            }
        }
    }

private:
    // One frame from the caller: -1 to go on, else the exit status.
    int Serve() {
        std::uint8_t frame[64];
        const ssize_t n = ::recv(kChannel, frame, sizeof frame, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0)
            return errno == EINTR || errno == EAGAIN ? -1 : kDone;
        if (n == 0)
            return kDone; // end of file: the caller has gone
        const std::span<const std::uint8_t> bytes(
            frame, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof frame));
        if (static_cast<std::size_t>(n) == 1 && bytes[0] == static_cast<std::uint8_t>(FrameType::Stop))
            return kDone;
        const auto send = static_cast<std::size_t>(n) <= sizeof frame ? DecodeSend(bytes) : std::nullopt;
        if (!send)
            return Say(kBroken, "unknown frame from the caller");
        if (static_cast<int>(m_sent.size()) >= m_request.tries)
            return Say(kBroken, "asked for more than " + std::to_string(m_request.tries) + " request(s)");
        for (const SentTry& earlier : m_sent) {
            if (earlier.sequence == send->sequence)
                return Say(kBroken, "asked twice for sequence " + std::to_string(send->sequence));
        }
        SendEcho(*send);
        return -1;
    }

    void SendEcho(const SendFrame& send) {
        // The caller keeps the pace itself; this only holds back one that does not.
        if (m_lastSendUs != 0) {
            const std::int64_t wait = m_lastSendUs + kMinSendGapUs - NowUs();
            if (wait > 0) {
                const timespec pause{0, static_cast<long>(wait) * 1000};
                while (::nanosleep(&pause, nullptr) != 0 && errno == EINTR) {
                }
            }
        }
        StampEchoRequest(m_message, send.sequence, send.stamp, m_request.destination.family);
        sockaddr_storage to{};
        const socklen_t toLength = ToSockaddr(m_request.destination, to);
        ssize_t sent = -1;
        const std::int64_t sentUs = NowUs();
        do {
            sent = ::sendto(m_socket, m_message.data(), m_message.size(), 0,
                            reinterpret_cast<const sockaddr*>(&to), toLength);
        } while (sent < 0 && errno == EINTR);
        const int error = sent < 0 ? errno : 0;
        m_lastSendUs = sentUs;
        m_lastActivityUs = NowUs();
        m_sent.push_back({send.sequence, send.stamp});
        Tell(EncodeSent({error, sentUs}));
    }

    // Everything the socket holds; only what answers one of our requests goes on.
    void ForwardAnswers() {
        for (;;) {
            std::uint8_t packet[kMaxPacket];
            sockaddr_storage from{};
            iovec iov{packet, sizeof packet};
            alignas(cmsghdr) char control[64];
            msghdr msg = ReceiveHeader(from, iov, control, sizeof control);
            const ssize_t n = ::recvmsg(m_socket, &msg, MSG_DONTWAIT);
            const std::int64_t receivedUs = NowUs();
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return; // drained (or an error report about someone else's packet)
            }
            const auto source = FromSockaddr(reinterpret_cast<const sockaddr*>(&from), msg.msg_namelen);
            const std::span<const std::uint8_t> bytes(packet, static_cast<std::size_t>(n));
            if (!source || !AnswersUs(bytes, *source))
                continue;
            int ttl = -1;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT &&
                    c->cmsg_len >= CMSG_LEN(sizeof(int)))
                    std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            }
            if (!Tell(EncodePacket({ttl, *source, receivedUs, bytes})))
                return;
        }
    }

    // The decoder the program itself judges with: an echo reply with our identifier, sequence and
    // stamp, or an ICMP error quoting one of our requests.
    bool AnswersUs(std::span<const std::uint8_t> packet, const HostAddress& source) const {
        const bool withIpHeader = m_request.destination.family == IpFamily::V4;
        for (const SentTry& sent : m_sent) {
            EchoExpectation expected;
            expected.destination = m_request.destination;
            expected.identifier = m_request.identifier;
            expected.sequence = sent.sequence;
            expected.stamp = sent.stamp;
            if (DecodeEchoReply(packet, withIpHeader, source, expected, NowMs()).outcome !=
                EchoOutcome::Unrelated)
                return true;
        }
        return false;
    }

    Request m_request;
    int m_socket;
    std::vector<std::uint8_t> m_message;
    std::vector<SentTry> m_sent;
    std::int64_t m_lastSendUs = 0;
    std::int64_t m_lastActivityUs = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (!OpenStandardDescriptors())
        return kRefused;
    // Nothing the caller left open is ours to use.
    ::close_range(3, ~0U, 0);
    std::signal(SIGPIPE, SIG_IGN);

    std::string reason;
    const auto request = ParseRequest(
        std::span<const char* const>(argv + (argc > 0 ? 1 : 0), argc > 0 ? argc - 1 : 0), reason);
    if (!request)
        return Say(kRefused, reason);
    if (!IsChannel(kChannel))
        return Say(kRefused,
                   "standard input must be the caller's end of an AF_UNIX SOCK_SEQPACKET socket pair");

    // Its socket stays out of reach of the user's other processes (ptrace, pidfd_getfd), also when a
    // capability is not what made it undumpable.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // Ends with the thread that started it; one that has already gone is caught here.
    const pid_t parent = ::getppid();
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        return kDone;

    const bool v6 = request->destination.family == IpFamily::V6;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_RAW | SOCK_CLOEXEC,
                            v6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP));
    const int socketError = errno;
    // The capability is needed for the socket alone; it goes before anything is read or sent.
    if (!DropCapabilities() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return Say(kFailed, "cannot give up its capabilities");
    if (fd < 0) {
        Tell(EncodeFailed({1, socketError, -1, 0, 0, {}, {}}));
        return kFailed;
    }
    SocketOptionFailure failure;
    if (!ConfigureIcmpSocket(fd, true, request->destination.family, request->timeOutMs, request->ttl,
                             failure)) {
        Tell(EncodeFailed({2, failure.error, failure.handle, failure.value, failure.length, failure.level,
                           failure.option}));
        return kFailed;
    }
    return Pinger(*request, fd).Run();
}
