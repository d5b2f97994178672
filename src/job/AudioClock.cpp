#include "job/AudioClock.h"

namespace quorvane {

uint64_t AudioFrameTime(uint64_t FrameIndex, uint32_t Samples, uint32_t Rate) {
    return FrameIndex * Samples * 1000 / Rate;
}

uint64_t TAudioClock::Now() const {
    return FramesCounted == 0
               ? CountStart
               : CountStart + AudioFrameTime(FramesCounted, SamplesPerFrame, SampleRate);
}

void TAudioClock::CountFrame(uint32_t Samples, uint32_t Rate) {
    // Frames of 1152 samples at 44100 Hz and 576 at 22050 Hz last as long.
    const bool SameDuration =
        SampleRate != 0 && uint64_t{Samples} * SampleRate == uint64_t{SamplesPerFrame} * Rate;
    if (!SameDuration) {
        CountStart = Now();
        FramesCounted = 0;
        SamplesPerFrame = Samples;
        SampleRate = Rate;
    }
    ++FramesCounted;
}

}  // namespace quorvane
