// Video files other than AVI, converted by quorvane-cli and checked against
// FFmpeg's own reading of them: the pictures FFmpeg decodes at their times,
// those times within a millisecond, and a tone burst heard when it sounds
// in the source. Then many files in one call.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <thread>

#include "CliTestKit.h"
#include "PictureComparison.h"
#include "platform/audio/Mp3EncoderDriver.h"
#include "support/Fixtures.h"
#include "support/FlvDecoding.h"
#include "support/FlvmetaCheck.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

// Seconds of moving pictures.
std::string Pictures(int Seconds, const std::string& Rate = "25") {
    return "-f lavfi -i testsrc2=size=96x64:rate=" + Rate + ":duration=" + std::to_string(Seconds) +
           " ";
}

struct VideoFileCase {
    std::string Name;    // the fixture's file name
    std::string Making;  // the ffmpeg tool's arguments for it
    int Width = 96;      // as shown
    int Height = 64;
    std::string Shown = "";     // the ffmpeg tool's filters ("-vf") for its pictures as shown
    bool Rgb = false;           // stored as RGB: the pictures are exact
    int Rotation = 0;           // set in the file's display matrix afterwards
    bool JoinedMidway = false;  // a transport stream without its first third, as captured:
                                // FFmpeg's probing complains of the frames before a key frame
    std::vector<std::string> FlvmetaWarnings = {};

    path File() const;
};

void PrintTo(const VideoFileCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

void PutBE32(std::vector<uint8_t>& Bytes, size_t Offset, uint32_t Value) {
    for (int Byte = 0; Byte < 4; ++Byte) {
        Bytes[Offset + Byte] = static_cast<uint8_t>(Value >> (24 - 8 * Byte));
    }
}

// The video track's header (the first tkhd, version 0) given the display
// matrix of a clockwise turn; FFmpeg 5.1's muxer writes none of its own.
std::vector<uint8_t> TurnedClockwise(std::vector<uint8_t> Mp4, int Degrees) {
    const std::string Name = "tkhd";
    const auto Box = std::search(Mp4.begin(), Mp4.end(), Name.begin(), Name.end());
    if (Box == Mp4.end()) {
        throw std::runtime_error("no tkhd box");
    }
    const size_t Matrix = static_cast<size_t>(Box - Mp4.begin()) + 4 + 4 + 36;
    const double Radians = Degrees * M_PI / 180;
    const auto Fixed = [](double Value) {
        return static_cast<uint32_t>(static_cast<int32_t>(std::lround(Value * 65536)));
    };
    const uint32_t Cos = Fixed(std::cos(Radians));
    const uint32_t Sin = Fixed(std::sin(Radians));
    const uint32_t Entries[9] = {
        Cos, Sin, 0, static_cast<uint32_t>(-static_cast<int32_t>(Sin)), Cos, 0, 0, 0, 0x40000000};
    for (size_t Entry = 0; Entry < 9; ++Entry) {
        PutBE32(Mp4, Matrix + 4 * Entry, Entries[Entry]);
    }
    return Mp4;
}

// The transport stream from a packet a third of the way in on.
std::vector<uint8_t> WithoutFirstThird(std::vector<uint8_t> Ts) {
    constexpr size_t PacketSize = 188;
    Ts.erase(Ts.begin(),
             Ts.begin() + static_cast<ptrdiff_t>(Ts.size() / 3 / PacketSize * PacketSize));
    return Ts;
}

path VideoFileCase::File() const {
    const path Made = Fixture(Name, Making);
    if (JoinedMidway) {
        return DerivedFixture("joined-" + Name, Made, WithoutFirstThird);
    }
    if (Rotation == 0) {
        return Made;
    }
    return DerivedFixture("turned-" + Name, Made, [this](std::vector<uint8_t> Mp4) {
        return TurnedClockwise(Mp4, Rotation);
    });
}

class CliVideoFiles : public ::testing::TestWithParam<VideoFileCase> {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    path Dir;
};

TEST_P(CliVideoFiles, ShowFfmpegsPicturesAtItsTimesWithTheSoundInStep) {
    const VideoFileCase& Case = GetParam();
    const path Source = Case.File();
    const path Flv = Dir / "out.flv";
    const TProcessResult Run = RunCli({"--quiet", "--audio", "avi", Source.string(), Flv.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_TRUE(Case.JoinedMidway || Run.Errors.empty()) << Run.Errors;
    EXPECT_TRUE(FlvmetaAccepts(Flv, Case.FlvmetaWarnings));

    const TProbedTimes Probed = ProbeTimes(Source);
    ASSERT_FALSE(Probed.Pictures.empty());
    ASSERT_TRUE(Probed.FirstSound);
    const double Start = Probed.Start();
    std::vector<int64_t> PictureTimes;
    for (const double Time : Probed.Pictures) {
        PictureTimes.push_back(RoundedMs(Time, Start));
    }

    const std::optional<DecodedFrame> First = TFlvVideoFrames(Flv).Next();
    ASSERT_TRUE(First);
    EXPECT_EQ(First->Width, Case.Width);
    EXPECT_EQ(First->Height, Case.Height);
    const TPictureComparison Compared =
        ComparePictures(Source, PictureTimes, Case.Width, Case.Height, Flv, {Case.Shown, {}});
    const double WorstTimeError = WorstTimeErrorMs(Compared.FlvTimesMs, Probed);
    EXPECT_LE(WorstTimeError, 1.0);
    EXPECT_EQ(Compared.FirstFlvFrameMs, PictureTimes.front());  // a late start is kept
    EXPECT_GE(Compared.WorstPsnr, Case.Rgb ? INFINITY : LowestYuvPsnr)
        << "at " << Compared.WorstAtMs << " ms";

    const double BurstMs = (*Probed.FirstSound - Start + BurstAfterSoundStart(Source, Dir)) * 1000;
    const double HeardMs =
        BurstAfterSoundStart(Flv, Dir) * 1000 - platform::Mp3StreamDelay * 1000.0 / Mp3SoundRate;
    EXPECT_NEAR(HeardMs, BurstMs, Mp3FrameMs);

    std::cout << std::left << std::setw(22) << Case.Name << std::right << std::setw(4)
              << Probed.Pictures.size() << " pictures, " << std::setw(4) << Compared.FlvFrames
              << " compared, worst " << std::setw(8) << PsnrText(Compared.WorstPsnr)
              << ", times off by " << std::fixed << std::setprecision(3) << WorstTimeError
              << " ms at most, burst at " << std::setprecision(1) << BurstMs << " ms heard "
              << std::showpos << HeardMs - BurstMs << std::noshowpos << " ms off\n";
}

const std::string Moving = Pictures(2) + BurstSound(2, 1);

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CliVideoFiles,
    ::testing::Values(
        // Frames 33.367 ms apart.
        VideoFileCase{.Name = "h264-aac-29.97fps.mp4",
                      .Making = Pictures(2, "30000/1001") + BurstSound(2, 1) +
                                "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
        VideoFileCase{.Name = "vp9-opus.mkv",
                      .Making = Moving + "-c:v libvpx-vp9 -crf 30 -b:v 0 -c:a libopus"},
        VideoFileCase{.Name = "vp8-vorbis.webm",
                      .Making = Moving + "-c:v libvpx -b:v 1M -c:a libvorbis"},
        VideoFileCase{
            .Name = "qtrle-pcm.mov", .Making = Moving + "-c:v qtrle -c:a pcm_s16le", .Rgb = true},
        // Full-range YUV, of which FFmpeg warns unless told to be quiet.
        VideoFileCase{.Name = "mjpeg-pcm.mov",
                      .Making = Moving + "-c:v mjpeg -q:v 2 -c:a pcm_s16le"},
        // The transport stream's clock starts at 1.4 s, its sound a little earlier.
        VideoFileCase{.Name = "mpeg2-mp2.ts", .Making = Moving + "-c:v mpeg2video -q:v 2 -c:a mp2"},
        // Frames that refer to pictures before the first key frame come first.
        VideoFileCase{.Name = "h264-mp2-midway.ts",
                      .Making = Pictures(3) + BurstSound(3, 2) + "-c:v libx264 -g 25 -c:a mp2",
                      .JoinedMidway = true},
        VideoFileCase{.Name = "theora-flac.ogg",
                      .Making = Moving + "-c:v libtheora -q:v 8 -c:a flac"},
        // Frames at irregular times, and three seconds without any after
        // 1.5 s; the burst comes after the gap.
        VideoFileCase{
            .Name = "variable-rate.mkv",
            .Making = Pictures(3) + BurstSound(6, 5) +
                      "-vf 'settb=1/1000,setpts=(N/25+gt(N\\,37)*3+eq(mod(N\\,3)\\,1)*0.013)/TB' "
                      "-fps_mode passthrough -enc_time_base:v 1/1000 -c:v libx264 -c:a ac3",
            .FlvmetaWarnings = {flvmeta::Desynchronized}},
        // Two pictures of one time (as a GNOME screencast starts), and two
        // 0.4 ms apart: a player shows the second of each pair.
        VideoFileCase{.Name = "same-time.webm",
                      .Making = Moving + "-vf 'settb=1/1000,setpts=max(N-1\\,0)*0.04/TB' -fps_mode "
                                         "passthrough -enc_time_base:v 1/1000 -c:v libvpx -b:v 1M "
                                         "-c:a libvorbis"},
        VideoFileCase{.Name = "same-millisecond.mp4",
                      .Making = Moving +
                                "-vf 'settb=1/90000,setpts=N*3600-eq(N\\,1)*3564' -fps_mode "
                                "passthrough -enc_time_base:v 1/90000 -c:v libx264 -c:a aac"},
        // The sound starts 0.5 s after the pictures: an edit list delays it.
        VideoFileCase{
            .Name = "sound-half-a-second-late.mp4",
            .Making = Pictures(2) + "-itsoffset 0.5 " + BurstSound(2, 1) + "-c:v libx264 -c:a aac"},
        VideoFileCase{.Name = "turned.mp4",
                      .Making = Moving + "-c:v libx264 -c:a aac",
                      .Width = 64,
                      .Height = 96,
                      .Rotation = 90},
        // Pixels twice as wide as high are shown twice as wide.
        VideoFileCase{.Name = "wide-pixels.mkv",
                      .Making = Moving + "-vf setsar=2 -c:v mpeg4 -q:v 2 -c:a aac",
                      .Width = 192,
                      .Shown = "scale=192:64"},
        VideoFileCase{.Name = "ten-bit.mkv",
                      .Making = Moving + "-c:v libx265 -pix_fmt yuv420p10le -c:a aac"},
        VideoFileCase{.Name = "hdr-pq.mkv",
                      .Making = Moving +
                                "-c:v libvpx-vp9 -pix_fmt yuv420p10le -color_primaries bt2020 "
                                "-color_trc smpte2084 -colorspace bt2020nc -c:a libopus",
                      .Shown = "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                               "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,"
                               "format=gbrp"}),
    [](const auto& Info) { return TestNameOf(Info.param.Name); });

// A crop and a size on the way: each FLV picture is FFmpeg's own crop and
// scale of the same picture, with the scaler's flags the conversion uses.
struct GeometryCase {
    std::string Name;
    VideoFileCase Source;
    std::vector<std::string> Options;
    int Width;  // of the FLV
    int Height;
    std::string Filters;  // the ffmpeg tool's, for the same pictures
};

void PrintTo(const GeometryCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliPictureGeometry : public ::testing::TestWithParam<GeometryCase> {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    path Dir;
};

const std::string AskedScaling = ":flags=bicubic+full_chroma_int";

// A 5K screen's three pictures, larger than any FLV holds: converted only
// scaled or cropped. Tagged BT.601, the ffmpeg tool's own conversion.
const VideoFileCase FiveK{.Name = "geometry-5120x2880-bt601.mkv",
                          .Making =
                              "-f lavfi -i testsrc2=size=5120x2880:rate=5 -frames:v 3 "
                              "-c:v libx264 -preset ultrafast -colorspace bt470bg",
                          .Width = 5120,
                          .Height = 2880};

TEST_P(CliPictureGeometry, GivesFfmpegsCropAndScaleOfEachPicture) {
    const GeometryCase& Case = GetParam();
    const path Source = Case.Source.File();
    const path Flv = Dir / "out.flv";
    std::vector<std::string> Arguments = Case.Options;
    Arguments.insert(Arguments.end(), {"--quiet", Source.string(), Flv.string()});
    const TProcessResult Run = RunCli(Arguments);
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_TRUE(FlvmetaAccepts(Flv));

    const TProbedTimes Probed = ProbeTimes(Source);
    std::vector<int64_t> PictureTimes;
    for (const double Time : Probed.Pictures) {
        PictureTimes.push_back(RoundedMs(Time, Probed.Start()));
    }
    const std::optional<DecodedFrame> First = TFlvVideoFrames(Flv).Next();
    ASSERT_TRUE(First);
    EXPECT_EQ(First->Width, Case.Width);
    EXPECT_EQ(First->Height, Case.Height);
    const TPictureComparison Compared =
        ComparePictures(Source, PictureTimes, Case.Width, Case.Height, Flv, {Case.Filters, {}});
    EXPECT_EQ(Compared.ExactPictures, Probed.Pictures.size())
        << "worst " << PsnrText(Compared.WorstPsnr) << " at " << Compared.WorstAtMs << " ms";
    std::cout << std::left << std::setw(26) << Case.Name << std::right << " " << Case.Width << "x"
              << Case.Height << ", " << Compared.ExactPictures << " of " << Probed.Pictures.size()
              << " pictures exact, worst " << PsnrText(Compared.WorstPsnr) << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CliPictureGeometry,
    ::testing::Values(
        // A side left out keeps the aspect as ffmpeg's -1 does: 100 x 47 / 63
        // is 74.6.
        GeometryCase{
            "MjpegAviCroppedAndScaled",
            {.Name = "geometry-mjpeg-pcm.avi", .Making = Moving + "-c:v mjpeg -c:a pcm_s16le"},
            {"--crop", "63:47:13:9", "--size", "100x"},
            100,
            75,
            "crop=63:47:13:9:exact=1,scale=100:-1" + AskedScaling},
        // Pixel pairs share their chroma: no part starts at an odd pixel
        // of the stored rows, so the picture's own rows are cut.
        GeometryCase{
            "YuyvAviAtAnOddPlace",
            {.Name = "geometry-yuyv.avi", .Making = Pictures(1) + "-c:v rawvideo -pix_fmt yuyv422"},
            {"--crop", "51:33:7:5", "--size", "x66"},
            102,
            66,
            "format=bgr24,crop=51:33:7:5:exact=1,scale=-1:66" + AskedScaling},
        GeometryCase{
            "PaletteAviCropped",
            {.Name = "geometry-pal8.avi", .Making = Pictures(1) + "-c:v rawvideo -pix_fmt pal8"},
            {"--crop", "40:30:11:7"},
            40,
            30,
            "crop=40:30:11:7:exact=1"},
        // Chroma at an odd place starts half a pixel before, as in FFmpeg.
        GeometryCase{"H264Mp4CroppedAtAnOddPlace",
                     {.Name = "geometry-h264-aac.mp4", .Making = Moving + "-c:v libx264 -c:a aac"},
                     {"--crop", "33:21:31:17"},
                     33,
                     21,
                     "crop=33:21:31:17:exact=1"},
        GeometryCase{"H264Mp4ScaledToAnotherAspect",
                     {.Name = "geometry-h264-aac.mp4", .Making = Moving + "-c:v libx264 -c:a aac"},
                     {"--size", "150x100"},
                     150,
                     100,
                     "scale=150:100" + AskedScaling},
        // The crop is given in the picture turned upright.
        GeometryCase{
            "TurnedMp4CroppedAndScaled",
            {.Name = "turned.mp4", .Making = Moving + "-c:v libx264 -c:a aac", .Rotation = 90},
            {"--crop", "40:60:8:20", "--size", "80x"},
            80,
            120,
            "crop=40:60:8:20:exact=1,scale=80:-1" + AskedScaling},
        // Pixels twice as wide: the crop's edges 21 and 122 lie at 10.5 and
        // 61 of the stored pixels, and 10.5 goes to 11; that part is scaled
        // once, to the crop's size.
        GeometryCase{"WidePixelsCropped",
                     {.Name = "wide-pixels.mkv",
                      .Making = Moving + "-vf setsar=2 -c:v mpeg4 -q:v 2 -c:a aac"},
                     {"--crop", "101:40:21:10"},
                     101,
                     40,
                     "crop=50:40:11:10:exact=1,scale=101:40" + AskedScaling},
        GeometryCase{"FiveKScaledDown",
                     FiveK,
                     {"--size", "1280x"},
                     1280,
                     720,
                     "scale=1280:-1" + AskedScaling},
        GeometryCase{"FiveKCroppedPast4095",
                     FiveK,
                     {"--crop", "640:360:4400:2400"},
                     640,
                     360,
                     "crop=640:360:4400:2400:exact=1"},
        // The crop alone would be too wide for an FLV; the size brings it in.
        GeometryCase{"FiveKCropWiderThanAnFlvScaled",
                     FiveK,
                     {"--crop", "4800:2000:200:500", "--size", "x720"},
                     1728,
                     720,
                     "crop=4800:2000:200:500:exact=1,scale=-1:720" + AskedScaling}),
    [](const auto& Info) { return Info.param.Name; });

// A crop or size that can't be used writes nothing and exits as a usage
// error: before the file is read where the values alone show it (here the
// file does not even exist), else once its picture's size is known.
TEST(CliPictureGeometryRefusals, AreUsageErrorsThatWriteNothing) {
    const path Source =
        VideoFileCase{.Name = "geometry-h264-aac.mp4", .Making = Moving + "-c:v libx264 -c:a aac"}
            .File();
    const path Dir = FreshDir("PictureGeometryRefusals");
    const struct {
        std::vector<std::string> Arguments;
        std::string Said;
    } Refusals[] = {
        {{"--size", "4096x", (Dir / "missing.mp4").string()},
         "quorvane-cli: --size takes WIDTHxHEIGHT of 1 to 4095 pixels"},
        {{"--crop", "64:48:40:20", Source.string()},
         "Error: " + Source.string() +
             ": The crop 64:48:40:20 (width:height:x:y) reaches beyond the picture, which is "
             "96x64 pixels.\n"},
        {{"--crop", "2:64:0:0", "--size", "4000x", Source.string()},
         "Error: " + Source.string() +
             ": The size asked for makes the picture 4000x128000 pixels; Flash Screen Video "
             "frames are 1 to 4095 pixels wide and high.\n"},
        {{FiveK.File().string()},
         "Error: " + FiveK.File().string() +
             ": The video is 5120x2880 pixels; Flash Screen Video frames are 1 to 4095 pixels "
             "wide and high: give a size that scales it down (--size 1920x, or \"Resize the "
             "picture to\" in the window), or crop it.\n"},
        {{"--crop", "4096:100:1000:0", FiveK.File().string()},
         "Error: " + FiveK.File().string() +
             ": The crop is 4096x100 pixels; Flash Screen Video frames are 1 to 4095 pixels wide "
             "and high: give a size that scales it down (--size 1920x, or \"Resize the picture "
             "to\" in the window), or a smaller crop.\n"},
    };
    for (const auto& Refusal : Refusals) {
        const path Flv = Dir / "out.flv";
        std::vector<std::string> Arguments = Refusal.Arguments;
        Arguments.push_back(Flv.string());
        const TProcessResult Run = RunCli(Arguments);
        EXPECT_EQ(Run.ExitStatus, 2) << Run.Errors;
        EXPECT_NE(Run.Errors.find(Refusal.Said), std::string::npos) << Run.Errors;
        EXPECT_FALSE(fs::exists(Flv));
    }
}

// As the end of a run tells it.
std::string OutputSize(const path& File) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%.2f MBytes",
                  static_cast<double>(fs::file_size(File)) / 1048576);
    return Text;
}

std::vector<std::string> FilesIn(const path& Folder) {
    std::vector<std::string> Names;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder)) {
        Names.push_back(Entry.path().filename().string());
    }
    std::sort(Names.begin(), Names.end());
    return Names;
}

class CliManyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Folder = Dir / "flv";
    }
    path Dir;
    path Folder;
};

// The good files are converted whatever becomes of the bad ones between
// them, each into the folder (made for them) under its own name; each bad
// one is named with why, and the summary tells of every file.
TEST_F(CliManyFiles, ConvertEachGoodFileAndTellOfEveryFile) {
    const path Mp4 =
        VideoFileCase{.Name = "two-seconds.mp4", .Making = Moving + "-c:v libx264 -c:a aac"}.File();
    const path Webm = VideoFileCase{.Name = "another-two-seconds.webm",
                                    .Making = Moving + "-c:v libvpx -c:a libvorbis"}
                          .File();
    const path Text = Dir / "notes.mkv";
    WriteFileBytes(Text, {'n', 'o', 't', 'e', 's', '\n'});
    const path Missing = Dir / "missing.mp4";
    const TProcessResult Run =
        RunCli({"--audio", "included", Mp4.string(), Text.string(), Missing.string(), Webm.string(),
                "--output-dir", Folder.string()});
    EXPECT_EQ(Run.ExitStatus, 1) << Run.Errors;
    EXPECT_EQ(FilesIn(Folder),
              (std::vector<std::string>{"another-two-seconds.flv", "two-seconds.flv"}));
    for (const char* Converted : {"another-two-seconds.flv", "two-seconds.flv"}) {
        EXPECT_TRUE(FlvmetaAccepts(Folder / Converted));
        EXPECT_EQ(DecodeFlvVideo(Folder / Converted).size(), 50u);
    }
    const std::string NotAVideo =
        "Impossible to open this file. It is not a video file, or it is damaged.";
    const std::string NoSuchFile = "Impossible to open this file. No such file or directory.";
    EXPECT_NE(Run.Errors.find("Error: " + Text.string() + ": " + NotAVideo), std::string::npos)
        << Run.Errors;
    EXPECT_NE(Run.Errors.find("Error: " + Missing.string() + ": " + NoSuchFile), std::string::npos);
    const std::string Summary = Run.Output.substr(Run.Output.find("Summary: "));
    EXPECT_EQ(Summary, "Summary: 2 of 4 files converted into " + Folder.string() + "\n" +
                           "  done     " + Mp4.string() + " -> " +
                           (Folder / "two-seconds.flv").string() + ", " +
                           OutputSize(Folder / "two-seconds.flv") + "\n" + "  failed   " +
                           Text.string() + ": " + NotAVideo + "\n" + "  failed   " +
                           Missing.string() + ": " + NoSuchFile + "\n" + "  done     " +
                           Webm.string() + " -> " + (Folder / "another-two-seconds.flv").string() +
                           ", " + OutputSize(Folder / "another-two-seconds.flv") + "\n");
    std::cout << Summary;
}

// Ctrl-C stops the file being converted and starts no other; stopped before
// its first frame, that file is not written. The summary says so.
TEST_F(CliManyFiles, CtrlCStopsTheFileBeingConvertedAndStartsNoOther) {
    const path Long = TenMinutesWithTone();
    const path Short =
        VideoFileCase{.Name = "two-seconds.mp4", .Making = Moving + "-c:v libx264 -c:a aac"}.File();
    const path Stopped = Folder / (Long.stem().string() + ".flv");
    TBackgroundProcess Cli(QUORVANE_CLI_PATH, {"--audio", "included", "--output-dir",
                                               Folder.string(), Long.string(), Short.string()});
    // The audio pass is under way once its temporary file has bytes.
    const auto AudioWritten = [&] {
        std::error_code Missing;
        const uintmax_t Size = fs::file_size(Stopped.string() + "audio", Missing);
        return !Missing && Size > 0;
    };
    while (Cli.Running() && !AudioWritten()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(AudioWritten()) << "the first file ended before it could be interrupted";
    Cli.Signal(SIGINT);
    const TProcessResult Run = Cli.Wait();
    EXPECT_EQ(Run.ExitStatus, 130) << Run.Errors;
    EXPECT_EQ(FilesIn(Folder), std::vector<std::string>{});
    EXPECT_NE(Run.Output.find("  stopped  " + Long.string() + ": no frame was encoded"),
              std::string::npos)
        << Run.Output;
    EXPECT_NE(Run.Output.find("  skipped  " + Short.string() + ": not started after the stop"),
              std::string::npos);
}

}  // namespace
}  // namespace quorvane::test
