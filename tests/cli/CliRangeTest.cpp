// Parts of files converted with --start and --end, checked against the
// ffmpeg tool's own cut of the source (-ss, -to): its pictures at its times,
// a tone burst heard at its time less the start, the sound and the seek
// index ending with the range. Then the ranges refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>

#include "CliTestKit.h"
#include "PictureComparison.h"
#include "platform/audio/Mp3EncoderDriver.h"
#include "support/Fixtures.h"
#include "support/FlvmetaCheck.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

constexpr double BurstAt = 2.5;  // seconds into each source
const std::string Pictures = "-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 ";
const std::string RawPictures = Pictures + BurstSound(4, BurstAt) + "-c:v rawvideo -pix_fmt bgr24 ";

struct RangeCase {
    std::string Name;    // the fixture's file name
    std::string Making;  // the ffmpeg tool's arguments for it
    std::string Start;   // as typed
    std::string End;
    double StartSeconds;
    double EndSeconds;
    bool Rgb = false;  // stored as RGB: the pictures are exact
    // The sound of an MP3 file beside it, cut to its frames, in place of
    // the file's own.
    bool ExternalMp3 = false;
    std::vector<std::string> FlvmetaWarnings = {};
};

void PrintTo(const RangeCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// The last picture at or before Seconds: the one shown then.
double ShownAt(const std::vector<double>& Pictures, double Seconds) {
    const auto After = std::upper_bound(Pictures.begin(), Pictures.end(), Seconds + 1e-6);
    return After == Pictures.begin() ? Pictures.front() : *std::prev(After);
}

class CliRange : public ::testing::TestWithParam<RangeCase> {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    path Dir;
};

TEST_P(CliRange, ShowsFfmpegsCutAtItsTimesWithTheSoundInStep) {
    const RangeCase& Case = GetParam();
    const path Source = Fixture(Case.Name, Case.Making);
    // With the Info frame the ffmpeg tool writes, which holds no sound.
    const path Mp3 = Fixture("burst-info.mp3",
                             BurstSound(4, BurstAt) + "-ar 44100 -ac 2 -c:a libmp3lame -b:a 128k");
    const std::string Audio = Case.ExternalMp3 ? Mp3.string() : "included";
    const path Flv = Dir / "out.flv";
    const TProcessResult Run = RunCli({"--quiet", "--metadata", "--start", Case.Start, "--end",
                                       Case.End, "--audio", Audio, Source.string(), Flv.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_TRUE(FlvmetaAccepts(Flv, Case.FlvmetaWarnings));
    const double Range = Case.EndSeconds - Case.StartSeconds;

    // The ffmpeg tool cuts from the first picture at or after -ss: it is cut
    // from the picture shown at the start, and its times are moved back by
    // the part of that picture before the start.
    const TProbedTimes Whole = ProbeTimes(Source);
    std::vector<double> WholePictures;
    for (const double Time : Whole.Pictures) {
        WholePictures.push_back(Time - Whole.Start());
    }
    const double From = ShownAt(WholePictures, Case.StartSeconds);
    const path Cut = Dir / "cut.nut";
    RunFfmpeg("-ss " + std::to_string(From) + " -to " + std::to_string(Case.EndSeconds) + " -i '" +
              Source.string() +
              "' -map 0:v:0 -fps_mode passthrough -enc_time_base -1 -c:v rawvideo '" +
              Cut.string() + "'");
    TProbedTimes Expected;
    std::vector<int64_t> PictureTimes;
    for (const double Time : ProbeTimes(Cut).Pictures) {
        Expected.Pictures.push_back(std::max(Time - (Case.StartSeconds - From), 0.0));
        PictureTimes.push_back(RoundedMs(Expected.Pictures.back(), 0));
    }
    const TPictureComparison Compared = ComparePictures(Cut, PictureTimes, 96, 64, Flv);
    const double WorstTimeError = WorstTimeErrorMs(Compared.FlvTimesMs, Expected);
    EXPECT_EQ(Compared.FirstFlvFrameMs, 0);
    EXPECT_LE(WorstTimeError, 1.0);
    EXPECT_GE(Compared.WorstPsnr, Case.Rgb ? INFINITY : LowestYuvPsnr)
        << "at " << Compared.WorstAtMs << " ms";

    // The burst as the ffmpeg tool hears it in the source, and in the FLV,
    // where the encoder's delay comes before the sound (the ffmpeg tool
    // drops it from an MP3 file whose Info frame gives it; no FLV player
    // does), at the times the files give it.
    const double SourceBurst =
        Case.ExternalMp3 ? BurstAfterSoundStart(Mp3, Dir)
                         : *Whole.FirstSound - Whole.Start() + BurstAfterSoundStart(Source, Dir);
    const double BurstMs = (SourceBurst - Case.StartSeconds) * 1000;
    const TProbedTimes Converted = ProbeTimes(Flv);
    ASSERT_TRUE(Converted.FirstSound);
    const double DelayMs = platform::Mp3StreamDelay * 1000.0 / Mp3SoundRate;
    const double HeardMs =
        (*Converted.FirstSound + BurstAfterSoundStart(Flv, Dir)) * 1000 - DelayMs;
    // Half a frame: a frame of silence too many or too few is a fault.
    EXPECT_NEAR(HeardMs, BurstMs, Mp3FrameMs / 2);
    const double SoundEnd = *Converted.FirstSound + DecodedSoundSeconds(Flv);
    EXPECT_GE(SoundEnd, Range - 0.001);
    EXPECT_LT(SoundEnd, Range + Mp3FrameMs / 1000);
    // Up to the end of the last sound, which may last a frame past the range.
    const double Duration = FlvmetaMetadata(Flv).Number("duration");
    EXPECT_GE(Duration, Range - 0.001);
    EXPECT_LT(Duration, Range + Mp3FrameMs / 1000);

    std::cout << std::left << std::setw(22) << Case.Name << std::right << std::setw(4)
              << PictureTimes.size() << " pictures, " << std::setw(4) << Compared.FlvFrames
              << " compared, worst " << std::setw(8) << PsnrText(Compared.WorstPsnr)
              << ", times off by " << std::fixed << std::setprecision(3) << WorstTimeError
              << " ms at most, burst at " << std::setprecision(1) << BurstMs << " ms heard "
              << std::showpos << HeardMs - BurstMs << std::noshowpos << " ms off, sound to "
              << std::setprecision(3) << SoundEnd << " s, duration " << Duration << " s of "
              << Range << " s\n";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CliRange,
    ::testing::Values(
        // A start between two pictures: the one shown then is the first.
        RangeCase{.Name = "range-raw-pcm.avi",
                  .Making = RawPictures + "-ar 44100 -ac 2 -c:a pcm_s16le",
                  .Start = "1.02",
                  .End = "3.5",
                  .StartSeconds = 1.02,
                  .EndSeconds = 3.5,
                  .Rgb = true},
        RangeCase{.Name = "range-raw-mp3.avi",
                  .Making = RawPictures + "-ar 44100 -ac 2 -c:a libmp3lame -b:a 128k",
                  .Start = "0:01.000",
                  .End = "00:00:03.310",
                  .StartSeconds = 1,
                  .EndSeconds = 3.31,
                  .Rgb = true},
        // Pictures 33.367 ms apart. The video ends 16 ms after its last
        // picture, where flvmeta makes it end one audio frame after it.
        RangeCase{.Name = "range-h264-aac.mp4",
                  .Making = "-f lavfi -i testsrc2=size=96x64:rate=30000/1001:duration=4 " +
                            BurstSound(4, BurstAt) + "-c:v libx264 -pix_fmt yuv420p -c:a aac",
                  .Start = "1.3",
                  .End = "3.62",
                  .StartSeconds = 1.3,
                  .EndSeconds = 3.62,
                  .FlvmetaWarnings = {flvmeta::DurationDiffers}},
        // Late starts, decoded from the last key frame before them: short
        // GOPs with B-frames (an edit list hides their delay); an open GOP,
        // whose leading pictures refer to the GOP before.
        RangeCase{.Name = "range-h264-gop12.mp4",
                  .Making = "-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 " +
                            BurstSound(4, BurstAt) +
                            "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a aac",
                  .Start = "2.1",
                  .End = "3.3",
                  .StartSeconds = 2.1,
                  .EndSeconds = 3.3,
                  .FlvmetaWarnings = {flvmeta::OnlyKeyframes, flvmeta::DurationDiffers}},
        RangeCase{.Name = "range-h264-gop10.mkv",
                  .Making = "-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 " +
                            BurstSound(4, BurstAt) +
                            "-c:v libx264 -g 10 -bf 3 -pix_fmt yuv420p -c:a aac",
                  .Start = "2.45",
                  .End = "3.9",
                  .StartSeconds = 2.45,
                  .EndSeconds = 3.9},
        RangeCase{.Name = "range-hevc-open-gop.mp4",
                  .Making = "-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 " +
                            BurstSound(4, BurstAt) +
                            "-c:v libx265 -x265-params "
                            "log-level=error:keyint=12:min-keyint=12:open-gop=1:bframes=3 "
                            "-pix_fmt yuv420p -c:a aac",
                  .Start = "1.7",
                  .End = "3.1",
                  .StartSeconds = 1.7,
                  .EndSeconds = 3.1},
        RangeCase{.Name = "range-raw.avi",
                  .Making = Pictures + "-c:v rawvideo -pix_fmt bgr24",
                  .Start = "1.05",
                  .End = "3.2",
                  .StartSeconds = 1.05,
                  .EndSeconds = 3.2,
                  .Rgb = true,
                  .ExternalMp3 = true}),
    [](const auto& Info) { return TestNameOf(Info.param.Name); });

// Refused as a wrong command line, before anything is written: an end not
// after the start before the input is even opened (it is missing here), a
// start the video does not reach once it is.
TEST(CliRangeRefusals, AreUsageErrorsThatWriteNothing) {
    const path Dir = FreshDir("CliRangeRefusals");
    const path Video = Fixture("range-raw.avi", Pictures + "-c:v rawvideo -pix_fmt bgr24");
    const path Kept = Dir / "kept.flv";
    WriteFileBytes(Kept, {'k', 'e', 'p', 't'});
    struct TRow {
        std::vector<std::string> Arguments;
        path Output;
        std::string Said;
    };
    const TRow Rows[] = {
        {{"--start", "3", "--end", "2.999", (Dir / "missing.avi").string()},
         Dir / "new.flv",
         "quorvane-cli: --end (0:02.999) must come after --start (0:03.000)\n"},
        {{"--start", "4", Video.string()},
         Dir / "new.flv",
         "Error: " + Video.string() +
             ": The range starts at 0:04.000, but the video ends at 0:04.000.\n"},
        {{"--yes", "--start", "1:00", "--end", "1:01", Video.string()},
         Kept,
         "Error: " + Video.string() +
             ": The range starts at 1:00.000, but the video ends at 0:04.000.\n"},
    };
    for (const TRow& Row : Rows) {
        std::vector<std::string> Arguments = Row.Arguments;
        Arguments.push_back(Row.Output.string());
        const TProcessResult Run = RunCli(Arguments);
        EXPECT_EQ(Run.ExitStatus, 2) << Run.Errors;
        EXPECT_EQ(Run.Errors.substr(0, Run.Errors.find('\n') + 1), Row.Said);
        EXPECT_EQ(FileSize(Dir / "new.flv"), 0u);
        EXPECT_EQ(ReadFileBytes(Kept), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
    }
}

}  // namespace
}  // namespace quorvane::test
