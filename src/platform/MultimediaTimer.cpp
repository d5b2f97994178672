#include "platform/MultimediaTimer.h"

#include <chrono>

namespace quorvane::platform {

uint32_t timeGetTime() {
    using namespace std::chrono;
    const auto Now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(Now.count());
}

uint32_t timeBeginPeriod(uint32_t) { return 0; }
uint32_t timeEndPeriod(uint32_t) { return 0; }

}  // namespace quorvane::platform
