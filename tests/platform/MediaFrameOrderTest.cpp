// The pictures of a media file read in any order are those read in order:
// decoding starts again from a key frame before a picture it has not
// reached or has passed, and after the sound took the file's reading.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/media/MediaFile.h"
#include "support/Fixtures.h"

namespace quorvane::test {
namespace {

using platform::TMediaFile;
using Pixels = std::vector<uint8_t>;

const std::string Source =
    "-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 -f lavfi -i sine=duration=4 ";

struct OrderCase {
    const char* Name;  // the fixture's file name
    std::string Making;
};

void PrintTo(const OrderCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

std::unique_ptr<TMediaFile> Open(const OrderCase& Case) {
    platform::TMediaOpenFailure Failure;
    return TMediaFile::Open(Fixture(Case.Name, Source + Case.Making).string(), 4096, Failure);
}

class MediaFrameOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(MediaFrameOrder, GivesThePicturesOfASequentialPass) {
    std::vector<Pixels> Sequential;
    {
        const std::unique_ptr<TMediaFile> File = Open(GetParam());
        ASSERT_TRUE(File);
        for (size_t Frame = 0; Frame < File->FrameTimes().size(); ++Frame) {
            Sequential.push_back(TopDownPixels(File->Picture(Frame)));
            ASSERT_FALSE(Sequential.back().empty()) << Frame;
        }
    }
    const std::unique_ptr<TMediaFile> File = Open(GetParam());
    ASSERT_EQ(File->FrameTimes().size(), Sequential.size());
    const size_t Last = Sequential.size() - 1;
    for (size_t Frame = Last + 1; Frame-- > 0;) {
        EXPECT_EQ(TopDownPixels(File->Picture(Frame)), Sequential[Frame]) << "backwards " << Frame;
    }
    for (const size_t Frame : {Last - 2, size_t{50}, size_t{13}, size_t{12}, size_t{61}, size_t{1},
                               size_t{36}, size_t{37}, size_t{24}, size_t{23}}) {
        EXPECT_EQ(TopDownPixels(File->Picture(Frame)), Sequential[Frame]) << "jumping to " << Frame;
    }
    const std::unique_ptr<platform::TMediaAudioReader> Sound = File->TakeAudio();
    ASSERT_TRUE(Sound);
    std::vector<int16_t> Samples(4096 * 2);
    EXPECT_GT(Sound->Read(Samples.data(), 4096), 0u);
    EXPECT_EQ(TopDownPixels(File->Picture(Last - 30)), Sequential[Last - 30]) << "after the sound";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, MediaFrameOrder,
    testing::Values(
        OrderCase{"order-h264-gop12.mp4", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a aac"},
        // Its key frames are recovery points: the pictures are whole only
        // frames later.
        OrderCase{"order-h264-intra-refresh.mp4",
                  "-c:v libx264 -x264-params intra-refresh=1:keyint=12 -pix_fmt yuv420p -c:a aac"},
        OrderCase{"order-h264-open-gop.mkv",
                  "-c:v libx264 -x264-params open-gop=1:keyint=12 -bf 3 -pix_fmt yuv420p -c:a aac"},
        OrderCase{"order-hevc-open-gop.mp4",
                  "-c:v libx265 -x265-params "
                  "log-level=error:keyint=12:min-keyint=12:open-gop=1:bframes=3 "
                  "-pix_fmt yuv420p -c:a aac"},
        OrderCase{"order-mpeg2-open-gop.ts", "-c:v mpeg2video -g 12 -bf 2 -c:a mp2"},
        OrderCase{"order-vp9.webm", "-c:v libvpx-vp9 -g 10 -b:v 200k -c:a libopus"}),
    [](const auto& Info) { return TestNameOf(Info.param.Name); });

}  // namespace
}  // namespace quorvane::test
