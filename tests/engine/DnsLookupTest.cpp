// The lookup's direction, its socket-library pairing and its threads, over a scripted resolver.
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

std::uint32_t Address(const char* dotted) {
    return ::inet_addr(dotted);
}

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
    };
    for (const auto& c : cases) {
        const LookupPlan plan = PlanLookup(c.text);
        EXPECT_EQ(plan.reverse, c.reverse) << c.text;
        if (c.reverse) {
            EXPECT_EQ(plan.address, Address(c.address)) << c.text;
        }
    }
}

TEST(DnsLookup, EverySuccessfulStartIsPairedWithOneShutdown) {
    using Kind = LookupAnswer::Kind;
    FakeResolver resolver;
    resolver.names["seven.test"] = Address("10.0.0.7");
    resolver.reverse[Address("10.0.0.7")] = "seven.test";
    StopSignal stop;
    const struct {
        const char* host;
        SocketVersion grant;
        Kind kind;
        int status;
        const char* name;
        const char* address;
    } cases[] = {
        {"seven.test", {1, 1}, Kind::NameResolved, 0, "seven.test", "10.0.0.7"},
        {"10.0.0.7", {1, 1}, Kind::AddressResolved, 0, "seven.test", "10.0.0.7"},
        {"10.0.0.9", {1, 1}, Kind::AddressUnnamed, 0, "", "10.0.0.9"},
        {"nowhere.test", {1, 1}, Kind::NameFailed, -2, "", ""},
        {"seven.test", {2, 1}, Kind::LibraryUnusable, 0, "", ""}, // granted, but not 1.1
        {"seven.test", {1, 0}, Kind::LibraryUnusable, 0, "", ""},
    };
    for (const auto& c : cases) {
        FakeSocketLibrary library;
        library.grant = c.grant;
        const LookupAnswer a = LookUpHost(c.host, library, resolver, stop);
        EXPECT_EQ(a.kind, c.kind) << c.host;
        EXPECT_EQ(a.status, c.status) << c.host;
        EXPECT_EQ(a.name, c.name) << c.host;
        EXPECT_EQ(a.address, c.address) << c.host;
        EXPECT_EQ(library.startups.load(), 1) << c.host;
        EXPECT_EQ(library.cleanups.load(), 1) << c.host;
    }
    FakeSocketLibrary failing;
    failing.fail = true;
    EXPECT_EQ(LookUpHost("seven.test", failing, resolver, stop).kind, Kind::LibraryUnusable);
    EXPECT_EQ(failing.cleanups.load(), 0) << "a start that failed is not shut down";
}

TEST(DnsLookup, RunnerAnswersOnTheContextsThreadAndNotAfterShutdown) {
    auto library = std::make_shared<FakeSocketLibrary>();
    library->grant = {1, 1};
    auto resolver = std::make_shared<GatedResolver>();
    resolver->answers.names["seven.test"] = Address("10.0.0.7");
    QObject context;
    std::vector<LookupAnswer> answers;
    bool onContextThread = true;
    auto done = [&](const LookupAnswer& a) {
        onContextThread = onContextThread && QThread::currentThread() == context.thread();
        answers.push_back(a);
    };

    LookupRunner runner(library, resolver);
    runner.Start("seven.test", &context, done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resolver->waiting.load() == 1; }, 5000));
    resolver->open = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 1; }, 5000));
    EXPECT_TRUE(onContextThread);
    EXPECT_EQ(answers[0].address, "10.0.0.7");

    // A lookup that ignores the stop is abandoned once the time is up; its answer never arrives.
    resolver->open = false;
    resolver->ignoreStop = true;
    runner.Start("seven.test", &context, done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return resolver->waiting.load() == 1; }, 5000));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(runner.Shutdown(200));
    EXPECT_LT(elapsed.elapsed(), 1000);
    resolver->open = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return runner.Running() == 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(answers.size(), 1u);
    EXPECT_EQ(library->startups.load(), library->cleanups.load());
}

} // namespace
