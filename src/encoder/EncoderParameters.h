// What the encoder is told: the settings of its blocks and modes, how it
// uses the machine, and the format of the frames it is given.
#pragma once

#include <cstdint>

#include "platform/types/Picture.h"

namespace quorvane {

enum CompressionModes : uint8_t { LosslessMode = 0, BitrateMode = 1, QualityMode = 2 };

struct EncoderParameters {
    uint32_t BlockWidth = 0;   // 16..256, a multiple of 16
    uint32_t BlockHeight = 0;  // 16..256, a multiple of 16
    CompressionModes CompressionMode = LosslessMode;
    int32_t BitRate = 0;  // kilobits (1024 bits) per second, BitrateMode only
    uint8_t RedTolerance = 0;
    uint8_t GreenTolerance = 0;
    uint8_t BlueTolerance = 0;
    uint8_t BlockTolerance = 0;  // percent of a block's pixels, QualityMode only
    uint8_t ColorShift = 0;      // low bits cleared in every colour byte; 0 = off
};

// zlib makes the streams at level 9; libdeflate makes them several times
// faster, a few percent larger; Smallest is libdeflate at its highest level,
// the smallest streams, at a third of zlib's speed on screen content and far
// less on camera video. All make complete zlib streams.
enum class DeflateEngine : uint8_t { Zlib, Libdeflate, Smallest };

// How the encoder spends the machine. The number of threads changes the
// speed, never the bytes.
struct EncoderEngine {
    unsigned Threads = 0;  // threads compressing blocks; 0 = one per processor
    DeflateEngine Deflate = DeflateEngine::Zlib;
};

struct FrameFormat {
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t BytesPerPixel = 0;

    bool Describes(const platform::TPicture& Picture) const {
        return Picture && Picture.Width == Width && Picture.Height == Height &&
               Picture.BytesPerPixel == BytesPerPixel;
    }
};

}  // namespace quorvane
