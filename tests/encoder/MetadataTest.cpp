// The onMetaData tag added to finished files: links, files without tags,
// and the files it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    AddOnMetaData(Link.string());
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
    AddOnMetaData(Session.Path().string());
    EXPECT_EQ(FlvmetaMetadata(Session.Path()).Numbers("times"), (std::vector<double>{0, 0.2}));
}

TEST(OnMetaData, AFileWithoutTagsIsLeftAlone) {
    EncoderSession Session(ParametersFor(LosslessMode, 32, 32), 64, 48, 3);
    Session.Finish();
    EXPECT_EQ(AddOnMetaData(Session.Path().string()), 13u);
    EXPECT_EQ(fs::file_size(Session.Path()), 13u);
}

// Files that are refused stay as they were, and nothing is left beside them.
struct RefusalCase {
    std::string Name;
    std::function<fs::path(const fs::path& Plain)> Make;
    std::string Reason;
};

void PrintTo(const RefusalCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class OnMetaDataRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OnMetaDataRefusals, LeaveTheFileAsItWas) {
    const fs::path File = GetParam().Make(SmallFile());
    const std::vector<uint8_t> Before =
        fs::is_regular_file(File) ? ReadFileBytes(File) : std::vector<uint8_t>();
    try {
        AddOnMetaData(File.string());
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

INSTANTIATE_TEST_SUITE_P(Files, OnMetaDataRefusals,
                         ::testing::Values(RefusalCase{"CutShort",
                                                       [](const fs::path& Plain) {
                                                           fs::resize_file(
                                                               Plain, fs::file_size(Plain) - 5);
                                                           return Plain;
                                                       },
                                                       "the file ends inside a tag"},
                                           RefusalCase{
                                               "AlreadyIndexed",
                                               [](const fs::path& Plain) {
                                                   AddOnMetaData(Plain.string());
                                                   return Plain;
                                               },
                                               "a tag of type 18 is neither audio nor video"},
                                           RefusalCase{"Pipe",
                                                       [](const fs::path& Plain) {
                                                           fs::remove(Plain);
                                                           mkfifo(Plain.c_str(), 0600);
                                                           return Plain;
                                                       },
                                                       "not a regular file"}),
                         [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::test
