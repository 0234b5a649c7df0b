// rtnetlink requests answered by the kernel itself: no daemon, no name look-up, nothing that can hang
// beyond the receive time-out that guards every request.
#include "engine/RouteCheck.h"

#include <cerrno>
#include <cstring>
#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tevro {
namespace {

constexpr int kReceiveTimeoutMs = 1000;

// The netlink macros cast in the old style; these do the same arithmetic without.
constexpr std::size_t Align(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}
constexpr std::size_t kHeaderSpace = Align(sizeof(nlmsghdr));

template <typename T> const T* Body(const nlmsghdr* message) {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(message) + kHeaderSpace);
}

// One netlink socket for the questions of one check, closed with it.
class Netlink {
public:
    Netlink() {
        m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (m_fd < 0) {
            m_error = std::string("netlink socket: ") + std::strerror(errno);
            return;
        }
        timeval timeout{kReceiveTimeoutMs / 1000, (kReceiveTimeoutMs % 1000) * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~Netlink() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Netlink(const Netlink&) = delete;
    Netlink& operator=(const Netlink&) = delete;

    const std::string& Error() const { return m_error; }

    // Sends `request` (its header's length, type and flags filled in) and calls `each` for every answer
    // message of it until the kernel is done. Returns 0, or the errno the kernel or the socket gave.
    template <typename Each> int Ask(std::vector<char>& request, Each&& each) {
        if (m_fd < 0)
            return EBADF;
        auto* header = reinterpret_cast<nlmsghdr*>(request.data());
        header->nlmsg_seq = ++m_sequence;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) < 0)
            return errno;
        const bool dump = (header->nlmsg_flags & NLM_F_DUMP) != 0;
        std::vector<char> buffer(32 * 1024);
        for (;;) {
            const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            const auto size = static_cast<std::size_t>(got);
            for (std::size_t at = 0; at + sizeof(nlmsghdr) <= size;) {
                const auto* message = reinterpret_cast<const nlmsghdr*>(buffer.data() + at);
                if (message->nlmsg_len < sizeof(nlmsghdr) || message->nlmsg_len > size - at)
                    break;
                at += Align(message->nlmsg_len);
                if (message->nlmsg_seq != m_sequence)
                    continue; // an answer to an earlier question that timed out
                if (message->nlmsg_type == NLMSG_DONE)
                    return 0;
                if (message->nlmsg_type == NLMSG_ERROR)
                    return -Body<nlmsgerr>(message)->error; // 0 is an acknowledgement
                each(message);
                if (!dump)
                    return 0;
            }
        }
    }

private:
    int m_fd = -1;
    std::uint32_t m_sequence = 0;
    std::string m_error;
};

template <typename Fixed>
std::vector<char> Request(std::uint16_t type, std::uint16_t flags, const Fixed& body) {
    std::vector<char> request(kHeaderSpace + Align(sizeof(Fixed)));
    auto* header = reinterpret_cast<nlmsghdr*>(request.data());
    header->nlmsg_len = static_cast<std::uint32_t>(request.size());
    header->nlmsg_type = type;
    header->nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | flags);
    std::memcpy(request.data() + kHeaderSpace, &body, sizeof body);
    return request;
}

void AddAttribute(std::vector<char>& request, std::uint16_t type, const void* data, std::size_t size) {
    const std::size_t at = Align(request.size());
    const std::size_t length = Align(sizeof(rtattr)) + size;
    request.resize(at + Align(length));
    rtattr attribute{static_cast<std::uint16_t>(length), type};
    std::memcpy(request.data() + at, &attribute, sizeof attribute);
    std::memcpy(request.data() + at + Align(sizeof(rtattr)), data, size);
    reinterpret_cast<nlmsghdr*>(request.data())->nlmsg_len = static_cast<std::uint32_t>(request.size());
}

// Calls `each(type, data, size)` for the attributes after a message's fixed part.
template <typename Fixed, typename Each> void Attributes(const nlmsghdr* message, Each&& each) {
    const char* bytes = reinterpret_cast<const char*>(message);
    const std::size_t end = message->nlmsg_len;
    for (std::size_t at = kHeaderSpace + Align(sizeof(Fixed)); at + sizeof(rtattr) <= end;) {
        const auto* attribute = reinterpret_cast<const rtattr*>(bytes + at);
        if (attribute->rta_len < sizeof(rtattr) || attribute->rta_len > end - at)
            break;
        each(attribute->rta_type, bytes + at + Align(sizeof(rtattr)),
             attribute->rta_len - Align(sizeof(rtattr)));
        at += Align(attribute->rta_len);
    }
}

std::optional<HostAddress> AddressFrom(int family, const void* data, std::size_t size) {
    HostAddress address;
    if (family == AF_INET && size == 4) {
        address.family = IpFamily::V4;
    } else if (family == AF_INET6 && size == 16) {
        address.family = IpFamily::V6;
    } else {
        return std::nullopt;
    }
    std::memcpy(address.bytes.data(), data, size);
    return address;
}

bool LinkLocal(const HostAddress& address) {
    return address.family == IpFamily::V6 && address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
}

class SystemRoutes final : public RouteTable {
public:
    RouteAnswer Route(const HostAddress& destination) override {
        RouteAnswer answer;
        Netlink netlink;
        if (!netlink.Error().empty()) {
            answer.error = netlink.Error();
            return answer;
        }
        const bool v6 = destination.family == IpFamily::V6;
        rtmsg route{};
        route.rtm_family = v6 ? AF_INET6 : AF_INET;
        route.rtm_dst_len = v6 ? 128 : 32;
        std::vector<char> request = Request(RTM_GETROUTE, 0, route);
        AddAttribute(request, RTA_DST, destination.bytes.data(), v6 ? 16 : 4);
        if (destination.scope != 0) {
            const std::uint32_t link = destination.scope;
            AddAttribute(request, RTA_OIF, &link, sizeof link);
        }
        bool got = false;
        const int error = netlink.Ask(request, [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWROUTE)
                return;
            got = true;
            const auto* found = Body<rtmsg>(message);
            std::optional<HostAddress> gateway;
            Attributes<rtmsg>(message, [&](int type, const void* data, std::size_t size) {
                if (type == RTA_OIF && size == sizeof(std::uint32_t)) {
                    std::uint32_t link = 0;
                    std::memcpy(&link, data, sizeof link);
                    answer.interfaceIndex = static_cast<int>(link);
                } else if (type == RTA_GATEWAY) {
                    gateway = AddressFrom(found->rtm_family, data, size);
                } else if (type == RTA_VIA && size > sizeof(rtvia)) {
                    // An IPv4 route through an IPv6 next hop.
                    const auto* via = static_cast<const rtvia*>(data);
                    gateway = AddressFrom(via->rtvia_family, via->rtvia_addr, size - sizeof(rtvia));
                }
            });
            switch (found->rtm_type) {
            case RTN_UNICAST:
            case RTN_LOCAL:
                answer.kind = gateway ? RouteAnswer::Kind::Gateway : RouteAnswer::Kind::Direct;
                break;
            default: // unreachable, prohibit, blackhole, throw
                answer.kind = RouteAnswer::Kind::NoRoute;
                break;
            }
            if (gateway) {
                answer.gateway = *gateway;
                if (LinkLocal(answer.gateway))
                    answer.gateway.scope = static_cast<std::uint32_t>(answer.interfaceIndex);
            }
        });
        switch (error) {
        case 0:
            if (!got)
                answer.error = "no answer from the routing table";
            break;
        // What the kernel says for no route, an unreachable or prohibit route, and a blackhole route.
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EACCES:
        case EINVAL:
            answer.kind = RouteAnswer::Kind::NoRoute;
            break;
        default:
            answer.kind = RouteAnswer::Kind::Failed;
            answer.error = std::string("route look-up: ") + std::strerror(error);
            break;
        }
        return answer;
    }

    LinkAnswer Link(int interfaceIndex) override {
        LinkAnswer answer;
        Netlink netlink;
        ifinfomsg link{};
        link.ifi_family = AF_UNSPEC;
        link.ifi_index = interfaceIndex;
        std::vector<char> request = Request(RTM_GETLINK, 0, link);
        netlink.Ask(request, [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWLINK)
                return;
            const auto* found = Body<ifinfomsg>(message);
            answer.found = true;
            answer.up = (found->ifi_flags & IFF_UP) != 0;
            answer.carrier = (found->ifi_flags & IFF_LOWER_UP) != 0;
            Attributes<ifinfomsg>(message, [&](int type, const void* data, std::size_t size) {
                if (type == IFLA_IFNAME)
                    answer.name.assign(static_cast<const char*>(data),
                                       ::strnlen(static_cast<const char*>(data), size));
            });
        });
        return answer;
    }

    bool HasDefaultRoute() override {
        Netlink netlink;
        for (const unsigned char family : {AF_INET, AF_INET6}) {
            rtmsg route{};
            route.rtm_family = family;
            std::vector<char> request = Request(RTM_GETROUTE, NLM_F_DUMP, route);
            bool found = false;
            netlink.Ask(request, [&](const nlmsghdr* message) {
                const auto* entry = Body<rtmsg>(message);
                found = found || (message->nlmsg_type == RTM_NEWROUTE && entry->rtm_dst_len == 0 &&
                                  entry->rtm_type == RTN_UNICAST);
            });
            if (found)
                return true;
        }
        return false;
    }
};

std::string Text(const HostAddress& address) {
    return AddressText(address);
}

} // namespace

std::unique_ptr<RouteTable> SystemRouteTable() {
    return std::make_unique<SystemRoutes>();
}

std::string GatewaySilentReason(const HostAddress& gateway) {
    return "the gateway " + Text(gateway) + " does not answer";
}

LocalSide CheckLocalSide(RouteTable& table, const HostAddress& destination) {
    LocalSide side;
    const RouteAnswer route = table.Route(destination);
    switch (route.kind) {
    case RouteAnswer::Kind::Failed:
        side.reason = route.error;
        return side;
    case RouteAnswer::Kind::NoRoute:
        side.state = LocalSide::State::Down;
        side.reason = "no route to " + Text(destination);
        side.noRoute = true;
        return side;
    case RouteAnswer::Kind::Direct:
    case RouteAnswer::Kind::Gateway:
        break;
    }
    // A link without carrier keeps its routes; its state tells more than a gateway's silence would.
    const LinkAnswer link = table.Link(route.interfaceIndex);
    if (!link.found)
        return side;
    if (!link.up || !link.carrier) {
        side.state = LocalSide::State::Down;
        side.reason = "the link " + link.name + " is down";
        return side;
    }
    if (route.kind == RouteAnswer::Kind::Gateway) {
        side.state = LocalSide::State::CheckGateway;
        side.gateway = route.gateway;
        return side;
    }
    side.state = LocalSide::State::Up;
    return side;
}

} // namespace tevro
