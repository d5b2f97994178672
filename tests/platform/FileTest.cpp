// The file services: reads and writes carried through to the end or to the
// system's reason, and temporary files that never take a user's name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <vector>

#include "platform/os/File.h"
#include "platform/os/OutputClaim.h"
#include "platform/os/ProcessSignals.h"
#include "platform/os/TemporaryFile.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/TestPaths.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = test::FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    fs::path Dir;
};

struct ReadCase {
    uint64_t Offset;
    size_t Size;
    size_t Read;  // of a 100-byte file
};

TEST_F(FileTest, ReadAtGivesWhatLiesBeforeTheEnd) {
    std::vector<uint8_t> Bytes(100);
    std::iota(Bytes.begin(), Bytes.end(), uint8_t{0});
    test::WriteFileBytes(Dir / "f", Bytes);
    std::error_code Error;
    const TFile File = TFile::OpenRegularFile((Dir / "f").string(), Error);
    ASSERT_FALSE(Error) << Error.message();
    for (const ReadCase Case : {ReadCase{0, 100, 100}, ReadCase{10, 20, 20}, ReadCase{90, 20, 10},
                                ReadCase{100, 1, 0}, ReadCase{500, 8, 0}}) {
        std::vector<uint8_t> Into(Case.Size, 0xEE);
        size_t Read = 99;
        EXPECT_FALSE(File.ReadAt(Case.Offset, Into.data(), Into.size(), Read));
        ASSERT_EQ(Read, Case.Read) << "at " << Case.Offset;
        if (Read > 0) {
            EXPECT_EQ(Into[0], Case.Offset);
            EXPECT_EQ(Into[Read - 1], Case.Offset + Read - 1);
        }
    }
    uint64_t Size = 0;
    EXPECT_FALSE(File.Size(Size));
    EXPECT_EQ(Size, 100u);
}

TEST_F(FileTest, OnlyRegularFilesOpenForReading) {
    for (const auto& [Name, Expected] :
         {std::pair{Dir.string(), std::errc::not_supported},
          std::pair{std::string("/dev/null"), std::errc::not_supported},
          std::pair{(Dir / "missing").string(), std::errc::no_such_file_or_directory}}) {
        std::error_code Error;
        const TFile File = TFile::OpenRegularFile(Name, Error);
        EXPECT_TRUE(Error == Expected) << Name << ": " << Error.message();
        EXPECT_FALSE(File.IsOpen());
    }
}

TEST_F(FileTest, WriteAllSaysWhyItStopsAndHowFarItGot) {
    std::error_code Error;
    TFile Full = TFile::Open("/dev/full", O_WRONLY, Error);
    ASSERT_FALSE(Error);
    const std::vector<uint8_t> Bytes(5000, 7);
    uint64_t Written = 0;
    EXPECT_TRUE(Full.WriteAll(Bytes.data(), Bytes.size(), &Written) ==
                std::errc::no_space_on_device);
    EXPECT_EQ(Written, 0u);

    TFile Limited = TFile::Open((Dir / "limited").string(), O_WRONLY | O_CREAT, Error);
    ASSERT_FALSE(Error);
    const test::ScopedFileSizeLimit Limit(3000);
    EXPECT_TRUE(Limited.WriteAll(Bytes.data(), Bytes.size(), &Written) ==
                std::errc::file_too_large);
    EXPECT_EQ(Written, 3000u);
}

TEST_F(FileTest, TemporaryFilesTakeTheNextFreeNameAndGo) {
    const std::string Base = (Dir / "out.flvaudio").string();
    test::WriteFileBytes(Base, {1, 2, 3});
    std::error_code Error;
    {
        TTemporaryFile Second(Base, Error);
        ASSERT_FALSE(Error);
        TTemporaryFile Third(Base, Error);
        ASSERT_FALSE(Error);
        EXPECT_EQ(Second.Name(), Base + "-2");
        EXPECT_EQ(Third.Name(), Base + "-3");
        EXPECT_FALSE(Second.Write("abcd", 4));
        EXPECT_EQ(Second.Size(), 4u);
        EXPECT_TRUE(fs::exists(Base + "-3"));
    }
    EXPECT_FALSE(fs::exists(Base + "-2") || fs::exists(Base + "-3"));
    EXPECT_EQ(test::ReadFileBytes(Base), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(FileTest, ATemporaryFileRenamedOverItsTargetStays) {
    const fs::path Target = Dir / "out.flv";
    test::WriteFileBytes(Target, {1});
    std::error_code Error;
    {
        TTemporaryFile New(Target.string() + ".metadata", Error);
        ASSERT_FALSE(Error);
        EXPECT_FALSE(New.Write("new", 3));
        EXPECT_FALSE(New.Close());
        EXPECT_FALSE(New.RenameOver(Target.string()));
    }
    EXPECT_EQ(test::ReadFileBytes(Target), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), {}), 1);
}

TEST_F(FileTest, ATemporaryFileThatCannotBeCreatedSaysWhereAndWhy) {
    const std::string Base = (Dir / "missing" / "out.flvaudio").string();
    std::error_code Error;
    const TTemporaryFile File(Base, Error);
    EXPECT_TRUE(Error == std::errc::no_such_file_or_directory) << Error.message();
    EXPECT_EQ(File.Name(), Base);
}

// A file another put under the temporary file's name is the other's: it is
// left, whether the temporary file goes with its object or with a killed
// process.
struct NameTakenCase {
    std::string Name;
    bool Killed;
};

void PrintTo(const NameTakenCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class TemporaryNameTaken : public FileTest, public ::testing::WithParamInterface<NameTakenCase> {};

TEST_P(TemporaryNameTaken, LeavesTheOthersFile) {
    const std::string Base = (Dir / "out.flvaudio").string();
    const std::vector<uint8_t> Others = {'m', 'i', 'n', 'e'};
    const auto TakeTheName = [&] {
        test::WriteFileBytes(Dir / "other", Others);
        fs::rename(Dir / "other", Base);
    };
    if (GetParam().Killed) {
        const pid_t Child = fork();
        if (Child == 0) {
            std::error_code Error;
            TTemporaryFile File(Base, Error);
            TakeTheName();
            HandleSignals(EndProcessBySignal, {SIGTERM});
            raise(SIGTERM);
            _exit(0);
        }
        int Status = 0;
        ASSERT_EQ(waitpid(Child, &Status, 0), Child);
        EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM);
    } else {
        std::error_code Error;
        TTemporaryFile File(Base, Error);
        ASSERT_FALSE(Error);
        TakeTheName();
        EXPECT_TRUE(File.RenameOver((Dir / "target").string()) ==
                    std::errc::no_such_file_or_directory);
    }
    EXPECT_EQ(test::ReadFileBytes(Base), Others);
    EXPECT_FALSE(fs::exists(Dir / "target"));
}

INSTANTIATE_TEST_SUITE_P(Ends, TemporaryNameTaken,
                         ::testing::Values(NameTakenCase{"WithItsObject", false},
                                           NameTakenCase{"WithAKilledProcess", true}),
                         [](const auto& Info) { return Info.param.Name; });

// Nothing is made beside a device: /dev/nullaudio would be a file in /dev.
TEST_F(FileTest, ATemporaryFileGoesBesideARegularFileOnly) {
    const std::string Regular = (Dir / "out.flv").string();
    test::WriteFileBytes(Regular, {1});
    const std::string Missing = (Dir / "new.flv").string();
    setenv("TMPDIR", Dir.c_str(), 1);
    EXPECT_EQ(TemporaryFileBaseFor(Regular, "audio"), Regular + "audio");
    EXPECT_EQ(TemporaryFileBaseFor(Missing, "audio"), Missing + "audio");
    EXPECT_EQ(TemporaryFileBaseFor("/dev/null", "audio"), (Dir / "nullaudio").string());
    unsetenv("TMPDIR");
    EXPECT_EQ(TemporaryFileBaseFor("/dev/null", "audio"), "/tmp/nullaudio");
}

// One writer per file: a second claim is refused while the first holds,
// and leaves the file as it was; a device is claimed by anyone.
TEST_F(FileTest, AnOutputIsClaimedByOneAtATime) {
    const std::string Name = (Dir / "out.flv").string();
    std::error_code Error;
    auto First = std::make_unique<TOutputClaim>(Name, Error);
    ASSERT_FALSE(Error) << Error.message();
    EXPECT_TRUE(First->IsRegularFile());
    test::WriteFileBytes(Name, {1, 2, 3});
    const TOutputClaim Second(Name, Error);
    EXPECT_TRUE(Error == std::errc::resource_unavailable_try_again) << Error.message();
    EXPECT_EQ(test::ReadFileBytes(Name), (std::vector<uint8_t>{1, 2, 3}));
    First.reset();
    const TOutputClaim Third(Name, Error);
    EXPECT_FALSE(Error) << Error.message();
    const TOutputClaim Device("/dev/null", Error);
    EXPECT_FALSE(Error) << Error.message();
    const TOutputClaim AnotherOnTheDevice("/dev/null", Error);
    EXPECT_FALSE(Error) << Error.message();
}

}  // namespace
}  // namespace quorvane::platform
