#include "platform/os/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorvane::platform {

namespace {

IMainThreadDispatcher* TheDispatcher = nullptr;

void LowerCurrentThreadToIdle() {
    sched_param Param{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &Param) == 0) {
        return;
    }
    // Kernels without SCHED_IDLE: the weakest nice value still keeps the
    // front end responsive.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
}

}  // namespace

void SetMainThreadDispatcher(IMainThreadDispatcher* Dispatcher) {
    TheDispatcher = Dispatcher;
}

IMainThreadDispatcher* MainThreadDispatcher() {
    return TheDispatcher;
}

TThread::TThread() = default;

TThread::~TThread() {
    WaitFor();
}

void TThread::WaitFor() {
    Terminate();
    {
        std::lock_guard<std::mutex> Lock(Lifeline->Mutex);
        Lifeline->Abandoned = true;
    }
    Lifeline->Changed.notify_all();
    if (!Worker.joinable()) {
        return;
    }
    if (Worker.get_id() == std::this_thread::get_id()) {
        Worker.detach();
    } else {
        Worker.join();
    }
}

bool TThread::Abandoned() const {
    std::lock_guard<std::mutex> Lock(Lifeline->Mutex);
    return Lifeline->Abandoned;
}

void TThread::Resume() {
    if (!Worker.joinable()) {
        Worker = std::thread(&TThread::Run, this);
    }
}

void TThread::Run() {
    if (Priority == TThreadPriority::tpIdle) {
        LowerCurrentThreadToIdle();
    }
    // A failure escaping the body ends it; the termination event still runs.
    try {
        Execute();
    } catch (...) {
    }
    Finished();
}

void TThread::Finished() {
    // Nothing of this object may be touched on this thread once the call is
    // posted: the main thread may delete it right away.
    TheDispatcher->Post([this, Lifeline = Lifeline] {
        if (std::lock_guard<std::mutex> Lock(Lifeline->Mutex); Lifeline->Abandoned) {
            return;
        }
        if (OnTerminate) {
            OnTerminate(this);
        }
        if (FreeOnTerminate) {
            delete this;
        }
    });
}

void TThread::Synchronize(const std::function<void()>& Method) {
    if (TheDispatcher->IsMainThread()) {
        Method();
        return;
    }
    struct TCall {
        bool Done = false;
        std::exception_ptr Failure;
    };
    auto Call = std::make_shared<TCall>();
    if (Abandoned()) {
        return;
    }
    TheDispatcher->Post([Lifeline = Lifeline, Call, &Method] {
        if (std::lock_guard<std::mutex> Lock(Lifeline->Mutex); Lifeline->Abandoned) {
            return;  // the worker no longer waits: Method is gone
        }
        try {
            Method();
        } catch (...) {
            Call->Failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> Lock(Lifeline->Mutex);
            Call->Done = true;
        }
        Lifeline->Changed.notify_all();
    });
    std::unique_lock<std::mutex> Lock(Lifeline->Mutex);
    Lifeline->Changed.wait(Lock, [&] { return Call->Done || Lifeline->Abandoned; });
    if (Call->Failure) {
        std::rethrow_exception(Call->Failure);
    }
}

}  // namespace quorvane::platform
