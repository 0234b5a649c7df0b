// Thread-safe look-ups through getaddrinfo/getnameinfo, abandoned (not cancelled) on a stop request.
#include "engine/Resolver.h"

#include <arpa/inet.h>
#include <cstring>
#include <functional>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tevro {
namespace {

// Result slot shared by the waiting worker and the helper thread; whichever lets go last frees it.
template <typename T> struct Pending {
    std::mutex mutex;
    std::optional<T> value;
    int doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~Pending() {
        if (doneFd >= 0)
            ::close(doneFd);
    }
};

// Runs lookup on a helper thread and waits for it or for a stop; nothing when stopped.
template <typename T> std::optional<T> RunAbandonable(std::function<T()> lookup, const StopSignal& stop) {
    auto pending = std::make_shared<Pending<T>>();
    if (pending->doneFd < 0)
        return lookup(); // no descriptor to wait on: look up in place
    try {
        std::thread([pending, lookup = std::move(lookup)] {
            T value = lookup();
            {
                std::lock_guard lock(pending->mutex);
                pending->value = std::move(value);
            }
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(pending->doneFd, &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        return lookup(); // no thread to be had: look up in place
    }
    for (;;) {
        const auto wait = stop.Wait(pending->doneFd, POLLIN, 1000);
        if (wait.wake == StopSignal::Wake::Stopped)
            return std::nullopt;
        std::lock_guard lock(pending->mutex);
        if (pending->value)
            return std::move(pending->value);
    }
}

class PosixResolver final : public Resolver {
public:
    HostLookup ByName(const std::string& name, const StopSignal& stop) override {
        return LookupAbandonable(name, 0, stop);
    }

    HostLookup ByNameOfficial(const std::string& name, const StopSignal& stop) override {
        return LookupAbandonable(name, AI_CANONNAME, stop);
    }

    std::optional<std::string> ByAddress(const HostAddress& address, const StopSignal& stop) override {
        auto found = RunAbandonable<std::optional<std::string>>([address] { return Reverse(address); }, stop);
        if (!found)
            return std::nullopt;
        return *found;
    }

private:
    static HostLookup LookupAbandonable(const std::string& name, int flags, const StopSignal& stop) {
        auto found = RunAbandonable<HostLookup>([name, flags] { return Lookup(name, flags); }, stop);
        if (!found)
            return {kLookupStopped, {}, {}};
        return *found;
    }

    static HostLookup Lookup(const std::string& name, int flags) {
        // Both families in one look-up, so an unanswering name server is waited for once. A name
        // with an IPv4 address gets that address, as it always did; only one without gets its IPv6.
        // No AI_ADDRCONFIG: on a machine with only loopback it would make "localhost" fail.
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_RAW;
        hints.ai_flags = flags;
        addrinfo* list = nullptr;
        const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
        if (status != 0)
            return {status, {}, {}};
        HostLookup found{EAI_NONAME, {}, {}};
        for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
            const auto address = FromSockaddr(ai->ai_addr, ai->ai_addrlen);
            if (!address)
                continue;
            if (address->family == IpFamily::V4) {
                found = {0, *address, {}};
                break;
            }
            if (found.status != 0)
                found = {0, *address, {}};
        }
        // The canonical name comes with the first entry only.
        if (found.status == 0 && (flags & AI_CANONNAME) != 0 && list->ai_canonname != nullptr)
            found.name = list->ai_canonname;
        ::freeaddrinfo(list);
        return found;
    }

    static std::optional<std::string> Reverse(const HostAddress& address) {
        sockaddr_storage storage{};
        const socklen_t length = ToSockaddr(address, storage);
        char host[NI_MAXHOST] = {};
        if (::getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, host, sizeof host, nullptr, 0,
                          NI_NAMEREQD) != 0)
            return std::nullopt;
        return std::string(host);
    }
};

} // namespace

std::shared_ptr<Resolver> SystemResolver() {
    static const auto resolver = std::make_shared<PosixResolver>();
    return resolver;
}

} // namespace tevro
