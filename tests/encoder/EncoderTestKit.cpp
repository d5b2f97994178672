#include "EncoderTestKit.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <stdexcept>

#include "support/TestPaths.h"

namespace quorvane::test {

EncoderParameters ParametersFor(CompressionModes Mode, uint32_t BlockWidth, uint32_t BlockHeight) {
    EncoderParameters Parameters;
    Parameters.CompressionMode = Mode;
    Parameters.BlockWidth = BlockWidth;
    Parameters.BlockHeight = BlockHeight;
    return Parameters;
}

std::filesystem::path OutputPathForTest(const char* FileName) {
    const auto* Test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string Name = std::string(Test->test_suite_name()) + "." + Test->name();
    for (char& Character : Name) {
        if (Character == '/') {
            Character = '_';
        }
    }
    return FreshDir(Name) / FileName;
}

EncoderSession::EncoderSession(const EncoderParameters& Parameters, int Width, int Height,
                               int BytesPerPixel, bool HasAudio, const EncoderEngine& Engine)
    : FilePath(OutputPathForTest()),
      Object(std::make_unique<TScreenVideoEncoder>(FilePath.string(), true, HasAudio)) {
    Object->SetParameters(Parameters);
    Object->SetFrameSize(FrameFormat{static_cast<uint16_t>(Width), static_cast<uint16_t>(Height),
                                     static_cast<uint8_t>(BytesPerPixel)});
    Object->SetEngine(Engine);
    if (const StartResult Result = Object->Start(); Result != StartSucceeded) {
        throw std::runtime_error("Start returned " + std::to_string(Result));
    }
}

int32_t EncoderSession::Encode(const bench::FrameBuffer& Frame, int32_t Timestamp, bool KeyFrame) {
    const int32_t Result =
        Object->EncodeFrame(Frame.Picture(), Timestamp, PreviousTimestamp, KeyFrame);
    PreviousTimestamp = Timestamp;
    return Result;
}

FlvFile EncoderSession::Finish(const std::vector<std::string>& ExpectedWarnings) {
    const uint32_t Size = Object->Finish();
    EXPECT_EQ(Size, std::filesystem::file_size(FilePath));
    EXPECT_FALSE(Object->FileError()) << Object->FileError().message();
    FlvFile File = ReadFlvFile(FilePath);
    if (!File.Tags.empty()) {
        EXPECT_TRUE(FlvmetaAccepts(FilePath, ExpectedWarnings));
    }
    return File;
}

bench::FrameBuffer SolidFrame(int Width, int Height, int BytesPerPixel, bench::Bgr Colour) {
    bench::FrameBuffer Frame(Width, Height, BytesPerPixel);
    Frame.FillRect(0, 0, Width, Height, Colour);
    return Frame;
}

bench::FrameBuffer NoiseFrame(int Width, int Height, int BytesPerPixel, uint32_t Seed) {
    bench::FrameBuffer Frame(Width, Height, BytesPerPixel);
    std::mt19937 Generator(Seed);
    for (int Y = 0; Y < Height; ++Y) {
        uint8_t* Row = Frame.PixelAt(0, Y);
        for (int Byte = 0; Byte < Width * BytesPerPixel; ++Byte) {
            Row[Byte] = static_cast<uint8_t>(Generator());
        }
    }
    return Frame;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& Stream, size_t ExpectedSize) {
    std::vector<uint8_t> Output(ExpectedSize + 1);
    uLongf OutputSize = static_cast<uLongf>(Output.size());
    const int Result =
        uncompress(Output.data(), &OutputSize, Stream.data(), static_cast<uLong>(Stream.size()));
    EXPECT_EQ(Result, Z_OK) << "not a complete zlib stream";
    Output.resize(OutputSize);
    return Output;
}

}  // namespace quorvane::test
