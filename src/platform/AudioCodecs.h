// Which libavcodec decoder handles a stored audio format, and the names of
// the format tags it can decode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/WinTypes.h"

struct AVCodec;

namespace quorvane::platform {

constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

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
