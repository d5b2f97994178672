// Loading an input file into a job: descriptions, error texts, the first
// frame and its format, and what is held and released.
#include <gtest/gtest.h>

#include <filesystem>

#include "job/ScreenVideoEncoderThread.h"
#include "support/Fixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane {
namespace {

using test::path;

// Loading talks to no front end.
class SilentFrontEnd : public IJobFrontEnd {
public:
    TJobSettings ReadSettings() override { return Unexpected<TJobSettings>(); }
    void PreparePreview(int32_t, int32_t) override { Unexpected<void>(); }
    void ShowStatus(const std::string&) override { Unexpected<void>(); }
    void ShowProgress(const TProgressReport&) override { Unexpected<void>(); }
    void ShowPreview(const platform::TPicture&) override { Unexpected<void>(); }
    void ShowResult(const TRunResult&) override { Unexpected<void>(); }
    bool AskYesNo(const std::string&, const std::string&) override { return Unexpected<bool>(); }
    void ShowMessage(const std::string&, const std::string&) override { Unexpected<void>(); }

private:
    template <class T>
    T Unexpected() {
        ADD_FAILURE() << "the front end was called";
        return T();
    }
};

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

class VideoSourceTest : public testing::Test {
protected:
    SilentFrontEnd FrontEnd;
    TAVIToScreenVideoThread Job{FrontEnd};
};

struct Loaded {
    const char* Name;
    path (*File)();
    const char* VideoDescription;
    const char* AudioDescription;
    bool AudioUsable;
    uint8_t BytesPerPixel;
};

void PrintTo(const Loaded& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class LoadedFiles : public VideoSourceTest, public testing::WithParamInterface<Loaded> {};

TEST_P(LoadedFiles, AreDescribedExactly) {
    const Loaded& Case = GetParam();
    Job.LoadVideoFile(Case.File().string());
    ASSERT_EQ(Job.State(), SourceOpen) << Job.ErrorText();
    EXPECT_TRUE(Job.VideoFound());
    EXPECT_EQ(Job.VideoDescription(), Case.VideoDescription);
    EXPECT_EQ(Job.AudioDescription(), Case.AudioDescription);
    EXPECT_EQ(Job.AudioUsable(), Case.AudioUsable);
    EXPECT_EQ(Job.GetFrameFormat().BytesPerPixel, Case.BytesPerPixel);
    ASSERT_TRUE(Job.CurrentFrame());
}

const char* const PcmStereo = "PCM, Stereo 16 bits, 44100Hz.";

// Video files of other kinds, read through the media file services.
const std::string SmallPictures = "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 ";

path Mp4H264Aac() {
    return test::Fixture("h264-aac-stereo.mp4",
                         "-f lavfi -i testsrc2=size=64x48:rate=30:duration=1 -f lavfi -i "
                         "sine=sample_rate=44100:duration=1 -ac 2 -c:v libx264 -c:a aac");
}

// Frames at 0, 10, 40, 90... 810 ms: 9 intervals in 810 ms.
path MkvVariableRate() {
    return test::Fixture("variable-rate-squares-ms.mkv",
                         SmallPictures +
                             "-vf settb=1/1000,setpts=N*N*0.01/TB -fps_mode passthrough "
                             "-enc_time_base:v 1/1000 -c:v mpeg4");
}

// Two sound tracks, the second marked as the one to play.
path MkvSecondTrackDefault() {
    return test::Fixture("second-track-default.mkv",
                         SmallPictures +
                             "-f lavfi -i sine=duration=1 -f lavfi -i sine=sample_rate=22050:"
                             "duration=1 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a:0 libvorbis "
                             "-c:a:1 flac -disposition:a:0 0 -disposition:a:1 default");
}

path MovPcm24() {
    return test::Fixture("pcm24.mov", SmallPictures +
                                          "-f lavfi -i sine=sample_rate=48000:duration=1 -ac 2 "
                                          "-c:v qtrle -c:a pcm_s24le");
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LoadedFiles,
    testing::Values(
        Loaded{"Bgr24", test::AviBgr24, "64x48, 15 fps.", "", false, 3},
        Loaded{"Bgra", test::AviBgra, "32x24, 10 fps.", "", false, 4},
        Loaded{"Pal8", test::AviPal8, "64x48, 15 fps.", "", false, 3},
        Loaded{"Mjpeg", test::AviMjpeg, "160x120, 25 fps.", "", false, 3},
        Loaded{"Mpeg4", test::AviMpeg4, "160x120, 29.97 fps.", "", false, 3},
        Loaded{"H264", test::AviH264, "160x120, 23.976 fps.", "", false, 3},
        Loaded{"Width642", test::AviWidth642, "642x10, 5 fps.", "", false, 3},
        Loaded{"Dropped", test::AviDropped, "64x48, 10 fps.", "", false, 3},
        Loaded{"HalfRate", test::AviHalfRate, "64x48, 12.5 fps.", "", false, 3},
        Loaded{"Rate50Scale2", test::AviRate50Scale2, "64x48, 25 fps.", "", false, 3},
        Loaded{"ScaleZero", test::AviScaleZero, "64x48, unknown frame rate.", "", false, 3},
        Loaded{"NoFrameRect", test::AviNoFrameRect, "64x48, 15 fps.", "", false, 3},
        Loaded{"Pcm16Stereo", test::AviPcm16Stereo, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"Pcm8Mono", test::AviPcm8Mono, "64x48, 15 fps.", "PCM, Mono 8 bits, 11025Hz.", true,
               3},
        Loaded{"Mp3", test::AviMp3, "64x48, 15 fps.", "MPEG Layer-3, Stereo 44100Hz.", true, 3},
        Loaded{"ImaAdpcm", test::AviImaAdpcm, "64x48, 15 fps.", "IMA ADPCM, Mono 22050Hz.", true,
               3},
        Loaded{"SixChannels", test::AviSixChannels, "64x48, 15 fps.", "6 channels 48000Hz.", true,
               3},
        Loaded{"SixChannelsAsPcm", test::AviSixChannelsAsPcm, "64x48, 15 fps.",
               "PCM, 6 channels 16 bits, 48000Hz.", true, 3},
        Loaded{"UnknownAudioTag", test::AviUnknownAudioTag, "64x48, 15 fps.",
               "The video file includes audio, but its format can not be decoded.", false, 3},
        Loaded{"AudioWithoutFormat", test::AviAudioWithoutFormat, "64x48, 15 fps.",
               "The video file includes audio, but its format is unknown.", false, 3},
        Loaded{"AudioFirst", test::AviAudioFirst, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"Truncated", test::AviTruncated, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"AbsoluteIdx1", test::AviAbsoluteIdx1, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"OpenDml", test::AviOpenDml, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"OpenDmlUnindexed", test::AviOpenDmlUnindexed, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"OpenDmlBeyond4GB", test::AviOpenDmlBeyond4GB, "64x48, 15 fps.", PcmStereo, true, 3},
        Loaded{"Mp4", Mp4H264Aac, "H.264, 64x48, 30 fps.", "AAC, Stereo 44100Hz.", true, 3},
        Loaded{"VariableRate", MkvVariableRate,
               "MPEG-4, 64x48, variable frame rate, 11.111 fps on average.", "", false, 3},
        Loaded{"SecondTrackDefault", MkvSecondTrackDefault, "MPEG-4, 64x48, 10 fps.",
               "FLAC, Mono 22050Hz, track 2 of 2.", true, 3},
        Loaded{"Pcm24", MovPcm24, "QuickTime RLE, 64x48, 10 fps.", "PCM, Stereo 24 bits, 48000Hz.",
               true, 3}),
    [](const testing::TestParamInfo<Loaded>& Info) { return std::string(Info.param.Name); });

struct Refused {
    const char* Name;
    path (*File)();
    const char* ErrorText;
};

void PrintTo(const Refused& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class RefusedFiles : public VideoSourceTest, public testing::WithParamInterface<Refused> {};

TEST_P(RefusedFiles, FailWithTheirMessageAndKeepNothing) {
    path File = GetParam().File();
    size_t Before = OpenDescriptors();
    Job.LoadVideoFile(File.string());
    EXPECT_EQ(Job.ErrorText(), GetParam().ErrorText);
    EXPECT_EQ(Job.State(), NoSourceOpen);
    EXPECT_FALSE(Job.VideoFound());
    EXPECT_FALSE(Job.AudioUsable());
    EXPECT_FALSE(Job.CurrentFrame());
    EXPECT_EQ(OpenDescriptors(), Before);
}

path MissingFile() {
    return test::WorkDir() / "no-such-file.avi";
}

path SoundOnlyM4a() {
    return test::Fixture("sound-only.m4a", "-f lavfi -i sine=duration=1 -c:a aac");
}

// The first kilobyte of an MP4 file, whose index comes at its end.
path CutMp4() {
    return test::DerivedFixture("cut.mp4", Mp4H264Aac(), [](std::vector<uint8_t> Bytes) {
        Bytes.resize(1024);
        return Bytes;
    });
}

path PngPicture() {
    return test::Fixture("picture.png", "-f lavfi -i testsrc2=size=64x48 -frames:v 1");
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RefusedFiles,
    testing::Values(
        Refused{"Empty", test::EmptyFile, "Impossible to open this file."},
        Refused{"Text", test::TextFile, "Impossible to open this file."},
        Refused{"Missing", MissingFile, "Impossible to open this file."},
        Refused{"AudioOnly", test::AviAudioOnly, "Impossible to find video data in this file."},
        Refused{"UnknownVideoCodec", test::AviUnknownVideoCodec,
                "Impossible to read this video. Check that the corresponding codec is "
                "installed."},
        Refused{"FirstFrameUndecodable", test::AviFirstFrameUndecodable,
                "Impossible to decode the first frame of this video."},
        Refused{"SoundOnly", SoundOnlyM4a, "Impossible to find video data in this file."},
        Refused{"CutMp4", CutMp4, "Impossible to open this file."},
        Refused{"Picture", PngPicture, "Impossible to open this file."}),
    [](const testing::TestParamInfo<Refused>& Info) { return std::string(Info.param.Name); });

TEST_F(VideoSourceTest, TheFirstFrameIsTheDecodedPictureAndGivesTheFrameFormat) {
    Job.LoadVideoFile(test::AviWidth642().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    EXPECT_EQ(Job.GetFrameFormat().Width, 642);
    EXPECT_EQ(Job.GetFrameFormat().Height, 10);
    EXPECT_EQ(Job.GetFrameFormat().BytesPerPixel, 3);
    std::vector<uint8_t> Decoded = test::DecodeWithFfmpeg(test::AviWidth642(), "bgr24");
    Decoded.resize(642 * 10 * 3);
    EXPECT_EQ(test::TopDownPixels(Job.CurrentFrame()), Decoded);
}

// The part of a top-down picture of Width pixels a row, 3 bytes a pixel.
std::vector<uint8_t> PartOf(const std::vector<uint8_t>& Pixels, int Width,
                            const platform::TPictureRect& Part) {
    std::vector<uint8_t> Kept;
    for (int Row = Part.Y; Row < Part.Y + Part.Height; ++Row) {
        const auto From = Pixels.begin() + (static_cast<ptrdiff_t>(Row) * Width + Part.X) * 3;
        Kept.insert(Kept.end(), From, From + static_cast<ptrdiff_t>(Part.Width) * 3);
    }
    return Kept;
}

// Larger than what libavformat reads at once: once emptied, none of it is
// still at hand, and a seek back must read the file.
path Mp4H264Lossless() {
    return test::Fixture("h264-lossless.mp4",
                         "-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 -c:v libx264 -qp 0");
}

struct InputFile {
    const char* Name;
    path (*File)();
};

class FirstFrameGeometry : public VideoSourceTest, public testing::WithParamInterface<InputFile> {};

// A geometry used after loading converts the first frame again, decoded
// ahead or not, as the run converts every frame; without one it is whole
// again. A crop at even places of the picture keeps its chroma as it was.
TEST_P(FirstFrameGeometry, IsThePartOfTheFirstPictureAndBackWhole) {
    Job.LoadVideoFile(GetParam().File().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    const int Width = Job.GetFrameFormat().Width;
    const std::vector<uint8_t> Whole = test::TopDownPixels(Job.CurrentFrame());
    const platform::TPictureRect Part{30, 16, 8, 4};
    ASSERT_EQ(Job.UsePictureGeometry({Part}), "");
    EXPECT_EQ(Job.GetFrameFormat().Width, 30);
    EXPECT_EQ(Job.GetFrameFormat().Height, 16);
    EXPECT_EQ(test::TopDownPixels(Job.CurrentFrame()), PartOf(Whole, Width, Part));
    ASSERT_EQ(Job.UsePictureGeometry({}), "");
    EXPECT_EQ(test::TopDownPixels(Job.CurrentFrame()), Whole);
    const platform::TPictureGeometry Beyond{platform::TPictureRect{30, 16, Width - 29, 0}};
    EXPECT_NE(Job.PictureProblem(Beyond), "");
    EXPECT_NE(Job.UsePictureGeometry(Beyond), "");
}

// The picture at a range's start is held; a new geometry converts it again
// from its decoded frame without reading the file: emptied meanwhile, the
// file still gives it, and only another picture can't be had.
TEST_P(FirstFrameGeometry, AtTheRangesStartIsConvertedAgainWithoutReadingTheFile) {
    const path Copy = test::FreshDir(std::string("held-") + GetParam().Name) / "input";
    std::filesystem::copy_file(GetParam().File(), Copy);
    Job.LoadVideoFile(Copy.string());
    ASSERT_EQ(Job.State(), SourceOpen);
    const int Width = Job.GetFrameFormat().Width;
    const std::vector<uint8_t> First = test::TopDownPixels(Job.CurrentFrame());
    ASSERT_EQ(Job.UsePictureGeometry({}, 500), "");
    const std::vector<uint8_t> AtStart = test::TopDownPixels(Job.CurrentFrame());
    EXPECT_NE(AtStart, First);
    std::filesystem::resize_file(Copy, 0);
    const platform::TPictureRect Part{30, 16, 8, 4};
    ASSERT_EQ(Job.UsePictureGeometry({Part}, 500), "");
    EXPECT_EQ(test::TopDownPixels(Job.CurrentFrame()), PartOf(AtStart, Width, Part));
    EXPECT_NE(Job.UsePictureGeometry({Part}, 0), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FirstFrameGeometry,
                         testing::Values(InputFile{"Mpeg4Avi", test::AviMpeg4},
                                         InputFile{"H264Mp4", Mp4H264Lossless}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(VideoSourceTest, AFileWithoutAudioLeavesTheAudioUnusableAndUndescribed) {
    Job.LoadVideoFile(test::AviBgr24().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    EXPECT_FALSE(Job.AudioUsable());
    EXPECT_EQ(Job.AudioDescription(), "");
}

TEST_F(VideoSourceTest, LoadingAgainFirstClosesTheSourceHeld) {
    size_t Before = OpenDescriptors();
    Job.LoadVideoFile(test::AviPcm16Stereo().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    EXPECT_EQ(OpenDescriptors(), Before + 1);
    Job.LoadVideoFile(test::AviMjpeg().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    EXPECT_EQ(OpenDescriptors(), Before + 1);
    EXPECT_EQ(Job.VideoDescription(), "160x120, 25 fps.");
    // A file without audio leaves the audio description as it was.
    EXPECT_EQ(Job.AudioDescription(), PcmStereo);
    EXPECT_FALSE(Job.AudioUsable());
}

TEST_F(VideoSourceTest, AFailedLoadAfterASuccessfulOneHoldsNothing) {
    size_t Before = OpenDescriptors();
    Job.LoadVideoFile(test::AviPcm16Stereo().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    Job.LoadVideoFile(test::AviAudioOnly().string());
    EXPECT_EQ(Job.State(), NoSourceOpen);
    EXPECT_EQ(Job.ErrorText(), "Impossible to find video data in this file.");
    EXPECT_FALSE(Job.VideoFound());
    EXPECT_FALSE(Job.AudioUsable());
    EXPECT_EQ(OpenDescriptors(), Before);
}

TEST_F(VideoSourceTest, CloseVideoFileReleasesTheSource) {
    size_t Before = OpenDescriptors();
    Job.LoadVideoFile(test::AviPcm16Stereo().string());
    ASSERT_EQ(Job.State(), SourceOpen);
    Job.CloseVideoFile();
    EXPECT_EQ(Job.State(), NoSourceOpen);
    EXPECT_FALSE(Job.CurrentFrame());
    EXPECT_EQ(OpenDescriptors(), Before);
}

TEST(VideoSourceLifetime, AJobDestroyedWithASourceOpenReleasesIt) {
    SilentFrontEnd FrontEnd;
    size_t Before = OpenDescriptors();
    {
        TAVIToScreenVideoThread Job(FrontEnd);
        Job.LoadVideoFile(test::AviPcm16Stereo().string());
        ASSERT_EQ(Job.State(), SourceOpen);
        EXPECT_EQ(OpenDescriptors(), Before + 1);
    }
    EXPECT_EQ(OpenDescriptors(), Before);
}

}  // namespace
}  // namespace quorvane
