// Crafted headers and damaged frames through quorvane-cli: the run ends
// with the data, says what it left out, and refuses what it can't encode.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "CliTestKit.h"
#include "support/AviPatches.h"
#include "support/Fixtures.h"
#include "support/FlvmetaCheck.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

class CliHostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string Output(const std::string& Name) const { return (Dir / Name).string(); }

    path Dir;
};

// The end figures line: "<rate> kBps - <size> MBytes".
std::string EndFigures(const std::string& Printed) {
    const size_t Line = Printed.rfind('\n', Printed.size() - 2);
    return Printed.substr(Line + 1);
}

TEST_F(CliHostileInput, ALengthBeyondTheDataEndsWithTheDataAndItsFigures) {
    const TProcessResult Plain = RunCli({AviBgr24().string(), Output("plain.flv")});
    const TProcessResult Long = RunCli({AviLengthBeyondData().string(), Output("long.flv")});
    ASSERT_EQ(Long.ExitStatus, 0) << Long.Errors;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output("long.flv")), VideoTag),
              Timestamps(ReadFlvFile(Output("plain.flv")), VideoTag));
    EXPECT_EQ(EndFigures(Long.Output), EndFigures(Plain.Output));
}

TEST_F(CliHostileInput, AFrameRateLimitOnSaturatedTimesEndsNormally) {
    const TProcessResult Run =
        RunCli({"--fps-limit", "10", AviSaturatedTimes().string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Output.find("Encoding finished successfully."), std::string::npos);
}

// Files made to cost what they claim rather than what they hold, and
// damaged ones, each run within the memory a modest machine spares
// (RunCliWithinMemory). A row fails when the run ends by a signal, when it
// exits 0 with a file flvmeta finds invalid, and when it prints another
// message than its own (or an error where it has none); a run refused with
// status 1 leaves no output; nothing printed reaches the terminal raw.
struct HostileFileCase {
    std::string Name;
    // The options and inputs, then the output, in Dir.
    std::function<std::vector<std::string>(const path& Dir)> Arguments;
    int ExitStatus;
    std::string Message;  // printed; empty: no "Error: " is
    std::function<void(const path& Dir, const TProcessResult& Run)> Check = nullptr;
    std::vector<std::string> FlvmetaWarnings = {};
};

void PrintTo(const HostileFileCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliHostileFiles : public CliHostileInput,
                        public ::testing::WithParamInterface<HostileFileCase> {};

// Only line breaks: no escape sequence, no carriage return, no bell.
bool OnlyPrintable(const std::string& Printed) {
    return std::none_of(Printed.begin(), Printed.end(), [](char C) {
        const auto Byte = static_cast<unsigned char>(C);
        return (Byte < 0x20 && Byte != '\n') || Byte == 0x7F;
    });
}

std::vector<path> FlvFilesIn(const path& Dir) {
    std::vector<path> Files;
    for (const auto& Entry : std::filesystem::recursive_directory_iterator(Dir)) {
        if (Entry.path().extension() == ".flv") {
            Files.push_back(Entry.path());
        }
    }
    return Files;
}

TEST_P(CliHostileFiles, EndAsTheirRowSays) {
    const HostileFileCase& Case = GetParam();
    const TProcessResult Run = RunCliWithinMemory(Case.Arguments(Dir));
    const std::string Printed = Run.Output + Run.Errors;
    ASSERT_LT(Run.ExitStatus, 128) << "ended by a signal\n" << Printed;
    EXPECT_EQ(Run.ExitStatus, Case.ExitStatus) << Printed;
    if (Case.Message.empty()) {
        EXPECT_EQ(Run.Errors.find("Error: "), std::string::npos) << Run.Errors;
    } else {
        EXPECT_NE(Printed.find(Case.Message), std::string::npos) << Printed;
    }
    EXPECT_TRUE(OnlyPrintable(Printed)) << Printed;
    if (Run.ExitStatus == 0) {
        for (const path& Flv : FlvFilesIn(Dir)) {
            EXPECT_TRUE(FlvmetaAccepts(Flv, Case.FlvmetaWarnings)) << Flv;
        }
    }
    if (Run.ExitStatus == 1) {
        EXPECT_FALSE(std::filesystem::exists(Dir / "o.flv"));
    }
    if (Case.Check) {
        Case.Check(Dir, Run);
    }
}

// Options and an input, into Dir/o.flv.
std::function<std::vector<std::string>(const path&)> Converting(std::vector<std::string> Options,
                                                                std::function<path()> Input) {
    return [Options, Input](const path& Dir) {
        std::vector<std::string> Arguments = Options;
        Arguments.insert(Arguments.end(), {Input().string(), (Dir / "o.flv").string()});
        return Arguments;
    };
}

std::function<void(const path&, const TProcessResult&)> VideoTagsAre(size_t Count) {
    return [Count](const path& Dir, const TProcessResult&) {
        EXPECT_EQ(Timestamps(ReadFlvFile(Dir / "o.flv"), VideoTag).size(), Count);
    };
}

path Width4096() {
    return Fixture("bgr24-4096x16.avi",
                   "-f lavfi -i color=red:size=4096x16:rate=5 -frames:v 2 -c:v rawvideo "
                   "-pix_fmt bgr24");
}

// Wider than any picture read: refused from its header, before decoding.
path Width8200() {
    return Fixture("bgr24-8200x16.avi",
                   "-f lavfi -i color=red:size=8200x16:rate=5 -frames:v 2 -c:v rawvideo "
                   "-pix_fmt bgr24");
}

// The first Matroska element Id followed by a size byte and Old (big-endian
// bytes) gets New in its place.
std::vector<uint8_t> WithElement(std::vector<uint8_t> File, std::vector<uint8_t> Old,
                                 const std::vector<uint8_t>& New) {
    const auto At = std::search(File.begin(), File.end(), Old.begin(), Old.end());
    if (At == File.end()) {
        throw std::runtime_error("element not found");
    }
    std::copy(New.begin(), New.end(), At);
    return File;
}

std::vector<uint8_t> BigEndian(uint64_t Value, size_t Bytes) {
    std::vector<uint8_t> Out(Bytes);
    for (size_t Index = 0; Index < Bytes; ++Index) {
        Out[Bytes - 1 - Index] = static_cast<uint8_t>(Value >> (8 * Index));
    }
    return Out;
}

// A Matroska audio track's SamplingFrequency (a float of 8 bytes).
std::vector<uint8_t> SamplingFrequency(double Rate) {
    uint64_t Bits = 0;
    std::memcpy(&Bits, &Rate, sizeof Bits);
    std::vector<uint8_t> Element = {0xB5, 0x88};
    const std::vector<uint8_t> Value = BigEndian(Bits, 8);
    Element.insert(Element.end(), Value.begin(), Value.end());
    return Element;
}

path MatroskaPcm() {
    return Fixture("pcm-48000.mkv",
                   "-f lavfi -i color=gray:size=64x48:rate=5:duration=1 -f lavfi -i "
                   "sine=sample_rate=48000:duration=1 -c:v mjpeg -c:a pcm_s16le");
}

path SoundClaiming2GHz() {
    return DerivedFixture("pcm-claiming-2ghz.mkv", MatroskaPcm(), [](std::vector<uint8_t> File) {
        return WithElement(std::move(File), SamplingFrequency(48000), SamplingFrequency(2e9));
    });
}

// 24.8 days of pictures and sound apart, the sound claiming 1 Hz: resampled,
// its silence would fill 34 GB of MP3.
path SoundClaiming1Hz() {
    const path Pcm = Fixture(
        "pcm-8000-days-apart.mkv",
        "-f lavfi -i color=gray:size=64x48:rate=5:duration=2 -f lavfi -i "
        "sine=sample_rate=8000:duration=2 -vf \"setpts='PTS+if(gte(T,1),2147000/TB,0)'\" -af "
        "\"asetpts='PTS+if(gte(T,1),2147000/TB,0)'\" -fps_mode passthrough -c:v mjpeg -c:a "
        "pcm_s16le");
    return DerivedFixture("pcm-claiming-1hz.mkv", Pcm, [](std::vector<uint8_t> File) {
        return WithElement(std::move(File), SamplingFrequency(8000), SamplingFrequency(1));
    });
}

// The file's own sound as the MP3 format quickest to encode, 8 kbit/s at
// 11025 Hz mono: the rows with long gaps spend their time encoding silence.
const std::vector<std::string> LeastMp3 = {"--audio", "included", "--mp3-format", "71"};

// Eight channels at 96 kHz, ten minutes silent in the middle: 1.8 GB of
// PCM silence held whole.
path SoundJumpingAhead() {
    return Fixture("sound-jumping-600s.mkv",
                   "-f lavfi -i testsrc2=size=64x48:rate=5:duration=2 -f lavfi -i "
                   "sine=sample_rate=96000:duration=2 -filter_complex "
                   "\"[0:v]setpts='PTS+if(gte(T,1),600/TB,0)'[v];[1:a]pan=7.1|c0=c0|c1=c0|c2=c0|"
                   "c3=c0|c4=c0|c5=c0|c6=c0|c7=c0,asetpts='PTS+if(gte(T,1),600/TB,0)'[a]\" "
                   "-map [v] -map [a] -fps_mode passthrough -c:v mjpeg -c:a flac");
}

path TransportStream(const std::string& Name, const std::string& Extra) {
    return Fixture(Name,
                   "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 -f lavfi -i "
                   "sine=sample_rate=48000:duration=1 -ac 6 -c:v mpeg2video -c:a aac " +
                       Extra);
}

// Two recordings, the second stamped 15 minutes after the first, joined as
// cat joins them.
path RecordingsJoined() {
    const path First = TransportStream("six-channels.ts", "");
    const path Later = TransportStream("six-channels-at-900s.ts", "-output_ts_offset 900");
    return DerivedFixture("six-channels-joined.ts", First, [Later](std::vector<uint8_t> File) {
        const std::vector<uint8_t> Second = ReadFileBytes(Later);
        File.insert(File.end(), Second.begin(), Second.end());
        return File;
    });
}

// The same five pictures twice, as two copies of one recording joined.
path TimesGoingBack() {
    const path Once = Fixture("intra-5-frames.ts",
                              "-f lavfi -i testsrc2=size=64x48:rate=5 -frames:v 5 -c:v mpeg2video "
                              "-g 1 -bf 0");
    return DerivedFixture("intra-5-frames-twice.ts", Once, [Once](std::vector<uint8_t> File) {
        const std::vector<uint8_t> Again = ReadFileBytes(Once);
        File.insert(File.end(), Again.begin(), Again.end());
        return File;
    });
}

path PixelsOneThousandTimesWide() {
    return Fixture("mjpeg-700x1024-sar-1000.mkv",
                   "-f lavfi -i color=gray:size=700x1024:rate=5 -frames:v 2 -vf "
                   "setsar=r=1000:max=100000 -c:v mjpeg");
}

// A 983-byte PNG picture whose container and header claim 16000x16000.
path PicturesClaiming16000Square() {
    const path Small = Fixture("png-300x300.mkv",
                               "-f lavfi -i color=black:size=300x300:rate=5 -frames:v 1 -c:v png");
    return DerivedFixture("png-claiming-16000.mkv", Small, [](std::vector<uint8_t> File) {
        File = WithElement(std::move(File), {0xB0, 0x82, 0x01, 0x2C}, {0xB0, 0x82, 0x3E, 0x80});
        File = WithElement(std::move(File), {0xBA, 0x82, 0x01, 0x2C}, {0xBA, 0x82, 0x3E, 0x80});
        const std::vector<uint8_t> Size = BigEndian(0x00003E8000003E80, 8);
        return WithElement(std::move(File), {'I', 'H', 'D', 'R', 0, 0, 1, 0x2C, 0, 0, 1, 0x2C},
                           {'I', 'H', 'D', 'R', Size[0], Size[1], Size[2], Size[3], Size[4],
                            Size[5], Size[6], Size[7]});
    });
}

// Ten frames 40 ms apart whose Matroska cluster starts Start ms from zero.
path MatroskaStartingAt(const std::string& Name, uint64_t Start) {
    // Written at 3 * 10^14 ms, the cluster's time takes seven bytes.
    const path Late = Fixture("mjpeg-at-3e14ms.mkv",
                              "-f lavfi -i color=gray:size=16x16:rate=25 -frames:v 10 -c:v mjpeg "
                              "-output_ts_offset 300000000000");
    return DerivedFixture(Name, Late, [Start](std::vector<uint8_t> File) {
        std::vector<uint8_t> Old = {0xE7, 0x87};
        const std::vector<uint8_t> Written = BigEndian(300000000000000, 7);
        Old.insert(Old.end(), Written.begin(), Written.end());
        std::vector<uint8_t> New = {0xE7, 0x87};
        const std::vector<uint8_t> Time = BigEndian(Start, 7);
        New.insert(New.end(), Time.begin(), Time.end());
        return WithElement(std::move(File), Old, New);
    });
}

// The first picture, then four past 2^31 ms.
path FramesPast32Bits() {
    return Fixture("mjpeg-past-2-31-ms.mkv",
                   "-f lavfi -i testsrc2=size=64x48:rate=5 -frames:v 5 -vf "
                   "\"setpts='PTS+if(gte(N,1),2147483.7/TB,0)'\" -fps_mode passthrough -c:v mjpeg");
}

// Three pictures at 0, 40 ms and a day, the track's default duration
// hidden so that no packet tells its length.
path LastFrameADayLater() {
    const path Timed = Fixture("mjpeg-0-40ms-1day.mkv",
                               "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -vf "
                               "\"setpts='if(eq(N,2),86400/TB,PTS)'\" -fps_mode passthrough "
                               "-c:v mjpeg");
    return DerivedFixture("mjpeg-0-40ms-1day-untimed.mkv", Timed, [](std::vector<uint8_t> File) {
        return WithElement(std::move(File), {0x23, 0xE3, 0x83}, {0x23, 0xE3, 0x84});
    });
}

// 130 frames, of which what 30000 bytes hold is left.
path AviCutOff() {
    const path Whole = Fixture("bgr24-64x48-130-frames.avi",
                               "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 130 -c:v "
                               "rawvideo -pix_fmt bgr24");
    return DerivedFixture("bgr24-64x48-cut-at-30000.avi", Whole, [](std::vector<uint8_t> File) {
        File.resize(30000);
        return File;
    });
}

// Names a terminal would act on: one clears the screen, sets the title and
// hides what follows; one forges a line of the summary.
const std::string ControlName = "a\033]0;pwned\a\033[2J\033[8mb.mkv";
const std::string ForgingName = "x\n  done     fake.mkv -> FAKE.flv, 1 MBytes\ny.mkv";

std::vector<std::string> ManyFilesWithHostileNames(const path& Dir) {
    std::filesystem::copy_file(TextFile(), Dir / ControlName);
    std::filesystem::copy_file(MovingVideo("5", "1"), Dir / ForgingName);
    return {PixelsOneThousandTimesWide().string(), (Dir / ControlName).string(),
            (Dir / ForgingName).string(), "--output-dir", (Dir / "out").string()};
}

void OneSummaryLinePerFile(const path& Dir, const TProcessResult& Run) {
    const size_t Summary = Run.Output.find("Summary: ");
    ASSERT_NE(Summary, std::string::npos) << Run.Output;
    EXPECT_EQ(std::count(Run.Output.begin() + static_cast<long>(Summary), Run.Output.end(), '\n'),
              4)
        << Run.Output;
    EXPECT_NE(Run.Output.find("  done     '" + (Dir / "x").string() + "'$'\\n''  done     "),
              std::string::npos)
        << Run.Output;
}

void VariableRateWithTheLastFrameBriefly(const path& Dir, const TProcessResult& Run) {
    EXPECT_NE(Run.Output.find("Video: MJPEG, 64x48, variable frame rate.\n"), std::string::npos)
        << Run.Output;
    EXPECT_NEAR(FlvmetaMetadata(Dir / "o.flv").Number("duration"), 86400.04, 0.01);
}

void TimesNeverGoBack(const path& Dir, const TProcessResult&) {
    const std::vector<uint32_t> Times = Timestamps(ReadFlvFile(Dir / "o.flv"), VideoTag);
    EXPECT_TRUE(std::is_sorted(Times.begin(), Times.end()));
    EXPECT_EQ(Times.back(), 360u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliHostileFiles,
    ::testing::Values(
        // Too wide for an FLV: a --size would do.
        HostileFileCase{"Width4096", Converting({}, Width4096), 2,
                        "The video is 4096x16 pixels; Flash Screen Video frames are 1 to 4095 "
                        "pixels wide and high: give a size"},
        HostileFileCase{"Width8200", Converting({"--size", "1280x"}, Width8200), 1,
                        "The video is 8200x16 pixels; pictures of at most 8192 pixels wide and "
                        "high can be converted."},
        HostileFileCase{"WidthBeyond16Bits", Converting({}, AviWidthBeyond16Bits), 1,
                        "The video is 65600x1 pixels"},
        // The load decodes the first frame, so a run never starts on it.
        HostileFileCase{"NoFrameDecodable", Converting({}, AviNoFrameDecodable), 1,
                        "Impossible to decode the first frame of this video."},
        HostileFileCase{"PixelsAThousandTimesWide", Converting({}, PixelsOneThousandTimesWide), 1,
                        "The video is 700000x1024 pixels"},
        HostileFileCase{"PicturesClaiming16000Square", Converting({}, PicturesClaiming16000Square),
                        1, "The video is 16000x16000 pixels"},
        HostileFileCase{"ManyFilesOneCrashingAndHostileNames", ManyFilesWithHostileNames, 1,
                        "'$'\\033'']0;pwned'$'\\a\\033''[2J'$'\\033''[8mb.mkv': Impossible to open",
                        OneSummaryLinePerFile},
        HostileFileCase{"SoundJumpingTenMinutesAhead",
                        Converting(LeastMp3, SoundJumpingAhead),
                        0,
                        "",
                        nullptr,
                        {flvmeta::Desynchronized}},
        HostileFileCase{"RecordingsJoinedFifteenMinutesApart",
                        Converting(LeastMp3, RecordingsJoined),
                        0,
                        "",
                        nullptr,
                        {flvmeta::Desynchronized}},
        HostileFileCase{"SoundClaiming2GHz", Converting({"--audio", "included"}, SoundClaiming2GHz),
                        1, "The video file includes audio, but its format can not be decoded."},
        HostileFileCase{"SoundClaiming1Hz", Converting({"--audio", "included"}, SoundClaiming1Hz),
                        1, "The video file includes audio, but its format can not be decoded."},
        HostileFileCase{"Mp4Claiming18MillionSamples",
                        Converting({}, [] { return Mp4ClaimingSamples(18000000); }), 0,
                        "frames of the video could not be decoded and were left out."},
        HostileFileCase{
            "TimesNearTheEndOf64Bits",
            Converting({},
                       [] { return MatroskaStartingAt("mjpeg-at-2-63-us.mkv", 9223372036854695); }),
            0, "", TimesNeverGoBack},
        HostileFileCase{"TimesPast32BitsOfMilliseconds", Converting({}, FramesPast32Bits), 0,
                        "4 frames of the video come after 596 h 31 min 23 s, the latest time an "
                        "FLV file can hold, and were left out."},
        HostileFileCase{"TimesGoingBack", Converting({}, TimesGoingBack), 0,
                        "4 frames of the video go back in time and were left out."},
        HostileFileCase{"LastFrameADayAfterTheOthers",
                        Converting({"--metadata"}, LastFrameADayLater),
                        0,
                        "",
                        VariableRateWithTheLastFrameBriefly,
                        {flvmeta::DurationDiffers}},
        HostileFileCase{"AnOutputNameWithNoRoomForItsMetadataCopy",
                        [](const path& Dir) {
                            return std::vector<std::string>{
                                "--metadata", MovingVideo("5", "1").string(),
                                (Dir / (std::string(246, 'n') + ".flv")).string()};
                        },
                        1, "The output file name is too long",
                        [](const path& Dir, const TProcessResult&) {
                            EXPECT_TRUE(std::filesystem::is_empty(Dir));
                        }},
        HostileFileCase{"Undecodable", Converting({}, AviMiddleFrameUndecodable), 0,
                        "1 frame of the video could not be decoded", VideoTagsAre(9)},
        // Its sound stream keeps no chunk before the cut: the header names
        // sound that no tag brings.
        HostileFileCase{"MissingFromTheIndex",
                        Converting({}, AviOpenDmlCutShort),
                        0,
                        "12 frames of the video are missing from the file",
                        VideoTagsAre(2),
                        {"W11053"}},
        HostileFileCase{"AviCutOff", Converting({}, AviCutOff), 0,
                        "frames of the video are missing from the file and were left out."}),
    [](const ::testing::TestParamInfo<HostileFileCase>& Info) { return Info.param.Name; });

// Noise does not shrink: a 256x256 block's zlib stream outgrows the 16-bit
// size a block entry has.
TEST_F(CliHostileInput, IncompressibleBlocksFailTheRunAndLeaveWholeTags) {
    const path Avi = Fixture("noise-256x256.avi",
                             "-f lavfi -i color=gray:size=256x256:rate=5:duration=1 "
                             "-vf noise=alls=100:allf=t -c:v rawvideo -pix_fmt bgr24");
    const TProcessResult Run = RunCli({"--block", "256x256", Avi.string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find("choose a smaller block size"), std::string::npos) << Run.Errors;
    EXPECT_NO_THROW(ReadFlvFile(Output("o.flv")));
}

// Microsoft ADPCM whose middle block names a predictor that does not exist.
path AdpcmTone() {
    return AviWithTone("tone-ms-adpcm.avi", 8, "-ar 22050 -ac 1 -c:a adpcm_ms");
}

path AviWithAnUndecodableBlock() {
    return DerivedFixture("ms-adpcm-bad-block.avi", AdpcmTone(), [](std::vector<uint8_t> File) {
        const std::vector<RiffEntry> Blocks = DataChunks(File, "wb");
        File[Blocks[Blocks.size() / 2].DataOffset] = 0xFF;
        return File;
    });
}

// MP3 stored frame by frame whose last frame is noise after its header: its
// decoder fails when it is told the input has ended.
path AviWithAnUndecodableLastFrame() {
    return DerivedFixture("mp3-bad-last-frame.avi", AviWithMp3Tone(),
                          [](std::vector<uint8_t> File) {
                              const RiffEntry Last = DataChunks(File, "wb").back();
                              std::fill_n(File.begin() + static_cast<long>(Last.DataOffset) + 4,
                                          Last.DataSize - 4, 0xA5);
                              return File;
                          });
}

// Sound the source loses to damage: the chunk given up (with the MP3 bytes
// written so far as its offset) becomes silence as long as it, so that the
// sound after it keeps its time; a last frame that fails to decode loses
// itself, not what the later stages still hold.
struct LostSoundCase {
    std::string Name;
    std::function<path()> Damaged;
    std::function<path()> Undamaged;
};

void PrintTo(const LostSoundCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliAviAudioLoss : public CliHostileInput,
                        public ::testing::WithParamInterface<LostSoundCase> {};

// Measured against the undamaged file's conversion, which has the same
// encoder delay and padding; the silence is rounded to whole milliseconds.
TEST_P(CliAviAudioLoss, LeavesTheRestInStep) {
    const path Output = Dir / "out.flv";
    const TProcessResult Run =
        RunCli({"--audio", "avi", GetParam().Damaged().string(), Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const std::string Text = "Error during audio decompression at offset ";
    const size_t Found = Run.Errors.find(Text);
    ASSERT_NE(Found, std::string::npos) << Run.Errors;
    uint8_t SoundByte = 0;
    const size_t Offset = std::stoul(Run.Errors.substr(Found + Text.size()));
    EXPECT_GT(Offset, 0u);
    EXPECT_LT(Offset, AudioPayloads(ReadFlvFile(Output), SoundByte).size());

    const path Whole = Dir / "undamaged.flv";
    ASSERT_EQ(
        RunCli({"--audio", "avi", GetParam().Undamaged().string(), Whole.string()}).ExitStatus, 0);
    const double Excess = static_cast<double>(DecodeSound(Output, 44100, Dir).size()) -
                          static_cast<double>(DecodeSound(Whole, 44100, Dir).size());
    EXPECT_LE(std::abs(Excess), 44100 / 1000) << Excess;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, CliAviAudioLoss,
    ::testing::Values(LostSoundCase{"AChunk", AviWithAnUndecodableBlock, AdpcmTone},
                      LostSoundCase{"TheLastFrame", AviWithAnUndecodableLastFrame, AviWithMp3Tone}),
    [](const auto& Info) { return Info.param.Name; });

// Past 2^24 ms (4 h 39 min) a tag's time needs its extension byte.
TEST_F(CliHostileInput, FiveHoursKeepTheirTimestampsPastTwentyFourBits) {
    const path Avi = Fixture("five-hours-16x16.avi",
                             "-f lavfi -i color=gray:size=16x16:rate=1:duration=18000 -c:v "
                             "rawvideo -pix_fmt bgr24");
    const TProcessResult Run =
        RunCli({"--keyframe-interval", "600000", Avi.string(), Output("o.flv")});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const std::vector<uint32_t> Times = KeyFrameTimestamps(ReadFlvFile(Output("o.flv")));
    ASSERT_GE(Times.size(), 2u);
    EXPECT_EQ(Times.back(), 29u * 601000u) << "the last key frame, at 4 h 50 min 29 s";
    for (size_t I = 1; I < Times.size(); ++I) {
        EXPECT_EQ(Times[I] - Times[I - 1], 601000u) << "at " << Times[I];
    }
}

// What happens to an existing output file, by the answer given.
struct ExistingOutputCase {
    std::string Name;
    std::vector<std::string> Answer;
    int ExitStatus;
    bool Replaced;
    bool QuestionPrinted = true;  // with the answer it got
    // The file is the user nobody's, with these permissions, and stays so
    // (run as root; a replaced file is rewritten by the metadata pass).
    mode_t NobodysMode = 0;
};

void PrintTo(const ExistingOutputCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliExistingOutput : public CliHostileInput,
                          public ::testing::WithParamInterface<ExistingOutputCase> {};

TEST_P(CliExistingOutput, IsReplacedOnlyWhenTheUserSaidSo) {
    const std::string Old = Output("old.flv");
    WriteFileBytes(Old, {'k', 'e', 'e', 'p'});
    const passwd* Nobody = getpwnam("nobody");
    if (GetParam().NobodysMode != 0) {
        if (geteuid() != 0 || !Nobody) {
            GTEST_SKIP() << "needs root and the user nobody: only root gives a file to another";
        }
        ASSERT_EQ(chown(Old.c_str(), Nobody->pw_uid, Nobody->pw_gid), 0);
        ASSERT_EQ(chmod(Old.c_str(), GetParam().NobodysMode), 0);
    }
    std::vector<std::string> Arguments = GetParam().Answer;
    Arguments.insert(Arguments.end(), {AviBgr24().string(), Old});
    const TProcessResult Run = RunCli(Arguments);
    EXPECT_EQ(Run.ExitStatus, GetParam().ExitStatus) << Run.Errors;
    EXPECT_EQ(ReadFileBytes(Old).size() != 4, GetParam().Replaced);
    if (!GetParam().Replaced) {
        EXPECT_NE(Run.Errors.find("already exists"), std::string::npos) << Run.Errors;
    }
    EXPECT_EQ(Run.Errors.find("Do you want to replace it?") != std::string::npos,
              GetParam().QuestionPrinted)
        << Run.Errors;
    if (GetParam().NobodysMode != 0) {
        struct stat Status {};
        ASSERT_EQ(stat(Old.c_str(), &Status), 0);
        EXPECT_EQ(Status.st_uid, Nobody->pw_uid);
        EXPECT_EQ(Status.st_gid, Nobody->pw_gid);
        EXPECT_EQ(Status.st_mode & 07777, GetParam().NobodysMode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CliExistingOutput,
    ::testing::Values(
        ExistingOutputCase{"Yes", {"--yes"}, 0, true}, ExistingOutputCase{"No", {"--no"}, 1, false},
        ExistingOutputCase{"NoTerminal", {}, 1, false},
        // Errors only: the refusal, not the question.
        ExistingOutputCase{"Quiet", {"--quiet"}, 1, false, false},
        ExistingOutputCase{"QuietYes", {"--quiet", "--yes"}, 0, true, false},
        // Its owner's, set-ID bits included.
        ExistingOutputCase{
            "AnotherUsersWithMetadata", {"--yes", "--metadata"}, 0, true, true, 06755}),
    [](const ::testing::TestParamInfo<ExistingOutputCase>& Info) { return Info.param.Name; });

// On a terminal the user is asked, and the reply typed decides.
struct TypedReplyCase {
    std::string Name;
    std::string Typed;
    int ExitStatus;
    bool Replaced;
};

void PrintTo(const TypedReplyCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliReplaceQuestion : public CliHostileInput,
                           public ::testing::WithParamInterface<TypedReplyCase> {};

TEST_P(CliReplaceQuestion, TheTypedReplyDecides) {
    const std::string Old = Output("old.flv");
    const std::vector<uint8_t> Kept = {'k', 'e', 'e', 'p'};
    WriteFileBytes(Old, Kept);
    const TProcessResult Run = RunCliOnTerminal({AviBgr24().string(), Old}, GetParam().Typed);
    EXPECT_EQ(Run.ExitStatus, GetParam().ExitStatus) << Run.Output;
    EXPECT_NE(Run.Output.find("already exists. Do you want to replace it?"), std::string::npos)
        << Run.Output;
    if (GetParam().Replaced) {
        EXPECT_TRUE(FlvmetaAccepts(Old));
    } else {
        EXPECT_EQ(ReadFileBytes(Old), Kept);
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, CliReplaceQuestion,
                         ::testing::Values(TypedReplyCase{"No", "n\n", 1, false},
                                           TypedReplyCase{"Yes", "y\n", 0, true}),
                         [](const ::testing::TestParamInfo<TypedReplyCase>& Info) {
                             return Info.param.Name;
                         });

}  // namespace
}  // namespace quorvane::test
