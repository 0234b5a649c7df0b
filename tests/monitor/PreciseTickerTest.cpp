// The cycle timer's deadline grid: early and late wake-ups, and the drift of cycle starts over a day.
#include "monitor/PreciseTicker.h"

#include "monitor/CycleSchedule.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <random>

namespace tevro {
namespace {

TEST(TickDeadlines, KeepsToTheGridWhateverTheWakeUps) {
    TickDeadlines grid;
    grid.Start(1000, 5000);
    EXPECT_EQ(grid.DelayUntilNext(1000), 5000);

    EXPECT_FALSE(grid.Fire(5999)); // early: no tick, same deadline
    EXPECT_EQ(grid.DelayUntilNext(5999), 1);

    EXPECT_TRUE(grid.Fire(6300)); // late: the next deadline is still on the grid
    EXPECT_EQ(grid.NextDeadline(), 11000);
    EXPECT_EQ(grid.DelayUntilNext(6300), 4700);

    // A stall of several periods gives one tick and the next grid point after it.
    EXPECT_TRUE(grid.Fire(28000));
    EXPECT_EQ(grid.NextDeadline(), 31000);
    EXPECT_EQ(grid.DelayUntilNext(40000), 0);
}

// A day at a 1-minute interval with every wake-up late by up to 5 % of the armed delay plus up to
// 20 ms of event-loop latency, and a 3-second stall now and then. Returns the worst distance of a
// cycle start from its ideal moment; `regrid` false models a timer re-armed from each wake-up.
qint64 WorstCycleDrift(bool regrid, qint64* lastDrift) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> coarse(0.0, 0.05);
    std::uniform_int_distribution<int> latency(0, 20);
    std::uniform_int_distribution<int> stall(0, 999);

    const int ticksPerCycle = TicksPerCycle(1);
    const qint64 cycleMs = qint64{ticksPerCycle} * kTickMs;
    TickDeadlines grid;
    qint64 now = 0;
    grid.Start(now, kTickMs);
    qint64 worst = 0;
    int ticks = 0;
    for (int cycle = 1; cycle <= 24 * 60;) {
        const qint64 delay = regrid ? grid.DelayUntilNext(now) : kTickMs;
        now += delay + static_cast<qint64>(delay * coarse(random)) + latency(random);
        if (stall(random) == 0)
            now += 3000;
        if (regrid && !grid.Fire(now))
            continue;
        if (++ticks % ticksPerCycle == 0) {
            const qint64 drift = std::llabs(now - cycle * cycleMs);
            worst = std::max(worst, drift);
            *lastDrift = drift;
            ++cycle;
        }
    }
    return worst;
}

TEST(TickDeadlines, CycleStartsDoNotDriftOverADay) {
    qint64 lastGrid = 0;
    qint64 lastNaive = 0;
    const qint64 worstGrid = WorstCycleDrift(true, &lastGrid);
    const qint64 worstNaive = WorstCycleDrift(false, &lastNaive);
    std::cout << "cycle-start drift over 1440 cycles: grid worst " << worstGrid << " ms, last " << lastGrid
              << " ms; re-armed from wake-up worst " << worstNaive << " ms, last " << lastNaive << " ms\n";
    // One wake-up's lateness at most (a stall plus 5 % plus latency), never an accumulation.
    EXPECT_LE(worstGrid, 3000 + kTickMs / 20 + 20);
    EXPECT_LE(lastGrid, 3000 + kTickMs / 20 + 20);
    // The model is one where drift does add up, or the comparison above proves nothing.
    EXPECT_GT(lastNaive, 60 * 1000);
}

// A clock whose monotonic time the test moves; the timer itself still waits on the event loop.
class SteppedClock final : public MonitorClock {
public:
    qint64 ms = 0;
    QDateTime LocalNow() const override { return QDateTime(QDate(2026, 12, 7), QTime(0, 0)); }
    qint64 MonotonicMs() const override { return ms; }
};

TEST(PreciseTicker, TicksWhenTheClockHasReachedTheDeadline) {
    SteppedClock clock;
    int ticks = 0;
    PreciseTicker ticker(clock, [&] { ++ticks; });
    ticker.Start(0); // a zero period is taken as 1 ms: armed at once
    EXPECT_TRUE(ticker.IsActive());
    EXPECT_EQ(ticker.PeriodMs(), 1);
    // The clock stands still: the wake-up is early and re-arms without a tick.
    QTest::qWait(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);
    clock.ms = 1;
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 5000);
    ticker.Stop();
    EXPECT_FALSE(ticker.IsActive());
}

TEST(PreciseTicker, ATickMayStopOrRestartItsOwnTicker) {
    SteppedClock clock;
    clock.ms = 100;
    int ticks = 0;
    PreciseTicker* self = nullptr;
    PreciseTicker restarting(clock, [&] {
        ++ticks;
        self->Start(5000);
    });
    self = &restarting;
    restarting.Start(1);
    clock.ms = 101;
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 5000);
    EXPECT_TRUE(restarting.IsActive());
    EXPECT_EQ(restarting.PeriodMs(), 5000);
    restarting.Stop();

    ticks = 0;
    PreciseTicker stopping(clock, [&] {
        ++ticks;
        self->Stop();
    });
    self = &stopping;
    stopping.Start(1);
    clock.ms = 102;
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 5000);
    EXPECT_FALSE(stopping.IsActive());
}

} // namespace
} // namespace tevro
