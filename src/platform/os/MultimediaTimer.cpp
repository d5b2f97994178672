#include "platform/os/MultimediaTimer.h"

#include <atomic>
#include <chrono>

namespace quorvane::platform {

namespace {

std::atomic<uint32_t (*)()> TimeSource{nullptr};

}  // namespace

void SetTimeSource(uint32_t (*Source)()) {
    TimeSource = Source;
}

uint32_t timeGetTime() {
    if (const auto Source = TimeSource.load()) {
        return Source();
    }
    using namespace std::chrono;
    const auto Now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(Now.count());
}

uint32_t timeBeginPeriod(uint32_t) {
    return 0;
}
uint32_t timeEndPeriod(uint32_t) {
    return 0;
}

}  // namespace quorvane::platform
