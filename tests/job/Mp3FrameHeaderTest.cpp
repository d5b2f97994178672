#include "job/Mp3FrameHeader.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Kind = TMp3FrameHeader::Kind;

// Version bits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5. Layer III, no CRC.
TMp3FrameHeader Parse(int Version, int BitrateIndex, int RateIndex, bool Padding, int ChannelMode) {
    const uint8_t Header[4] = {
        0xFF, static_cast<uint8_t>(0xE0 | (Version << 3) | 0x02 | 0x01),
        static_cast<uint8_t>((BitrateIndex << 4) | (RateIndex << 2) | (Padding ? 0x02 : 0)),
        static_cast<uint8_t>(ChannelMode << 6)};
    return ParseMp3FrameHeader(Header);
}

TEST(Mp3FrameHeader, LengthsAndRateCodesOfTheThreeSupportedRates) {
    const TMp3FrameHeader Mpeg1 = Parse(3, 9, 0, false, 0);  // 128 kbit/s, 44100 Hz
    EXPECT_EQ(Mpeg1.Type, Kind::Frame);
    EXPECT_EQ(Mpeg1.FrameLength, 417u);
    EXPECT_EQ(Mpeg1.SoundRateIndex, 3);
    EXPECT_EQ(Parse(3, 9, 0, true, 0).FrameLength, 418u);

    const TMp3FrameHeader Mpeg2 = Parse(2, 8, 0, false, 0);  // 64 kbit/s, 22050 Hz
    EXPECT_EQ(Mpeg2.FrameLength, 208u);
    EXPECT_EQ(Mpeg2.SoundRateIndex, 2);
    EXPECT_EQ(Parse(2, 8, 0, true, 0).FrameLength, 209u);

    const TMp3FrameHeader Mpeg25 = Parse(0, 4, 0, false, 3);  // 32 kbit/s, 11025 Hz
    EXPECT_EQ(Mpeg25.FrameLength, 208u);
    EXPECT_EQ(Mpeg25.SoundRateIndex, 1);

    EXPECT_EQ(Mpeg1.SamplesPerFrame, 1152u);
    EXPECT_EQ(Mpeg1.SampleRate, 44100u);
    EXPECT_EQ(Mpeg2.SamplesPerFrame, 576u);
    EXPECT_EQ(Mpeg2.SampleRate, 22050u);
    EXPECT_EQ(Mpeg25.SamplesPerFrame, 576u);
    EXPECT_EQ(Mpeg25.SampleRate, 11025u);

    EXPECT_EQ(Parse(3, 14, 0, false, 0).FrameLength, 1044u);  // 320 kbit/s
}

TEST(Mp3FrameHeader, OnlySingleChannelIsMono) {
    EXPECT_EQ(Parse(3, 9, 0, false, 3).StereoFlag, 0);
    for (int Mode : {0, 1, 2}) {
        EXPECT_EQ(Parse(3, 9, 0, false, Mode).StereoFlag, 1) << Mode;
    }
}

TEST(Mp3FrameHeader, RatesFlvCannotCarryAreReportedWhateverThePadding) {
    for (int Version : {3, 2, 0}) {
        for (int Rate : {1, 2}) {
            EXPECT_EQ(Parse(Version, 9, Rate, false, 0).Type, Kind::UnsupportedRate);
            EXPECT_EQ(Parse(Version, 9, Rate, true, 0).Type, Kind::UnsupportedRate);
        }
    }
}

TEST(Mp3FrameHeader, FreeFormatInvalidBitrateAndReservedRateHaveNoLength) {
    EXPECT_EQ(Parse(3, 0, 0, false, 0).Type, Kind::NoFixedLength);
    EXPECT_EQ(Parse(3, 15, 0, false, 0).Type, Kind::NoFixedLength);
    EXPECT_EQ(Parse(2, 0, 0, false, 0).Type, Kind::NoFixedLength);
    EXPECT_EQ(Parse(3, 9, 3, false, 0).Type, Kind::NoFixedLength);
}

TEST(Mp3FrameHeader, AnythingWithoutTheSyncWordIsNotAFrame) {
    const uint8_t Id3v1[4] = {'T', 'A', 'G', 'x'};
    const uint8_t Zeros[4] = {0, 0, 0, 0};
    const uint8_t ShortSync[4] = {0xFF, 0xC0, 0x90, 0x00};
    EXPECT_EQ(ParseMp3FrameHeader(Id3v1).Type, Kind::NotAFrame);
    EXPECT_EQ(ParseMp3FrameHeader(Zeros).Type, Kind::NotAFrame);
    EXPECT_EQ(ParseMp3FrameHeader(ShortSync).Type, Kind::NotAFrame);
}

// Layer bits 11 (Layer I), 10 (Layer II) and 00 (reserved), with and
// without CRC, at a rate and bitrate a Layer III frame could have.
TEST(Mp3FrameHeader, FramesOfOtherLayersAreNotMp3Frames) {
    for (uint8_t Layer : {0x06, 0x04, 0x00}) {
        for (uint8_t NoCrc : {0x00, 0x01}) {
            const uint8_t Header[4] = {0xFF, static_cast<uint8_t>(0xF8 | Layer | NoCrc), 0x90,
                                       0x00};
            EXPECT_EQ(ParseMp3FrameHeader(Header).Type, Kind::NotAFrame) << int{Layer};
        }
    }
}

TEST(Id3v2TagBodySize, TakesEachSizeByteWhole) {
    const uint8_t Small[4] = {0x00, 0x00, 0x02, 0x01};
    EXPECT_EQ(Id3v2TagBodySize(Small), 257u);
    const uint8_t Large[4] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(Id3v2TagBodySize(Large), 2097152u + 2 * 16384u + 3 * 128u + 4u);
}

}  // namespace
}  // namespace quorvane
