#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <functional>

#include "cli/Batch.h"
#include "cli/Mp3FormatChoice.h"

namespace quorvane::cli {
namespace {

TCliOptions Parse(std::vector<std::string> Arguments) {
    return ParseCommandLine(Arguments);
}

// What the job receives for a command line.
struct MappingCase {
    std::string Name;
    std::vector<std::string> Arguments;  // before "in.avi out.flv"
    std::function<bool(const TJobSettings&)> Holds;
};

void PrintTo(const MappingCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliSettings : public ::testing::TestWithParam<MappingCase> {};

TEST_P(CliSettings, ReachTheJob) {
    std::vector<std::string> Arguments = GetParam().Arguments;
    Arguments.insert(Arguments.end(), {"in.avi", "out.flv"});
    const TCliOptions Options = ParseCommandLine(Arguments);
    EXPECT_EQ(Options.InputFileName, "in.avi");
    EXPECT_EQ(Options.OutputFileName, "out.flv");
    EXPECT_TRUE(GetParam().Holds(Options.Settings));
}

INSTANTIATE_TEST_SUITE_P(
    , CliSettings,
    ::testing::Values(
        MappingCase{"TheWindowsDefaults",
                    {},
                    [](const TJobSettings& S) {
                        const EncoderParameters& E = S.Encoder;
                        return E.CompressionMode == LosslessMode && E.BlockWidth == 64 &&
                               E.BlockHeight == 32 && E.ColorShift == 0 &&
                               S.KeyFrameInterval == 0 && S.FrameRateLimit == 0 &&
                               S.Audio.Source == TAudioSource::None && !S.AddMetadata &&
                               S.Engine.Threads == 0 && S.Engine.Deflate == DeflateEngine::Zlib &&
                               S.Range.Start == 0 && !S.Range.End;
                    }},
        MappingCase{"QualityWithEverySetting",
                    {"--mode=quality", "--tolerance", "10,20,100", "--block-tolerance", "5",
                     "--keyframe-interval", "2000", "--fps-limit=12", "--colors", "2k", "--block",
                     "256x16", "--metadata", "--threads", "3", "--deflate", "libdeflate"},
                    [](const TJobSettings& S) {
                        const EncoderParameters& E = S.Encoder;
                        return E.CompressionMode == QualityMode && E.RedTolerance == 25 &&
                               E.GreenTolerance == 51 && E.BlueTolerance == 255 &&
                               E.BlockTolerance == 5 && S.KeyFrameInterval == 2000 &&
                               S.FrameRateLimit == 12 && E.ColorShift == 4 && E.BlockWidth == 256 &&
                               E.BlockHeight == 16 && S.AddMetadata && S.Engine.Threads == 3 &&
                               S.Engine.Deflate == DeflateEngine::Libdeflate;
                    }},
        MappingCase{"SmallestFiles",
                    {"--deflate=smallest"},
                    [](const TJobSettings& S) {
                        return S.Engine.Deflate == DeflateEngine::Smallest &&
                               S.Encoder.CompressionMode == LosslessMode;
                    }},
        MappingCase{"QualityDefaults",
                    {"--mode", "quality"},
                    [](const TJobSettings& S) {
                        return S.Encoder.RedTolerance == 76 && S.Encoder.GreenTolerance == 38 &&
                               S.Encoder.BlueTolerance == 76 && S.Encoder.BlockTolerance == 3;
                    }},
        MappingCase{"ABitRateChoosesItsMode",
                    {"--bitrate", "500"},
                    [](const TJobSettings& S) {
                        return S.Encoder.CompressionMode == BitrateMode && S.Encoder.BitRate == 500;
                    }},
        MappingCase{"ABitRateModeStartsAt250",
                    {"--mode", "bitrate"},
                    [](const TJobSettings& S) { return S.Encoder.BitRate == 250; }},
        MappingCase{"ABlockToleranceChoosesItsMode",
                    {"--block-tolerance", "9"},
                    [](const TJobSettings& S) {
                        return S.Encoder.CompressionMode == QualityMode &&
                               S.Encoder.BlockTolerance == 9;
                    }},
        MappingCase{"EightBitSettingsBeyondTheirRangeAreClamped",
                    {"--fps-limit", "300", "--block-tolerance", "256", "--tolerance", "101,0,0"},
                    [](const TJobSettings& S) {
                        return S.FrameRateLimit == 255 && S.Encoder.BlockTolerance == 255 &&
                               S.Encoder.RedTolerance == 255;
                    }},
        MappingCase{"TheLargestInterval",
                    {"--keyframe-interval", "2147483647"},
                    [](const TJobSettings& S) { return S.KeyFrameInterval == 2147483647; }},
        MappingCase{"ARangeInEitherForm",
                    {"--start", "1:02:03.25", "--end=3723.5"},
                    [](const TJobSettings& S) {
                        return S.Range.Start == 3723250 && S.Range.End == 3723500;
                    }},
        MappingCase{"AStartAloneAndTheLatestTime",
                    {"--start", "90:00", "--end", "596:31:23.647"},
                    [](const TJobSettings& S) {
                        return S.Range.Start == 5400000 && S.Range.End == INT32_MAX;
                    }},
        MappingCase{"AnMp3File",
                    {"--audio", "music.mp3"},
                    [](const TJobSettings& S) {
                        return S.Audio.Source == TAudioSource::Mp3File &&
                               S.Audio.Mp3FileName == "music.mp3";
                    }},
        MappingCase{"AFileNamedNone",
                    {"--audio", "./none"},
                    [](const TJobSettings& S) { return S.Audio.Mp3FileName == "./none"; }},
        MappingCase{"TheAvisOwnAudio",
                    {"--audio", "avi"},
                    [](const TJobSettings& S) {
                        return S.Audio.Source == TAudioSource::AviAudio &&
                               S.Audio.Mp3FileName.empty();
                    }},
        MappingCase{"ACropAndAWidth",
                    {"--crop", "1280:720:16:8", "--size", "640x"},
                    [](const TJobSettings& S) {
                        return S.Picture.Crop == platform::TPictureRect{1280, 720, 16, 8} &&
                               S.Picture.Width == 640 && S.Picture.Height == 0;
                    }},
        MappingCase{"AHeightAlone",
                    {"--size=x4095"},
                    [](const TJobSettings& S) {
                        return !S.Picture.Crop && S.Picture.Width == 0 && S.Picture.Height == 4095;
                    }},
        MappingCase{"TheIncludedAudio",
                    {"--audio", "included"},
                    [](const TJobSettings& S) {
                        return S.Audio.Source == TAudioSource::AviAudio &&
                               S.Audio.Mp3FileName.empty();
                    }}),
    [](const auto& Info) { return Info.param.Name; });

// Without --audio the video's own sound is taken when it can be converted.
TEST(CliOptions, WithoutAudioTheVideosOwnSoundIsTakenWhenUsable) {
    TCliOptions Options = ParseCommandLine({"in.avi", "out.flv"});
    Options.Settings.Audio.MP3Format = {85};
    EXPECT_EQ(AudioSourceFor(Options, true), TAudioSource::AviAudio);
    EXPECT_EQ(AudioSourceFor(Options, false), TAudioSource::None);
    Options.Settings.Audio.MP3Format.clear();  // no MP3 encoder
    EXPECT_EQ(AudioSourceFor(Options, true), TAudioSource::None);
    const TCliOptions None = ParseCommandLine({"--audio", "none", "in.avi", "out.flv"});
    EXPECT_EQ(AudioSourceFor(None, true), TAudioSource::None);
}

TEST(CliOptions, AModeOptionNeedsItsMode) {
    EXPECT_THROW(Parse({"--mode", "lossless", "--bitrate", "500", "a", "b"}), EUsageError);
    EXPECT_THROW(Parse({"--bitrate", "500", "--tolerance", "1,2,3", "a", "b"}), EUsageError);
}

TEST(CliOptions, YesAnswersEveryQuestion) {
    EXPECT_EQ(Parse({"--yes", "a", "b"}).Answer, std::optional<bool>(true));
    EXPECT_FALSE(Parse({"a", "b"}).Answer.has_value());
}

TEST(CliOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> Bad = {
        {"in.avi"},
        {"in.avi", "out.flv", "extra"},
        {"--bitrate", "abc", "a", "b"},
        {"--bitrate", "-5", "a", "b"},
        {"--bitrate", "99999999999", "a", "b"},
        {"--keyframe-interval", "2147483648", "a", "b"},
        {"--tolerance", "1,2,99999999999", "a", "b"},
        {"--mp3-format", "first", "a", "b"},
        {"--bitrate"},
        {"--tolerance", "1,2", "a", "b"},
        {"--block", "64", "a", "b"},
        {"--block", "48x8", "a", "b"},
        {"--block", "272x16", "a", "b"},
        {"--colors", "256", "a", "b"},
        {"--mode", "fast", "a", "b"},
        {"--yes", "--no", "a", "b"},
        {"--quiet=1", "a", "b"},
        {"--frobnicate", "a", "b"},
        {"--threads", "0", "a", "b"},
        {"--threads", "two", "a", "b"},
        {"--threads", "1000", "a", "b"},
        {"--deflate", "gzip", "a", "b"},
        {"--output-dir", "out"},
        {"--output-dir=", "a", "b"},
        {"a", "b", "--output-dir"},
        {"--start", "1:2", "a", "b"},   // seconds of two digits
        {"--start", "1:60", "a", "b"},  // below 60
        {"--end", "1:00:00:00", "a", "b"},
        {"--end", "1.2345", "a", "b"},  // milliseconds at most
        {"--start", "-1", "a", "b"},
        {"--start", ".5", "a", "b"},
        {"--end", "596:31:23.648", "a", "b"},  // past the latest FLV time
        {"--start", "2", "--end", "2", "a", "b"},
        {"--start", "3", "--end", "0:02.999", "a", "b"},
        {"--crop", "0:10:0:0", "a", "b"},
        {"--crop", "10:10:5", "a", "b"},
        {"--crop", "10:10:-1:0", "a", "b"},
        {"--crop", "10:10:8183:0", "a", "b"},  // beyond any picture read
        {"--crop", "8193:10:0:0", "a", "b"},
        {"--size", "4096x", "a", "b"},
        {"--size", "0x480", "a", "b"},
        {"--size", "x", "a", "b"},
        {"--size", "640", "a", "b"},
    };
    for (const auto& Arguments : Bad) {
        EXPECT_THROW(ParseCommandLine(Arguments), EUsageError) << Arguments[0];
    }
}

TEST(CliOptions, DoubleDashEndsOptions) {
    const TCliOptions Options = Parse({"--", "--odd.avi", "out.flv"});
    EXPECT_EQ(Options.InputFileName, "--odd.avi");
}

// With a folder every file named is an input, into the folder under its
// own name; two of one name would write one file.
TEST(CliOptions, ManyFilesGoIntoTheFolderUnderTheirNames) {
    const TCliOptions Options = Parse({"a.mp4", "--output-dir", "out", "clips/b.mkv", "c"});
    EXPECT_EQ(Options.InputFileNames, (std::vector<std::string>{"a.mp4", "clips/b.mkv", "c"}));
    const std::vector<TBatchItem> Items = BatchItems(Options.InputFileNames, "out/");
    ASSERT_EQ(Items.size(), 3u);
    EXPECT_EQ(Items[0].Output, "out/a.flv");
    EXPECT_EQ(Items[1].Output, "out/b.flv");
    EXPECT_EQ(Items[2].Output, "out/c.flv");
    EXPECT_THROW(BatchItems({"x.mp4", "clips/x.mkv"}, "out"), EUsageError);
}

TEST(CliOptions, InformationalOptionsNeedNoFiles) {
    EXPECT_TRUE(Parse({"--help"}).ShowHelp);
    EXPECT_TRUE(Parse({"--version"}).ShowVersion);
    EXPECT_TRUE(Parse({"--list-mp3-formats"}).ListMp3Formats);
}

TEST(Mp3FormatChoice, TakesTheIndexedPairOrTheFirst) {
    TMp3FormatOffer Offer;
    for (uint8_t Item = 0; Item < 3; ++Item) {
        Offer.push_back({{85, Item}, {1, Item}, "format " + std::to_string(Item)});
    }
    TAudioSettings Audio;
    ChooseMp3Format(Offer, std::nullopt, Audio);
    EXPECT_EQ(Audio.MP3Format, (std::vector<uint8_t>{85, 0}));
    ChooseMp3Format(Offer, "2", Audio);
    EXPECT_EQ(Audio.MP3Format, (std::vector<uint8_t>{85, 2}));
    EXPECT_EQ(Audio.MP3InputFormat, (std::vector<uint8_t>{1, 2}));
    EXPECT_THROW(ChooseMp3Format(Offer, "3", Audio), EUsageError);
    EXPECT_THROW(ChooseMp3Format(Offer, "99999999999999999999", Audio), EUsageError);
    EXPECT_EQ(Mp3FormatListing(Offer), "0: format 0\n1: format 1\n2: format 2\n");
}

TEST(Mp3FormatChoice, AnEmptyOfferLeavesThePairEmpty) {
    TAudioSettings Audio;
    Audio.MP3Format = {85};
    ChooseMp3Format({}, std::nullopt, Audio);
    EXPECT_TRUE(Audio.MP3Format.empty() && Audio.MP3InputFormat.empty());
    EXPECT_THROW(ChooseMp3Format({}, "0", Audio), EUsageError);
    EXPECT_EQ(Mp3FormatListing({}), "");
}

// The audio chosen against the MP3 format pair and the loaded file's audio.
struct AudioProblemCase {
    std::string Name;
    std::string Audio;  // --audio
    bool Mp3FormatOffered;
    bool AudioUsable;
    std::string Problem;  // empty: none
};

void PrintTo(const AudioProblemCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class AudioChoiceProblems : public ::testing::TestWithParam<AudioProblemCase> {};

TEST_P(AudioChoiceProblems, AreFoundBeforeTheOutputIsNamed) {
    const AudioProblemCase& Case = GetParam();
    TCliOptions Options = Parse({"--audio", Case.Audio, "in.avi", "out.flv"});
    if (Case.Mp3FormatOffered) {
        Options.Settings.Audio.MP3Format = {85};
        Options.Settings.Audio.MP3InputFormat = {1};
    }
    EXPECT_EQ(AudioChoiceProblem(Options, Case.AudioUsable, ""), Case.Problem);
}

INSTANTIATE_TEST_SUITE_P(
    , AudioChoiceProblems,
    ::testing::Values(
        AudioProblemCase{"AviAudioWithoutAnMp3Format", "avi", false, true, NoMp3FormatText},
        AudioProblemCase{"AviAudioWithAnMp3Format", "avi", true, true, ""},
        AudioProblemCase{"NoAviAudio", "avi", true, false, "The video file has no audio track."},
        AudioProblemCase{"NoAudioWithoutAnMp3Format", "none", false, true, ""}),
    [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::cli
