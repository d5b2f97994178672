// Our files decoded by FFmpeg's own Screen Video decoder and compared with
// the frames that went in.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "EncoderTestKit.h"
#include "support/FlvDecoding.h"
#include "support/Pictures.h"

namespace quorvane::test {
namespace {

constexpr int FrameCount = 20;
constexpr int SecondKeyFrame = 12;
constexpr int32_t FrameDurationMs = 40;

struct DecodingCase {
    const char* Name;
    int Width, Height, BytesPerPixel;
    EncoderParameters Parameters;
    int Jitter;  // camera-like noise of up to this much per channel and frame
    DeflateEngine Deflate = DeflateEngine::Zlib;
};

EncoderParameters With(CompressionModes Mode, uint32_t BlockWidth, uint32_t BlockHeight,
                       uint8_t ColorShift = 0) {
    EncoderParameters Parameters = ParametersFor(Mode, BlockWidth, BlockHeight);
    Parameters.ColorShift = ColorShift;
    return Parameters;
}

EncoderParameters Quality(uint32_t BlockWidth, uint32_t BlockHeight, uint8_t Blue, uint8_t Green,
                          uint8_t Red, uint8_t Block, uint8_t ColorShift = 0) {
    EncoderParameters Parameters = With(QualityMode, BlockWidth, BlockHeight, ColorShift);
    Parameters.BlueTolerance = Blue;
    Parameters.GreenTolerance = Green;
    Parameters.RedTolerance = Red;
    Parameters.BlockTolerance = Block;
    return Parameters;
}

EncoderParameters Bitrate(uint32_t BlockWidth, uint32_t BlockHeight, int32_t Kilobits) {
    EncoderParameters Parameters = With(BitrateMode, BlockWidth, BlockHeight);
    Parameters.BitRate = Kilobits;
    return Parameters;
}

// The block grid seen in a top-down picture: block rows count from the bottom.
struct Grid {
    int Width, Height, BlockWidth, BlockHeight;

    int Columns() const { return (Width + BlockWidth - 1) / BlockWidth; }
    int Blocks() const { return Columns() * ((Height + BlockHeight - 1) / BlockHeight); }
    int BlockAt(int X, int TopDownY) const {
        return (Height - 1 - TopDownY) / BlockHeight * Columns() + X / BlockWidth;
    }
};

class IndependentDecoding : public ::testing::TestWithParam<DecodingCase> {
protected:
    bench::FrameBuffer InputFrame(int Index) const {
        const DecodingCase& Case = GetParam();
        bench::FrameBuffer Frame = Generator.Render(Index);
        std::mt19937 Noise(static_cast<uint32_t>(Index));
        std::uniform_int_distribution<int> Offset(-Case.Jitter, Case.Jitter);
        for (int Y = 0; Case.Jitter > 0 && Y < Frame.Height(); ++Y) {
            for (int X = 0; X < Frame.Width(); ++X) {
                for (int Channel = 0; Channel < 3; ++Channel) {
                    uint8_t& Byte = Frame.PixelAt(X, Y)[Channel];
                    Byte = static_cast<uint8_t>(std::clamp(Byte + Offset(Noise), 0, 255));
                }
            }
        }
        return Frame;
    }

    std::vector<uint8_t> Expected(int Index) const {
        return ExpectedPicture(InputFrame(Index), GetParam().Parameters.ColorShift);
    }

    Grid BlockGrid() const {
        const DecodingCase& Case = GetParam();
        return {Case.Width, Case.Height, static_cast<int>(Case.Parameters.BlockWidth),
                static_cast<int>(Case.Parameters.BlockHeight)};
    }

    // Pixels per block with a channel off by more than its tolerance.
    std::vector<int> PixelsBeyondTolerance(const std::vector<uint8_t>& Shown,
                                           const std::vector<uint8_t>& Wanted) const {
        const EncoderParameters& Parameters = GetParam().Parameters;
        const int Tolerance[3] = {Parameters.BlueTolerance, Parameters.GreenTolerance,
                                  Parameters.RedTolerance};
        const Grid Blocks = BlockGrid();
        std::vector<int> Counts(static_cast<size_t>(Blocks.Blocks()));
        for (int Y = 0; Y < Blocks.Height; ++Y) {
            for (int X = 0; X < Blocks.Width; ++X) {
                const size_t At = (static_cast<size_t>(Y) * Blocks.Width + X) * 3;
                bool Beyond = false;
                for (int Channel = 0; Channel < 3; ++Channel) {
                    Beyond |=
                        std::abs(Shown[At + Channel] - Wanted[At + Channel]) > Tolerance[Channel];
                }
                Counts[static_cast<size_t>(Blocks.BlockAt(X, Y))] += Beyond ? 1 : 0;
            }
        }
        return Counts;
    }

    void ExpectWithinTolerance(const std::vector<uint8_t>& Shown, int Index) const {
        const Grid Blocks = BlockGrid();
        const std::vector<int> Counts = PixelsBeyondTolerance(Shown, Expected(Index));
        for (int Block = 0; Block < Blocks.Blocks(); ++Block) {
            const int Column = Block % Blocks.Columns();
            const int Row = Block / Blocks.Columns();
            const int Width =
                std::min(Blocks.BlockWidth, Blocks.Width - Column * Blocks.BlockWidth);
            const int Height =
                std::min(Blocks.BlockHeight, Blocks.Height - Row * Blocks.BlockHeight);
            EXPECT_LE(Counts[Block] * 100, GetParam().Parameters.BlockTolerance * Width * Height)
                << "frame " << Index << " block " << Block;
        }
    }

    // Sent blocks show this frame; the others still show what the decoder had.
    void ExpectSentBlocksCurrent(const std::vector<uint8_t>& Shown,
                                 const std::vector<uint8_t>& Before, const FlvTag& Tag,
                                 int Index) const {
        const ScreenVideoPacket Packet = ParseScreenVideoPacket(Tag.Payload);
        const std::vector<uint8_t> Wanted = Expected(Index);
        const Grid Blocks = BlockGrid();
        std::vector<int> Wrong(Packet.Blocks.size());
        for (size_t At = 0; At < Shown.size(); ++At) {
            const int Pixel = static_cast<int>(At / 3);
            const auto Block =
                static_cast<size_t>(Blocks.BlockAt(Pixel % Blocks.Width, Pixel / Blocks.Width));
            const auto& Reference = Packet.Blocks[Block].empty() ? Before : Wanted;
            Wrong[Block] += Shown[At] != Reference[At] ? 1 : 0;
        }
        for (size_t Block = 0; Block < Wrong.size(); ++Block) {
            EXPECT_EQ(Wrong[Block], 0) << "frame " << Index << " block " << Block;
        }
    }

    bench::ScreenFrameGenerator Generator{GetParam().Width, GetParam().Height,
                                          GetParam().BytesPerPixel};
};

TEST_P(IndependentDecoding, ShowsWhatWasEncoded) {
    const DecodingCase& Case = GetParam();
    EncoderSession Session(Case.Parameters, Case.Width, Case.Height, Case.BytesPerPixel, false,
                           EncoderEngine{0, Case.Deflate});
    for (int Index = 0; Index < FrameCount; ++Index) {
        Session.Encode(InputFrame(Index), Index * FrameDurationMs,
                       Index == 0 || Index == SecondKeyFrame);
    }
    const FlvFile File = Session.Finish();
    const std::vector<DecodedFrame> Decoded = DecodeFlvVideo(Session.Path());
    ASSERT_EQ(Decoded.size(), File.Tags.size());

    size_t Next = 0;  // the decoded frame of the next tag
    int InexactFrames = 0;
    for (int Index = 0; Index < FrameCount; ++Index) {
        const int32_t Time = Index * FrameDurationMs;
        if (Next < File.Tags.size() && File.Tags[Next].Timestamp == uint32_t(Time)) {
            ASSERT_EQ(Decoded[Next].TimestampMs, Time);
            ASSERT_EQ(Decoded[Next].Width, Case.Width);
            ASSERT_EQ(Decoded[Next].Height, Case.Height);
            if (Case.Parameters.CompressionMode == BitrateMode && Next > 0) {
                ExpectSentBlocksCurrent(Decoded[Next].Bgr, Decoded[Next - 1].Bgr, File.Tags[Next],
                                        Index);
            }
            ++Next;
        }
        ASSERT_GT(Next, 0u) << "the first frame has to be shown";
        const std::vector<uint8_t>& Shown = Decoded[Next - 1].Bgr;
        const bool Exact = Shown == Expected(Index);
        InexactFrames += Exact ? 0 : 1;
        if (Case.Parameters.CompressionMode == LosslessMode) {
            ASSERT_TRUE(Exact) << "frame " << Index;
        } else if (Case.Parameters.CompressionMode == QualityMode) {
            ExpectWithinTolerance(Shown, Index);
        }
    }
    EXPECT_EQ(Next, File.Tags.size());
    // The lossy modes must have held something back, or their checks prove little.
    EXPECT_EQ(InexactFrames > 0, Case.Parameters.CompressionMode != LosslessMode);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, IndependentDecoding,
    ::testing::Values(DecodingCase{"Lossless24", 641, 479, 3, With(LosslessMode, 64, 64), 0},
                      DecodingCase{"Lossless32", 641, 479, 4, With(LosslessMode, 48, 80), 0},
                      DecodingCase{"ColourShift3", 641, 479, 3, With(LosslessMode, 64, 32, 3), 0},
                      DecodingCase{"ColourShift5", 333, 251, 4, With(LosslessMode, 32, 32, 5), 0},
                      DecodingCase{"Quality", 641, 479, 3, Quality(64, 64, 40, 30, 20, 5), 12},
                      DecodingCase{"QualityShift4", 333, 251, 4, Quality(16, 48, 25, 25, 25, 10, 4),
                                   20},
                      DecodingCase{"Bitrate", 641, 479, 3, Bitrate(64, 64, 300), 0},
                      DecodingCase{"Bitrate32", 333, 251, 4, Bitrate(80, 16, 100), 0},
                      DecodingCase{"LosslessLibdeflate", 641, 479, 3, With(LosslessMode, 64, 64), 0,
                                   DeflateEngine::Libdeflate},
                      DecodingCase{"BitrateLibdeflate", 333, 251, 4, Bitrate(80, 16, 100), 0,
                                   DeflateEngine::Libdeflate},
                      DecodingCase{"LosslessSmallest", 333, 251, 3, With(LosslessMode, 64, 64), 0,
                                   DeflateEngine::Smallest}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IndependentDecodingOfTime, KeepsTimestampsBeyondTwentyFourBits) {
    EncoderSession Session(ParametersFor(LosslessMode, 32, 32), 64, 32, 3);
    const std::vector<int32_t> Times = {0, 16777216, 16777300, 0x7FFFFF00};
    for (size_t Index = 0; Index < Times.size(); ++Index) {
        Session.Encode(NoiseFrame(64, 32, 3, static_cast<uint32_t>(Index)), Times[Index],
                       Index == 0);
    }
    Session.Finish();
    const std::vector<DecodedFrame> Decoded = DecodeFlvVideo(Session.Path());
    ASSERT_EQ(Decoded.size(), Times.size());
    for (size_t Index = 0; Index < Times.size(); ++Index) {
        EXPECT_EQ(Decoded[Index].TimestampMs, Times[Index]);
    }
}

}  // namespace
}  // namespace quorvane::test
