// Cycle arithmetic, the schedule line and the slot chain.
#include "monitor/CycleSchedule.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <set>
#include <vector>

namespace tevro {
namespace {

TEST(CycleSchedule, TicksPerCycleAreTwelvePerMinute) {
    EXPECT_EQ(TicksPerCycle(1), 12);
    EXPECT_EQ(TicksPerCycle(59), 708);
}

TEST(CycleSchedule, ScheduleLineCarriesBothCycleTimes) {
    EXPECT_EQ(
        ScheduleLine(QDateTime(QDate(2026, 12, 7), QTime(14, 5, 59)), 59),
        QStringLiteral("Current ping startet at 07.12.26, 14:05. Next ping scheduled at 07.12.26, 15:04."));
    // The next cycle may fall on the next day, month and year.
    EXPECT_EQ(
        ScheduleLine(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 30)), 1),
        QStringLiteral("Current ping startet at 31.12.26, 23:59. Next ping scheduled at 01.01.27, 00:00."));
}

// Runs one chain step over the given active slots and records which slots were asked.
struct Chain {
    std::set<int> active;
    std::vector<int> asked;

    int Step(int nextSlot) {
        return ChainStep(nextSlot, [this](int slot) {
            asked.push_back(slot);
            return active.count(slot) > 0;
        });
    }
};

TEST(ChainStep, StartsTheFirstActiveSlotFromWhereTheChainStands) {
    Chain all{{1, 2, 3}, {}};
    EXPECT_EQ(all.Step(1), 2);
    EXPECT_EQ(all.Step(2), 3);
    EXPECT_EQ(all.Step(3), 0);
    EXPECT_EQ(all.asked, (std::vector<int>{1, 2, 3}));
}

TEST(ChainStep, SkipsInactiveSlots) {
    Chain onlyThree{{3}, {}};
    EXPECT_EQ(onlyThree.Step(1), 0);
    EXPECT_EQ(onlyThree.asked, (std::vector<int>{1, 2, 3}));

    Chain oneAndThree{{1, 3}, {}};
    EXPECT_EQ(oneAndThree.Step(1), 2);
    EXPECT_EQ(oneAndThree.Step(2), 0);
    EXPECT_EQ(oneAndThree.asked, (std::vector<int>{1, 2, 3}));

    Chain none{{}, {}};
    EXPECT_EQ(none.Step(1), 0);
    EXPECT_EQ(none.asked, (std::vector<int>{1, 2, 3}));
}

TEST(ChainStep, AnEndedChainStartsNothing) {
    Chain all{{1, 2, 3}, {}};
    EXPECT_EQ(all.Step(0), 0);
    EXPECT_EQ(all.Step(4), 0);
    EXPECT_EQ(all.Step(-1), 0);
    EXPECT_TRUE(all.asked.empty());
}

TEST(TickGrid, ReArmsForTheNextMarkWhateverTheWakeUp) {
    TickGrid grid;
    grid.Start(1000, 5000);
    EXPECT_EQ(grid.DelayAfterTick(1000), 5000);
    EXPECT_EQ(grid.DelayAfterTick(6000), 5000);  // on time
    EXPECT_EQ(grid.DelayAfterTick(6300), 4700);  // late: the next mark stays where it was
    EXPECT_EQ(grid.DelayAfterTick(9900), 1100);  // very late, yet for its own mark
    EXPECT_EQ(grid.DelayAfterTick(5800), 5200);  // early: counts for its own mark, no double tick
    EXPECT_EQ(grid.DelayAfterTick(28000), 3000); // periods late: one tick, then back on the marks
    EXPECT_EQ(grid.DelayAfterTick(500), 5500);   // a clock that went back is taken as the start
}

// A day at a 1-minute interval: every wake-up is late by up to 5 % of what the timer was armed with
// plus up to 20 ms of event-loop latency, and one in a thousand stalls 3 s. Answers the worst distance
// of a cycle start from its ideal moment and that of the last cycle; `grid` false models a timer
// simply re-armed with the period after each wake-up.
struct Drift {
    qint64 worst = 0;
    qint64 last = 0;
};

Drift CycleStartDrift(bool grid) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> coarse(0.0, 0.05);
    std::uniform_int_distribution<int> latency(0, 20);
    std::uniform_int_distribution<int> stall(0, 999);

    const int ticksPerCycle = TicksPerCycle(1);
    const qint64 cycleMs = qint64{ticksPerCycle} * kTickMs;
    TickGrid marks;
    qint64 now = 0;
    marks.Start(now, kTickMs);
    qint64 armed = kTickMs;
    Drift drift;
    for (int tick = 1; tick <= 24 * 60 * ticksPerCycle; ++tick) {
        now += armed + static_cast<qint64>(armed * coarse(random)) + latency(random);
        if (stall(random) == 0)
            now += 3000;
        armed = grid ? marks.DelayAfterTick(now) : kTickMs;
        if (tick % ticksPerCycle == 0) {
            drift.last = std::llabs(now - tick / ticksPerCycle * cycleMs);
            drift.worst = std::max(drift.worst, drift.last);
        }
    }
    return drift;
}

TEST(TickGrid, CycleStartsDoNotDriftOverADay) {
    const Drift grid = CycleStartDrift(true);
    const Drift naive = CycleStartDrift(false);
    std::cout << "cycle-start drift over 1440 cycles: grid worst " << grid.worst << " ms, last " << grid.last
              << " ms; re-armed with the period worst " << naive.worst << " ms, last " << naive.last
              << " ms\n";
    // At most one wake-up's lateness (a stall, 5 %, the latency), never an accumulation.
    const qint64 oneWakeUp = 3000 + kTickMs / 20 + 20;
    EXPECT_LE(grid.worst, oneWakeUp);
    EXPECT_LE(grid.last, oneWakeUp);
    // The model is one where drift does add up, or the bound above proves nothing.
    EXPECT_GT(naive.last, 60 * 1000);
}

} // namespace
} // namespace tevro
