// An IPv4 or IPv6 address as the engine passes it around: a value type, with its text and its
// socket-address form, and the recognition of IPv6 literals in a host text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/socket.h>

namespace tevro {

enum class IpFamily : std::uint8_t { V4, V6 };

struct HostAddress {
    IpFamily family = IpFamily::V4;
    std::array<std::uint8_t, 16> bytes{}; // network byte order; IPv4 uses the first four
    std::uint32_t scope = 0;              // IPv6 zone (interface index), 0 for none

    static HostAddress Ipv4(std::uint32_t networkOrder);
    std::uint32_t Ipv4() const; // network byte order; 0 for an IPv6 address

    friend bool operator==(const HostAddress&, const HostAddress&) = default;
};

// For an IPv4-mapped IPv6 address (::ffff:192.0.2.7) the IPv4 address it holds; any other unchanged.
HostAddress WithoutIpv4Mapping(const HostAddress& address);

// "192.0.2.7", "fd00::2", "fe80::1%eth0" (the zone by interface name where it still exists).
std::string AddressText(const HostAddress& address);

// The socket address to send to; returns its length.
socklen_t ToSockaddr(const HostAddress& address, sockaddr_storage& out);
// Nothing when the family is neither IPv4 nor IPv6 or the length is short.
std::optional<HostAddress> FromSockaddr(const sockaddr* address, socklen_t length);

// A host text that can only be meant as an IPv6 address: it holds a colon, which no name does.
bool LooksLikeIpv6(const std::string& host);

struct Ipv6Literal {
    int status = 0; // 0, or getaddrinfo's error for a text that is not a valid address (or zone)
    HostAddress address;
};
// Reads "fd00::2", "[fd00::2]", "fe80::1%eth0" or "[fe80::1%2]" without any name look-up.
Ipv6Literal ParseIpv6Literal(const std::string& host);

} // namespace tevro
