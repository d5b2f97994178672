// Start: the block grid, the header word, and the result codes.
#include <gtest/gtest.h>

#include <fstream>

#include "EncoderTestKit.h"

namespace quorvane::test {
namespace {

struct GridCase {
    uint16_t Width, Height;
    uint32_t BlockWidth, BlockHeight;
    int32_t Columns, Rows;
    uint32_t HeaderWord;
};

class BlockGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(BlockGrid, CoversTheFrameAndIsDescribedByTheHeaderWord) {
    const GridCase& Case = GetParam();
    EncoderSession Session(ParametersFor(LosslessMode, Case.BlockWidth, Case.BlockHeight),
                           Case.Width, Case.Height, 3);
    EXPECT_EQ(Session.Encoder().GetBlockColumns(), Case.Columns);
    EXPECT_EQ(Session.Encoder().GetBlockRows(), Case.Rows);
    EXPECT_EQ(Session.Encoder().GetHeaderWord(), Case.HeaderWord);
    EXPECT_EQ(Session.Encode(SolidFrame(Case.Width, Case.Height, 3, {1, 2, 3}), 0, true), 100);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 1u);
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags[0].Payload);
    EXPECT_EQ(Packet.HeaderWord, Case.HeaderWord);  // written big-endian
    EXPECT_EQ(Packet.Blocks.size(), static_cast<size_t>(Case.Columns * Case.Rows));
}

INSTANTIATE_TEST_SUITE_P(Examples, BlockGrid,
                         ::testing::Values(GridCase{640, 480, 64, 32, 10, 15, 0x328011E0},
                                           GridCase{641, 480, 64, 32, 11, 15, 0x328111E0},
                                           GridCase{100, 50, 256, 256, 1, 1, 0xF064F032},
                                           GridCase{320, 240, 16, 16, 20, 15, 0x014000F0},
                                           GridCase{4095, 17, 256, 16, 16, 2, 0xFFFF0011}),
                         [](const auto& Info) {
                             const GridCase& Case = Info.param;
                             return std::to_string(Case.Width) + "x" + std::to_string(Case.Height) +
                                    "_" + std::to_string(Case.BlockWidth) + "x" +
                                    std::to_string(Case.BlockHeight);
                         });

struct SetUpCalls {
    bool Parameters, FrameSize;
};

StartResult StartWith(const std::filesystem::path& Path, const EncoderParameters& Parameters,
                      FrameFormat Format, SetUpCalls Calls = {true, true}) {
    TScreenVideoEncoder Encoder(Path.string(), true, false);
    if (Calls.Parameters) {
        Encoder.SetParameters(Parameters);
    }
    if (Calls.FrameSize) {
        Encoder.SetFrameSize(Format);
    }
    const StartResult Result = Encoder.Start();
    if (Result == StartSucceeded) {
        Encoder.Finish();
    }
    return Result;
}

TEST(StartResult, ReportsMissingSetUpBeforeCreatingAnything) {
    const auto Path = OutputPathForTest();
    const EncoderParameters Parameters = ParametersFor(LosslessMode, 64, 64);
    const FrameFormat Format{64, 64, 3};
    EXPECT_EQ(StartWith(Path, Parameters, Format, {false, false}), StartWithoutParameters);
    EXPECT_EQ(StartWith(Path, Parameters, Format, {false, true}), StartWithoutParameters);
    EXPECT_EQ(StartWith(Path, Parameters, Format, {true, false}), StartWithoutFrameSize);
    EXPECT_FALSE(std::filesystem::exists(Path));
}

TEST(StartResult, CannotCreateTheFileInAMissingFolder) {
    const auto Folder = OutputPathForTest("missing");
    TScreenVideoEncoder Encoder((Folder / "out.flv").string(), true, false);
    Encoder.SetParameters(ParametersFor(LosslessMode, 64, 64));
    Encoder.SetFrameSize(FrameFormat{64, 64, 3});
    EXPECT_EQ(Encoder.Start(), StartCannotCreateFile);
    EXPECT_EQ(Encoder.FileError(), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(std::filesystem::exists(Folder));
}

struct RefusalCase {
    uint16_t Width, Height;
    uint8_t BytesPerPixel;
    uint32_t BlockWidth, BlockHeight;
    StartResult Result;
};

class UnsupportedSettings : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UnsupportedSettings, AreRefusedBeforeAnyFileExists) {
    const RefusalCase& Case = GetParam();
    const auto Path = OutputPathForTest();
    EXPECT_EQ(StartWith(Path, ParametersFor(LosslessMode, Case.BlockWidth, Case.BlockHeight),
                        FrameFormat{Case.Width, Case.Height, Case.BytesPerPixel}),
              Case.Result);
    EXPECT_EQ(std::filesystem::exists(Path), Case.Result == StartSucceeded);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, UnsupportedSettings,
    ::testing::Values(RefusalCase{0, 480, 3, 64, 64, StartFrameSizeUnsupported},
                      RefusalCase{640, 0, 3, 64, 64, StartFrameSizeUnsupported},
                      RefusalCase{4096, 480, 3, 64, 64, StartFrameSizeUnsupported},
                      RefusalCase{640, 4096, 3, 64, 64, StartFrameSizeUnsupported},
                      RefusalCase{4095, 4095, 3, 64, 64, StartSucceeded},
                      RefusalCase{640, 480, 3, 0, 64, StartBlockSizeUnsupported},
                      RefusalCase{640, 480, 3, 64, 8, StartBlockSizeUnsupported},
                      RefusalCase{640, 480, 3, 24, 64, StartBlockSizeUnsupported},
                      RefusalCase{640, 480, 3, 272, 64, StartBlockSizeUnsupported},
                      RefusalCase{640, 480, 3, 16, 256, StartSucceeded},
                      RefusalCase{640, 480, 2, 64, 64, StartPixelFormatUnsupported},
                      RefusalCase{640, 480, 5, 64, 64, StartPixelFormatUnsupported},
                      RefusalCase{640, 480, 4, 64, 64, StartSucceeded}),
    [](const auto& Info) {
        const RefusalCase& Case = Info.param;
        return std::to_string(Case.Width) + "x" + std::to_string(Case.Height) + "x" +
               std::to_string(Case.BytesPerPixel) + "_" + std::to_string(Case.BlockWidth) + "x" +
               std::to_string(Case.BlockHeight);
    });

TEST(StartResult, ReplacesAnExistingFile) {
    const auto Path = OutputPathForTest();
    std::ofstream(Path, std::ios::binary) << std::string(1000, 'x');
    EXPECT_EQ(StartWith(Path, ParametersFor(LosslessMode, 64, 64), FrameFormat{64, 64, 3}),
              StartSucceeded);
    EXPECT_EQ(std::filesystem::file_size(Path), 13u);
}

TEST(EncoderLifecycle, RefusesToWriteOutsideStartAndFinish) {
    const auto Path = OutputPathForTest();
    TScreenVideoEncoder Encoder(Path.string(), true, false);
    Encoder.SetParameters(ParametersFor(LosslessMode, 16, 16));
    Encoder.SetFrameSize(FrameFormat{16, 16, 3});
    const bench::FrameBuffer Frame = SolidFrame(16, 16, 3, {});
    EXPECT_THROW(Encoder.EncodeFrame(Frame.Picture(), 0, 0, true), std::logic_error);
    ASSERT_EQ(Encoder.Start(), StartSucceeded);
    EXPECT_THROW(Encoder.SetParameters(ParametersFor(LosslessMode, 256, 256)), std::logic_error);
    EXPECT_THROW(Encoder.SetFrameSize(FrameFormat{4000, 16, 3}), std::logic_error);
    // Pictures of another format than the frame size's would be read past their end.
    for (const bench::FrameBuffer& Other :
         {SolidFrame(32, 16, 3, {}), SolidFrame(16, 32, 3, {}), SolidFrame(16, 16, 4, {})}) {
        EXPECT_THROW(Encoder.EncodeFrame(Other.Picture(), 0, 0, true), std::invalid_argument);
    }
    EXPECT_THROW(Encoder.EncodeFrame({}, 0, 0, true), std::invalid_argument);
    EXPECT_EQ(Encoder.EncodeFrame(Frame.Picture(), 0, 0, true), 100);
    EXPECT_THROW(Encoder.Start(), std::logic_error);
    Encoder.Finish();
    EXPECT_THROW(Encoder.Start(), std::logic_error);
    EXPECT_THROW(Encoder.EncodeFrame(Frame.Picture(), 0, 0, true), std::logic_error);
    EXPECT_THROW(Encoder.WriteAudioTag(Frame.Data(), 4, 0, 0, 0), std::logic_error);
    EXPECT_THROW(Encoder.Finish(), std::logic_error);
    EXPECT_EQ(ReadFlvFile(Path).Tags.size(), 1u);
    EXPECT_TRUE(FlvmetaAccepts(Path));
}

}  // namespace
}  // namespace quorvane::test
