#include "platform/os/EventLoop.h"

namespace quorvane::platform {

TEventLoop::TEventLoop() : MainThreadId(std::this_thread::get_id()) {}

void TEventLoop::Post(std::function<void()> Call) {
    {
        std::lock_guard Guard(Lock);
        Calls.push_back(std::move(Call));
    }
    Posted.notify_one();
}

bool TEventLoop::IsMainThread() const {
    return std::this_thread::get_id() == MainThreadId;
}

void TEventLoop::RunUntil(const std::function<bool()>& Done, std::chrono::milliseconds Tick) {
    while (!Done()) {
        std::function<void()> Call;
        {
            std::unique_lock Guard(Lock);
            if (!Posted.wait_for(Guard, Tick, [this] { return !Calls.empty(); })) {
                continue;
            }
            Call = std::move(Calls.front());
            Calls.pop_front();
        }
        Call();
    }
}

}  // namespace quorvane::platform
