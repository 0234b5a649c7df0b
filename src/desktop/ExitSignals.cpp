// The handler only writes the signal number to a pipe (write() is async-signal-safe); the event loop
// reads it and emits ExitRequested where any Qt call is allowed.
#include "desktop/ExitSignals.h"

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tevro {
namespace {

constexpr std::array<int, 3> kExitSignals{SIGTERM, SIGINT, SIGHUP};

std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free fd");
std::array<struct sigaction, kExitSignals.size()> g_previous{};

extern "C" void OnExitSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    const int fd = g_writeFd.load();
    if (fd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(fd, &byte, 1); // a full pipe already has one queued
    errno = savedErrno;
}

} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    if (g_writeFd.load() >= 0)
        return; // another object owns the handlers
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    g_writeFd.store(fds[1]);

    struct sigaction action {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kExitSignals.size(); ++i)
        ::sigaction(kExitSignals[i], &action, &g_previous[i]);

    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::ReadPending);
    m_installed = true;
}

ExitSignals::~ExitSignals() {
    if (!m_installed)
        return;
    for (std::size_t i = 0; i < kExitSignals.size(); ++i)
        ::sigaction(kExitSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_writeFd.exchange(-1));
    ::close(m_readFd);
}

void ExitSignals::ReadPending() {
    unsigned char byte = 0;
    while (::read(m_readFd, &byte, 1) == 1)
        Q_EMIT ExitRequested(byte);
}

} // namespace tevro
