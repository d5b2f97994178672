// Pictures whose colours libswscale would not keep by itself (4:4:4, full
// range, odd sizes, 10-bit), each tagged BT.709 and BT.601: every picture of
// the FLV file shows them in the colours they are tagged with, and two runs,
// one on one thread and one on several, write the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iomanip>
#include <iostream>

#include "CliTestKit.h"
#include "PictureComparison.h"
#include "support/Fixtures.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

struct TColourCase {
    std::string Name;    // the fixture's file name
    std::string Making;  // the ffmpeg tool's arguments for its pictures
};

void PrintTo(const TColourCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// Three seconds of colour bars and moving shapes at 10 fps with a tone,
// Size (WxH) in Format, tagged with Matrix (BT.709 or BT.601) and Range.
std::string Tagged(const std::string& Size, const std::string& Format, const std::string& Matrix,
                   const std::string& Range) {
    const std::string Tags = Matrix == "bt709" ? "bt709" : "smpte170m";
    return "-f lavfi -i testsrc2=size=" + Size +
           ":rate=10:duration=3 -f lavfi -i sine=frequency=1000:duration=3 -vf format=" + Format +
           " -colorspace " + Tags + " -color_primaries " + Tags + " -color_trc " + Tags +
           " -color_range " + Range;
}

const std::string H264 = " -c:v libx264 -c:a aac";
const std::string Vp9 = " -c:v libvpx-vp9 -c:a libopus";

class CliColours : public ::testing::TestWithParam<TColourCase> {};

TEST_P(CliColours, EveryPictureInItsOwnColoursAndTheSameBytesOnEveryRun) {
    const TColourCase& Case = GetParam();
    const path Source = Fixture(Case.Name, Case.Making);
    const path Dir = FreshDir("CliColours-" + Case.Name);
    const path Flv = Dir / "out.flv";
    const path Again = Dir / "again.flv";
    for (const auto& [Output, Threads] : {std::pair{Flv, "1"}, std::pair{Again, "4"}}) {
        const TProcessResult Run = RunCli({"--quiet", "--audio", "included", "--threads", Threads,
                                           Source.string(), Output.string()});
        ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    }
    EXPECT_TRUE(ReadFileBytes(Flv) == ReadFileBytes(Again));

    const Sections Probed = Probe(Source, "stream=index,codec_type,codec_name,width,height:frame=" +
                                              std::string(ColourFrameEntries) +
                                              ",media_type,best_effort_timestamp_time");
    const Fields Video = FirstStreamOf(Probed, "video");
    const TProbedTimes Times = ProbedTimesOf(Probed);
    std::vector<int64_t> PictureTimes;
    for (const double Time : Times.Pictures) {
        PictureTimes.push_back(RoundedMs(Time, Times.Start()));
    }
    const TShowing Meant = MeantColours(Probed);
    const TPictureComparison Compared =
        ComparePictures(Source, PictureTimes, static_cast<int>(Number(Video, "width")),
                        static_cast<int>(Number(Video, "height")), Flv, Meant);
    EXPECT_GE(Compared.WorstPsnr, LowestYuvPsnr) << "at " << Compared.WorstAtMs << " ms";
    EXPECT_EQ(Compared.DefaultColourPictures, 0u);
    EXPECT_LE(WorstTimeErrorMs(Compared.FlvTimesMs, Times), 1.0);
    std::cout << std::left << std::setw(24) << Case.Name << std::right << std::setw(4)
              << PictureTimes.size() << " pictures, worst " << PsnrText(Compared.WorstPsnr)
              << ", as " << Meant.Filters << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CliColours,
    ::testing::Values(
        TColourCase{"444-bt709.mkv", Tagged("192x108", "yuv444p", "bt709", "tv") + H264},
        TColourCase{"444-bt601.mkv", Tagged("192x108", "yuv444p", "bt601", "tv") + H264},
        // As every iPhone records.
        TColourCase{"full-range-bt709.mp4", Tagged("192x108", "yuvj420p", "bt709", "pc") + H264},
        TColourCase{"full-range-bt601.mp4", Tagged("192x108", "yuvj420p", "bt601", "pc") + H264},
        TColourCase{"odd-size-bt709.webm", Tagged("161x91", "yuv420p", "bt709", "tv") + Vp9},
        TColourCase{"odd-size-bt601.webm", Tagged("161x91", "yuv420p", "bt601", "tv") + Vp9},
        TColourCase{"ten-bit-bt709.mkv", Tagged("192x108", "yuv420p10le", "bt709", "tv") + H264},
        TColourCase{"ten-bit-bt601.mkv", Tagged("192x108", "yuv420p10le", "bt601", "tv") + H264}),
    [](const auto& Info) { return TestNameOf(Info.param.Name); });

}  // namespace
}  // namespace quorvane::test
