// The program's side of the ping helper: finding it, starting it with posix_spawn over a socket pair,
// and turning its frames back into sends and receives of an IcmpSocket.
#include "engine/HelperSocket.h"

#include "engine/HelperProtocol.h"
#include "engine/IcmpEcho.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <linux/capability.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#ifndef TEVRO_PING_HELPER_INSTALLED
#error "TEVRO_PING_HELPER_INSTALLED names the helper's installed path"
#endif

namespace tevro {
namespace {

// The helper is ready within milliseconds; this only bounds a helper that hangs.
constexpr int kStartLimitMs = 5000;
// After the channel closes the helper ends at once; past this it is killed.
constexpr int kEndLimitMs = 500;
// A little above the helper's own gap, so that it never has to hold a request back.
constexpr std::chrono::microseconds kSendGap{helper::kMinSendGapUs + 200};

std::int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

class HelperIcmpSocket final : public IcmpSocket {
public:
    HelperIcmpSocket(std::string path, IpFamily family, int timeOutMs, int ttl, int rawError)
        : m_path(std::move(path)), m_family(family), m_timeOutMs(timeOutMs), m_ttl(ttl),
          m_rawError(rawError) {}
    ~HelperIcmpSocket() override { End(); }
    HelperIcmpSocket(const HelperIcmpSocket&) = delete;
    HelperIcmpSocket& operator=(const HelperIcmpSocket&) = delete;

    int Handle() const override { return m_channel; }
    IcmpSocketKind Kind() const override { return IcmpSocketKind::Helper; }

    OpenOutcome Begin(const EchoRun& run, const StopSignal& stop) override {
        helper::Request request;
        request.destination = run.destination;
        request.dataSize = run.dataSize;
        request.ttl = m_ttl;
        request.timeOutMs = m_timeOutMs;
        request.tries = run.count;
        request.identifier = run.identifier;
        m_destination = run.destination;
        if (run.destination.family != m_family || !Spawn(request))
            return Refused(m_rawError);

        helper::Frame frame;
        switch (ReadFrame(frame, kStartLimitMs, &stop)) {
        case Read::Got:
            break;
        case Read::Stopped:
            return {}; // the run sees the stop before its first try
        default:
            End();
            return HelperFailure();
        }
        if (frame[0] == static_cast<std::uint8_t>(helper::FrameType::Ready)) {
            m_ready = true;
            return {};
        }
        const auto failed = helper::DecodeFailed(frame);
        End();
        if (!failed)
            return HelperFailure();
        if (failed->stage == 1)
            return Refused(failed->error);
        OpenOutcome out;
        out.failure = OpenOutcome::Failure::Option;
        out.error = failed->error;
        out.handle = failed->handle;
        out.level = failed->level;
        out.option = failed->option;
        out.value = failed->value;
        out.length = failed->length;
        return out;
    }

    void AwaitSendSlot(const StopSignal&) override {
        if (m_lastSend) {
            const auto due = *m_lastSend + kSendGap;
            if (std::chrono::steady_clock::now() < due)
                std::this_thread::sleep_until(due);
        }
    }

    SendOutcome Send(std::span<const std::uint8_t> message, const HostAddress& destination) override {
        // The helper builds the request itself from sequence and stamp, to its one destination.
        if (!m_ready || message.size() < kEchoHeaderSize || !(destination == m_destination))
            return {IoStatus::Failed, EPIPE};
        const helper::Frame request = helper::EncodeSend({Read16(message, 6), Read32(message, 8)});
        m_lastSend = std::chrono::steady_clock::now();
        if (::send(m_channel, request.data(), request.size(), MSG_NOSIGNAL) < 0)
            return Lost(errno);
        // Its answer comes before any packet it reads after sending; packets already on their way
        // wait for Receive.
        const std::int64_t deadline = SteadyMs() + m_timeOutMs + 1000;
        for (;;) {
            helper::Frame frame;
            const Read read =
                ReadFrame(frame, static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 0)), nullptr);
            if (read != Read::Got)
                return Lost(EPIPE);
            if (const auto sent = helper::DecodeSent(frame)) {
                if (sent->error == 0)
                    return {IoStatus::Done, 0, sent->sentUs};
                if (sent->error == EAGAIN || sent->error == EWOULDBLOCK)
                    return {IoStatus::TimedOut, sent->error};
                return {IoStatus::Failed, sent->error};
            }
            if (helper::DecodePacket(frame))
                m_waiting.push_back(std::move(frame));
        }
    }

    ReceiveOutcome Receive(std::span<std::uint8_t> buffer, int waitMs, const StopSignal& stop) override {
        if (stop.Requested())
            return {IoStatus::Stopped};
        if (!m_waiting.empty()) {
            helper::Frame frame = std::move(m_waiting.front());
            m_waiting.pop_front();
            return Deliver(frame, buffer);
        }
        if (!m_ready)
            return {IoStatus::Failed, EPIPE};
        const std::int64_t deadline = SteadyMs() + waitMs;
        for (;;) {
            helper::Frame frame;
            switch (
                ReadFrame(frame, static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 0)), &stop)) {
            case Read::Got:
                if (helper::DecodePacket(frame))
                    return Deliver(frame, buffer);
                continue; // nothing else is expected here
            case Read::TimedOut:
                return {IoStatus::TimedOut, EAGAIN};
            case Read::Stopped:
                return {IoStatus::Stopped};
            case Read::Closed:
                m_ready = false;
                return {IoStatus::Failed, EPIPE};
            case Read::Failed:
                return {IoStatus::Failed, m_readError};
            }
        }
    }

private:
    enum class Read { Got, TimedOut, Stopped, Closed, Failed };

    bool Spawn(const helper::Request& request) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return false;
        std::vector<std::string> arguments = helper::RequestArguments(request);
        arguments.insert(arguments.begin(), m_path);
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char* environment[] = {nullptr}; // it reads none, and is given none

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
        // Its channel is its standard input and output; stderr stays, for its one-line reasons.
        ::posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        // Default signal handling and an empty mask whatever this process set up; a group of its own,
        // so that Ctrl+C in a terminal reaches the program, which then ends the helper in order.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        ::posix_spawnattr_setsigmask(&attributes, &none);
        ::posix_spawnattr_setsigdefault(&attributes, &all);
        ::posix_spawnattr_setpgroup(&attributes, 0);
        ::posix_spawnattr_setflags(&attributes,
                                   POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
        pid_t pid = -1;
        const int spawned =
            ::posix_spawn(&pid, m_path.c_str(), &actions, &attributes, argv.data(), environment);
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
        ::close(pair[1]);
        if (spawned != 0) {
            ::close(pair[0]);
            return false;
        }
        m_pid = pid;
        m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); // -1 on kernels before 5.3
        m_channel = pair[0];
        return true;
    }

    Read ReadFrame(helper::Frame& frame, int waitMs, const StopSignal* stop) {
        const std::int64_t deadline = SteadyMs() + waitMs;
        for (;;) {
            const int left = static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 0));
            short revents = 0;
            if (stop) {
                const auto wait = stop->Wait(m_channel, POLLIN, left);
                if (wait.wake == StopSignal::Wake::Stopped)
                    return Read::Stopped;
                if (wait.wake == StopSignal::Wake::TimedOut)
                    return Read::TimedOut;
                if (wait.wake == StopSignal::Wake::Failed) {
                    m_readError = wait.error;
                    return Read::Failed;
                }
                revents = wait.revents;
            } else {
                pollfd fd{m_channel, POLLIN, 0};
                const int ready = ::poll(&fd, 1, left);
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready < 0) {
                    m_readError = errno;
                    return Read::Failed;
                }
                if (ready == 0)
                    return Read::TimedOut;
                revents = fd.revents;
            }
            frame.resize(helper::kMaxFrame);
            const ssize_t n = ::recv(m_channel, frame.data(), frame.size(), MSG_DONTWAIT);
            if (n > 0) {
                frame.resize(static_cast<std::size_t>(n));
                return Read::Got;
            }
            if (n == 0 || (revents & (POLLHUP | POLLERR)))
                return Read::Closed;
            if (errno != EINTR && errno != EAGAIN) {
                m_readError = errno;
                return Read::Failed;
            }
        }
    }

    ReceiveOutcome Deliver(const helper::Frame& frame, std::span<std::uint8_t> buffer) const {
        const auto packet = helper::DecodePacket(frame);
        const std::size_t n = std::min(packet->packet.size(), buffer.size());
        std::copy_n(packet->packet.begin(), n, buffer.begin());
        return {IoStatus::Done, 0, n, packet->ttl, packet->source, packet->receivedUs};
    }

    // The helper went away in mid-run.
    SendOutcome Lost(int error) {
        m_ready = false;
        return {IoStatus::Failed, error};
    }

    OpenOutcome Refused(int error) const {
        OpenOutcome out;
        out.failure = OpenOutcome::Failure::Socket;
        out.error = error;
        out.permissionDenied = error == EPERM || error == EACCES;
        return out;
    }

    OpenOutcome HelperFailure() const {
        OpenOutcome out;
        out.failure = OpenOutcome::Failure::Helper;
        out.error = m_exitStatus;
        return out;
    }

    // Closes the channel (the helper's stop request) and reaps the helper.
    void End() {
        m_ready = false;
        if (m_channel >= 0) {
            const helper::Frame stop = helper::EncodeSimple(helper::FrameType::Stop);
            ::send(m_channel, stop.data(), stop.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(m_channel);
            m_channel = -1;
        }
        if (m_pid <= 0)
            return;
        if (!WaitForExit())
            ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
        if (m_pidFd >= 0)
            ::close(m_pidFd);
        m_pidFd = -1;
    }

    // True when the helper has ended within kEndLimitMs (not yet reaped).
    bool WaitForExit() const {
        const std::int64_t deadline = SteadyMs() + kEndLimitMs;
        for (;;) {
            const int left = static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 0));
            if (m_pidFd >= 0) {
                pollfd fd{m_pidFd, POLLIN, 0};
                const int ready = ::poll(&fd, 1, left);
                if (ready < 0 && errno == EINTR)
                    continue;
                return ready > 0;
            }
            // Without a process descriptor (an older kernel): look every millisecond.
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == m_pid)
                return true;
            if (left == 0)
                return false;
            ::usleep(1000);
        }
    }

    std::string m_path;
    IpFamily m_family;
    int m_timeOutMs;
    int m_ttl;
    int m_rawError;
    HostAddress m_destination;
    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_channel = -1;
    bool m_ready = false;
    int m_exitStatus = 0;
    int m_readError = 0;
    std::optional<std::chrono::steady_clock::time_point> m_lastSend;
    std::deque<helper::Frame> m_waiting;
};

} // namespace

std::string PingHelperPath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = self.parent_path() / "tevro-ping";
        if (std::filesystem::is_regular_file(beside, ec))
            return beside.string();
    }
    return TEVRO_PING_HELPER_INSTALLED;
}

bool HelperGrantsRawSockets(const std::string& path) {
    if (::access(path.c_str(), X_OK) != 0)
        return false;
    // File capabilities do nothing under no_new_privs, and nothing the bounding set has dropped.
    if (::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1 || ::prctl(PR_CAPBSET_READ, CAP_NET_RAW, 0, 0, 0) != 1)
        return false;
    vfs_ns_cap_data caps{};
    const ssize_t n = ::getxattr(path.c_str(), "security.capability", &caps, sizeof caps);
    if (n < static_cast<ssize_t>(XATTR_CAPS_SZ_2))
        return false;
    const std::uint32_t magic = caps.magic_etc; // little-endian on every machine this builds for
    const std::uint32_t revision = magic & VFS_CAP_REVISION_MASK;
    if (revision != VFS_CAP_REVISION_2 && revision != VFS_CAP_REVISION_3)
        return false;
    return (magic & VFS_CAP_FLAGS_EFFECTIVE) != 0 && (caps.data[0].permitted & (1U << CAP_NET_RAW)) != 0;
}

std::unique_ptr<IcmpSocket> MakeHelperSocket(std::string path, IpFamily family, int timeOutMs, int ttl,
                                             int rawError) {
    return std::make_unique<HelperIcmpSocket>(std::move(path), family, timeOutMs, ttl, rawError);
}

} // namespace tevro
