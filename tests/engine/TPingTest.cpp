// TPing as a thread: hand-overs on the GUI thread in order, self-freeing, and shutdown mid-try.
#include "engine/TPing.h"

#include "FakePing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace tevro;
using namespace tevro::testing;

namespace {

struct Delivery {
    std::vector<std::string> events; // "terminate" / "done", in the order they came
    std::vector<TPing*> senders;
    bool offGuiThread = false;
    PingResult result;
};

class TPingTest : public ::testing::Test {
protected:
    PingGroup group;
    FakeWorld worlds[3];
    Delivery delivered[3];
    TPing* workers[3] = {};

    TPing* Start(int i, int timeOut = 1000) {
        worlds[i].resolver->names["host"] = Ip("192.0.2.7");
        auto* ping = new TPing(
            group, QStringLiteral("host"), timeOut, 32, 64, 2,
            [this, i](const PingResult& r) {
                Note(i, "done", r.Sender);
                delivered[i].result = r;
            },
            worlds[i].Environment());
        ping->OnTerminate = [this, i](TPing* sender) { Note(i, "terminate", sender); };
        workers[i] = ping;
        ping->Resume();
        return ping;
    }

    void Note(int i, const char* event, TPing* sender) {
        delivered[i].events.emplace_back(event);
        delivered[i].senders.push_back(sender);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            delivered[i].offGuiThread = true;
    }
};

TEST_F(TPingTest, ThreeWorkersDeliverOnTheGuiThreadAndFreeThemselves) {
    int destroyed = 0;
    for (int i = 0; i < 3; ++i) {
        worlds[i].network->tries = {Answered(10 + i), Answered(20 + i)};
        QObject::connect(Start(i), &QObject::destroyed, [&destroyed] { ++destroyed; });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed == 3; }, 10000));
    EXPECT_EQ(group.Running(), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(delivered[i].events, (std::vector<std::string>{"terminate", "done"})) << i;
        EXPECT_EQ(delivered[i].senders, (std::vector<TPing*>{workers[i], workers[i]})) << i;
        EXPECT_FALSE(delivered[i].offGuiThread) << i;
        EXPECT_EQ(delivered[i].result.ResultCode, PING_SUCCESS);
        EXPECT_EQ(delivered[i].result.MeanTime, 15 + i);
        EXPECT_EQ(worlds[i].library->cleanups, 1) << "released before the result is handed over";
    }
}

TEST_F(TPingTest, FailedStartUpStillDeliversOnce) {
    worlds[0].library->fail = true;
    Start(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return group.Running() == 0; }, 10000));
    EXPECT_EQ(delivered[0].events, (std::vector<std::string>{"terminate", "done"}));
    EXPECT_EQ(delivered[0].result.ResultCode, SOCKET_ERROR);
    EXPECT_EQ(worlds[0].network->openedTimeOut, -1) << "no socket after a failed start-up";
}

TEST_F(TPingTest, ShutdownMidTryEndsWithinASecondAndDeliversNothing) {
    std::atomic<int> blocked{0};
    for (int i = 0; i < 3; ++i) {
        worlds[i].network->tries = {{{}, {BlockUntilStopped()}}};
        worlds[i].network->onBlocked = [&blocked] { ++blocked; };
        Start(i, 8000);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocked == 3; }, 10000));

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(group.Shutdown(1000));
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(group.Running(), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(delivered[i].events.empty()) << i;
        EXPECT_EQ(worlds[i].library->cleanups, 1) << i;
    }

    // A worker made after the shutdown is stopped before it sends anything, and says nothing.
    worlds[0].network->tries = {Answered(1)};
    worlds[0].network->sent.clear();
    Start(0);
    EXPECT_TRUE(group.Shutdown(1000));
    EXPECT_TRUE(worlds[0].network->sent.empty());
    EXPECT_TRUE(delivered[0].events.empty());
}

TEST_F(TPingTest, ShutdownWhileAWorkerWaitsToHandOver) {
    // The worker has finished its tries and waits for the GUI thread, which is busy shutting down:
    // the hand-over must neither hang nor reach the owner.
    worlds[0].network->tries = {Answered(1), Answered(1)};
    Start(0);
    while (worlds[0].network->socketsClosed == 0)
        std::this_thread::yield();
    EXPECT_TRUE(group.Shutdown(1000));
    EXPECT_TRUE(delivered[0].events.empty());
}

} // namespace
