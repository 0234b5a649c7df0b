// The local side of the way to a host, as the kernel's routing table sees it: the route to an address
// (as "ip route get" shows it), the state of a link, and whether a default route exists. Read through
// rtnetlink; plain C++, so the judgement of a failed round is tested without a window.
#pragma once

#include "engine/HostAddress.h"

#include <memory>
#include <string>

namespace tevro {

struct RouteAnswer {
    enum class Kind {
        Failed,  // the routing table could not be asked: nothing can be said
        NoRoute, // the kernel has no usable route to the address
        Direct,  // the address is on a link of this machine (or is this machine)
        Gateway, // through the gateway `gateway`
    };
    Kind kind = Kind::Failed;
    int interfaceIndex = 0; // the outgoing link, Direct and Gateway
    HostAddress gateway;    // Gateway; an IPv6 link-local one carries the link as its zone
    std::string error;      // Failed
};

struct LinkAnswer {
    bool found = false;
    bool up = false;      // switched on (IFF_UP)
    bool carrier = false; // and connected (IFF_LOWER_UP)
    std::string name;
};

// Abstract so tests can give a routing table of their own.
class RouteTable {
public:
    virtual ~RouteTable() = default;
    virtual RouteAnswer Route(const HostAddress& destination) = 0;
    virtual LinkAnswer Link(int interfaceIndex) = 0;
    // A route to 0.0.0.0/0 or ::/0 in any family.
    virtual bool HasDefaultRoute() = 0;
};

// The kernel's tables of the calling thread's network namespace, over a netlink socket per question.
std::unique_ptr<RouteTable> SystemRouteTable();

// What a failed host's address says about the local side of its way.
struct LocalSide {
    enum class State {
        Unknown,      // the table could not be asked: the round is judged as any other
        Up,           // the link works and the host is on it: the host's own outage
        Down,         // `reason` says why
        CheckGateway, // the link works; whether `gateway` answers decides
    };
    State state = State::Unknown;
    std::string reason;
    HostAddress gateway;
    bool noRoute = false; // Down for want of any route, which `reason` names with the address
};

LocalSide CheckLocalSide(RouteTable& table, const HostAddress& destination);

// The reason given when a gateway did not answer its echo.
std::string GatewaySilentReason(const HostAddress& gateway);

} // namespace tevro
