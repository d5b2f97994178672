// The MP3 source's way past what is no frame, over made-up streams: frames
// of 417 or 418 bytes (MPEG-1 Layer III, 128 kbit/s, 44100 Hz), each
// numbered in its fifth byte, with tags, junk and damage between them.
#include "job/Mp3FileCheck.h"
#include "job/Mp3FrameReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "support/Fixtures.h"
#include "support/TestPaths.h"

namespace quorvane {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t FrameLength = 417;

// Padded frames are a byte longer.
Bytes Frame(uint8_t Number, bool Padded = false) {
    Bytes Result(FrameLength + Padded, 0x55);
    Result[0] = 0xFF;
    Result[1] = 0xFB;
    Result[2] = Padded ? 0x92 : 0x90;
    Result[3] = 0x00;
    Result[4] = Number;
    return Result;
}

Bytes Damaged(Bytes Frame) {
    Frame[0] = 0x00;
    return Frame;
}

// A frame describing the stream: its mark where players look for it (the
// frames here are MPEG-1 stereo: after 32 bytes of side information).
Bytes DescribingFrame(const char* Mark) {
    Bytes Result = Frame(99);
    std::copy(Mark, Mark + 4, Result.begin() + 36);
    return Result;
}

Bytes Id3v2Tag(uint8_t Flags = 0, size_t Body = 257) {
    const Bytes Header = {
        'I', 'D', '3', 4, 0, Flags, 0, 0, uint8_t(Body >> 7), uint8_t(Body & 0x7F)};
    Bytes Tag(Header.size() + Body + ((Flags & 0x10) ? 10 : 0), 0xFF);
    std::copy(Header.begin(), Header.end(), Tag.begin());
    return Tag;
}

Bytes Id3v1Tag() {
    Bytes Tag(128, 'T');
    Tag[1] = 'A';
    Tag[2] = 'G';
    return Tag;
}

Bytes Cut(Bytes Part, size_t Length) {
    Part.resize(Length);
    return Part;
}

Bytes Text(const std::string& Words) {
    return Bytes(Words.begin(), Words.end());
}

Bytes Join(std::initializer_list<Bytes> Parts) {
    Bytes Result;
    for (const Bytes& Part : Parts) {
        Result.insert(Result.end(), Part.begin(), Part.end());
    }
    return Result;
}

Bytes ManyFrames(int Count) {
    Bytes Result;
    for (int N = 0; N < Count; ++N) {
        const Bytes Next = Frame(uint8_t(N), N % 3 == 0);
        Result.insert(Result.end(), Next.begin(), Next.end());
    }
    return Result;
}

std::vector<int> Numbers(int Count) {
    std::vector<int> Result(Count);
    std::iota(Result.begin(), Result.end(), 0);
    return Result;
}

// A lone header-like pattern: its "next header" is junk.
const Bytes LoneSync = Join({Bytes(100, 0), {0xFF, 0xFB, 0x90, 0x00}, Bytes(500, 0)});

struct ReaderCase {
    std::string Name;
    Bytes File;
    std::vector<int> Frames;  // the numbers of the frames read, in order
    uint64_t Skipped;
};

void PrintTo(const ReaderCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class Mp3FrameReading : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(Mp3FrameReading, TakesWholeFramesAndPassesOverTheRest) {
    const ReaderCase& Case = GetParam();
    const auto File = test::FreshDir("mp3-reader-" + Case.Name) / "audio.mp3";
    test::WriteFileBytes(File, Case.File);
    TMp3FrameReader Reader(File.string(), true);
    std::vector<int> Read;
    while (Reader.Next().Type == TMp3FrameHeader::Kind::Frame) {
        const Bytes& Taken = Reader.Frame();
        ASSERT_EQ(Taken, Frame(Taken.at(4), Taken.size() > FrameLength)) << "frame " << Read.size();
        Read.push_back(Taken[4]);
    }
    EXPECT_EQ(Read, Case.Frames);
    EXPECT_EQ(Reader.SkippedBytes(), Case.Skipped);
    EXPECT_EQ(Reader.Next().Type, TMp3FrameHeader::Kind::NotAFrame);
    EXPECT_EQ(Mp3FileProblem(File.string()).empty(), !Case.Frames.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Mp3FrameReading,
    ::testing::Values(
        ReaderCase{"BareFrames", Join({Frame(0), Frame(1), Frame(2)}), {0, 1, 2}, 0},
        // Beyond what the reader reads at once.
        ReaderCase{"ManyFrames", ManyFrames(250), Numbers(250), 0},
        ReaderCase{"OneFrame", Frame(0), {0}, 0},
        ReaderCase{"Tagged", Join({Id3v2Tag(), Frame(0), Frame(1)}), {0, 1}, 0},
        ReaderCase{"TagWithFooter", Join({Id3v2Tag(0x10), Frame(0), Frame(1)}), {0, 1}, 0},
        ReaderCase{"ZerosAfterTheTag",
                   Join({Id3v2Tag(), Bytes(1000, 0), Frame(0), Frame(1)}),
                   {0, 1},
                   1000},
        ReaderCase{"DamagedHeader",
                   Join({Frame(0), Frame(1), Damaged(Frame(2)), Frame(3), Frame(4)}),
                   {0, 1, 3, 4},
                   FrameLength},
        ReaderCase{"FreeFormatHeader",
                   Join({Frame(0),
                         [] {
                             Bytes Free = Frame(1);
                             Free[2] &= 0x0F;
                             return Free;
                         }(),
                         Frame(2), Frame(3)}),
                   {0, 2, 3},
                   FrameLength},
        ReaderCase{"TwoFilesJoined",
                   Join({Id3v2Tag(), Frame(0), Frame(1), Id3v2Tag(), Frame(2), Frame(3)}),
                   {0, 1, 2, 3},
                   0},
        ReaderCase{"LoneSyncInJunk",
                   Join({Frame(0), Frame(1), LoneSync, Frame(2), Frame(3)}),
                   {0, 1, 2, 3},
                   LoneSync.size()},
        ReaderCase{"Id3v1AtTheEnd", Join({Frame(0), Frame(1), Id3v1Tag()}), {0, 1}, 0},
        ReaderCase{"LastFrameCutShort", Join({Frame(0), Frame(1), Cut(Frame(2), 200)}), {0, 1}, 0},
        ReaderCase{"FirstHeaderWithoutAFollower", Join({Frame(0), Bytes(50, 0)}), {}, 467},
        // Not sound: passed over, and not counted as damage.
        ReaderCase{"XingFirst", Join({DescribingFrame("Xing"), Frame(0), Frame(1)}), {0, 1}, 0},
        ReaderCase{
            "InfoAfterTheTag", Join({Id3v2Tag(), DescribingFrame("Info"), Frame(0)}), {0}, 0},
        ReaderCase{"VbriFirst", Join({DescribingFrame("VBRI"), Frame(0)}), {0}, 0},
        ReaderCase{"OnlyAnInfoFrame", DescribingFrame("Info"), {}, 0},
        ReaderCase{"Text", Text("This is a text file, not an MP3 file.\n"), {}, 38}),
    [](const ::testing::TestParamInfo<ReaderCase>& Info) { return Info.param.Name; });

// A 48000 Hz frame, recognised as such where it stands, is left for the job
// to ask about.
TEST(Mp3FrameReader, AFrameOfARateFlvCannotCarryIsReportedUnread) {
    Bytes Frame48k = Frame(0);
    Frame48k[2] = 0x94;  // rate index 1: 48000 Hz, 384 bytes at 128 kbit/s
    Frame48k.resize(384);
    const auto File = test::FreshDir("mp3-reader-48k") / "audio.mp3";
    test::WriteFileBytes(File, Join({Frame48k, Frame48k}));
    TMp3FrameReader Reader(File.string(), true);
    EXPECT_EQ(Reader.Next().Type, TMp3FrameHeader::Kind::UnsupportedRate);
    EXPECT_EQ(Mp3FileProblem(File.string()), "");
}

}  // namespace
}  // namespace quorvane
