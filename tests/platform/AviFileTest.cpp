// Opening AVI files, their streams, formats and stored samples, compared
// with what the files hold as read by the tests' own RIFF walker.
#include "platform/avi/AviFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "support/AviPatches.h"
#include "support/Fixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane::platform {
namespace {

using test::path;

struct FileCloser {
    void operator()(AviFile* File) const { AVIFileRelease(File); }
};
struct StreamCloser {
    void operator()(AviStream* Stream) const { AVIStreamRelease(Stream); }
};
using FilePtr = std::unique_ptr<AviFile, FileCloser>;
using StreamPtr = std::unique_ptr<AviStream, StreamCloser>;

FilePtr Open(const path& File) {
    PAVIFILE Handle = nullptr;
    EXPECT_EQ(AVIFileOpenA(&Handle, File.c_str(), OF_READ, nullptr), AVIERR_OK) << File;
    return FilePtr(Handle);
}

StreamPtr GetStream(const FilePtr& File, FOURCC Type, int32_t Index = 0) {
    PAVISTREAM Stream = nullptr;
    AVIFileGetStream(File.get(), &Stream, Type, Index);
    return StreamPtr(Stream);
}

HRESULT OpenResult(const path& File) {
    PAVIFILE Handle = nullptr;
    HRESULT Result = AVIFileOpenA(&Handle, File.c_str(), OF_READ, nullptr);
    AVIFileRelease(Handle);
    return Result;
}

// Every sample of a chunk-per-sample stream, read one by one.
std::vector<std::vector<uint8_t>> SamplesOf(PAVISTREAM Stream) {
    std::vector<std::vector<uint8_t>> Samples;
    for (int32_t S = AVIStreamStart(Stream); S < AVIStreamEnd(Stream); ++S) {
        int32_t Bytes = 0;
        int32_t Count = 0;
        std::vector<uint8_t> Sample(1 << 20);
        HRESULT Result = AVIStreamRead(Stream, S, 1, Sample.data(),
                                       static_cast<int32_t>(Sample.size()), &Bytes, &Count);
        EXPECT_EQ(Result, AVIERR_OK);
        Sample.resize(static_cast<size_t>(Bytes));
        Samples.push_back(Sample);
    }
    return Samples;
}

// A fixed-sample-size stream's bytes, read in one go.
std::vector<uint8_t> AllBytesOf(PAVISTREAM Stream) {
    int32_t Bytes = 0;
    AVIStreamRead(Stream, AVIStreamStart(Stream), AVIStreamLength(Stream), nullptr, 0, &Bytes,
                  nullptr);
    std::vector<uint8_t> All(static_cast<size_t>(Bytes));
    int32_t Samples = 0;
    EXPECT_EQ(AVIStreamRead(Stream, AVIStreamStart(Stream), AVIStreamLength(Stream), All.data(),
                            Bytes, &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, AVIStreamLength(Stream));
    return All;
}

// The data of the chunks with the given suffix, as the file stores them.
std::vector<std::vector<uint8_t>> StoredChunks(const path& File, const std::string& Suffix) {
    auto Bytes = test::ReadFileBytes(File);
    std::vector<std::vector<uint8_t>> Chunks;
    for (const test::RiffEntry& Entry : test::DataChunks(Bytes, Suffix)) {
        Chunks.emplace_back(Bytes.begin() + static_cast<long>(Entry.DataOffset),
                            Bytes.begin() + static_cast<long>(Entry.DataOffset + Entry.DataSize));
    }
    return Chunks;
}

std::vector<uint8_t> Concatenated(const std::vector<std::vector<uint8_t>>& Chunks) {
    std::vector<uint8_t> All;
    for (const auto& Chunk : Chunks) {
        All.insert(All.end(), Chunk.begin(), Chunk.end());
    }
    return All;
}

TEST(AviFileOpen, RefusesWhatIsNoAviFile) {
    EXPECT_EQ(OpenResult(test::EmptyFile()), AVIERR_BADFORMAT);
    EXPECT_EQ(OpenResult(test::TextFile()), AVIERR_BADFORMAT);
    EXPECT_EQ(OpenResult(test::Fixture("tone.wav", "-f lavfi -i sine=duration=0.1")),
              AVIERR_BADFORMAT);
    EXPECT_EQ(OpenResult(test::Fixture(
                  "clip.mkv", "-f lavfi -i testsrc2=size=32x24:rate=5 -frames:v 2 -c:v mjpeg")),
              AVIERR_BADFORMAT);
}

TEST(AviFileOpen, ReportsFilesThatCannotBeOpened) {
    EXPECT_EQ(OpenResult(test::WorkDir() / "no-such-file.avi"), AVIERR_FILEOPEN);
    EXPECT_EQ(OpenResult(test::WorkDir()), AVIERR_FILEOPEN);
}

TEST(AviFileOpen, RefusesFilesCutWithinTheirHeaders) {
    auto Bytes = test::ReadFileBytes(test::AviBgr24());
    for (size_t Size : {size_t{0}, size_t{11}, size_t{12}, size_t{100}, size_t{300}}) {
        path Cut = test::FreshDir("cut-header") / "cut.avi";
        test::WriteFileBytes(
            Cut, std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + static_cast<long>(Size)));
        EXPECT_EQ(OpenResult(Cut), AVIERR_BADFORMAT) << Size;
    }
}

TEST(AviFileStreams, AreFoundByTypeAndIndex) {
    FilePtr File = Open(test::AviAudioFirst());
    StreamPtr Video = GetStream(File, streamtypeVIDEO);
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    ASSERT_TRUE(Video && Audio);
    AVISTREAMINFOA Info;
    ASSERT_EQ(AVIStreamInfoA(Video.get(), &Info, sizeof Info), AVIERR_OK);
    EXPECT_EQ(Info.fccType, streamtypeVIDEO);
    ASSERT_EQ(AVIStreamInfoA(Audio.get(), &Info, sizeof Info), AVIERR_OK);
    EXPECT_EQ(Info.fccType, streamtypeAUDIO);
    StreamPtr Second = GetStream(File, 0, 1);
    ASSERT_TRUE(Second);
    ASSERT_EQ(AVIStreamInfoA(Second.get(), &Info, sizeof Info), AVIERR_OK);
    EXPECT_EQ(Info.fccType, streamtypeVIDEO);

    PAVISTREAM Missing = reinterpret_cast<PAVISTREAM>(1);
    EXPECT_EQ(AVIFileGetStream(File.get(), &Missing, streamtypeVIDEO, 1), AVIERR_NODATA);
    EXPECT_EQ(Missing, nullptr);
    EXPECT_FALSE(GetStream(Open(test::AviAudioOnly()), streamtypeVIDEO));
}

TEST(AviFileStreams, OutliveTheirFileHandle) {
    FilePtr File = Open(test::AviPcm16Stereo());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    EXPECT_EQ(AVIFileRelease(File.release()), 0u);
    EXPECT_EQ(AllBytesOf(Audio.get()), Concatenated(StoredChunks(test::AviPcm16Stereo(), "wb")));
}

// The stream header as the file stores it, field by field.
void ExpectInfoMatchesStoredHeader(const path& File, int StreamNumber, PAVISTREAM Stream) {
    auto Bytes = test::ReadFileBytes(File);
    size_t At = test::StreamChunk(Bytes, StreamNumber, "strh").DataOffset;
    AVISTREAMINFOA Info;
    ASSERT_EQ(AVIStreamInfoA(Stream, &Info, sizeof Info), AVIERR_OK);
    EXPECT_EQ(Info.fccType, test::GetLE32(Bytes, At));
    EXPECT_EQ(Info.fccHandler, test::GetLE32(Bytes, At + 4));
    EXPECT_EQ(Info.dwScale, test::GetLE32(Bytes, At + 20));
    EXPECT_EQ(Info.dwRate, test::GetLE32(Bytes, At + 24));
    EXPECT_EQ(Info.dwStart, test::GetLE32(Bytes, At + 28));
    EXPECT_EQ(Info.dwSampleSize, test::GetLE32(Bytes, At + 44));
    EXPECT_EQ(Info.rcFrame.left, static_cast<int16_t>(test::GetLE32(Bytes, At + 48)));
    EXPECT_EQ(Info.rcFrame.right, static_cast<int16_t>(test::GetLE32(Bytes, At + 52)));
}

TEST(AviStreamInfo, GivesTheStoredStreamHeader) {
    for (const path& File : {test::AviPcm16Stereo(), test::AviMp3(), test::AviH264()}) {
        FilePtr Opened = Open(File);
        ExpectInfoMatchesStoredHeader(File, 0, GetStream(Opened, streamtypeVIDEO).get());
        if (StreamPtr Audio = GetStream(Opened, streamtypeAUDIO)) {
            ExpectInfoMatchesStoredHeader(File, 1, Audio.get());
        }
    }
    AVISTREAMINFOA Info;
    FilePtr Bgr = Open(test::AviBgr24());
    ASSERT_EQ(AVIStreamInfoA(GetStream(Bgr, streamtypeVIDEO).get(), &Info, sizeof Info), AVIERR_OK);
    EXPECT_EQ(Info.dwRate / Info.dwScale, 15u);
    EXPECT_EQ(Info.rcFrame.right - Info.rcFrame.left, 64);
    EXPECT_EQ(Info.rcFrame.bottom - Info.rcFrame.top, 48);
    EXPECT_EQ(Info.dwLength, 6u);
}

TEST(AviStreamInfo, CopiesNoMoreThanAsked) {
    FilePtr File = Open(test::AviBgr24());
    StreamPtr Video = GetStream(File, streamtypeVIDEO);
    AVISTREAMINFOA Info;
    std::memset(&Info, 0xAB, sizeof Info);
    ASSERT_EQ(AVIStreamInfoA(Video.get(), &Info, 8), AVIERR_OK);
    EXPECT_EQ(Info.fccType, streamtypeVIDEO);
    EXPECT_EQ(Info.dwFlags, 0xABABABABu);
}

TEST(AviStreamReadFormat, GivesTheStoredFormatByteForByte) {
    for (const path& File : {test::AviPcm16Stereo(), test::AviPcm8Mono(), test::AviMp3(),
                             test::AviImaAdpcm(), test::AviSixChannels()}) {
        auto Bytes = test::ReadFileBytes(File);
        test::RiffEntry Strf = test::StreamChunk(Bytes, 1, "strf");
        std::vector<uint8_t> Stored(
            Bytes.begin() + static_cast<long>(Strf.DataOffset),
            Bytes.begin() + static_cast<long>(Strf.DataOffset + Strf.DataSize));
        FilePtr Opened = Open(File);
        StreamPtr Audio = GetStream(Opened, streamtypeAUDIO);
        int32_t Size = 0;
        ASSERT_EQ(AVIStreamReadFormat(Audio.get(), 0, nullptr, &Size), AVIERR_OK);
        ASSERT_EQ(Size, static_cast<int32_t>(Stored.size())) << File;
        std::vector<uint8_t> Format(static_cast<size_t>(Size));
        ASSERT_EQ(AVIStreamReadFormat(Audio.get(), 0, Format.data(), &Size), AVIERR_OK);
        EXPECT_EQ(Format, Stored) << File;
    }
}

TEST(AviStreamReadFormat, CopiesWhatFitsAndFailsWithoutAFormat) {
    FilePtr File = Open(test::AviMp3());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    uint8_t Start[4];
    int32_t Size = sizeof Start;
    ASSERT_EQ(AVIStreamReadFormat(Audio.get(), 0, Start, &Size), AVIERR_OK);
    EXPECT_EQ(Size, 4);
    EXPECT_EQ(Start[0] | (Start[1] << 8), WAVE_FORMAT_MPEGLAYER3);

    FilePtr Formatless = Open(test::AviAudioWithoutFormat());
    EXPECT_NE(AVIStreamReadFormat(GetStream(Formatless, streamtypeAUDIO).get(), 0, nullptr, &Size),
              AVIERR_OK);
}

TEST(AviStreamRead, ReadsFixedSizeSamplesAsFitTheBuffer) {
    FilePtr File = Open(test::AviPcm16Stereo());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    std::vector<uint8_t> Stored = Concatenated(StoredChunks(test::AviPcm16Stereo(), "wb"));
    ASSERT_EQ(AVIStreamLength(Audio.get()), 44100);
    ASSERT_EQ(Stored.size(), 176400u);

    std::vector<uint8_t> Buffer(352800);
    int32_t Bytes = 0;
    int32_t Samples = 0;
    // As the transcoding pass asks: more samples than fit, a buffer larger than the stream.
    ASSERT_EQ(AVIStreamRead(Audio.get(), 0, 352800, Buffer.data(), 352800, &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, 44100);
    EXPECT_EQ(Bytes, 176400);
    EXPECT_TRUE(std::equal(Stored.begin(), Stored.end(), Buffer.begin()));

    ASSERT_EQ(AVIStreamRead(Audio.get(), 1000, 352800, Buffer.data(), 1003, &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, 250);
    EXPECT_EQ(Bytes, 1000);
    EXPECT_TRUE(std::equal(Buffer.begin(), Buffer.begin() + 1000, Stored.begin() + 4000));

    ASSERT_EQ(AVIStreamRead(Audio.get(), 44000, 200, Buffer.data(), 352800, &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, 100);  // the end of the stream
    EXPECT_EQ(Bytes, 400);
    EXPECT_TRUE(std::equal(Buffer.begin(), Buffer.begin() + 400, Stored.end() - 400));

    ASSERT_EQ(AVIStreamRead(Audio.get(), 44100, 10, Buffer.data(), 352800, &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, 0);
    EXPECT_EQ(Bytes, 0);
}

TEST(AviStreamRead, ReportsSizesWithoutABufferAndRefusesATooSmallOne) {
    FilePtr File = Open(test::AviPcm16Stereo());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    int32_t Bytes = 0;
    int32_t Samples = 0;
    ASSERT_EQ(AVIStreamRead(Audio.get(), 0, 10, nullptr, 0, &Bytes, &Samples), AVIERR_OK);
    EXPECT_EQ(Bytes, 40);
    EXPECT_EQ(Samples, 10);
    uint8_t Small[3];
    EXPECT_EQ(AVIStreamRead(Audio.get(), 0, 10, Small, sizeof Small, &Bytes, &Samples),
              AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(Samples, 0);
}

TEST(AviStreamRead, ReadsEightBitMonoSampleBySample) {
    FilePtr File = Open(test::AviPcm8Mono());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    EXPECT_EQ(AVIStreamLength(Audio.get()), 11025);
    EXPECT_EQ(AllBytesOf(Audio.get()), Concatenated(StoredChunks(test::AviPcm8Mono(), "wb")));
}

TEST(AviStreamRead, ReadsMp3ChunkByChunk) {
    FilePtr File = Open(test::AviMp3());
    StreamPtr Audio = GetStream(File, streamtypeAUDIO);
    AVISTREAMINFOA Info;
    ASSERT_EQ(AVIStreamInfoA(Audio.get(), &Info, sizeof Info), AVIERR_OK);
    ASSERT_EQ(Info.dwSampleSize, 0u) << "each MP3 frame is stored as one sample";
    auto Stored = StoredChunks(test::AviMp3(), "wb");
    ASSERT_GT(Stored.size(), 30u);
    EXPECT_EQ(AVIStreamLength(Audio.get()), static_cast<int32_t>(Stored.size()));
    EXPECT_EQ(SamplesOf(Audio.get()), Stored);

    std::vector<uint8_t> Buffer(Stored[0].size() + Stored[1].size() + Stored[2].size() - 1);
    int32_t Bytes = 0;
    int32_t Samples = 0;
    ASSERT_EQ(AVIStreamRead(Audio.get(), 0, 100, Buffer.data(), static_cast<int32_t>(Buffer.size()),
                            &Bytes, &Samples),
              AVIERR_OK);
    EXPECT_EQ(Samples, 2);  // only whole frames
    EXPECT_EQ(Bytes, static_cast<int32_t>(Stored[0].size() + Stored[1].size()));
}

TEST(AviStreamSamples, CountEmptyChunksAndFindStepsOverThem) {
    FilePtr File = Open(test::AviDropped());
    StreamPtr Video = GetStream(File, streamtypeVIDEO);
    auto Stored = StoredChunks(test::AviDropped(), "dc");
    ASSERT_EQ(Stored.size(), 10u);
    ASSERT_TRUE(Stored[3].empty() && Stored[4].empty() && Stored[5].empty())
        << "fixture lost its gaps";
    EXPECT_EQ(AVIStreamLength(Video.get()), 10);
    EXPECT_EQ(SamplesOf(Video.get()), Stored);
    EXPECT_EQ(AVIStreamNextSample(Video.get(), 1), 2);
    EXPECT_EQ(AVIStreamNextSample(Video.get(), 2), 6);
    EXPECT_EQ(AVIStreamFindSample(Video.get(), 4, FIND_NEXT | FIND_ANY), 6);
    EXPECT_EQ(AVIStreamNextSample(Video.get(), 9), -1);
    EXPECT_EQ(AVIStreamFindSample(Video.get(), 10, FIND_NEXT | FIND_ANY), -1);
    EXPECT_EQ(AVIStreamSampleToTime(Video.get(), 6), 600);
    EXPECT_EQ(AVIStreamTimeToSample(Video.get(), 650), 6);
}

// Files that store the chunks of AviPcm16Stereo in other layouts or with
// other indexes: the same streams, the same samples.
struct SameSamplesCase {
    const char* Name;
    path (*Make)();
    uintmax_t LargerThan = 0;  // bytes the file must exceed to be what its row says
};

void PrintTo(const SameSamplesCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class AviIndexKinds : public ::testing::TestWithParam<SameSamplesCase> {};

TEST_P(AviIndexKinds, GiveTheSameSamples) {
    const path File = GetParam().Make();
    ASSERT_GT(std::filesystem::file_size(File), GetParam().LargerThan);
    FilePtr A = Open(test::AviPcm16Stereo());
    FilePtr B = Open(File);
    for (FOURCC Type : {streamtypeVIDEO, streamtypeAUDIO}) {
        StreamPtr From = GetStream(A, Type);
        StreamPtr To = GetStream(B, Type);
        ASSERT_TRUE(From && To);
        EXPECT_EQ(AVIStreamStart(From.get()), AVIStreamStart(To.get()));
        EXPECT_EQ(AVIStreamLength(From.get()), AVIStreamLength(To.get()));
        if (Type == streamtypeVIDEO) {
            EXPECT_EQ(SamplesOf(From.get()), SamplesOf(To.get()));
        } else {
            EXPECT_EQ(AllBytesOf(From.get()), AllBytesOf(To.get()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    , AviIndexKinds,
    ::testing::Values(SameSamplesCase{"AbsoluteIdx1Offsets", test::AviAbsoluteIdx1},
                      // A scan takes over.
                      SameSamplesCase{"Idx1CutShort", test::AviIdx1CutShort},
                      // The super index lists the chunks of the later RIFF parts.
                      SameSamplesCase{"OpenDml", test::AviOpenDml},
                      // Without a usable index the movie lists of every part are scanned.
                      SameSamplesCase{"OpenDmlUnindexed", test::AviOpenDmlUnindexed},
                      SameSamplesCase{"OpenDmlIndexPastTheEnd", test::AviOpenDmlIndexPastTheEnd},
                      // A recording cut off is scanned to the file's end.
                      SameSamplesCase{"Unfinished", test::AviUnfinished},
                      SameSamplesCase{"ChunksBeyondFourGigabytes", test::AviOpenDmlBeyond4GB,
                                      0x100000000u}),
    [](const ::testing::TestParamInfo<SameSamplesCase>& Info) { return Info.param.Name; });

TEST(AviIndexes, ATruncatedFileKeepsTheChunksItStillHolds) {
    FilePtr Whole = Open(test::AviPcm16Stereo());
    FilePtr Cut = Open(test::AviTruncated());
    StreamPtr WholeVideo = GetStream(Whole, streamtypeVIDEO);
    StreamPtr CutVideo = GetStream(Cut, streamtypeVIDEO);
    EXPECT_EQ(AVIStreamLength(CutVideo.get()), AVIStreamLength(WholeVideo.get()));
    auto Expected = SamplesOf(WholeVideo.get());
    auto Found = SamplesOf(CutVideo.get());
    size_t Kept = 0;
    while (Kept < Found.size() && !Found[Kept].empty()) {
        ++Kept;
    }
    EXPECT_GT(Kept, 2u);
    EXPECT_LT(Kept, Expected.size());
    for (size_t S = 0; S < Found.size(); ++S) {
        EXPECT_EQ(Found[S], S < Kept ? Expected[S] : std::vector<uint8_t>{}) << S;
    }
    EXPECT_EQ(AVIStreamNextSample(CutVideo.get(), static_cast<int32_t>(Kept) - 1), -1);
}

// Every call on a damaged file's streams returns.
void ExerciseStreams(PAVIFILE File) {
    for (int32_t Index = 0; Index < 4; ++Index) {
        PAVISTREAM Stream = nullptr;
        if (AVIFileGetStream(File, &Stream, 0, Index) != AVIERR_OK) {
            return;
        }
        std::vector<uint8_t> Buffer(1 << 16);
        int32_t End = std::min(AVIStreamEnd(Stream), AVIStreamStart(Stream) + 2000);
        for (int32_t S = AVIStreamStart(Stream); S < End; S += 7) {
            AVIStreamRead(Stream, S, 50, Buffer.data(), static_cast<int32_t>(Buffer.size()),
                          nullptr, nullptr);
            AVIStreamFindSample(Stream, S, FIND_NEXT | FIND_ANY);
        }
        if (PGETFRAME Decoder = AVIStreamGetFrameOpen(Stream, nullptr)) {
            for (int32_t S = AVIStreamStart(Stream); S < End; S += 3) {
                AVIStreamGetFrame(Decoder, S);
            }
            for (int32_t S = End - 1; S >= AVIStreamStart(Stream); S -= 5) {
                AVIStreamGetFrame(Decoder, S);
            }
            AVIStreamGetFrameClose(Decoder);
        }
        AVIStreamRelease(Stream);
    }
}

// Damaged files open or are refused, and every call on them returns.
TEST(AviDamagedFiles, AreReadWithoutCrashing) {
    path Damaged = test::FreshDir("damaged") / "damaged.avi";
    std::mt19937 Random(1234);
    for (const path& Source : {test::AviPcm16Stereo(), test::AviOpenDml(), test::AviMpeg4()}) {
        auto Original = test::ReadFileBytes(Source);
        for (int Round = 0; Round < 60; ++Round) {
            auto Bytes = Original;
            if (Round % 3 == 0) {
                Bytes.resize(Random() % Bytes.size());
            } else {
                for (int Flip = 0; Flip < 20; ++Flip) {
                    // Mostly within the headers and indexes, where sizes and counts live.
                    size_t At = Flip % 2 ? Random() % 2048 : Bytes.size() - 1 - Random() % 2048;
                    Bytes[At] = static_cast<uint8_t>(Random());
                }
            }
            test::WriteFileBytes(Damaged, Bytes);
            PAVIFILE File = nullptr;
            HRESULT Result = AVIFileOpenA(&File, Damaged.c_str(), OF_READ, nullptr);
            ASSERT_TRUE(Result == AVIERR_OK || Result == AVIERR_BADFORMAT) << Source << Round;
            if (File) {
                ExerciseStreams(File);
            }
            AVIFileRelease(File);
        }
    }
}

}  // namespace
}  // namespace quorvane::platform
