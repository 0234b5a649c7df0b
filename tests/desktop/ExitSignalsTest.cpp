// Exit signals arrive on the event loop, and the previous handlers come back afterwards.
#include "desktop/ExitSignals.h"

#include <QSignalSpy>
#include <csignal>
#include <gtest/gtest.h>

using namespace tevro;

TEST(ExitSignalsTest, EachSignalArrivesOnTheEventLoop) {
    ExitSignals signals;
    ASSERT_TRUE(signals.IsInstalled());
    QSignalSpy spy(&signals, &ExitSignals::ExitRequested);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        spy.clear();
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(spy.count() == 1 || spy.wait(5000)) << number;
        EXPECT_EQ(spy.takeFirst().at(0).toInt(), number);
    }
}

TEST(ExitSignalsTest, OnlyOneOwnerAndPreviousHandlersRestored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &before), 0);
    {
        ExitSignals first;
        ExitSignals second;
        EXPECT_TRUE(first.IsInstalled());
        EXPECT_FALSE(second.IsInstalled());
    }
    struct sigaction after {};
    ASSERT_EQ(::sigaction(SIGHUP, &before, &after), 0);
    EXPECT_EQ(after.sa_handler, SIG_IGN);

    ExitSignals again; // the handlers can be taken over once the first owner is gone
    EXPECT_TRUE(again.IsInstalled());
}
