// Millisecond wall clock for speed and remaining-time figures.
#pragma once

#include <cstdint>

namespace quorvane::platform {

// Milliseconds of a monotonic clock; differences are taken modulo 2^32.
uint32_t timeGetTime();

// Has timeGetTime answer with Source's readings instead (nullptr: the
// system clock again), for a program that must know which readings the
// figures were made from.
void SetTimeSource(uint32_t (*Source)());

// The clock always has 1 ms resolution here; these only keep the calls
// balanced and return 0.
uint32_t timeBeginPeriod(uint32_t Period);
uint32_t timeEndPeriod(uint32_t Period);

}  // namespace quorvane::platform
