// A stop request that blocking waits can see at once: an atomic flag plus an event descriptor that
// poll() watches beside the socket.
#pragma once

#include <atomic>

namespace tevro {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Request(); // any thread, any number of times
    bool Requested() const { return m_requested.load(std::memory_order_acquire); }

    enum class Wake { Ready, TimedOut, Stopped, Failed };
    struct WaitResult {
        Wake wake = Wake::TimedOut;
        short revents = 0; // of fd, when Ready
        int error = 0;     // errno, when Failed
    };
    // Waits up to timeoutMs for events on fd, returning early when a stop is requested.
    WaitResult Wait(int fd, short events, int timeoutMs) const;

private:
    std::atomic<bool> m_requested{false};
    int m_eventFd = -1; // -1 when the kernel refused one: waits then poll the flag in short slices
};

} // namespace tevro
