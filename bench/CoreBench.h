// The encoder alone on generated screen frames, against libavcodec's Screen
// Video encoder given the same frames.
#pragma once

#include <cstdint>
#include <filesystem>

#include "encoder/ScreenVideoEncoder.h"

namespace quorvane::bench {

struct Figures {
    double Seconds = 0;  // in the encode calls only
    uint64_t Bytes = 0;  // of the FLV file, or what it would be
};

struct CoreRun {
    CompressionModes Mode;
    uint32_t BlockWidth;
    uint32_t BlockHeight;
    EncoderEngine Engine;
};

// Writes Output and returns its figures.
Figures EncodeWithOurs(const CoreRun& Run, int Width, int Height, int Frames,
                       const std::filesystem::path& Output);

// libavcodec's flashsv: 64x64 blocks, zlib level 9, one key frame, one thread.
Figures EncodeWithTheirs(int Width, int Height, int Frames);

constexpr int CoreBitRateKilobits = 4000;
constexpr int CoreQualityTolerance = 25;  // about 10 % of a channel
constexpr int CoreQualityBlockTolerance = 2;

}  // namespace quorvane::bench
