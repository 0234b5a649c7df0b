// The path trace over the scripted socket layer: when it stops, what each hop sends, the time it takes,
// and reverse names that do not come in time.
#include "engine/TracePath.h"

#include "FakePing.h"
#include "engine/IcmpEcho.h"
#include "support/QtPrinters.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <poll.h>

using namespace tevro;
using namespace tevro::testing;

namespace {

// A name server that never answers: every look-up waits until it is abandoned.
class SilentNameServer final : public Resolver {
public:
    std::atomic<int> asked{0};
    std::atomic<int> abandoned{0};
    HostLookup ByName(const std::string&, const StopSignal&) override { return {-3, {}, {}}; }
    std::optional<std::string> ByAddress(const HostAddress&, const StopSignal& stop) override {
        ++asked;
        while (stop.Wait(-1, POLLIN, 60000).wake != StopSignal::Wake::Stopped) {
        }
        ++abandoned;
        return "too-late.example";
    }
};

TEST(TracePathTest, ThroughSilentHopsItTakesAboutThirtySecondsAndStopsAtThirtyHops) {
    // Two silent hops, then a router that answers after 900 ms, over and over: never three silent
    // hops in a row, so only the hop limit ends it.
    FakeWorld world;
    for (int hop = 1; hop <= 31; ++hop)
        world.network->tries.push_back(hop % 3 == 0 ? FakeTry{{}, {IcmpError(900, kIcmpTimeExceeded)}}
                                                    : Unanswered());
    const std::uint32_t before = world.clock->NowMs();
    const StopSignal stop;
    const TraceResult r = TracePath(QStringLiteral("192.0.2.7"), world.Environment(), stop);

    EXPECT_EQ(r.end, TraceResult::End::HopLimit);
    EXPECT_EQ(world.clock->NowMs() - before, 20u * 1000 + 10 * 900);
    // One socket per hop, with its time-to-live; the sequence number is the hop's.
    ASSERT_EQ(world.network->sent.size(), 30u);
    EXPECT_EQ(world.network->openedFamilies.size(), 30u);
    EXPECT_EQ(world.network->openedTtl, 30);
    EXPECT_EQ(world.network->openedTimeOut, 1000);
    for (std::uint16_t hop = 1; hop <= 30; ++hop)
        EXPECT_EQ(Get16(world.network->sent[hop - 1].icmp, 6), hop);
    const QStringList lines = TraceReport(r).split(QStringLiteral("\r\n\t"));
    ASSERT_EQ(lines.size(), 32);
    EXPECT_EQ(lines[0], QStringLiteral("Path to 192.0.2.7 when it stopped answering:"));
    EXPECT_EQ(lines[1], QStringLiteral("1  *"));
    EXPECT_EQ(lines[3], QStringLiteral("3  198.51.100.1  900 ms"));
    EXPECT_EQ(
        lines[31],
        QStringLiteral("Last answering hop: 30 (198.51.100.1); the host was not reached within 30 hops"));
}

TEST(TracePathTest, TheHostAnswersAndNamesThatDoNotComeInTimeAreLeftOut) {
    FakeWorld world;
    auto names = std::make_shared<SilentNameServer>();
    world.network->kind = IcmpSocketKind::Datagram;
    FakeEvent expired = IcmpError(3, kIcmp6TimeExceeded);
    expired.source = Ip("fd00::99"); // the router, as the ping socket's error queue names it
    world.network->tries = {{{}, {expired}}, Unanswered(), {{}, {DatagramReply(7, 61)}}};
    PingEnvironment env = world.Environment();
    env.resolver = names;
    const StopSignal stop;
    const TraceResult r = TracePath(QStringLiteral("[fd00::7]"), env, stop);

    EXPECT_EQ(r.end, TraceResult::End::Reached);
    EXPECT_EQ(names->asked, 2);
    EXPECT_EQ(names->abandoned, 2) << "the trace waits for no name";
    EXPECT_EQ(TraceReport(r), QStringLiteral("Path to fd00::7 when it stopped answering:\r\n"
                                             "\t1  fd00::99  3 ms\r\n"
                                             "\t2  *\r\n"
                                             "\t3  fd00::7  7 ms\r\n"
                                             "\tLast answering hop: 3 (fd00::7), the host itself"));
    EXPECT_EQ(LastAnsweringHop(r), QStringLiteral("Last answering hop: 3 (fd00::7)"));
}

} // namespace
