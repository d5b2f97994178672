// The MP3 encoder driver of the audio codec services: the format tags and
// formats it offers, and the PCM format it makes each MP3 format from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types/WinTypes.h"

namespace quorvane::platform {

struct AcmFormatEntry {
    std::vector<uint8_t> Record;  // the whole format record
    std::string Description;      // such as "128 kBit/s, 44,100 Hz, Stereo"
};

struct AcmFormatTagEntry {
    uint16_t Tag;
    const char* Name;
    uint32_t FormatSize;  // of every record of this tag
    std::vector<AcmFormatEntry> Formats;
};

// Samples of silence the stream starts with: the encoder's look-ahead (576)
// and an MP3 decoder's own delay (529), so that decoded sample
// Mp3StreamDelay + n is source sample n.
constexpr uint16_t Mp3StreamDelay = 576 + 529;

// The driver's tags in index order: PCM, the formats it takes, then MPEG
// Layer-3, the formats it makes. The first MP3 format is 128 kbit/s,
// 44100 Hz, stereo.
const std::vector<AcmFormatTagEntry>& Mp3EncoderFormatTags();

// Whether Format (a whole record) is one of the MP3 formats offered.
bool IsOfferedMp3Format(const WAVEFORMATEX& Format, uint32_t Size);

// The 16-bit PCM format at Mp3's rate and channels, which the encoder takes.
WAVEFORMATEX Mp3EncoderInput(const WAVEFORMATEX& Mp3);

}  // namespace quorvane::platform
