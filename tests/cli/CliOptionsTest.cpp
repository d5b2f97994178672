#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include "cli/Mp3FormatChoice.h"

namespace quorvane::cli {
namespace {

TCliOptions Parse(std::vector<std::string> Arguments) {
    return ParseCommandLine(Arguments);
}

TEST(CliOptions, DefaultsMirrorTheWindow) {
    const TCliOptions Options = Parse({"in.avi", "out.flv"});
    const TJobControls& Controls = Options.Controls;
    EXPECT_EQ(Options.InputFileName, "in.avi");
    EXPECT_EQ(Options.OutputFileName, "out.flv");
    EXPECT_TRUE(Controls.LosslessRadioButton);
    EXPECT_FALSE(Controls.BitrateCompressionRadioButton || Controls.QualityCompressionRadioButton);
    EXPECT_EQ(Controls.BitRateEdit, "250");
    EXPECT_EQ(Controls.BlockWidthComboBox, 3);
    EXPECT_EQ(Controls.BlockHeightComboBox, 1);
    EXPECT_FALSE(Controls.KeyFrameCheckBox || Controls.FrameRateLimitCheckBox ||
                 Controls.ColorReductionCheckBox);
    EXPECT_FALSE(Controls.AVIAudioRadioButton || Controls.MP3AudioRadioButton);
    EXPECT_FALSE(Controls.MetadataCheckBox);
    EXPECT_EQ(Controls.Engine.Threads, 0u);
    EXPECT_EQ(Controls.Engine.Deflate, DeflateEngine::Zlib);
    EXPECT_FALSE(Options.Answer.has_value());
}

TEST(CliOptions, SettingsReachTheControls) {
    const TCliOptions Options =
        Parse({"--mode=quality", "--tolerance", "10,20,30", "--block-tolerance", "5",
               "--keyframe-interval", "2000", "--fps-limit=12", "--colors", "2k", "--block",
               "256x16", "--audio", "music.mp3", "--metadata", "--yes", "--threads", "3",
               "--deflate", "libdeflate", "a.avi", "b.flv"});
    const TJobControls& Controls = Options.Controls;
    EXPECT_TRUE(Controls.QualityCompressionRadioButton);
    EXPECT_EQ(Controls.RToleranceEdit, "10");
    EXPECT_EQ(Controls.GToleranceEdit, "20");
    EXPECT_EQ(Controls.BToleranceEdit, "30");
    EXPECT_EQ(Controls.BlockToleranceEdit, "5");
    EXPECT_TRUE(Controls.KeyFrameCheckBox);
    EXPECT_EQ(Controls.KeyFrameIntervalEdit, "2000");
    EXPECT_TRUE(Controls.FrameRateLimitCheckBox);
    EXPECT_EQ(Controls.FrameRateLimitEdit, "12");
    EXPECT_TRUE(Controls.ColorReductionCheckBox);
    EXPECT_EQ(Controls.ColorLimitComboBox, 1);
    EXPECT_EQ(Controls.BlockWidthComboBox, 15);
    EXPECT_EQ(Controls.BlockHeightComboBox, 0);
    EXPECT_TRUE(Controls.MP3AudioRadioButton);
    EXPECT_EQ(Controls.AudioFileEdit, "music.mp3");
    EXPECT_EQ(Options.Audio, TAudioChoice::Mp3File);
    EXPECT_TRUE(Controls.MetadataCheckBox);
    EXPECT_EQ(Options.Answer, std::optional<bool>(true));
    EXPECT_EQ(Controls.Engine.Threads, 3u);
    EXPECT_EQ(Controls.Engine.Deflate, DeflateEngine::Libdeflate);
}

TEST(CliOptions, AModeOptionChoosesItsModeUnlessAnotherIsNamed) {
    EXPECT_TRUE(Parse({"--bitrate", "500", "a", "b"}).Controls.BitrateCompressionRadioButton);
    EXPECT_TRUE(Parse({"--block-tolerance", "9", "a", "b"}).Controls.QualityCompressionRadioButton);
    EXPECT_THROW(Parse({"--mode", "lossless", "--bitrate", "500", "a", "b"}), EUsageError);
    EXPECT_THROW(Parse({"--bitrate", "500", "--tolerance", "1,2,3", "a", "b"}), EUsageError);
}

TEST(CliOptions, AudioChoices) {
    EXPECT_EQ(Parse({"--audio", "none", "a", "b"}).Audio, TAudioChoice::None);
    const TCliOptions Avi = Parse({"--audio", "avi", "a", "b"});
    EXPECT_EQ(Avi.Audio, TAudioChoice::FromAvi);
    EXPECT_TRUE(Avi.Controls.AVIAudioRadioButton);
    EXPECT_EQ(Parse({"--audio", "./none", "a", "b"}).Controls.AudioFileEdit, "./none");
}

TEST(CliOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> Bad = {
        {"in.avi"},
        {"in.avi", "out.flv", "extra"},
        {"--bitrate", "abc", "a", "b"},
        {"--bitrate", "-5", "a", "b"},
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
    };
    for (const auto& Arguments : Bad) {
        EXPECT_THROW(ParseCommandLine(Arguments), EUsageError) << Arguments[0];
    }
}

TEST(CliOptions, DoubleDashEndsOptions) {
    const TCliOptions Options = Parse({"--", "--odd.avi", "out.flv"});
    EXPECT_EQ(Options.InputFileName, "--odd.avi");
}

TEST(CliOptions, InformationalOptionsNeedNoFiles) {
    EXPECT_TRUE(Parse({"--help"}).ShowHelp);
    EXPECT_TRUE(Parse({"--version"}).ShowVersion);
    EXPECT_TRUE(Parse({"--list-mp3-formats"}).ListMp3Formats);
}

TEST(Mp3FormatChoice, TakesTheIndexedPairOrTheFirst) {
    TMp3FormatOffer Offer;
    for (uint8_t Item = 0; Item < 3; ++Item) {
        Offer.MP3FormatList.push_back({85, Item});
        Offer.MP3InputFormatList.push_back({1, Item});
        Offer.Items.push_back("format " + std::to_string(Item));
    }
    TJobControls Controls;
    ChooseMp3Format(Offer, std::nullopt, Controls);
    EXPECT_EQ(Controls.MP3Format, (std::vector<uint8_t>{85, 0}));
    ChooseMp3Format(Offer, "2", Controls);
    EXPECT_EQ(Controls.MP3Format, (std::vector<uint8_t>{85, 2}));
    EXPECT_EQ(Controls.MP3InputFormat, (std::vector<uint8_t>{1, 2}));
    EXPECT_THROW(ChooseMp3Format(Offer, "3", Controls), EUsageError);
    EXPECT_THROW(ChooseMp3Format(Offer, "99999999999999999999", Controls), EUsageError);
    EXPECT_EQ(Mp3FormatListing(Offer), "0: format 0\n1: format 1\n2: format 2\n");
}

TEST(Mp3FormatChoice, AnEmptyOfferLeavesThePairEmpty) {
    TJobControls Controls;
    Controls.MP3Format = {85};
    ChooseMp3Format({}, std::nullopt, Controls);
    EXPECT_TRUE(Controls.MP3Format.empty() && Controls.MP3InputFormat.empty());
    EXPECT_THROW(ChooseMp3Format({}, "0", Controls), EUsageError);
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
        Options.Controls.MP3Format = {85};
        Options.Controls.MP3InputFormat = {1};
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
