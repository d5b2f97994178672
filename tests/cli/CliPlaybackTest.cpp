// Our files as other programs play them: GStreamer's demuxer and decoder
// read every frame, flvmeta checks the metadata, FFmpeg shows the duration
// and seeks; and an hour-long recording keeps its sound and pictures in step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>

#include "CliTestKit.h"
#include "support/Fixtures.h"
#include "support/FlvDecoding.h"
#include "support/FlvmetaCheck.h"
#include "support/GStreamerDecoding.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

constexpr uint8_t ScriptTag = 18;

class CliPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Output = (Dir / "out.flv").string();
    }

    // Converts with the options given, replacing an earlier output; --metadata
    // added when Metadata is set.
    FlvFile Convert(std::vector<std::string> Arguments, bool Metadata,
                    const std::string& File = "") {
        const std::string Target = File.empty() ? Output : (Dir / File).string();
        Arguments.insert(Arguments.begin(), "--yes");
        if (Metadata) {
            Arguments.insert(Arguments.begin(), "--metadata");
        }
        Arguments.push_back(Target);
        const TProcessResult Run = RunCli(Arguments);
        EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
        return ReadFlvFile(Target);
    }

    std::filesystem::path Dir;
    std::string Output;
};

std::vector<std::string> ToneOverMovingVideo() {
    return {"--audio", Mp3File("tone-44100.mp3", "-ar 44100 -ac 2 -b:a 128k").string(),
            MovingVideo("10", "2").string()};
}

TEST_F(CliPlayback, GStreamerDecodesEveryFrameAndEveryAudioFrame) {
    const path Avi = MovingVideo("10", "2");
    for (const bool Metadata : {false, true}) {
        SCOPED_TRACE(Metadata ? "with metadata" : "without metadata");
        const FlvFile File = Convert(ToneOverMovingVideo(), Metadata);
        const GStreamerOutput Decoded = DecodeWithGStreamer(Output, Dir, true);
        // Every frame of the source differs from the one before, so each has
        // a tag; lossless, so each decodes to the source's picture.
        EXPECT_EQ(Timestamps(File, VideoTag).size(), 20u);
        EXPECT_TRUE(Decoded.Bgr == DecodeWithFfmpeg(Avi, "bgr24"));
        uint8_t SoundByte = 0;
        EXPECT_TRUE(Decoded.Audio == AudioPayloads(File, SoundByte));
        EXPECT_FALSE(Decoded.Audio.empty());
    }
}

TEST_F(CliPlayback, TheDefaultFileIsTheIndexedOneWithoutItsMetadataTag) {
    const FlvFile Plain = Convert(ToneOverMovingVideo(), false, "plain.flv");
    const FlvFile Indexed = Convert(ToneOverMovingVideo(), true, "indexed.flv");
    ASSERT_FALSE(Plain.Tags.empty());
    EXPECT_EQ(Plain.Tags[0].Type, VideoTag);
    ASSERT_EQ(Indexed.Tags[0].Type, ScriptTag);
    EXPECT_EQ(Indexed.Tags[0].Offset, 13u);

    std::vector<uint8_t> Stripped = ReadFileBytes(Dir / "indexed.flv");
    Stripped.erase(Stripped.begin() + 13,
                   Stripped.begin() + static_cast<long>(Indexed.Tags[1].Offset));
    EXPECT_TRUE(Stripped == ReadFileBytes(Dir / "plain.flv"));
    EXPECT_TRUE(FlvmetaAccepts(Dir / "plain.flv"));
    EXPECT_TRUE(FlvmetaFindsNoProblem(Dir / "indexed.flv"));
    // The copy that took the file's place left nothing beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 2);
}

TEST_F(CliPlayback, TheIndexLetsFfmpegShowTheDurationAndSeekToAKeyFrame) {
    const path Avi = Fixture("moving-64x48-5fps-60s.avi",
                             "-f lavfi -i testsrc2=size=64x48:rate=5:duration=60 "
                             "-c:v rawvideo -pix_fmt bgr24");
    const path Mp3 = Fixture("tone-22050-mono-60s.mp3",
                             "-f lavfi -i sine=frequency=440:duration=60 -ar 22050 -ac 1 "
                             "-b:a 32k -c:a libmp3lame");
    const FlvFile File =
        Convert({"--keyframe-interval", "2000", "--audio", Mp3.string(), Avi.string()}, true);
    // flvmeta checks every value against what the file holds.
    EXPECT_TRUE(FlvmetaFindsNoProblem(Output));
    const FlvmetaMetadata Metadata(Output);
    for (const char* Key :
         {"duration", "width", "height", "framerate", "videocodecid", "videodatarate",
          "audiocodecid", "audiosamplerate", "audiosamplesize", "stereo", "audiodatarate",
          "filesize", "keyframes", "times", "filepositions"}) {
        EXPECT_TRUE(Metadata.Has(Key)) << Key;
    }
    EXPECT_NEAR(Metadata.Number("duration"), 60, 0.03);
    const std::vector<double> Times = Metadata.Numbers("times");
    const std::vector<double> Positions = Metadata.Numbers("filepositions");
    EXPECT_EQ(Times.size(), KeyFrameTimestamps(File).size());

    // FFmpeg's index keeps whole seconds of the key frames' times, so it may
    // land on the key frame just after 30 s rather than the one before.
    const FfmpegSeek Seek = SeekWithFfmpeg(Output, 30);
    EXPECT_DOUBLE_EQ(Seek.DurationSeconds, Metadata.Number("duration"));
    EXPECT_TRUE(Seek.KeyFrame);
    EXPECT_LT(std::abs(Seek.TimestampMs - 30000), 2200) << Seek.TimestampMs;
    const auto Indexed = std::find(Times.begin(), Times.end(), Seek.TimestampMs / 1000.0);
    ASSERT_NE(Indexed, Times.end());
    EXPECT_EQ(Seek.Position, Positions[Indexed - Times.begin()]);
}

// What ffprobe says of a media file.
double Probe(const path& File, const std::vector<std::string>& Arguments) {
    std::vector<std::string> Command = {"-v", "error"};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    Command.insert(Command.end(), {"-of", "csv=p=0", File.string()});
    const TProcessResult Run = RunProcess("ffprobe", Command);
    EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
    return std::stod(Run.Output);
}

// An hour of MP3 made fast: a minute of silence (22050 Hz frames, 26.12 ms
// each) sixty times over, frames copied.
path AnHourOfMp3() {
    const path Minute = Fixture("silence-22050-mono-60s.mp3",
                                "-f lavfi -i anullsrc=r=22050:cl=mono -t 60 -c:a libmp3lame "
                                "-b:a 8k -write_xing 0");
    return Fixture("silence-22050-mono-60min.mp3",
                   "-stream_loop 59 -i '" + Minute.string() + "' -c copy -write_xing 0");
}

// A 16x16 picture at 1 fps whose grey changes every frame, a little longer
// than the hour of sound, with it: adding 26 ms per audio frame would end
// the sound 16.9 s early.
TEST_F(CliPlayback, AnHourLongRecordingKeepsItsSoundInStep) {
    const path Avi = Fixture("grey-steps-16x16-1fps-3604s.avi",
                             "-f lavfi -i color=c=black:s=16x16:r=1:d=3604 "
                             "-vf \"geq=lum='16+mod(N,200)':cb=128:cr=128\" "
                             "-c:v rawvideo -pix_fmt bgr24");
    const path Mp3 = AnHourOfMp3();
    const FlvFile File = Convert({"--audio", Mp3.string(), Avi.string()}, true);

    const auto Mp3Frames = static_cast<size_t>(
        Probe(Mp3, {"-count_packets", "-show_entries", "stream=nb_read_packets"}));
    const double Mp3Ms = Mp3Frames * 576 * 1000.0 / 22050;
    const double VideoMs = Probe(Avi, {"-show_entries", "format=duration"}) * 1000;
    const uint32_t LastAudio = Timestamps(File, AudioTag).back();
    const uint32_t LastVideo = Timestamps(File, VideoTag).back();
    EXPECT_EQ(Timestamps(File, AudioTag).size(), Mp3Frames);
    EXPECT_LE(std::fabs(Mp3Ms - LastAudio), 30) << "MP3 " << Mp3Ms << " ms";
    EXPECT_LE(std::fabs(VideoMs - LastVideo), 1000) << "video " << VideoMs << " ms";
    EXPECT_TRUE(FlvmetaFindsNoProblem(Output));
    std::cout << std::fixed << std::setprecision(1) << "MP3: " << Mp3Frames << " frames, " << Mp3Ms
              << " ms; last audio tag at " << LastAudio << " ms. Video: " << VideoMs
              << " ms; last video tag at " << LastVideo
              << " ms. Metadata duration: " << std::setprecision(3)
              << FlvmetaMetadata(Output).Number("duration") << " s.\n";
}

}  // namespace
}  // namespace quorvane::test
