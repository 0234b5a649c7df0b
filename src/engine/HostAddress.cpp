// Address values, their text and socket-address forms, and IPv6 literals.
#include "engine/HostAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <iterator>
#include <netdb.h>
#include <netinet/in.h>

namespace tevro {

HostAddress HostAddress::Ipv4(std::uint32_t networkOrder) {
    HostAddress a;
    std::memcpy(a.bytes.data(), &networkOrder, sizeof networkOrder);
    return a;
}

std::uint32_t HostAddress::Ipv4() const {
    std::uint32_t a = 0;
    if (family == IpFamily::V4)
        std::memcpy(&a, bytes.data(), sizeof a);
    return a;
}

HostAddress WithoutIpv4Mapping(const HostAddress& address) {
    static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (address.family != IpFamily::V6 ||
        !std::equal(std::begin(kMapped), std::end(kMapped), address.bytes.begin()))
        return address;
    std::uint32_t v4 = 0;
    std::memcpy(&v4, address.bytes.data() + 12, sizeof v4);
    return HostAddress::Ipv4(v4);
}

std::string AddressText(const HostAddress& address) {
    sockaddr_storage storage{};
    const socklen_t length = ToSockaddr(address, storage);
    // Numeric getnameinfo rather than inet_ntop: it writes the zone too.
    char text[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST) != 0)
        return {};
    return text;
}

socklen_t ToSockaddr(const HostAddress& address, sockaddr_storage& out) {
    out = {};
    if (address.family == IpFamily::V4) {
        auto& in = reinterpret_cast<sockaddr_in&>(out);
        in.sin_family = AF_INET;
        std::memcpy(&in.sin_addr, address.bytes.data(), 4);
        return sizeof(sockaddr_in);
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, address.bytes.data(), 16);
    in6.sin6_scope_id = address.scope;
    return sizeof(sockaddr_in6);
}

std::optional<HostAddress> FromSockaddr(const sockaddr* address, socklen_t length) {
    if (!address)
        return std::nullopt;
    HostAddress a;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        std::memcpy(a.bytes.data(), &in.sin_addr, 4);
        return a;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        a.family = IpFamily::V6;
        std::memcpy(a.bytes.data(), &in6.sin6_addr, 16);
        a.scope = in6.sin6_scope_id;
        return a;
    }
    return std::nullopt;
}

bool LooksLikeIpv6(const std::string& host) {
    return host.find(':') != std::string::npos;
}

Ipv6Literal ParseIpv6Literal(const std::string& host) {
    std::string text = host;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    // Numeric only: no name server is asked, so this never blocks. It also turns a zone name into
    // its interface index.
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    Ipv6Literal literal;
    literal.status = ::getaddrinfo(text.c_str(), nullptr, &hints, &list);
    if (literal.status != 0)
        return literal;
    const auto address = list ? FromSockaddr(list->ai_addr, list->ai_addrlen) : std::nullopt;
    ::freeaddrinfo(list);
    if (address)
        literal.address = *address;
    else
        literal.status = EAI_NONAME;
    return literal;
}

} // namespace tevro
