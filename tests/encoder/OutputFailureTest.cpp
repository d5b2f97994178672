// Write failures are detected and reported, not ignored.
#include <gtest/gtest.h>

#include "EncoderTestKit.h"
#include "support/FileSizeLimit.h"

namespace quorvane::test {
namespace {

TEST(OutputFailure, AFullDeviceIsReportedByFileError) {
    TScreenVideoEncoder Encoder("/dev/full", true, true);
    Encoder.SetParameters(ParametersFor(LosslessMode, 64, 64));
    Encoder.SetFrameSize(FrameFormat{320, 240, 3});
    ASSERT_EQ(Encoder.Start(), StartSucceeded);
    const bench::FrameBuffer Frame = NoiseFrame(320, 240, 3, 4);
    Encoder.EncodeFrame(Frame.Picture(), 0, 0, true);
    const uint8_t Mp3[4] = {0xFF, 0xFB, 0x90, 0x00};
    Encoder.WriteAudioTag(Mp3, 4, 10, 1, 3);
    EXPECT_EQ(Encoder.Finish(), 0u) << "no byte reached the device";
    EXPECT_EQ(Encoder.FileError(), std::errc::no_space_on_device);
}

// A file size limit makes the system accept only part of a write, then refuse
// the rest: both must be noticed, the file cut back to its last whole tag,
// and Finish must report what the file holds.
class FileSizeLimit : public ::testing::Test {
protected:
    static constexpr uint64_t Limit = 100000;
    ScopedFileSizeLimit Limited{Limit};
};

TEST_F(FileSizeLimit, AShortWriteIsReportedAndLeavesWholeTagsOnly) {
    const auto Path = OutputPathForTest();
    TScreenVideoEncoder Encoder(Path.string(), true, false);
    Encoder.SetParameters(ParametersFor(LosslessMode, 64, 64));
    Encoder.SetFrameSize(FrameFormat{160, 120, 3});
    ASSERT_EQ(Encoder.Start(), StartSucceeded);
    for (int32_t Index = 0; Index < 8; ++Index) {
        const bench::FrameBuffer Frame = NoiseFrame(160, 120, 3, static_cast<uint32_t>(Index));
        Encoder.EncodeFrame(Frame.Picture(), Index * 40, Index == 0 ? 0 : (Index - 1) * 40,
                            Index == 0);
    }
    EXPECT_EQ(Encoder.FileError(), std::errc::file_too_large)
        << "the failure shows before Finish once the buffer was written";
    const uint32_t Size = Encoder.Finish();
    EXPECT_LT(Size, Limit);
    EXPECT_EQ(std::filesystem::file_size(Path), Size);
    EXPECT_EQ(Encoder.FileError(), std::errc::file_too_large);
    EXPECT_FALSE(ReadFlvFile(Path).Tags.empty());
}

}  // namespace
}  // namespace quorvane::test
