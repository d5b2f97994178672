// The onMetaData tag added to finished files: links, files without tags,
// owners, and the files it refuses.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "EncoderTestKit.h"
#include "encoder/MetadataInjection.h"
#include "support/Fixtures.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

// A small finished file: a key frame, an audio tag, an inter frame.
fs::path SmallFile() {
    EncoderSession Session(ParametersFor(LosslessMode, 32, 32), 64, 48, 3, true);
    Session.Encode(NoiseFrame(64, 48, 3, 1), 0, true);
    const uint8_t Mp3[4] = {0xFF, 0xFB, 0x90, 0x00};
    Session.Encoder().WriteAudioTag(Mp3, 4, 0, 1, 3);
    Session.Encode(NoiseFrame(64, 48, 3, 2), 100, false);
    Session.Finish();
    return Session.Path();
}

// As the job calls it: for the file the name stands for now.
uint64_t AddOnMetaDataTo(const fs::path& File, uint32_t VideoEnd = 0) {
    platform::TFileStatus Status;
    platform::StatusOfName(File.string(), Status);
    return AddOnMetaData(File.string(), {Status.Identity, VideoEnd});
}

std::vector<fs::path> FolderContents(const fs::path& Folder) {
    std::vector<fs::path> Names;
    for (const auto& Entry : fs::directory_iterator(Folder)) {
        Names.push_back(Entry.path().filename());
    }
    return Names;
}

TEST(OnMetaData, ALinkKeepsPointingAtTheRewrittenFile) {
    const fs::path File = SmallFile();
    const fs::path Link = File.parent_path() / "link.flv";
    fs::create_symlink(File.filename(), Link);
    AddOnMetaDataTo(Link);
    EXPECT_TRUE(fs::is_symlink(Link));
    EXPECT_EQ(ReadFlvFile(File).Tags[0].Type, 18);
}

// A packet that sends the whole grid is a key frame, so a seek may land on
// it; one that sends part of it is not.
TEST(OnMetaData, IndexesTheFramesThatSendEveryBlock) {
    EncoderSession Session(ParametersFor(LosslessMode, 32, 32), 64, 48, 3);
    bench::FrameBuffer Frame = NoiseFrame(64, 48, 3, 1);
    Session.Encode(Frame, 0, true);
    Frame.PixelAt(0, 0)[0] ^= 0x80;
    Session.Encode(Frame, 100, false);
    Session.Encode(NoiseFrame(64, 48, 3, 2), 200, false);
    Session.Finish();
    AddOnMetaDataTo(Session.Path());
    EXPECT_EQ(FlvmetaMetadata(Session.Path()).Numbers("times"), (std::vector<double>{0, 0.2}));
}

TEST(OnMetaData, AFileWithoutTagsIsLeftAlone) {
    EncoderSession Session(ParametersFor(LosslessMode, 32, 32), 64, 48, 3);
    Session.Finish();
    EXPECT_EQ(AddOnMetaDataTo(Session.Path()), 13u);
    EXPECT_EQ(fs::file_size(Session.Path()), 13u);
}

// Files that are refused stay as they were, and nothing is left beside them.
struct RefusalCase {
    std::string Name;
    std::function<fs::path(const fs::path& Plain)> Make;
    std::string Reason;
    // Another file (a copy) takes its name after it was written.
    bool ReplacedAfterWriting = false;
};

void PrintTo(const RefusalCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class OnMetaDataRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OnMetaDataRefusals, LeaveTheFileAsItWas) {
    const fs::path File = GetParam().Make(SmallFile());
    const std::vector<uint8_t> Before =
        fs::is_regular_file(File) ? ReadFileBytes(File) : std::vector<uint8_t>();
    platform::TFileStatus Written;
    platform::StatusOfName(File.string(), Written);
    if (GetParam().ReplacedAfterWriting) {
        WriteFileBytes(File.string() + ".copy", Before);
        fs::rename(File.string() + ".copy", File);
    }
    try {
        AddOnMetaData(File.string(), {Written.Identity, 0});
        ADD_FAILURE() << "the file was accepted";
    } catch (const EMetadataFailure& Failure) {
        EXPECT_NE(std::string(Failure.what()).find(GetParam().Reason), std::string::npos)
            << Failure.what();
    }
    if (fs::is_regular_file(File)) {
        EXPECT_EQ(ReadFileBytes(File), Before);
    }
    EXPECT_EQ(FolderContents(File.parent_path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OnMetaDataRefusals,
    ::testing::Values(RefusalCase{"CutShort",
                                  [](const fs::path& Plain) {
                                      fs::resize_file(Plain, fs::file_size(Plain) - 5);
                                      return Plain;
                                  },
                                  "the file ends inside a tag"},
                      RefusalCase{"AlreadyIndexed",
                                  [](const fs::path& Plain) {
                                      AddOnMetaDataTo(Plain);
                                      return Plain;
                                  },
                                  "a tag of type 18 is neither audio nor video"},
                      RefusalCase{"Pipe",
                                  [](const fs::path& Plain) {
                                      fs::remove(Plain);
                                      mkfifo(Plain.c_str(), 0600);
                                      return Plain;
                                  },
                                  "not a regular file"},
                      RefusalCase{"Replaced", [](const fs::path& Plain) { return Plain; },
                                  "no longer the file that was written", true}),
    [](const auto& Info) { return Info.param.Name; });

// The rewritten file keeps its owner, group and permissions; where the
// owner can't be kept, the set-ID bits go with it.
struct OwnerCase {
    std::string Name;
    bool OwnedByNobody;  // else by root
    mode_t Mode;
    bool RewrittenByNobody;  // else by root
    bool ExpectOwnedByNobody;
    mode_t ExpectedMode;
};

void PrintTo(const OwnerCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class OnMetaDataOwners : public ::testing::TestWithParam<OwnerCase> {};

// Runs Work as the user nobody in a child process; its exit status.
int RunAsNobody(const passwd& Nobody, const std::function<void()>& Work) {
    const pid_t Child = fork();
    if (Child == 0) {
        bool Done =
            setgroups(0, nullptr) == 0 && setgid(Nobody.pw_gid) == 0 && setuid(Nobody.pw_uid) == 0;
        try {
            Work();
        } catch (...) {
            Done = false;
        }
        _exit(Done ? 0 : 1);
    }
    int Status = 0;
    waitpid(Child, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

TEST_P(OnMetaDataOwners, AreKept) {
    const passwd* Nobody = getpwnam("nobody");
    if (geteuid() != 0 || !Nobody) {
        GTEST_SKIP() << "needs root and the user nobody: only root gives a file to another";
    }
    const OwnerCase& Case = GetParam();
    const fs::path File = SmallFile();
    const uid_t Owner = Case.OwnedByNobody ? Nobody->pw_uid : 0;
    const gid_t Group = Case.OwnedByNobody ? Nobody->pw_gid : 0;
    ASSERT_EQ(chown(File.c_str(), Owner, Group), 0);
    ASSERT_EQ(chmod(File.c_str(), Case.Mode), 0);
    if (Case.RewrittenByNobody) {
        ASSERT_EQ(chown(File.parent_path().c_str(), Nobody->pw_uid, Nobody->pw_gid), 0);
        ASSERT_EQ(RunAsNobody(*Nobody, [&] { AddOnMetaDataTo(File); }), 0);
    } else {
        AddOnMetaDataTo(File);
    }
    struct stat Rewritten {};
    ASSERT_EQ(stat(File.c_str(), &Rewritten), 0);
    EXPECT_EQ(ReadFlvFile(File).Tags[0].Type, 18);
    EXPECT_EQ(Rewritten.st_uid, Case.ExpectOwnedByNobody ? Nobody->pw_uid : 0);
    EXPECT_EQ(Rewritten.st_gid, Case.ExpectOwnedByNobody ? Nobody->pw_gid : 0);
    EXPECT_EQ(Rewritten.st_mode & 07777, Case.ExpectedMode);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OnMetaDataOwners,
    ::testing::Values(OwnerCase{"AnotherUsers", true, 0600, false, true, 0600},
                      OwnerCase{"SetIdBitsKept", true, 06755, false, true, 06755},
                      OwnerCase{"SetIdBitsDroppedWithTheOwner", false, 06777, true, true, 0777}),
    [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::test
