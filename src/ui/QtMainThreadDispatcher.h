// Runs the job's main-thread calls (Synchronize, its termination event) in
// the Qt event loop.
#pragma once

#include "platform/os/Thread.h"

namespace quorvane {

class TQtMainThreadDispatcher : public platform::IMainThreadDispatcher {
public:
    // The QApplication's thread is the main thread.
    void Post(std::function<void()> Call) override;
    bool IsMainThread() const override;
};

}  // namespace quorvane
