#include "encoder/WorkerPool.h"

#include <algorithm>
#include <utility>

namespace quorvane {

unsigned ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

WorkerPool::WorkerPool(unsigned Threads) {
    const unsigned Total = Threads == 0 ? ProcessorCount() : Threads;
    for (unsigned Slot = 1; Slot < Total; ++Slot) {
        Helpers.emplace_back([this, Slot] { Serve(Slot); });
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard Guard(Lock);
        Stopping = true;
    }
    BatchReady.notify_all();
    for (std::thread& Helper : Helpers) {
        Helper.join();
    }
}

void WorkerPool::Run(size_t Count, const Job& Work) {
    if (Helpers.empty() || Count <= 1) {
        for (size_t Index = 0; Index < Count; ++Index) {
            Work(Index, 0);
        }
        return;
    }
    {
        std::lock_guard Guard(Lock);
        Batch = &Work;
        BatchSize = Count;
        NextIndex = 0;
        ++Generation;
    }
    BatchReady.notify_all();
    TakeJobs(0);
    std::unique_lock Guard(Lock);
    BatchDone.wait(Guard, [this] { return HelpersBusy == 0; });
    Batch = nullptr;
    if (Failure) {
        std::exception_ptr Thrown = std::exchange(Failure, nullptr);
        std::rethrow_exception(Thrown);
    }
}

// A helper joins a batch only while jobs remain, so the caller never waits
// for one that the system has not run yet: on a busy machine the caller
// does the whole batch alone rather than wait.
void WorkerPool::Serve(unsigned Slot) {
    uint64_t Seen = 0;
    std::unique_lock Guard(Lock);
    for (;;) {
        BatchReady.wait(Guard, [&] { return Stopping || Generation != Seen; });
        if (Stopping) {
            return;
        }
        Seen = Generation;
        if (NextIndex >= BatchSize) {
            continue;
        }
        ++HelpersBusy;
        Guard.unlock();
        TakeJobs(Slot);
        Guard.lock();
        if (--HelpersBusy == 0) {
            BatchDone.notify_one();
        }
    }
}

void WorkerPool::TakeJobs(unsigned Slot) {
    for (size_t Index = NextIndex++; Index < BatchSize; Index = NextIndex++) {
        try {
            (*Batch)(Index, Slot);
        } catch (...) {
            std::lock_guard Guard(Lock);
            if (!Failure) {
                Failure = std::current_exception();
            }
        }
    }
}

}  // namespace quorvane
