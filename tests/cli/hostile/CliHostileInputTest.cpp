// Crafted headers and damaged frames through quorvane-cli: the run ends
// with the data, says what it left out, and refuses what it can't encode.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>

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

// Inputs that can't be converted, refused before any output exists.
struct RefusedInputCase {
    std::string Name;
    std::function<path()> Avi;
    std::string Message;
};

class CliRefusedInputs : public CliHostileInput,
                         public ::testing::WithParamInterface<RefusedInputCase> {};

TEST_P(CliRefusedInputs, AreExplainedAndCreateNothing) {
    const TProcessResult Run = RunCli({GetParam().Avi().string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find(GetParam().Message), std::string::npos) << Run.Errors;
    EXPECT_FALSE(std::filesystem::exists(Output("o.flv")));
}

path Width4096() {
    return Fixture("bgr24-4096x16.avi",
                   "-f lavfi -i color=red:size=4096x16:rate=5 -frames:v 2 -c:v rawvideo "
                   "-pix_fmt bgr24");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliRefusedInputs,
    ::testing::Values(RefusedInputCase{"Width4096", Width4096, "The video is 4096x16 pixels"},
                      RefusedInputCase{"WidthBeyond16Bits", AviWidthBeyond16Bits,
                                       "The video is 65600x1 pixels"},
                      // The load decodes the first frame, so a run never starts on it.
                      RefusedInputCase{"NoFrameDecodable", AviNoFrameDecodable,
                                       "Impossible to decode the first frame of this video."}),
    [](const ::testing::TestParamInfo<RefusedInputCase>& Info) { return Info.param.Name; });

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

// Frames left out are counted at the end: those that fail to decode, and
// those an index lists that the file does not hold.
struct LeftOutCase {
    std::string Name;
    std::function<path()> Avi;
    std::string Message;
    size_t Tags;
};

void PrintTo(const LeftOutCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliLeftOutFrames : public CliHostileInput,
                         public ::testing::WithParamInterface<LeftOutCase> {};

TEST_P(CliLeftOutFrames, AreCounted) {
    const TProcessResult Run = RunCli({GetParam().Avi().string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Errors.find(GetParam().Message), std::string::npos) << Run.Errors;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output("o.flv")), VideoTag).size(), GetParam().Tags);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliLeftOutFrames,
    ::testing::Values(LeftOutCase{"Undecodable", AviMiddleFrameUndecodable,
                                  "1 frame of the video could not be decoded", 9},
                      LeftOutCase{"MissingFromTheFile", AviOpenDmlCutShort,
                                  "12 frames of the video are missing from the file", 2}),
    [](const ::testing::TestParamInfo<LeftOutCase>& Info) { return Info.param.Name; });

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
