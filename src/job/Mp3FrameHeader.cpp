#include "job/Mp3FrameHeader.h"

namespace quorvane {

namespace {

// Layer III bitrates in kbit/s by bitrate index; 0 (free format) and 15
// (invalid) give no frame length.
constexpr uint32_t Mpeg1Bitrates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                        112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint32_t LowRateBitrates[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                          64, 80, 96, 112, 128, 144, 160, 0};

// Sampling rates of MPEG-2.5 by rate index; MPEG-2 doubles them, MPEG-1
// quadruples them.
constexpr uint32_t Mpeg25Rates[3] = {11025, 12000, 8000};

constexpr uint32_t ReservedRateIndex = 3;

}  // namespace

TMp3FrameHeader ParseMp3FrameHeader(const uint8_t Header[4]) {
    TMp3FrameHeader Result;
    // Layer I and II frames have other lengths and are no MP3: taken as
    // Layer III, one would be copied into an MP3 tag and its length would
    // miss the next header.
    constexpr uint8_t LayerBits = 0x06;
    constexpr uint8_t LayerIII = 0x02;
    if (Header[0] != 0xFF || (Header[1] & 0xE0) != 0xE0 || (Header[1] & LayerBits) != LayerIII) {
        return Result;
    }
    const bool Mpeg1 = (Header[1] & 0x18) == 0x18;
    const bool Mpeg2 = !Mpeg1 && (Header[1] & 0x10) != 0;
    const uint32_t BitrateIndex = Header[2] >> 4;
    const uint32_t RateIndex = (Header[2] >> 2) & 0x03;
    const uint32_t Kbps = (Mpeg1 ? Mpeg1Bitrates : LowRateBitrates)[BitrateIndex];

    Result.StereoFlag = (Header[3] >> 6) == 3 ? 0 : 1;
    if (RateIndex == ReservedRateIndex) {
        Result.Type = TMp3FrameHeader::Kind::NoFixedLength;
        return Result;
    }
    // Only index 0 (44100, 22050 or 11025 Hz) is a rate FLV can carry. The
    // others still get their frame's length, so that the frame can be told
    // from data that merely looks like a header (see TMp3FrameReader).
    const bool Supported = RateIndex == 0;
    if (Kbps == 0) {
        Result.Type = Supported ? TMp3FrameHeader::Kind::NoFixedLength
                                : TMp3FrameHeader::Kind::UnsupportedRate;
        return Result;
    }
    Result.SampleRate = Mpeg25Rates[RateIndex] * (Mpeg1 ? 4 : Mpeg2 ? 2 : 1);
    Result.SamplesPerFrame = Mpeg1 ? 1152 : 576;
    if (Supported && Mpeg1) {
        Result.FrameLength = 144 * Kbps * 1000 / 44100;
        Result.SoundRateIndex = 3;
    } else if (Supported) {
        Result.FrameLength = 72 * Kbps * 1000 / 11025;
        Result.SoundRateIndex = 1;
        if (Mpeg2) {
            Result.FrameLength /= 2;
            Result.SoundRateIndex = 2;
        }
    } else {
        Result.FrameLength = (Mpeg1 ? 144 : 72) * Kbps * 1000 / Result.SampleRate;
    }
    if (Header[2] & 0x02) {
        Result.FrameLength += 1;
    }
    Result.Type = Supported ? TMp3FrameHeader::Kind::Frame : TMp3FrameHeader::Kind::UnsupportedRate;
    return Result;
}

uint32_t Id3v2TagBodySize(const uint8_t SizeBytes[4]) {
    return SizeBytes[0] * 2097152u + SizeBytes[1] * 16384u + SizeBytes[2] * 128u + SizeBytes[3];
}

}  // namespace quorvane
