// The settings of one conversion, as numbers and choices. Each front end
// fills the record from its own controls or options; the job takes it as it
// is when encoding is prepared.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoder/EncoderParameters.h"
#include "platform/types/Picture.h"

namespace quorvane {

// A tolerance given in percent of the colour range, as the encoder takes
// it: 0..255, Percent x 255 div 100. Beyond 0..100 percent it is clamped.
constexpr uint8_t ToleranceFromPercent(int32_t Percent) {
    return static_cast<uint8_t>(std::clamp(Percent, 0, 100) * 255 / 100);
}

// An 8-bit setting (the frame-rate limit, the block tolerance): a value
// beyond 255 is clamped rather than wrapped, so that a frame-rate limit of
// 300 does not turn into 44.
constexpr uint8_t ClampTo8Bits(int32_t Value) {
    return static_cast<uint8_t>(std::clamp(Value, 0, 255));
}

// The colour reductions on offer, in the order the window lists them
// ("19k colors", "2k colors", "304 colors"): the low bits cleared in every
// colour byte.
constexpr uint8_t ColorShifts[] = {3, 4, 5};

enum class TAudioSource : uint8_t { None, AviAudio, Mp3File };

struct TAudioSettings {
    TAudioSource Source = TAudioSource::None;
    std::string Mp3FileName;  // the external MP3 file
    // For the video file's own audio: the MP3 format record chosen (from
    // EnumerateMP3Formats) and the PCM format its encoder takes; empty when
    // no MP3 format is offered.
    std::vector<uint8_t> MP3Format;
    std::vector<uint8_t> MP3InputFormat;
};

// The program's defaults, the window's as it opens: lossless, blocks of
// 64x32, and the values the other modes start from.
constexpr EncoderParameters DefaultEncoderParameters{
    .BlockWidth = 64,
    .BlockHeight = 32,
    .CompressionMode = LosslessMode,
    .BitRate = 250,
    .RedTolerance = ToleranceFromPercent(30),
    .GreenTolerance = ToleranceFromPercent(15),
    .BlueTolerance = ToleranceFromPercent(30),
    .BlockTolerance = 3,
    .ColorShift = 0,
};

// The part of the input converted, in milliseconds of the input's time:
// from Start, which becomes the output's time 0, to End, or to the video's
// end when there is none.
struct TRangeSettings {
    int32_t Start = 0;
    std::optional<int32_t> End;
};

// The largest picture read, each side as shown: the 8K of cameras and the
// 5K and 6K of screens, which a crop or size brings within Screen Video's
// 4095 on the way. Decoding is bounded by it too: a crafted file can't
// claim more.
constexpr int32_t LargestDecodedSide = 8192;

struct TJobSettings {
    EncoderParameters Encoder = DefaultEncoderParameters;
    TRangeSettings Range;
    int32_t KeyFrameInterval = 0;  // milliseconds of stream time; 0 = only the first frame
    uint8_t FrameRateLimit = 0;    // frames per second; 0 = no limit
    // The part of the picture as shown (turned, pixels made square) that is
    // converted, and the size it is scaled to; by default all of it at its
    // own size.
    platform::TPictureGeometry Picture;
    TAudioSettings Audio;
    // An onMetaData tag with a key frame index, through which players show
    // the duration and seek; added when the file is complete.
    bool AddMetadata = false;
    EncoderEngine Engine;  // threads and deflate engine: the speed, not the bytes
    // Whether frames are previewed; during a run the front end changes it
    // through TAVIToScreenVideoThread::SetPreviewWanted.
    bool Preview = false;
};

}  // namespace quorvane
