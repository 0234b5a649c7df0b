// The lookup's direction, and its threads over a scripted resolver.
#include "engine/DnsLookup.h"

#include "GatedResolver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

TEST(DnsLookup, DottedAddressesAreThoseInetAddrTakes) {
    const struct {
        const char* text;
        bool reverse;
        const char* address;
    } cases[] = {
        {"10.0.0.7", true, "10.0.0.7"},
        {"127.1", true, "127.0.0.1"},      // short forms
        {"0x7f.0.0.1", true, "127.0.0.1"}, // hexadecimal parts
        {"10.0.0.7 trailing", true, "10.0.0.7"},
        {"255.255.255.255", false, nullptr}, // inet_addr's failure value: looked up as a name
        {"localhost", false, nullptr},
        {"10.0.0.256", false, nullptr},
        {" 10.0.0.7", false, nullptr},
        {"", false, nullptr},
        {"fd00::2", true, "fd00::2"}, // IPv6, with or without brackets
        {"[fd00::2]", true, "fd00::2"},
        {"fd00::zz", false, nullptr}, // not an address: left to the name lookup, which refuses it
    };
    for (const auto& c : cases) {
        const LookupPlan plan = PlanLookup(c.text);
        EXPECT_EQ(plan.reverse, c.reverse) << c.text;
        if (c.reverse) {
            EXPECT_EQ(plan.address, Ip(c.address)) << c.text;
        }
    }
}

TEST(DnsLookup, Ipv6AddressesAndNamesWithoutIpv4) {
    FakeSocketLibrary library;
    library.grant = {1, 1};
    FakeResolver resolver;
    resolver.names["six"] = Ip("fd00::5");
    resolver.reverse["fd00::2"] = "two.example";
    StopSignal stop;
    const LookupAnswer name = LookUpHost("six", library, resolver, stop);
    EXPECT_EQ(name.kind, LookupAnswer::Kind::NameResolved);
    EXPECT_EQ(name.address, "fd00::5");
    const LookupAnswer address = LookUpHost("[fd00::2]", library, resolver, stop);
    EXPECT_EQ(address.kind, LookupAnswer::Kind::AddressResolved);
    EXPECT_EQ(address.name, "two.example");
    EXPECT_EQ(address.address, "fd00::2");
    EXPECT_EQ(LookUpHost("fd00::3", library, resolver, stop).kind, LookupAnswer::Kind::AddressUnnamed);
}

TEST(DnsLookup, ShutdownAbandonsALookupThatIgnoresTheStop) {
    auto library = std::make_shared<FakeSocketLibrary>();
    library->grant = {1, 1};
    auto resolver = std::make_shared<GatedResolver>();
    resolver->ignoreStop = true; // like a resolver call blocked in the C library
    QObject context;
    int answers = 0;
    LookupRunner runner(library, resolver);
    runner.Start("seven.test", &context, [&answers](const LookupAnswer&) { ++answers; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return resolver->waiting.load() == 1; }, 5000));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(runner.Shutdown(200));
    EXPECT_LT(elapsed.elapsed(), 1000);
    // When the resolver returns at last, its answer goes nowhere and the library is still released.
    resolver->open = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner.Running() == 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(answers, 0);
    EXPECT_EQ(library->cleanups.load(), 1);
}

} // namespace
