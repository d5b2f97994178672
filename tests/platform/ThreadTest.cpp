#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/os/EventLoop.h"
#include "platform/os/Thread.h"

namespace quorvane::platform {
namespace {

class TThreadTest : public ::testing::Test {
protected:
    void SetUp() override { SetMainThreadDispatcher(&Loop); }
    void TearDown() override { SetMainThreadDispatcher(nullptr); }

    void RunUntil(const std::function<bool()>& Done) {
        Loop.RunUntil(Done, std::chrono::milliseconds(5));
    }

    TEventLoop Loop;
};

// Runs a given body; reports its destruction.
class TBodyThread : public TThread {
public:
    TBodyThread(std::function<void(TBodyThread&)> Body, bool* Destroyed = nullptr)
        : Body(std::move(Body)), Destroyed(Destroyed) {}
    ~TBodyThread() override {
        if (Destroyed) {
            *Destroyed = true;
        }
    }
    using TThread::Synchronize;

protected:
    void Execute() override { Body(*this); }

private:
    std::function<void(TBodyThread&)> Body;
    bool* Destroyed;
};

TEST_F(TThreadTest, SynchronizeRunsOnTheMainThreadWhileTheWorkerWaits) {
    std::thread::id RanOn;
    std::atomic<int> Step{0};
    bool Ended = false;
    TBodyThread Worker([&](TBodyThread& Self) {
        Self.Synchronize([&] {
            RanOn = std::this_thread::get_id();
            Step = 1;
        });
        // Only reached once the main thread has run the call.
        EXPECT_EQ(Step, 1);
        Step = 2;
    });
    Worker.OnTerminate = [&](TThread*) { Ended = true; };
    Worker.Resume();
    RunUntil([&] { return Ended; });
    EXPECT_EQ(RanOn, std::this_thread::get_id());
    EXPECT_EQ(Step, 2);
}

TEST_F(TThreadTest, SynchronizeOnTheMainThreadRunsAtOnce) {
    bool Ran = false;
    TBodyThread Never([](TBodyThread&) {});
    Never.Synchronize([&] { Ran = true; });
    EXPECT_TRUE(Ran);
}

TEST_F(TThreadTest, FreeOnTerminateDeletesAfterTheTerminationEvent) {
    bool Destroyed = false;
    bool DestroyedDuringEvent = true;
    std::thread::id EventThread;
    auto* Worker = new TBodyThread([](TBodyThread&) {}, &Destroyed);
    Worker->FreeOnTerminate = true;
    Worker->OnTerminate = [&](TThread*) {
        DestroyedDuringEvent = Destroyed;
        EventThread = std::this_thread::get_id();
    };
    Worker->Resume();
    RunUntil([&] { return Destroyed; });
    EXPECT_FALSE(DestroyedDuringEvent);
    EXPECT_EQ(EventThread, std::this_thread::get_id());
}

TEST_F(TThreadTest, TerminateIsSeenByTheBody) {
    std::atomic<bool> Started{false};
    bool Ended = false;
    TBodyThread Worker([&](TBodyThread& Self) {
        Started = true;
        while (!Self.Terminated()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Worker.OnTerminate = [&](TThread*) { Ended = true; };
    Worker.Resume();
    RunUntil([&] { return Started.load(); });
    EXPECT_FALSE(Ended);
    Worker.Terminate();
    RunUntil([&] { return Ended; });
    EXPECT_TRUE(Worker.Terminated());
}

TEST_F(TThreadTest, AFailureInTheBodyStillEndsWithTheTerminationEvent) {
    bool Ended = false;
    TBodyThread Worker([](TBodyThread&) { throw std::runtime_error("body failed"); });
    Worker.OnTerminate = [&](TThread*) { Ended = true; };
    Worker.Resume();
    RunUntil([&] { return Ended; });
    EXPECT_TRUE(Ended);
}

TEST_F(TThreadTest, IdlePriorityAppliesToTheBodyOnly) {
    int Policy = -1;
    bool Ended = false;
    TBodyThread Worker([&](TBodyThread&) { Policy = sched_getscheduler(0); });
    Worker.SetPriority(TThreadPriority::tpIdle);
    Worker.OnTerminate = [&](TThread*) { Ended = true; };
    Worker.Resume();
    RunUntil([&] { return Ended; });
    EXPECT_EQ(Policy, SCHED_IDLE);
    EXPECT_NE(sched_getscheduler(0), SCHED_IDLE);
}

// A body that reports through its own members until it is stopped.
class TReportingThread : public TThread {
public:
    ~TReportingThread() override { WaitFor(); }
    std::vector<int> Reports;  // main thread

protected:
    void Execute() override {
        while (!Terminated()) {
            Synchronize([this] { Reports.push_back(1); });
        }
    }
};

TEST_F(TThreadTest, DeletingARunningThreadWaitsForItsBodyAndDropsItsCalls) {
    auto* Worker = new TReportingThread;
    bool EventRan = false;
    Worker->OnTerminate = [&](TThread*) { EventRan = true; };
    Worker->Resume();
    RunUntil([&] { return Worker->Reports.size() >= 3; });
    delete Worker;  // while the body waits in Synchronize, or is about to
    // Whatever the body had posted must find nothing to run.
    const auto Later = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    RunUntil([&] { return std::chrono::steady_clock::now() >= Later; });
    EXPECT_FALSE(EventRan);
}

TEST_F(TThreadTest, AThreadNeverResumedRunsNothing) {
    bool Ran = false;
    {
        TBodyThread Worker([&](TBodyThread&) { Ran = true; });
    }
    EXPECT_FALSE(Ran);
}

}  // namespace
}  // namespace quorvane::platform
