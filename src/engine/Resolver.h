// Name resolution for the ping: forward by name, reverse by address. Abstract so tests can script it.
#pragma once

#include "engine/HostAddress.h"
#include "engine/StopSignal.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tevro {

struct HostLookup {
    int status = 0; // 0, or the resolver's non-zero error code
    HostAddress address;
    std::string name; // the host's official name, from ByNameOfficial only
};

class Resolver {
public:
    virtual ~Resolver() = default;
    // Forward look-up: the IPv4 address, or for a name without one its IPv6 address. A stop request
    // ends the wait with status kLookupStopped.
    virtual HostLookup ByName(const std::string& name, const StopSignal& stop) = 0;
    // The same, with the host's official name as the user's lookup shows it; by default the name
    // looked up stands for it.
    virtual HostLookup ByNameOfficial(const std::string& name, const StopSignal& stop) {
        HostLookup found = ByName(name, stop);
        if (found.status == 0)
            found.name = name;
        return found;
    }
    // Reverse look-up of a name registered for the address; nothing when there is none (or stopped).
    virtual std::optional<std::string> ByAddress(const HostAddress& address, const StopSignal& stop) = 0;
};

// The status of a look-up abandoned for a stop request (glibc's EAI_CANCELED).
inline constexpr int kLookupStopped = -101;

// getaddrinfo / getnameinfo. They may block for many seconds on an unanswering name server and
// cannot be cancelled, so each runs on a helper thread that a stop request stops waiting for.
std::shared_ptr<Resolver> SystemResolver();

} // namespace tevro
