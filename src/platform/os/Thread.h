// A worker thread in the manner the job expects: created suspended, started
// by Resume, stopped cooperatively through Terminate/Terminated, with calls
// run on the main thread (Synchronize, OnTerminate) through a pluggable
// dispatcher so that any front end's event loop can host it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvane::platform {

// Runs calls on the front end's main thread.
class IMainThreadDispatcher {
public:
    virtual ~IMainThreadDispatcher() = default;
    // Queues Call to run on the main thread; callable from any thread.
    virtual void Post(std::function<void()> Call) = 0;
    virtual bool IsMainThread() const = 0;
};

// The process's dispatcher, installed by the front end before any thread
// starts. Not owned.
void SetMainThreadDispatcher(IMainThreadDispatcher* Dispatcher);
IMainThreadDispatcher* MainThreadDispatcher();

enum class TThreadPriority { tpIdle, tpNormal };

class TThread {
public:
    // Threads are always created suspended; Resume starts the body.
    TThread();
    // Derived classes whose members the body uses call WaitFor first in
    // their own destructor: here they are gone already.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a thread of its own. Only the first call counts.
    void Resume();
    // Asks the body to stop; it polls Terminated.
    void Terminate() { TerminateRequested = true; }
    bool Terminated() const { return TerminateRequested; }

    // Takes effect when the thread starts.
    void SetPriority(TThreadPriority Value) { Priority = Value; }

    // Runs on the main thread after Execute has returned; Sender is this.
    std::function<void(TThread* Sender)> OnTerminate;
    // After OnTerminate the object deletes itself.
    bool FreeOnTerminate = false;

protected:
    virtual void Execute() = 0;
    // Runs Method on the main thread while this thread waits; runs it at
    // once when called on the main thread. Once the object is being
    // deleted (WaitFor), calls are dropped instead.
    void Synchronize(const std::function<void()>& Method);

    // For the destructor, on the main thread: asks the body to
    // stop, drops its pending and later calls to the main thread (whose
    // thread may be the one waiting here), and waits for it to end.
    void WaitFor();

private:
    // Shared with the calls posted to the main thread, which may run after
    // the object is gone.
    struct TLifeline {
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Abandoned = false;
    };

    void Run();
    void Finished();
    bool Abandoned() const;

    std::shared_ptr<TLifeline> Lifeline = std::make_shared<TLifeline>();
    std::thread Worker;
    std::atomic<bool> TerminateRequested{false};
    TThreadPriority Priority = TThreadPriority::tpNormal;
};

}  // namespace quorvane::platform
