// Crafted headers and damaged frames through quorvane-cli: the run ends
// with the data, says what it left out, and refuses what it can't encode.
#include <gtest/gtest.h>

#include <functional>

#include "CliTestKit.h"
#include "support/Fixtures.h"
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

TEST_F(CliHostileInput, AWidthBeyondSixteenBitsIsRefusedBeforeAnyOutput) {
    const TProcessResult Run = RunCli({AviWidthBeyond16Bits().string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find("The video is 65600x1 pixels"), std::string::npos) << Run.Errors;
    EXPECT_FALSE(std::filesystem::exists(Output("o.flv")));
}

TEST_F(CliHostileInput, FramesThatFailToDecodeAreCounted) {
    const TProcessResult Run = RunCli({AviMiddleFrameUndecodable().string(), Output("o.flv")});
    EXPECT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Errors.find("1 frame of the video could not be decoded"), std::string::npos)
        << Run.Errors;
    EXPECT_EQ(Timestamps(ReadFlvFile(Output("o.flv")), VideoTag).size(), 9u);
}

// What happens to an existing output file, by the answer given.
struct ExistingOutputCase {
    std::string Name;
    std::vector<std::string> Answer;
    int ExitStatus;
    bool Replaced;
};

class CliExistingOutput : public CliHostileInput,
                          public ::testing::WithParamInterface<ExistingOutputCase> {};

TEST_P(CliExistingOutput, IsReplacedOnlyWhenTheUserSaidSo) {
    const std::string Old = Output("old.flv");
    WriteFileBytes(Old, {'k', 'e', 'e', 'p'});
    std::vector<std::string> Arguments = GetParam().Answer;
    Arguments.insert(Arguments.end(), {AviBgr24().string(), Old});
    const TProcessResult Run = RunCli(Arguments);
    EXPECT_EQ(Run.ExitStatus, GetParam().ExitStatus) << Run.Errors;
    EXPECT_EQ(ReadFileBytes(Old).size() != 4, GetParam().Replaced);
    if (!GetParam().Replaced) {
        EXPECT_NE(Run.Errors.find("already exists"), std::string::npos) << Run.Errors;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CliExistingOutput,
    ::testing::Values(ExistingOutputCase{"Yes", {"--yes"}, 0, true},
                      ExistingOutputCase{"No", {"--no"}, 1, false},
                      ExistingOutputCase{"NoTerminal", {}, 1, false}),
    [](const ::testing::TestParamInfo<ExistingOutputCase>& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::test
