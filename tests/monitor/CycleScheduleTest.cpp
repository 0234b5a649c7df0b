// Cycle arithmetic, the schedule line and the slot chain.
#include "monitor/CycleSchedule.h"

#include <gtest/gtest.h>
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

} // namespace
} // namespace tevro
