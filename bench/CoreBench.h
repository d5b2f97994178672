// The encoder alone on generated frames, against libavcodec's Screen Video
// encoder given the same frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "bench/ScreenFrames.h"
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

// The frames a run encodes, 24-bit; frame Index always renders the same
// picture, and rendering is never timed.
struct Workload {
    int Width;
    int Height;
    std::function<void(int Index, FrameBuffer& Frame)> Render;
};

// The generated desktop of ScreenFrameGenerator.
Workload ScreenWorkload(int Width, int Height);

// Camera-like: ffmpeg's mandelbrot zoom, every pixel changing in every
// frame, a detailed picture that Screen Video compresses to about a quarter
// of its raw size. Frames is how many are made (in Folder, once).
Workload CameraWorkload(const std::filesystem::path& Folder, int Width, int Height, int Frames);

// Writes Output and returns its figures.
Figures EncodeWithOurs(const CoreRun& Run, const Workload& Source, int Frames,
                       const std::filesystem::path& Output);

// libavcodec's flashsv: 64x64 blocks, zlib level 9, one key frame, one thread.
Figures EncodeWithTheirs(const Workload& Source, int Frames);

constexpr int CoreBitRateKilobits = 4000;
constexpr int CoreQualityTolerance = 25;  // about 10 % of a channel
constexpr int CoreQualityBlockTolerance = 2;

}  // namespace quorvane::bench
