// Every way the command line can fail, through quorvane-cli: its exit
// status and what it says.
#include <gtest/gtest.h>

#include <functional>

#include "CliTestKit.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

// Every way the command line can fail, with its exit status and message.
struct FailureCase {
    std::string Name;
    std::function<std::vector<std::string>(const std::string& Dir)> Arguments;
    int ExitStatus;
    std::string Message;               // "DIR" stands for the test's folder
    std::string TemporaryFolder = "";  // $TMPDIR, when set
};

void PrintTo(const FailureCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliFailures : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    std::filesystem::path Dir;
};

TEST_P(CliFailures, ExitWithStatusAndMessage) {
    const FailureCase& Case = GetParam();
    std::vector<std::string> Arguments = Case.Arguments(Dir.string());
    Arguments.insert(Arguments.begin(), {"TMPDIR=" + Case.TemporaryFolder, QUORVANE_CLI_PATH});
    const TProcessResult Run = RunProcess("env", Arguments);
    std::string Message = Case.Message;
    if (const size_t Folder = Message.find("DIR"); Folder != std::string::npos) {
        Message.replace(Folder, 3, Dir.string());
    }
    EXPECT_EQ(Run.ExitStatus, Case.ExitStatus) << Run.Output << Run.Errors;
    EXPECT_NE(Run.Errors.find(Message), std::string::npos) << Run.Errors;
}

std::string Small() {
    return MovingVideo("10", "2").string();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CliFailures,
    ::testing::Values(
        FailureCase{"MissingInput",
                    [](const std::string& D) {
                        return std::vector<std::string>{D + "/missing.avi", D + "/o.flv"};
                    },
                    1, "Impossible to open this file. No such file or directory."},
        FailureCase{"TextFile",
                    [](const std::string& D) {
                        return std::vector<std::string>{TextFile().string(), D + "/o.flv"};
                    },
                    1, "Impossible to open this file. It is not a video file, or it is damaged."},
        // Opening a FIFO for reading would wait for a writer.
        FailureCase{"InputIsAFifo",
                    [](const std::string& D) {
                        const std::string Fifo = D + "/fifo.avi";
                        EXPECT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
                        return std::vector<std::string>{Fifo, D + "/o.flv"};
                    },
                    1, "Impossible to open this file. It is not a regular file."},
        FailureCase{"AudioOnly",
                    [](const std::string& D) {
                        return std::vector<std::string>{AviAudioOnly().string(), D + "/o.flv"};
                    },
                    1, "Impossible to find video data in this file."},
        FailureCase{
            "UnknownCodec",
            [](const std::string& D) {
                return std::vector<std::string>{AviUnknownVideoCodec().string(), D + "/o.flv"};
            },
            1, "Check that the corresponding codec is installed."},
        FailureCase{"OutputFolderMissing",
                    [](const std::string& D) {
                        return std::vector<std::string>{Small(), D + "/no/such/o.flv"};
                    },
                    1, "Impossible to create the output file"},
        FailureCase{"OutputIsTheInput",
                    [](const std::string&) {
                        return std::vector<std::string>{Small(), Small()};
                    },
                    1, "The output file can not be one of the input files."},
        FailureCase{"DiskFull",
                    [](const std::string&) {
                        return std::vector<std::string>{Small(), "/dev/full"};
                    },
                    1, "The output file could not be written"},
        FailureCase{
            "MissingMp3",
            [](const std::string& D) {
                return std::vector<std::string>{"--audio", D + "/none.mp3", Small(), D + "/o.flv"};
            },
            1, "Impossible to open the audio file DIR/none.mp3 (No such file or directory)."},
        // Nothing is made beside a device: the temporary file goes to $TMPDIR.
        FailureCase{"TemporaryAudioBesideADevice",
                    [](const std::string&) {
                        return std::vector<std::string>{"--audio", "avi", AviPcm16Stereo().string(),
                                                        "/dev/null"};
                    },
                    1, "Impossible to create the temporary audio file /nonexistent/nullaudio",
                    "/nonexistent"},
        FailureCase{"AviAudioWithoutAudio",
                    [](const std::string& D) {
                        return std::vector<std::string>{"--audio", "avi", Small(), D + "/o.flv"};
                    },
                    1, "The video file has no audio track."},
        FailureCase{"AviAudioUndecodable",
                    [](const std::string& D) {
                        return std::vector<std::string>{
                            "--audio", "avi", AviUnknownAudioTag().string(), D + "/o.flv"};
                    },
                    1, "its format can not be decoded."},
        FailureCase{"Mp3FormatBeyondTheList",
                    [](const std::string& D) {
                        return std::vector<std::string>{"--audio", "avi",   "--mp3-format",
                                                        "72",      Small(), D + "/o.flv"};
                    },
                    2, "--mp3-format takes 0 to 71 (see --list-mp3-formats), not 72"},
        // Refused before the input is looked at: this one does not exist.
        FailureCase{"NumberTooLarge",
                    [](const std::string& D) {
                        return std::vector<std::string>{"--bitrate", "99999999999",
                                                        D + "/missing.avi", D + "/o.flv"};
                    },
                    2, "--bitrate takes a whole number from 0 to 2147483647, not '99999999999'"},
        FailureCase{"UnknownOption",
                    [](const std::string&) {
                        return std::vector<std::string>{"--speed", "a.avi", "b.flv"};
                    },
                    2, "unknown option --speed"}),
    [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::test
