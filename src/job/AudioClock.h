// The timestamps of MP3 frames copied into audio tags.
#pragma once

#include <cstdint>

namespace quorvane {

// The start of frame FrameIndex (0 for the first) of a stream of frames of
// SamplesPerFrame samples at SampleRate Hz, in whole milliseconds rounded
// down. Exact in 64 bits for any stream length.
uint64_t AudioFrameTime(uint64_t FrameIndex, uint32_t SamplesPerFrame, uint32_t SampleRate);

// Times each frame from the number of frames before it instead of adding up
// rounded frame durations, so a timestamp is never more than 1 ms before its
// sound, however long the stream. A change of frame duration midway (frames
// of another sampling rate) starts a new count from the time reached, so
// time never goes back.
class TAudioClock {
public:
    // The timestamp of the next frame.
    uint64_t Now() const;

    // Counts one frame of SamplesPerFrame samples at SampleRate Hz.
    void CountFrame(uint32_t SamplesPerFrame, uint32_t SampleRate);

private:
    uint64_t CountStart = 0;  // the time the current count started at
    uint64_t FramesCounted = 0;
    uint32_t SamplesPerFrame = 0;
    uint32_t SampleRate = 0;
};

}  // namespace quorvane
