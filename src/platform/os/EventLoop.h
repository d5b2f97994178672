// A plain main-thread event loop for front ends without a toolkit of their
// own (the command line, tests): runs posted calls in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/os/Thread.h"

namespace quorvane::platform {

class TEventLoop : public IMainThreadDispatcher {
public:
    // The thread that constructs the loop is its main thread.
    TEventLoop();

    void Post(std::function<void()> Call) override;
    bool IsMainThread() const override;

    // Runs posted calls until Done returns true. Done is checked after each
    // call and at least every Tick, so it may watch flags set elsewhere.
    void RunUntil(const std::function<bool()>& Done,
                  std::chrono::milliseconds Tick = std::chrono::milliseconds(50));

private:
    std::thread::id MainThreadId;
    std::mutex Lock;
    std::condition_variable Posted;
    std::deque<std::function<void()>> Calls;
};

}  // namespace quorvane::platform
