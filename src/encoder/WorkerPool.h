// A few threads that share out one batch of independent jobs at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane {

class WorkerPool {
public:
    // One job, given its index in the batch and the slot (0 to Size() - 1)
    // of the thread running it, so each slot can keep working state of its
    // own.
    using Job = std::function<void(size_t Index, unsigned Slot)>;

    // Threads counts the calling thread, which works on every batch too;
    // 0 means one per processor.
    explicit WorkerPool(unsigned Threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Size() const { return static_cast<unsigned>(Helpers.size()) + 1; }

    // Runs Work for every index below Count and returns when all are done;
    // the first exception a job threw is then rethrown.
    void Run(size_t Count, const Job& Work);

private:
    void Serve(unsigned Slot);
    void TakeJobs(unsigned Slot);

    std::mutex Lock;
    std::condition_variable BatchReady;
    std::condition_variable BatchDone;
    const Job* Batch = nullptr;
    size_t BatchSize = 0;
    std::atomic<size_t> NextIndex{0};
    unsigned HelpersBusy = 0;
    uint64_t Generation = 0;
    bool Stopping = false;
    std::exception_ptr Failure;
    std::vector<std::thread> Helpers;
};

// The processors this machine offers, at least 1.
unsigned ProcessorCount();

}  // namespace quorvane
