// Samples of any layout libswresample knows, converted to interleaved 16-bit
// PCM at a given rate and channel count.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/samplefmt.h>
}

struct SwrContext;

namespace quorvane::platform {

class TSampleConverter {
public:
    // False when libswresample can't do this conversion.
    bool Open(AVSampleFormat InFormat, int InChannels, int InRate, int OutChannels, int OutRate);
    bool IsOpen() const { return Context != nullptr; }
    // Planes: one per channel for planar formats, else one. Appends the
    // samples that are ready; a resampler keeps a few for the next call.
    bool Convert(const uint8_t* const* Planes, int Samples, std::vector<uint8_t>& Output);
    // Appends the samples still held.
    bool Flush(std::vector<uint8_t>& Output);

private:
    struct Deleter {
        void operator()(SwrContext* Context) const;
    };
    std::unique_ptr<SwrContext, Deleter> Context;
    int OutChannels = 0;
};

}  // namespace quorvane::platform
