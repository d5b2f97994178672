#include "platform/audio/Mp3EncoderDriver.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/AudioCompressionManager.h"

namespace quorvane::platform {

namespace {

constexpr uint16_t PcmBits = 16;

struct MpegVersion {
    uint32_t Rates[3];
    std::vector<uint32_t> Kbps;  // Layer III bitrates the encoder writes at these rates
    uint32_t FrameBytesPerKbps;  // frame length = this x 1000 x kbit/s / rate
};

// Highest rates first. MPEG-2.5 stops at 64 kbit/s: the encoder writes no
// more at those rates.
const MpegVersion Versions[] = {
    {{48000, 44100, 32000}, {320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32}, 144},
    {{24000, 22050, 16000}, {160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8}, 72},
    {{12000, 11025, 8000}, {64, 56, 48, 40, 32, 24, 16, 8}, 72},
};

// The customary format, listed first so that it is what a list of these
// formats selects by default.
constexpr uint32_t DefaultRate = 44100;
constexpr uint32_t DefaultKbps = 128;
constexpr uint16_t DefaultChannels = 2;

// "44,100": thousands grouped as the codec descriptions customarily show them.
std::string GroupedThousands(uint32_t Value) {
    std::string Digits = std::to_string(Value);
    for (int Position = static_cast<int>(Digits.size()) - 3; Position > 0; Position -= 3) {
        Digits.insert(static_cast<size_t>(Position), 1, ',');
    }
    return Digits;
}

const char* ChannelName(uint16_t Channels) {
    return Channels == 1 ? "Mono" : "Stereo";
}

template <typename Record>
std::vector<uint8_t> BytesOf(const Record& Value) {
    const auto* First = reinterpret_cast<const uint8_t*>(&Value);
    return std::vector<uint8_t>(First, First + sizeof Value);
}

WAVEFORMATEX PcmFormat(uint32_t Rate, uint16_t Channels) {
    WAVEFORMATEX Format{};
    Format.wFormatTag = WAVE_FORMAT_PCM;
    Format.nChannels = Channels;
    Format.nSamplesPerSec = Rate;
    Format.nBlockAlign = static_cast<uint16_t>(Channels * PcmBits / 8);
    Format.nAvgBytesPerSec = Rate * Format.nBlockAlign;
    Format.wBitsPerSample = PcmBits;
    return Format;
}

AcmFormatEntry Mp3Entry(const MpegVersion& Version, uint32_t Rate, uint32_t Kbps,
                        uint16_t Channels) {
    MPEGLAYER3WAVEFORMAT Format{};
    Format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    Format.wfx.nChannels = Channels;
    Format.wfx.nSamplesPerSec = Rate;
    Format.wfx.nAvgBytesPerSec = Kbps * 1000 / 8;
    Format.wfx.nBlockAlign = 1;
    Format.wfx.wBitsPerSample = 0;
    Format.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    Format.wID = MPEGLAYER3_ID_MPEG;
    Format.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    Format.nBlockSize = static_cast<uint16_t>(Version.FrameBytesPerKbps * 1000 * Kbps / Rate);
    Format.nFramesPerBlock = 1;
    Format.nCodecDelay = Mp3StreamDelay;
    return {BytesOf(Format), std::to_string(Kbps) + " kBit/s, " + GroupedThousands(Rate) + " Hz, " +
                                 ChannelName(Channels)};
}

std::vector<AcmFormatEntry> Mp3Formats() {
    std::vector<AcmFormatEntry> Formats;
    Formats.push_back(Mp3Entry(Versions[0], DefaultRate, DefaultKbps, DefaultChannels));
    for (const MpegVersion& Version : Versions) {
        for (uint32_t Rate : Version.Rates) {
            for (uint16_t Channels : {2, 1}) {
                for (uint32_t Kbps : Version.Kbps) {
                    if (Rate != DefaultRate || Kbps != DefaultKbps || Channels != DefaultChannels) {
                        Formats.push_back(Mp3Entry(Version, Rate, Kbps, Channels));
                    }
                }
            }
        }
    }
    return Formats;
}

std::vector<AcmFormatEntry> PcmFormats() {
    std::vector<AcmFormatEntry> Formats;
    for (const MpegVersion& Version : Versions) {
        for (uint32_t Rate : Version.Rates) {
            for (uint16_t Channels : {2, 1}) {
                Formats.push_back({BytesOf(PcmFormat(Rate, Channels)),
                                   GroupedThousands(Rate) + " Hz, " + std::to_string(PcmBits) +
                                       " Bit, " + ChannelName(Channels)});
            }
        }
    }
    return Formats;
}

}  // namespace

const std::vector<AcmFormatTagEntry>& Mp3EncoderFormatTags() {
    static const std::vector<AcmFormatTagEntry> Tags = {
        {WAVE_FORMAT_PCM, "PCM", sizeof(WAVEFORMATEX), PcmFormats()},
        {WAVE_FORMAT_MPEGLAYER3, "MPEG Layer-3", sizeof(MPEGLAYER3WAVEFORMAT), Mp3Formats()},
    };
    return Tags;
}

bool IsOfferedMp3Format(const WAVEFORMATEX& Format, uint32_t Size) {
    if (Size < sizeof(MPEGLAYER3WAVEFORMAT) || Format.wFormatTag != WAVE_FORMAT_MPEGLAYER3) {
        return false;
    }
    const std::vector<AcmFormatEntry>& Offered = Mp3EncoderFormatTags()[1].Formats;
    return std::any_of(Offered.begin(), Offered.end(), [&](const AcmFormatEntry& Entry) {
        return std::memcmp(Entry.Record.data(), &Format, Entry.Record.size()) == 0;
    });
}

WAVEFORMATEX Mp3EncoderInput(const WAVEFORMATEX& Mp3) {
    return PcmFormat(Mp3.nSamplesPerSec, Mp3.nChannels);
}

}  // namespace quorvane::platform
