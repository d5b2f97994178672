// Which libavcodec decoder handles a stored audio format, and the names of
// the format tags it can decode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/types/WinTypes.h"

struct AVCodec;

namespace quorvane::platform {

constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The sound any input may hold to be converted, whatever its container: no
// recording is slower than 1000 Hz or faster than 768 kHz, and libswresample
// mixes at most 64 channels. A header claiming a faster rate would have the
// conversion sized for gigabytes; a slower one would stretch a few bytes
// into hours of sound when resampled to the MP3 rates.
constexpr uint32_t LowestSampleRate = 1000;
constexpr uint32_t HighestSampleRate = 768000;
constexpr uint32_t MostChannels = 64;
constexpr bool IsConvertibleSound(int64_t Rate, int64_t Channels) {
    return Rate >= LowestSampleRate && Rate <= HighestSampleRate && Channels >= 1 &&
           Channels <= MostChannels;
}

// Format must be followed by its cbSize extra bytes. True when a decoder
// exists for it.
bool CanDecodeAudio(const WAVEFORMATEX& Format);
// The decoder for Format (followed by its extra bytes), or null.
const AVCodec* FindAudioDecoder(const WAVEFORMATEX& Format);

struct AudioTagDetails {
    std::string Name;
    uint32_t FormatSize = 0;  // of a typical format record with this tag
};

// For tags that some decoder handles.
std::optional<AudioTagDetails> DecodableAudioTag(uint16_t Tag);

}  // namespace quorvane::platform
