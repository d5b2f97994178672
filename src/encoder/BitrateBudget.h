// The byte budget of an inter frame in bitrate mode.
#pragma once

#include <cstdint>

namespace quorvane {

// BitRate kilobits (1024 bits) per second over the time since the previous
// frame, in bytes. For 0 <= BitRate < 4194304 the result is that of 32-bit
// unsigned BitRate * 1024 times the signed elapsed time in 64 bits, divided
// by 8000 and cut to 32 bits (so a negative elapsed time gives a very large
// budget). Other rates are computed exactly and clamped to 0..0xFFFFFFFF.
uint32_t FrameBudget(int32_t BitRate, int32_t Timestamp, int32_t PreviousTimestamp);

}  // namespace quorvane
