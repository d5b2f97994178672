// End-to-end conversions through quorvane-cli, checked from the outside:
// FFmpeg decodes what we wrote, flvmeta validates it, and an independent
// FLV reader checks tag order and timestamps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "CliTestKit.h"
#include "support/Fixtures.h"
#include "support/FlvDecoding.h"
#include "support/FlvReader.h"
#include "support/FlvmetaCheck.h"
#include "support/MediaFixtures.h"
#include "support/Process.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

size_t Count(const FlvFile& File, uint8_t Type) {
    return Timestamps(File, Type).size();
}

std::vector<uint32_t> Multiples(uint32_t Step, uint32_t Below) {
    std::vector<uint32_t> Result;
    for (uint32_t Value = 0; Value < Below; Value += Step) {
        Result.push_back(Value);
    }
    return Result;
}

// Every decoded frame equals the source frame shown at its timestamp, for
// a source of FramesPerSecond frames a second.
void ExpectFramesMatchSource(const path& Flv, const path& Avi, int FramesPerSecond) {
    const std::vector<DecodedFrame> Frames = DecodeFlvVideo(Flv);
    const std::vector<uint8_t> Source = DecodeWithFfmpeg(Avi, "bgr24");
    ASSERT_FALSE(Frames.empty());
    const size_t FrameBytes = Frames[0].Bgr.size();
    for (const DecodedFrame& Frame : Frames) {
        const auto Index = static_cast<size_t>(Frame.TimestampMs * FramesPerSecond / 1000);
        ASSERT_LE((Index + 1) * FrameBytes, Source.size()) << Frame.TimestampMs;
        EXPECT_TRUE(std::equal(Frame.Bgr.begin(), Frame.Bgr.end(),
                               Source.begin() + static_cast<long>(Index * FrameBytes)))
            << "frame at " << Frame.TimestampMs << " ms";
    }
}

class CliConversion : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Output = (Dir / "out.flv").string();
    }

    std::filesystem::path Dir;
    std::string Output;
};

TEST_F(CliConversion, LosslessVideoDecodesToTheSourceFrames) {
    const path Avi = MovingVideo("25", "2");
    const TProcessResult Run = RunCli({Avi.string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Output.find("Video: 200x150, 25 fps."), std::string::npos) << Run.Output;
    EXPECT_NE(Run.Output.find("Encoding finished successfully."), std::string::npos);
    EXPECT_NE(Run.Output.find(" kBps - "), std::string::npos);
    EXPECT_TRUE(FlvmetaAccepts(Output));

    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(File.Flags, 0x01);
    EXPECT_EQ(Timestamps(File, VideoTag), Multiples(40, 2000));
    EXPECT_EQ(KeyFrameTimestamps(File), std::vector<uint32_t>{0});
    ExpectFramesMatchSource(Output, Avi, 25);
}

TEST_F(CliConversion, EveryRawPixelFormatConvertsLosslessly) {
    const std::pair<path, int> Sources[] = {
        {AviBgra(), 10}, {AviPal8(), 15}, {AviWidth642(), 5}, {AviBgr24(), 15}};
    for (const auto& [Avi, FramesPerSecond] : Sources) {
        SCOPED_TRACE(Avi.filename());
        const TProcessResult Run = RunCli({"--yes", Avi.string(), Output});
        ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
        EXPECT_TRUE(FlvmetaAccepts(Output));
        ExpectFramesMatchSource(Output, Avi, FramesPerSecond);
    }
}

TEST_F(CliConversion, KeyFramesFollowTheIntervalInStreamTime) {
    const TProcessResult Run =
        RunCli({"--keyframe-interval", "1000", MovingVideo("10", "4").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    // The time since the last key frame must exceed the interval.
    EXPECT_EQ(KeyFrameTimestamps(ReadFlvFile(Output)),
              (std::vector<uint32_t>{0, 1100, 2200, 3300}));
    EXPECT_TRUE(FlvmetaAccepts(Output));
}

TEST_F(CliConversion, FrameRateLimitKeepsTheSourceTimestamps) {
    const path Avi = MovingVideo("25", "2");
    const TProcessResult Run = RunCli({"--fps-limit", "5", Avi.string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output), VideoTag), Multiples(200, 2000));
    ExpectFramesMatchSource(Output, Avi, 25);
}

TEST_F(CliConversion, ALimitAboveTheSourceRateEncodesEverySampleOnce) {
    const TProcessResult Run =
        RunCli({"--fps-limit", "100", MovingVideo("25", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output), VideoTag), Multiples(40, 2000));
}

// Dropped frames, and a screen codec's chunks meaning "nothing changed",
// show the picture before them: they cost no tag and no frame is missing;
// only the last frame has one, empty, so that the file lasts to its end.
TEST_F(CliConversion, SamplesWithoutAPictureOfTheirOwnAreSteppedOver) {
    const std::pair<path, std::vector<uint32_t>> Sources[] = {
        {AviDropped(), {0, 100, 200, 600, 700, 800, 900}},
        {AviTsccUnchanged(), {0, 300, 500, 600, 700}}};
    for (const auto& [Avi, Times] : Sources) {
        SCOPED_TRACE(Avi.filename());
        const path Flv = Dir / Avi.stem().concat(".flv");
        const TProcessResult Run = RunCli({Avi.string(), Flv.string()});
        ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
        EXPECT_EQ(Run.Errors, "");
        EXPECT_EQ(Timestamps(ReadFlvFile(Flv), VideoTag), Times);
    }
}

// A capture that dropped its first frames still starts at 0 ms, with its
// first picture as the key frame.
TEST_F(CliConversion, FramesDroppedAtTheStartShowTheFirstPicture) {
    const TProcessResult Run = RunCli({AviLeadingDropped().string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(Run.Errors, "");
    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(Timestamps(File, VideoTag), (std::vector<uint32_t>{0, 300, 400, 500}));
    EXPECT_EQ(KeyFrameTimestamps(File), std::vector<uint32_t>{0});
    const std::vector<uint8_t> Source = DecodeWithFfmpeg(AviLeadingDropped(), "bgr24");
    const std::vector<DecodedFrame> Frames = DecodeFlvVideo(Output);
    ASSERT_EQ(Frames.size(), 4u);
    EXPECT_TRUE(std::equal(Frames[0].Bgr.begin(), Frames[0].Bgr.end(), Source.begin()));
}

TEST_F(CliConversion, ALimitLandingOnADroppedFrameShowsThePreviousPicture) {
    const TProcessResult Run = RunCli({"--fps-limit", "5", AviDropped().string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    // At 400 ms the picture is still the one of 200 ms: nothing changed, no tag.
    EXPECT_EQ(Timestamps(ReadFlvFile(Output), VideoTag), (std::vector<uint32_t>{0, 200, 600, 800}));
}

// Where MP3 frame N starts, in whole milliseconds rounded down.
uint32_t FrameStartMs(uint64_t N, uint32_t SamplesPerFrame, uint32_t SampleRate) {
    return static_cast<uint32_t>(N * SamplesPerFrame * 1000 / SampleRate);
}

std::vector<uint32_t> FrameStarts(size_t Count, uint32_t SamplesPerFrame, uint32_t SampleRate) {
    std::vector<uint32_t> Result;
    for (size_t N = 0; N < Count; ++N) {
        Result.push_back(FrameStartMs(N, SamplesPerFrame, SampleRate));
    }
    return Result;
}

// Audio tags of 44100 Hz frames carry their frames' start times, and each
// stands after the video tag of the frame whose interval holds it and before
// the next one.
void ExpectAudioInterleaved(const FlvFile& File, uint32_t VideoEndMs) {
    uint64_t AudioFrames = 0;
    int64_t LastVideo = -1;
    std::vector<uint32_t> VideoTimes = Timestamps(File, VideoTag);
    size_t NextVideo = 0;
    for (const FlvTag& Tag : File.Tags) {
        if (Tag.Type == VideoTag) {
            LastVideo = Tag.Timestamp;
            ++NextVideo;
            continue;
        }
        ASSERT_EQ(Tag.Type, AudioTag);
        EXPECT_EQ(Tag.Timestamp, FrameStartMs(AudioFrames++, 1152, 44100));
        EXPECT_LE(LastVideo, static_cast<int64_t>(Tag.Timestamp));
        if (NextVideo < VideoTimes.size()) {
            EXPECT_LT(Tag.Timestamp, VideoTimes[NextVideo]);
        }
    }
    ASSERT_GT(AudioFrames, 0u);
    EXPECT_LT(FrameStartMs(AudioFrames - 1, 1152, 44100), VideoEndMs);
    EXPECT_GE(FrameStartMs(AudioFrames, 1152, 44100), VideoEndMs);
}

// The tags that follow each video tag, by type and timestamp.
std::vector<std::pair<uint8_t, uint32_t>> TagsFrom(const FlvFile& File, size_t First,
                                                   size_t Count) {
    std::vector<std::pair<uint8_t, uint32_t>> Result;
    for (size_t I = First; I < First + Count && I < File.Tags.size(); ++I) {
        Result.emplace_back(File.Tags[I].Type, File.Tags[I].Timestamp);
    }
    return Result;
}

TEST_F(CliConversion, Mp3FramesInterleaveWithTheVideoByTime) {
    const path Mp3 = Mp3File("tone-44100.mp3", "-ar 44100 -ac 2 -b:a 128k");
    const TProcessResult Run =
        RunCli({"--audio", Mp3.string(), MovingVideo("10", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(File.Flags, 0x05);
    // Frames of 26.12 ms: the fraction is not lost from one frame to the next.
    const std::vector<std::pair<uint8_t, uint32_t>> Expected = {
        {VideoTag, 0},   {AudioTag, 0},   {AudioTag, 26},  {AudioTag, 52},
        {AudioTag, 78},  {VideoTag, 100}, {AudioTag, 104}, {AudioTag, 130},
        {AudioTag, 156}, {AudioTag, 182}, {VideoTag, 200}, {AudioTag, 208},
        {AudioTag, 235}, {AudioTag, 261}, {AudioTag, 287}, {VideoTag, 300}};
    EXPECT_EQ(TagsFrom(File, 0, Expected.size()), Expected);
    ExpectAudioInterleaved(File, 2000);
    EXPECT_TRUE(FlvmetaAccepts(Output));
}

struct Mp3Case {
    std::string Name;
    std::string Arguments;
    uint8_t SoundByte;  // MP3, 16 bits, rate code, stereo flag
    uint32_t SamplesPerFrame;
    uint32_t SampleRate;
};

void PrintTo(const Mp3Case& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliMp3Sources : public CliConversion, public ::testing::WithParamInterface<Mp3Case> {};

TEST_P(CliMp3Sources, FramesAreCopiedUnchangedWithTheirFlags) {
    const Mp3Case& Case = GetParam();
    const path Mp3 = Mp3File(Case.Name, Case.Arguments);
    // A video longer than the sound: the whole MP3 stream is used.
    const TProcessResult Run =
        RunCli({"--audio", Mp3.string(), MovingVideo("10", "5").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const FlvFile File = ReadFlvFile(Output);
    uint8_t SoundByte = 0;
    const std::vector<uint8_t> Copied = AudioPayloads(File, SoundByte);
    EXPECT_EQ(SoundByte, Case.SoundByte);
    EXPECT_EQ(Timestamps(File, AudioTag),
              FrameStarts(Count(File, AudioTag), Case.SamplesPerFrame, Case.SampleRate));

    std::vector<uint8_t> Mp3Bytes = ReadFileBytes(Mp3);
    // From the first frame of sound as the ffmpeg tool finds it: past the
    // ID3v2 tag and the Info frame.
    const size_t Start = Mp3PacketPositions(Mp3).front();
    size_t End = Mp3Bytes.size();
    if (End >= 128 && std::equal(Mp3Bytes.end() - 128, Mp3Bytes.end() - 125, "TAG")) {
        End -= 128;
    }
    ASSERT_EQ(Copied.size(), End - Start);
    EXPECT_TRUE(
        std::equal(Copied.begin(), Copied.end(), Mp3Bytes.begin() + static_cast<long>(Start)));
    EXPECT_TRUE(FlvmetaAccepts(Output));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, CliMp3Sources,
    ::testing::Values(
        Mp3Case{"stereo-44100.mp3", "-ar 44100 -ac 2 -b:a 128k", 0x2F, 1152, 44100},
        Mp3Case{"no-id3.mp3", "-ar 44100 -ac 2 -b:a 160k -id3v2_version 0 -write_xing 0", 0x2F,
                1152, 44100},
        Mp3Case{"mono-44100.mp3", "-ar 44100 -ac 1 -b:a 64k", 0x2E, 1152, 44100},
        Mp3Case{"mpeg2-22050.mp3", "-ar 22050 -ac 2 -b:a 64k", 0x2B, 576, 22050},
        Mp3Case{"mpeg25-11025.mp3", "-ar 11025 -ac 1 -b:a 32k", 0x26, 576, 11025},
        Mp3Case{"id3v1-44100.mp3", "-ar 44100 -ac 2 -b:a 128k -write_id3v1 1", 0x2F, 1152, 44100}),
    [](const auto& Info) {
        std::string Name = Info.param.Name.substr(0, Info.param.Name.find('.'));
        std::replace(Name.begin(), Name.end(), '-', '_');
        return Name;
    });

// A header of no fixed length midway (free format, or a damaged bitrate):
// the frame is passed over, the frames on either side are copied whole, and
// the user is told.
TEST_F(CliConversion, AFreeFormatHeaderIsPassedOverAndTold) {
    const path Mp3 = Mp3File("stereo-44100.mp3", "-ar 44100 -ac 2 -b:a 128k");
    const std::vector<size_t> Frames = Mp3PacketPositions(Mp3);
    const size_t Tenth = Frames.at(10);
    const size_t TenthLength = Frames.at(11) - Tenth;
    const path Patched =
        DerivedFixture("free-format-middle.mp3", Mp3, [&](std::vector<uint8_t> Bytes) {
            Bytes[Tenth + 2] &= 0x0F;  // bitrate index 0: a frame of no fixed length
            return Bytes;
        });
    const TProcessResult Run =
        RunCli({"--audio", Patched.string(), MovingVideo("10", "5").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Errors.find("Warning: The MP3 audio held " + std::to_string(TenthLength) +
                              " bytes that are no MP3 frames"),
              std::string::npos)
        << Run.Errors;
    uint8_t SoundByte = 0;
    const std::vector<uint8_t> Copied = AudioPayloads(ReadFlvFile(Output), SoundByte);
    std::vector<uint8_t> Expected = ReadFileBytes(Patched);
    Expected.erase(Expected.begin() + static_cast<long>(Tenth),
                   Expected.begin() + static_cast<long>(Tenth + TenthLength));
    Expected.erase(Expected.begin(), Expected.begin() + static_cast<long>(Frames.front()));
    EXPECT_TRUE(Copied == Expected);
}

TEST_F(CliConversion, Mp3At48000AskedYesGivesVideoOnly) {
    const path Mp3 = Mp3File("tone-48000.mp3", "-ar 48000 -ac 2 -b:a 128k");
    const TProcessResult Run =
        RunCli({"--yes", "--audio", Mp3.string(), MovingVideo("10", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Errors.find("The audio data is not compatible with Flash video."),
              std::string::npos);
    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(File.Flags, 0x05);  // announced before the audio was read
    EXPECT_TRUE(Timestamps(File, AudioTag).empty());
    EXPECT_EQ(Timestamps(File, VideoTag), Multiples(100, 2000));
}

TEST_F(CliConversion, Mp3At48000AskedNoGivesTheFirstFrameOnlyAndFails) {
    const path Mp3 = Mp3File("tone-48000.mp3", "-ar 48000 -ac 2 -b:a 128k");
    const TProcessResult Run =
        RunCli({"--no", "--audio", Mp3.string(), MovingVideo("10", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 1) << Run.Errors;
    EXPECT_NE(Run.Errors.find("cut short"), std::string::npos) << Run.Errors;
    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(Timestamps(File, VideoTag), std::vector<uint32_t>{0});
    EXPECT_TRUE(Timestamps(File, AudioTag).empty());
}

// One outcome: the run cut short is not also said to have finished.
TEST_F(CliConversion, WithoutATerminalOrAnAnswerTheQuestionIsAnsweredNo) {
    const path Mp3 = Mp3File("tone-48000.mp3", "-ar 48000 -ac 2 -b:a 128k");
    const TProcessResult Run =
        RunCli({"--audio", Mp3.string(), MovingVideo("10", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 1) << Run.Errors;
    EXPECT_NE(Run.Errors.find("cut short"), std::string::npos) << Run.Errors;
    EXPECT_EQ(Run.Output.find("Encoding finished successfully."), std::string::npos) << Run.Output;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output), VideoTag), std::vector<uint32_t>{0});
}

TEST_F(CliConversion, LossyModesWriteValidFiles) {
    const path Avi = MovingVideo("25", "2");
    for (const std::vector<std::string>& Mode :
         {std::vector<std::string>{"--mode", "quality", "--colors", "2k"},
          std::vector<std::string>{"--bitrate", "100", "--block", "32x32"}}) {
        std::vector<std::string> Arguments = Mode;
        Arguments.insert(Arguments.end(), {"--yes", Avi.string(), Output});
        const TProcessResult Run = RunCli(Arguments);
        ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
        EXPECT_TRUE(FlvmetaAccepts(Output));
        EXPECT_FALSE(DecodeFlvVideo(Output).empty());
    }
}

// The video's own sound comes along unless --audio says otherwise; a file
// without sound converts without it, and without a word (FLV flags 0x05
// announce audio and video, 0x01 video alone).
TEST_F(CliConversion, TheVideosOwnSoundComesAlongUnlessToldOtherwise) {
    struct {
        std::vector<std::string> Options;
        path Input;
        uint8_t Flags;
        bool AudioTags;
    } const Cases[] = {
        {{}, AviPcm16Stereo(), 0x05, true},
        {{"--audio", "avi"}, AviPcm16Stereo(), 0x05, true},
        {{"--audio", "none"}, AviPcm16Stereo(), 0x01, false},
        {{}, AviBgr24(), 0x01, false},
    };
    for (const auto& Case : Cases) {
        std::vector<std::string> Arguments = Case.Options;
        Arguments.insert(Arguments.end(), {Case.Input.string(), Output});
        std::filesystem::remove(Output);
        const TProcessResult Run = RunCli(Arguments);
        ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
        EXPECT_TRUE(Run.Errors.empty()) << Run.Errors;
        const test::FlvFile File = ReadFlvFile(Output);
        EXPECT_EQ(File.Flags, Case.Flags) << Case.Input;
        EXPECT_EQ(std::any_of(File.Tags.begin(), File.Tags.end(),
                              [](const test::FlvTag& Tag) { return Tag.Type == 8; }),
                  Case.AudioTags)
            << Case.Input;
        EXPECT_TRUE(FlvmetaAccepts(Output));
    }
}

TEST_F(CliConversion, StopRequestLeavesAValidFileOfWhatWasWritten) {
    // The run is still going when it is stopped.
    const path Avi = NoiseVideo();
    TBackgroundProcess Cli(QUORVANE_CLI_PATH, {Avi.string(), Output});
    // Stopped once a few frames are out (progress figures exist from the
    // first percent on), well before the end.
    for (int Wait = 0; Wait < 2000 && FileSize(Output) < 5000000; ++Wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Cli.Signal(SIGINT);
    const TProcessResult Run = Cli.Wait();
    EXPECT_EQ(Run.ExitStatus, 130) << Run.Errors;
    EXPECT_NE(Run.Output.find("Encoding stopped by user."), std::string::npos);
    EXPECT_NE(Run.Output.find("Remaining time:"), std::string::npos) << Run.Output;
    // On a slow machine the stop may come right after the key frame.
    EXPECT_TRUE(FlvmetaAccepts(Output));
    const size_t Frames = DecodeFlvVideo(Output).size();
    EXPECT_GT(Frames, 0u);
    EXPECT_LT(Frames, 200u);
}

// The video was whole when the request came: nothing was stopped.
TEST_F(CliConversion, CtrlCDuringTheMetadataPassStopsNothing) {
    TBackgroundProcess Cli(QUORVANE_CLI_PATH,
                           {"--metadata", "--fps-limit", "5", NoiseVideo().string(), Output});
    while (Cli.Running() && !HoldsFileNamedLike(Dir, ".metadata")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Cli.Running()) << "the run ended before its metadata pass could be interrupted";
    Cli.Signal(SIGINT);
    const TProcessResult Run = Cli.Wait();
    EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Output.find("Encoding finished successfully."), std::string::npos) << Run.Output;
    EXPECT_TRUE(FlvmetaFindsNoProblem(Output));
}

// The temporary audio file takes another name beside it, and goes.
TEST_F(CliConversion, AnUnrelatedFileNamedLikeTheTemporaryAudioIsKept) {
    const std::string Unrelated = Output + "audio";
    std::ofstream(Unrelated) << "keep me";
    const TProcessResult Run = RunCli({"--audio", "avi", AviPcm16Stereo().string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(ReadFileBytes(Unrelated).size(), 7u);
    EXPECT_FALSE(Timestamps(ReadFlvFile(Output), AudioTag).empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 2);
}

TEST_F(CliConversion, OnATerminalProgressUpdatesOneLine) {
    const TProcessResult Run = RunCliOnTerminal({MovingVideo("25", "2").string(), Output});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Output;
    EXPECT_NE(Run.Output.find("\r\033[KEncoding video... 0%  - "), std::string::npos) << Run.Output;
    const size_t End = Run.Output.find("Encoding finished successfully.");
    ASSERT_NE(End, std::string::npos);
    // The progress line is cleared before the final texts.
    EXPECT_EQ(Run.Output.rfind("\r\033[K", End), End - 4);
}

TEST(CliInformation, Mp3FormatsAreListedWithTheirIndex) {
    const TProcessResult List = RunCli({"--list-mp3-formats"});
    EXPECT_EQ(List.ExitStatus, 0);
    EXPECT_EQ(List.Output.rfind("0: 128 kBit/s, 44,100 Hz, Stereo\n1: ", 0), 0u) << List.Output;
    EXPECT_NE(List.Output.find("\n71: 8 kBit/s, 11,025 Hz, Mono\n"), std::string::npos);
    EXPECT_EQ(std::count(List.Output.begin(), List.Output.end(), '\n'), 72);
}

TEST(CliInformation, HelpAndVersion) {
    const TProcessResult Help = RunCli({"--help"});
    EXPECT_EQ(Help.ExitStatus, 0);
    EXPECT_NE(Help.Output.find("Usage: quorvane-cli [options] INPUT OUTPUT.flv"),
              std::string::npos);
    const TProcessResult Version = RunCli({"--version"});
    EXPECT_EQ(Version.ExitStatus, 0);
    EXPECT_EQ(Version.Output, "quorvane-cli 1.0 build 21\n");
}

}  // namespace
}  // namespace quorvane::test
