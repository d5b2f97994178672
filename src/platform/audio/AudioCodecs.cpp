#include "platform/audio/AudioCodecs.h"

#include <array>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quorvane::platform {

namespace {

// WAVE_FORMAT_EXTENSIBLE carries the real tag in the first two bytes of its
// SubFormat GUID; the GUID's other bytes are those of every tag-based one.
constexpr size_t ExtensibleSize = 22;
constexpr size_t SubFormatOffset = 6;
constexpr std::array<uint8_t, 14> TagGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::optional<uint16_t> ExtensibleTag(const WAVEFORMATEX& Format) {
    if (Format.cbSize < ExtensibleSize) {
        return std::nullopt;
    }
    const auto* Extra = reinterpret_cast<const uint8_t*>(&Format) + sizeof(WAVEFORMATEX);
    const uint8_t* Guid = Extra + SubFormatOffset;
    if (std::memcmp(Guid + 2, TagGuidTail.data(), TagGuidTail.size()) != 0) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(Guid[0] | (Guid[1] << 8));
}

AVCodecID CodecForTag(uint16_t Tag) {
    const AVCodecTag* Tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(Tables, Tag);
}

// PCM and float tags name the sample layout only together with the width.
AVCodecID CodecFor(uint16_t Tag, uint16_t BitsPerSample) {
    if (Tag == WAVE_FORMAT_PCM) {
        switch (BitsPerSample) {
            case 8:
                return AV_CODEC_ID_PCM_U8;
            case 16:
                return AV_CODEC_ID_PCM_S16LE;
            case 24:
                return AV_CODEC_ID_PCM_S24LE;
            case 32:
                return AV_CODEC_ID_PCM_S32LE;
            default:
                return AV_CODEC_ID_NONE;
        }
    }
    if (Tag == WAVE_FORMAT_IEEE_FLOAT) {
        switch (BitsPerSample) {
            case 32:
                return AV_CODEC_ID_PCM_F32LE;
            case 64:
                return AV_CODEC_ID_PCM_F64LE;
            default:
                return AV_CODEC_ID_NONE;
        }
    }
    return CodecForTag(Tag);
}

struct KnownTag {
    uint16_t Tag;
    const char* Name;
    uint32_t FormatSize;
};

// The customary names of the common tags, with their usual record sizes.
constexpr KnownTag KnownTags[] = {
    {0x0001, "PCM", 16},          {0x0002, "Microsoft ADPCM", 50},
    {0x0003, "IEEE Float", 18},   {0x0006, "A-Law", 18},
    {0x0007, "u-Law", 18},        {0x0011, "IMA ADPCM", 20},
    {0x0031, "GSM 6.10", 20},     {0x0050, "MPEG", 40},
    {0x0055, "MPEG Layer-3", 30},
};

// Vorbis needs its three header packets, which it keeps in the extra bytes.
bool HasSetUp(AVCodecID Codec, const WAVEFORMATEX& Format) {
    return Codec != AV_CODEC_ID_VORBIS || Format.cbSize > 0;
}

}  // namespace

const AVCodec* FindAudioDecoder(const WAVEFORMATEX& Format) {
    uint16_t Tag = Format.wFormatTag;
    if (Tag == WAVE_FORMAT_EXTENSIBLE) {
        std::optional<uint16_t> Inner = ExtensibleTag(Format);
        if (!Inner) {
            return nullptr;
        }
        Tag = *Inner;
    }
    const AVCodecID Codec = CodecFor(Tag, Format.wBitsPerSample);
    return HasSetUp(Codec, Format) ? avcodec_find_decoder(Codec) : nullptr;
}

bool CanDecodeAudio(const WAVEFORMATEX& Format) {
    return FindAudioDecoder(Format) != nullptr;
}

std::optional<AudioTagDetails> DecodableAudioTag(uint16_t Tag) {
    // Extensible formats name their real tag inside each format only (the
    // tag tables of libavformat reuse this value for another codec).
    if (Tag == WAVE_FORMAT_EXTENSIBLE) {
        return std::nullopt;
    }
    // The common width stands for the tags that need one.
    const AVCodec* Decoder =
        avcodec_find_decoder(CodecFor(Tag, Tag == WAVE_FORMAT_IEEE_FLOAT ? 32 : 16));
    if (!Decoder) {
        return std::nullopt;
    }
    for (const KnownTag& Known : KnownTags) {
        if (Known.Tag == Tag) {
            return AudioTagDetails{Known.Name, Known.FormatSize};
        }
    }
    return AudioTagDetails{Decoder->long_name ? Decoder->long_name : Decoder->name,
                           sizeof(WAVEFORMATEX)};
}

}  // namespace quorvane::platform
