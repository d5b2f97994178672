// EncodeFrame: block contents, change decisions, colour reduction, limits.
#include <gtest/gtest.h>

#include <functional>

#include "EncoderTestKit.h"

namespace quorvane::test {
namespace {

// The indices of the blocks a video tag sends.
std::vector<size_t> SentBlocks(const FlvTag& Tag) {
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(Tag.Payload);
    std::vector<size_t> Sent;
    for (size_t Index = 0; Index < Packet.Blocks.size(); ++Index) {
        if (!Packet.Blocks[Index].empty()) {
            Sent.push_back(Index);
        }
    }
    return Sent;
}

// What a block should hold: its pixels bottom row first, blue-green-red.
std::vector<uint8_t> BlockPixels(const bench::FrameBuffer& Frame, int Left, int Bottom, int Width,
                                 int Height) {
    std::vector<uint8_t> Pixels;
    for (int Row = Bottom; Row < Bottom + Height; ++Row) {
        for (int X = Left; X < Left + Width; ++X) {
            const uint8_t* Pixel = Frame.PixelAt(X, Frame.Height() - 1 - Row);
            Pixels.insert(Pixels.end(), Pixel, Pixel + 3);
        }
    }
    return Pixels;
}

struct KeyFrameCase {
    int Width, Height, BytesPerPixel;
    uint32_t BlockWidth, BlockHeight;
};

class KeyFrameBlocks : public ::testing::TestWithParam<KeyFrameCase> {};

// Every block of a key frame is one zlib stream of exactly its pixels, in
// grid order from the bottom-left block, edge blocks cut to the frame.
TEST_P(KeyFrameBlocks, HoldEachBlocksPixelsBottomRowFirst) {
    const KeyFrameCase& Case = GetParam();
    EncoderSession Session(ParametersFor(LosslessMode, Case.BlockWidth, Case.BlockHeight),
                           Case.Width, Case.Height, Case.BytesPerPixel);
    const bench::FrameBuffer Frame = NoiseFrame(Case.Width, Case.Height, Case.BytesPerPixel, 7);
    EXPECT_EQ(Session.Encode(Frame, 0, true), 100);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 1u);
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags[0].Payload);
    const int Columns = static_cast<int>((Case.Width + Case.BlockWidth - 1) / Case.BlockWidth);
    ASSERT_EQ(Packet.Blocks.size() % Columns, 0u);
    for (size_t Index = 0; Index < Packet.Blocks.size(); ++Index) {
        const int Left = static_cast<int>(Index % Columns * Case.BlockWidth);
        const int Bottom = static_cast<int>(Index / Columns * Case.BlockHeight);
        const int Width = std::min<int>(Case.BlockWidth, Case.Width - Left);
        const int Height = std::min<int>(Case.BlockHeight, Case.Height - Bottom);
        const auto Expected = BlockPixels(Frame, Left, Bottom, Width, Height);
        ASSERT_FALSE(Packet.Blocks[Index].empty());
        EXPECT_EQ(Inflate(Packet.Blocks[Index], Expected.size()), Expected) << "block " << Index;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeyFrameBlocks,
                         ::testing::Values(
                             // the last column 1 pixel wide
                             KeyFrameCase{641, 100, 3, 64, 64},
                             // rows of 1926 pixel bytes padded to 1928
                             KeyFrameCase{642, 40, 3, 64, 16},
                             // the fourth byte dropped; partial top row
                             KeyFrameCase{100, 70, 4, 32, 32}),
                         [](const auto& Info) {
                             const KeyFrameCase& Case = Info.param;
                             return std::to_string(Case.Width) + "x" + std::to_string(Case.Height) +
                                    "x" + std::to_string(Case.BytesPerPixel * 8) + "bit";
                         });

class LosslessFrames : public ::testing::Test {
protected:
    EncoderSession Session{ParametersFor(LosslessMode, 64, 32), 640, 480, 3};
    bench::FrameBuffer Frame = NoiseFrame(640, 480, 3, 1);
};

TEST_F(LosslessFrames, SendOnlyTheBlockWithAChangedByte) {
    Session.Encode(Frame, 0, true);
    EXPECT_EQ(Session.Encode(Frame, 40, false), 0);
    Frame.PixelAt(200, 479)[2] ^= 1;                 // bottom row: block row 0, column 3
    EXPECT_EQ(Session.Encode(Frame, 80, false), 0);  // 1 of 150 blocks truncates to 0 %
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 2u) << "an unchanged frame writes no tag";
    EXPECT_EQ(File.Tags[1].Timestamp, 80u);
    EXPECT_EQ(SentBlocks(File.Tags[1]), std::vector<size_t>{3});
}

TEST_F(LosslessFrames, CompareWithTheVersionLastSent) {
    Session.Encode(Frame, 0, true);
    Frame.PixelAt(0, 0)[0] ^= 0x80;  // top-left: block row 14, column 0
    Session.Encode(Frame, 40, false);
    Frame.PixelAt(639, 0)[1] ^= 0x80;  // top-right: block 149
    Session.Encode(Frame, 80, false);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 3u);
    EXPECT_EQ(SentBlocks(File.Tags[1]), std::vector<size_t>{140});
    EXPECT_EQ(SentBlocks(File.Tags[2]), std::vector<size_t>{149});
}

// A first frame that is not a key frame still has to deliver every block,
// and is then a key frame.
TEST(NeverSentBlocks, AreSentWhateverTheMode) {
    const auto Unknown = static_cast<CompressionModes>(7);
    for (CompressionModes Mode : {LosslessMode, QualityMode, BitrateMode, Unknown}) {
        EncoderParameters Parameters = ParametersFor(Mode, 32, 32);
        Parameters.BlockTolerance = 100;
        Parameters.BitRate = 0;  // no budget at all
        EncoderSession Session(Parameters, 70, 40, 3);
        EXPECT_EQ(Session.Encode(NoiseFrame(70, 40, 3, 3), 0, false), 100) << int(Mode);
        const FlvFile File = Session.Finish();
        ASSERT_EQ(File.Tags.size(), 1u);
        EXPECT_EQ(File.Tags[0].FirstDataByte, 0x13);
        EXPECT_EQ(SentBlocks(File.Tags[0]).size(), 6u);
    }
}

TEST(ColourReduction, ComparesAndSendsTheReducedColours) {
    EncoderParameters Parameters = ParametersFor(LosslessMode, 16, 16);
    Parameters.ColorShift = 3;
    EncoderSession Session(Parameters, 16, 16, 3);
    bench::FrameBuffer Frame = SolidFrame(16, 16, 3, {0x10, 0x10, 0x10});
    Session.Encode(Frame, 0, true);
    Frame.SetColour(5, 5, {0x17, 0x10, 0x10});
    EXPECT_EQ(Session.Encode(Frame, 40, false), 0);
    Frame.SetColour(5, 5, {0x18, 0x10, 0x10});
    EXPECT_EQ(Session.Encode(Frame, 80, false), 100);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 2u);
    std::vector<uint8_t> Expected(16 * 16 * 3, 0x10);
    Expected[(10 * 16 + 5) * 3] = 0x18;  // picture row 5 is block row 10 from the bottom
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags[1].Payload);
    EXPECT_EQ(Inflate(Packet.Blocks[0], Expected.size()), Expected);
    const ScreenVideoPacket Key = ParseScreenVideoPacket(File.Tags[0].Payload);
    EXPECT_EQ(Inflate(Key.Blocks[0], Expected.size()), std::vector<uint8_t>(16 * 16 * 3, 0x10));
}

TEST(ColourReduction, ClearsTheLowBitsOfEveryChannel) {
    for (uint8_t Shift : {3, 4, 5}) {
        EncoderParameters Parameters = ParametersFor(LosslessMode, 16, 16);
        Parameters.ColorShift = Shift;
        EncoderSession Session(Parameters, 16, 16, 4);
        Session.Encode(SolidFrame(16, 16, 4, {0xFF, 0xAB, 0x5F}), 0, true);
        const FlvFile File = Session.Finish();
        const auto Mask = static_cast<uint8_t>(0xFF << Shift);
        std::vector<uint8_t> Expected;
        for (int Pixel = 0; Pixel < 256; ++Pixel) {
            Expected.insert(Expected.end(),
                            {uint8_t(0xFF & Mask), uint8_t(0xAB & Mask), uint8_t(0x5F & Mask)});
        }
        const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags.at(0).Payload);
        EXPECT_EQ(Inflate(Packet.Blocks[0], Expected.size()), Expected) << int(Shift);
    }
}

TEST(UnusedFourthByte, IsNoChange) {
    for (CompressionModes Mode : {LosslessMode, QualityMode}) {
        EncoderSession Session(ParametersFor(Mode, 16, 16), 32, 16, 4);
        bench::FrameBuffer Frame = SolidFrame(32, 16, 4, {1, 2, 3});
        Session.Encode(Frame, 0, true);
        for (int X = 0; X < 32; ++X) {
            Frame.PixelAt(X, 3)[3] = 0xEE;
        }
        EXPECT_EQ(Session.Encode(Frame, 40, false), 0) << int(Mode);
        EXPECT_EQ(Session.Finish().Tags.size(), 1u);
    }
}

class QualityFrames : public ::testing::Test {
protected:
    // One 16x16 block: 256 pixels.
    using FrameChange = std::function<void(bench::FrameBuffer&, int Frame)>;

    std::vector<int> SendPattern(const EncoderParameters& Parameters, int Frames,
                                 const FrameChange& Change) {
        EncoderSession Session(Parameters, 16, 16, 3);
        bench::FrameBuffer Frame = SolidFrame(16, 16, 3, {100, 100, 100});
        Session.Encode(Frame, 0, true);
        std::vector<int> Results;
        for (int Index = 1; Index <= Frames; ++Index) {
            Change(Frame, Index);
            Results.push_back(Session.Encode(Frame, Index * 40, false));
        }
        Session.Finish();
        return Results;
    }

    static EncoderParameters Tolerances(uint8_t Blue, uint8_t Green, uint8_t Red, uint8_t Block) {
        EncoderParameters Parameters = ParametersFor(QualityMode, 16, 16);
        Parameters.BlueTolerance = Blue;
        Parameters.GreenTolerance = Green;
        Parameters.RedTolerance = Red;
        Parameters.BlockTolerance = Block;
        return Parameters;
    }
};

// Pixels 0 .. Count-1, in buffer order, get their blue channel raised by 50.
template <int Count>
void RaiseFirstPixels(bench::FrameBuffer& Frame, int) {
    for (int Pixel = 0; Pixel < Count; ++Pixel) {
        Frame.PixelAt(Pixel % 16, 15 - Pixel / 16)[0] = 150;
    }
}

TEST_F(QualityFrames, SendABlockOnlyWhenMoreThanBlockTolerancePercentCount) {
    EXPECT_EQ(SendPattern(Tolerances(10, 10, 10, 25), 1, RaiseFirstPixels<64>)[0], 0);
    EXPECT_EQ(SendPattern(Tolerances(10, 10, 10, 25), 1, RaiseFirstPixels<65>)[0], 100);
    EXPECT_EQ(SendPattern(Tolerances(10, 10, 10, 0), 1, RaiseFirstPixels<1>)[0], 100);
}

TEST_F(QualityFrames, CountADifferenceOnlyWhenItExceedsItsChannelsTolerance) {
    for (int Channel = 0; Channel < 3; ++Channel) {
        uint8_t Limits[3] = {40, 40, 40};
        Limits[Channel] = 5;
        const EncoderParameters Parameters = Tolerances(Limits[0], Limits[1], Limits[2], 0);
        // Frame 1 changes the channel by exactly its tolerance, frame 2 by one more.
        const auto Results =
            SendPattern(Parameters, 2, [Channel](bench::FrameBuffer& Frame, int Index) {
                Frame.PixelAt(7, 7)[Channel] = static_cast<uint8_t>(100 + 4 + Index);
            });
        EXPECT_EQ(Results, (std::vector<int>{0, 100})) << "channel " << Channel;
    }
}

// Slow drift is measured against the version last sent, not the frame before.
TEST_F(QualityFrames, SendADriftingBlockOnceItPassesTheTolerance) {
    const auto Results =
        SendPattern(Tolerances(5, 5, 5, 0), 12, [](bench::FrameBuffer& Frame, int Index) {
            const auto Level = static_cast<uint8_t>(100 + Index);
            Frame.FillRect(0, 0, 16, 16, {Level, Level, Level});
        });
    EXPECT_EQ(Results, (std::vector<int>{0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 100}));
}

void ExpectBlockTooLarge(EncoderSession& Session, const bench::FrameBuffer& Frame) {
    try {
        Session.Encode(Frame, 40, false);
        ADD_FAILURE() << "a 256x256 block of noise cannot fit 65535 bytes";
    } catch (const EBlockTooLarge& Failure) {
        EXPECT_NE(std::string(Failure.what()).find("256x256 block"), std::string::npos);
        EXPECT_NE(std::string(Failure.what()).find("smaller block size"), std::string::npos);
    }
}

TEST(BlockTooLarge, FailsTheFrameWithoutWritingAnyOfIt) {
    EncoderSession Session(ParametersFor(LosslessMode, 256, 256), 300, 256, 3);
    const bench::FrameBuffer Calm = SolidFrame(300, 256, 3, {9, 9, 9});
    Session.Encode(Calm, 0, true);
    ExpectBlockTooLarge(Session, NoiseFrame(300, 256, 3, 5));
    // The failed frame never reached the decoder, which still shows Calm.
    EXPECT_EQ(Session.Encode(Calm, 80, false), 0);
    EXPECT_EQ(Session.Finish().Tags.size(), 1u);
}

TEST(BlockTooLarge, FailsABitrateModeFrameToo) {
    EncoderParameters Parameters = ParametersFor(BitrateMode, 256, 256);
    Parameters.BitRate = 100000;
    EncoderSession Session(Parameters, 300, 256, 3);
    Session.Encode(SolidFrame(300, 256, 3, {9, 9, 9}), 0, true);
    ExpectBlockTooLarge(Session, NoiseFrame(300, 256, 3, 5));
    EXPECT_EQ(Session.Finish().Tags.size(), 1u);
}

TEST(PacketTooLarge, FailsTheFrameWithoutWritingAnyOfIt) {
    // About 17 MB of noise in small blocks: each block fits, the tag cannot.
    EncoderSession Session(ParametersFor(LosslessMode, 128, 128), 2400, 2400, 3);
    EXPECT_THROW(Session.Encode(NoiseFrame(2400, 2400, 3, 9), 0, true), EBlockTooLarge);
    EXPECT_TRUE(Session.Finish().Tags.empty());
}

}  // namespace
}  // namespace quorvane::test
