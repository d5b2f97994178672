// Faults around the files a conversion reads and writes, through
// quorvane-cli: the user is told, and nothing but the output is touched;
// killed, the program leaves only the output, whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "CliTestKit.h"
#include "support/Fixtures.h"
#include "support/FlvmetaCheck.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

using std::filesystem::directory_iterator;

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    path Dir;
};

std::vector<path> Entries(const path& Folder) {
    return {directory_iterator(Folder), directory_iterator()};
}

// An external MP3 path that names something other than a readable MP3
// file. The process's own memory file opens, but reading its first page
// fails (EIO), as a file on a failing disk does.
struct UnreadableMp3Case {
    std::string Name;
    std::function<void(const path&)> Make;
    std::string Message = "Impossible to open the audio file ";
};

void PrintTo(const UnreadableMp3Case& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliUnreadableMp3 : public CliFaults,
                         public ::testing::WithParamInterface<UnreadableMp3Case> {};

TEST_P(CliUnreadableMp3, IsRefusedBeforeAnythingIsWritten) {
    const path Mp3 = Dir / "audio.mp3";
    GetParam().Make(Mp3);
    const TProcessResult Run =
        RunCli({"--audio", Mp3.string(), AviBgr24().string(), (Dir / "o.flv").string()});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find(GetParam().Message + Mp3.string()), std::string::npos) << Run.Errors;
    EXPECT_EQ(Entries(Dir), std::vector<path>{Mp3});
}

// A FIFO nobody writes to would block whoever opens it for reading.
INSTANTIATE_TEST_SUITE_P(
    Kinds, CliUnreadableMp3,
    ::testing::Values(
        UnreadableMp3Case{"Folder", [](const path& P) { std::filesystem::create_directory(P); }},
        UnreadableMp3Case{"Fifo", [](const path& P) { ASSERT_EQ(mkfifo(P.c_str(), 0600), 0); }},
        UnreadableMp3Case{"Text",
                          [](const path& P) {
                              WriteFileBytes(P, {'n', 'o', '\n'});
                          },
                          "No MP3 audio was found in the file "},
        UnreadableMp3Case{
            "Unreadable",
            [](const path& P) { std::filesystem::create_symlink("/proc/self/mem", P); },
            "The audio file "}),
    [](const ::testing::TestParamInfo<UnreadableMp3Case>& Info) { return Info.param.Name; });

// A reader that stops early (head, a player closed): the run fails saying so
// instead of waiting for ever on the full pipe.
TEST_F(CliFaults, AnOutputPipeWhoseReaderLeftFailsTheRun) {
    const std::string Command = std::string("timeout 120 '") + QUORVANE_CLI_PATH + "' --yes '" +
                                MovingVideo("25", "10").string() +
                                "' /dev/stdout | head -c 100 > /dev/null; exit ${PIPESTATUS[0]}";
    const TProcessResult Run = RunProcess("bash", {"-c", Command});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find("The output file could not be written (Broken pipe)."),
              std::string::npos)
        << Run.Errors;
}

struct KillMoment {
    std::string Name;
    // Whether the run (process Id), writing Output in Folder, has reached
    // the moment.
    std::function<bool(const path& Folder, const std::string& Output, int Id)> Reached;
    int Signal = SIGTERM;
    // In place of the noise video into Output: this input alone into
    // Folder/out with --output-dir, whose summary must say Told of it.
    std::function<path()> BatchInput = nullptr;
    std::string Told = "";
};

void PrintTo(const KillMoment& Moment, std::ostream* Out) {
    *Out << Moment.Name;
}

class CliConversionKilled : public CliFaults, public ::testing::WithParamInterface<KillMoment> {};

bool OutputLarger(const std::string& Output, uintmax_t Size) {
    return FileSize(Output) > Size;
}

// Whether the process holds File open.
bool HoldsOpen(int Id, const path& File) {
    std::error_code Gone;
    for (const auto& Entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(Id) + "/fd", Gone)) {
        if (std::filesystem::read_symlink(Entry.path(), Gone) == File) {
            return true;
        }
    }
    return false;
}

// SIGTERM or SIGHUP (the terminal closed) ends the program at once, and
// leaves only the output, whole; a Ctrl-C while a file of many is opened
// starts nothing, and the summary says so.
TEST_P(CliConversionKilled, LeavesOnlyWholeOutputs) {
    const KillMoment& Moment = GetParam();
    const std::string Output = (Dir / "out.flv").string();
    const std::vector<std::string> Arguments =
        Moment.BatchInput ? std::vector<std::string>{"--metadata", Moment.BatchInput().string(),
                                                     "--output-dir", (Dir / "out").string()}
                          : std::vector<std::string>{"--metadata", "--fps-limit", "5",
                                                     NoiseVideo().string(), Output};
    TBackgroundProcess Cli(QUORVANE_CLI_PATH, Arguments);
    while (Cli.Running() && !Moment.Reached(Dir, Output, Cli.Id())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Cli.Running()) << "the run ended before it could be killed";
    Cli.Signal(Moment.Signal);
    const TProcessResult Ended = Cli.Wait();
    EXPECT_EQ(Ended.ExitStatus, 128 + Moment.Signal);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 1);
    if (Moment.BatchInput) {
        EXPECT_TRUE(std::filesystem::is_empty(Dir / "out"));
        EXPECT_NE(Ended.Output.find(Moment.Told), std::string::npos) << Ended.Output;
    } else {
        EXPECT_TRUE(FlvmetaAccepts(Output));
    }
}

// Its index of ten million samples takes a moment to build, twice.
path SlowToOpen() {
    return Mp4ClaimingSamples(10000000);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, CliConversionKilled,
    ::testing::Values(
        KillMoment{"VideoPhase", [](const path&, const std::string& Output,
                                    int) { return OutputLarger(Output, 3000000); }},
        KillMoment{"VideoPhaseHangUp",
                   [](const path&, const std::string& Output, int) {
                       return OutputLarger(Output, 3000000);
                   },
                   SIGHUP},
        KillMoment{"MetadataPass", [](const path& Folder, const std::string&,
                                      int) { return HoldsFileNamedLike(Folder, ".metadata"); }},
        KillMoment{"WhileAFileOfManyOpens",
                   [](const path& Folder, const std::string&, int Id) {
                       return HoldsOpen(Id, SlowToOpen()) &&
                              std::filesystem::is_empty(Folder / "out");
                   },
                   SIGINT, SlowToOpen,
                   "  skipped  " + SlowToOpen().string() + ": not started after the stop"}),
    [](const auto& Info) { return Info.param.Name; });

// One writer per file, and the file written is the one indexed: a second
// run on the output is refused before it touches it; a file put in the
// output's place during a run is another's, and gets no metadata.
struct ConcurrentCase {
    std::string Name;
    std::function<void(const path& Output, const path& Dir)> During;
    int ExitStatus;
    std::string Message;
};

void PrintTo(const ConcurrentCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliConcurrentChange : public CliFaults,
                            public ::testing::WithParamInterface<ConcurrentCase> {};

// Another conversion's file, as the run's output should not become.
path OthersFile(const path& Dir) {
    const path Others = Dir / "others.flv";
    EXPECT_EQ(RunCli({MovingVideo("10", "2").string(), Others.string()}).ExitStatus, 0);
    return Others;
}

TEST_P(CliConcurrentChange, IsNoticed) {
    const path Output = Dir / "out.flv";
    const path Others = OthersFile(Dir);
    const std::vector<uint8_t> OthersBytes = ReadFileBytes(Others);
    TBackgroundProcess Run(QUORVANE_CLI_PATH, {"--metadata", "--threads", "1",
                                               NoiseVideo().string(), Output.string()});
    while (Run.Running() && FileSize(Output) < 1000000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(Run.Running()) << "the run ended before anything could happen to its file";
    GetParam().During(Output, Dir);
    const TProcessResult Ended = Run.Wait();
    EXPECT_EQ(Ended.ExitStatus, GetParam().ExitStatus) << Ended.Errors;
    EXPECT_NE(Ended.Errors.find(GetParam().Message), std::string::npos) << Ended.Errors;
    if (GetParam().ExitStatus == 0) {
        EXPECT_TRUE(FlvmetaFindsNoProblem(Output));
    } else {
        EXPECT_EQ(ReadFileBytes(Output), OthersBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CliConcurrentChange,
    ::testing::Values(
        ConcurrentCase{"ASecondRun",
                       [](const path& Output, const path&) {
                           const TProcessResult Second =
                               RunCli({"--yes", MovingVideo("10", "2").string(), Output.string()});
                           EXPECT_EQ(Second.ExitStatus, 1);
                           EXPECT_NE(Second.Errors.find(
                                         "is being written by another conversion; it was left as "
                                         "it was."),
                                     std::string::npos)
                               << Second.Errors;
                       },
                       0, ""},
        ConcurrentCase{"AnotherFileInItsPlace",
                       [](const path& Output, const path& Dir) {
                           std::filesystem::copy_file(Dir / "others.flv", Dir / "copy.flv");
                           std::filesystem::rename(Dir / "copy.flv", Output);
                       },
                       1, "it is no longer the file that was written"}),
    [](const auto& Info) { return Info.param.Name; });

// A tmpfs of its own, unmounted when it goes.
class ScopedTmpfs {
public:
    ScopedTmpfs(const path& Where, const std::string& Size) : Where(Where) {
        std::filesystem::create_directory(Where);
        const std::string Options = "size=" + Size;
        Error = mount("tmpfs", Where.c_str(), "tmpfs", 0, Options.c_str()) == 0 ? 0 : errno;
    }
    ~ScopedTmpfs() {
        if (Error == 0) {
            umount2(Where.c_str(), MNT_DETACH);
        }
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    int Error;

private:
    path Where;
};

TEST_F(CliFaults, AFilesystemThatFillsMidRunLeavesTheWholeTagsWritten) {
    const path Small = Dir / "small";
    const ScopedTmpfs Mounted(Small, "128k");
    if (Mounted.Error != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here (" << std::strerror(Mounted.Error)
                     << "): /dev/full and the file size limit tests cover the write errors";
    }
    const path Output = Small / "o.flv";
    const TProcessResult Run = RunCli({MovingVideo("10", "4").string(), Output.string()});
    EXPECT_EQ(Run.ExitStatus, 1);
    EXPECT_NE(Run.Errors.find("The output file could not be written"), std::string::npos)
        << Run.Errors;
    EXPECT_TRUE(FlvmetaAccepts(Output));
    EXPECT_FALSE(Timestamps(ReadFlvFile(Output), VideoTag).empty());
    EXPECT_EQ(Entries(Small), std::vector<path>{Output});
}

}  // namespace
}  // namespace quorvane::test
