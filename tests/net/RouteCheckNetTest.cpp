// The kernel's routing table as the local-side check reads it over netlink, in a namespace of the test's
// own: a host on the link, a gateway for IPv4 and IPv6, a link without carrier, and no route at all.
#include "engine/RouteCheck.h"
#include "support/NetLab.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace tevro::testing {
namespace {

HostAddress Address(const char* text) {
    HostAddress address;
    address.family = std::string(text).find(':') != std::string::npos ? IpFamily::V6 : IpFamily::V4;
    ::inet_pton(address.family == IpFamily::V6 ? AF_INET6 : AF_INET, text, address.bytes.data());
    return address;
}

TEST(RouteCheckNet, RoutesGatewaysLinksAndNoRouteAsTheKernelHasThem) {
    if (!IsRoot())
        GTEST_SKIP() << "needs root: network namespaces";
    std::string error;
    const auto client = NetNamespace::Create("tvroute", "c", &error);
    if (!client)
        GTEST_SKIP() << "network namespaces are not available here: " << error;
    const auto peer = NetNamespace::Create("tvroute", "p", &error);
    ASSERT_TRUE(peer) << error;
    ASSERT_TRUE(LinkNamespaces(*client, "10.234.1.1", *peer, "10.234.1.2", &error)) << error;
    ASSERT_TRUE(LinkNamespaces(*client, "fd00:234::1", *peer, "fd00:234::2", &error)) << error;
    ASSERT_EQ(client->Exec({"ip", "route", "add", "default", "via", "10.234.1.2"}).exitCode, 0);
    ASSERT_EQ(client->Exec({"ip", "-6", "route", "add", "default", "via", "fd00:234::2"}).exitCode, 0);
    // "2: tva0    inet 10.234.1.1/24 ...": the link's name follows the index.
    const std::string shown = client->Exec({"ip", "-o", "-4", "addr", "show", "to", "10.234.1.1/32"}).output;
    const std::size_t name = shown.find(": ") + 2;
    const std::string v4Link = shown.substr(name, shown.find(' ', name) - name);

    ASSERT_TRUE(client->Enter([&] {
        const auto table = SystemRouteTable();
        EXPECT_TRUE(table->HasDefaultRoute());
        EXPECT_EQ(CheckLocalSide(*table, Address("10.234.1.2")).state, LocalSide::State::Up);
        const LocalSide v4 = CheckLocalSide(*table, Address("192.0.2.9"));
        EXPECT_EQ(v4.state, LocalSide::State::CheckGateway);
        EXPECT_EQ(AddressText(v4.gateway), "10.234.1.2");
        const LocalSide v6 = CheckLocalSide(*table, Address("2001:db8::9"));
        EXPECT_EQ(v6.state, LocalSide::State::CheckGateway);
        EXPECT_EQ(AddressText(v6.gateway), "fd00:234::2");

        // The far end goes down: the route stays, the link has no carrier.
        ASSERT_EQ(peer->Exec({"ip", "link", "set", "tvb0", "down"}).exitCode, 0);
        const LocalSide unplugged = CheckLocalSide(*table, Address("192.0.2.9"));
        EXPECT_EQ(unplugged.state, LocalSide::State::Down);
        EXPECT_EQ(unplugged.reason, "the link " + v4Link + " is down");

        ASSERT_EQ(client->Exec({"ip", "route", "del", "default"}).exitCode, 0);
        ASSERT_EQ(client->Exec({"ip", "-6", "route", "del", "default"}).exitCode, 0);
        EXPECT_FALSE(table->HasDefaultRoute());
        const LocalSide none = CheckLocalSide(*table, Address("192.0.2.9"));
        EXPECT_EQ(none.state, LocalSide::State::Down);
        EXPECT_EQ(none.reason, "no route to 192.0.2.9");
    }));
}

} // namespace
} // namespace tevro::testing
