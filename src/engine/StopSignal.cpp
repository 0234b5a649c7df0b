// Stop requests through an eventfd, so a wait of several seconds ends as soon as a stop is asked for.
#include "engine/StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tevro {
namespace {
// Without an eventfd the flag is checked this often.
constexpr int kFallbackSliceMs = 50;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

StopSignal::StopSignal() : m_eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (m_eventFd >= 0)
        ::close(m_eventFd);
}

void StopSignal::Request() {
    m_requested.store(true, std::memory_order_release);
    if (m_eventFd >= 0) {
        const std::uint64_t one = 1;
        // A full counter still leaves the descriptor readable, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(m_eventFd, &one, sizeof one);
    }
}

StopSignal::WaitResult StopSignal::Wait(int fd, short events, int timeoutMs) const {
    const std::int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    for (;;) {
        if (Requested())
            return {Wake::Stopped, 0, 0};
        const std::int64_t left = std::max<std::int64_t>(deadline - NowMs(), 0);
        int slice = static_cast<int>(left);
        if (m_eventFd < 0)
            slice = std::min(slice, kFallbackSliceMs);
        pollfd fds[2] = {{fd, events, 0}, {m_eventFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_eventFd >= 0 ? 2 : 1, slice);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return {Wake::Failed, 0, errno};
        }
        if (fds[1].revents != 0 || Requested())
            return {Wake::Stopped, 0, 0};
        if (fds[0].revents != 0)
            return {Wake::Ready, fds[0].revents, 0};
        if (left == 0 || NowMs() >= deadline)
            return {Wake::TimedOut, 0, 0};
    }
}

} // namespace tevro
