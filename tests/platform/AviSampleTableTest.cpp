// Sample numbering, lengths and times of AVI streams, on stream tables built
// in memory.
#include "platform/avi/AviSampleTable.h"

#include <gtest/gtest.h>

#include <climits>

namespace quorvane::platform {
namespace {

AviStreamContents Stream(FOURCC Type, uint32_t Scale, uint32_t Rate,
                         const std::vector<uint32_t>& ChunkSizes) {
    AviStreamContents Contents;
    Contents.Header.fccType = Type;
    Contents.Header.dwScale = Scale;
    Contents.Header.dwRate = Rate;
    int64_t Offset = 0;
    for (uint32_t Size : ChunkSizes) {
        Contents.Chunks.push_back({Offset, Size, true});
        Offset += Size + 8;
    }
    return Contents;
}

AviStreamContents Video(uint32_t Scale, uint32_t Rate, const std::vector<uint32_t>& Sizes = {}) {
    return Stream(streamtypeVIDEO, Scale, Rate, Sizes);
}

struct FrameRate {
    uint32_t Scale;
    uint32_t Rate;
};

class VideoTimes : public testing::TestWithParam<FrameRate> {};

TEST_P(VideoTimes, TheTimeOfEverySampleConvertsBackToThatSample) {
    AviStreamContents Contents = Video(GetParam().Scale, GetParam().Rate);
    AviSampleTable Table(Contents, 0);
    for (int32_t Sample = 0; Sample < 300000; ++Sample) {
        int32_t Time = Table.SampleToTime(Sample);
        ASSERT_EQ(Table.TimeToSample(Time), Sample) << "time " << Time;
    }
}

TEST_P(VideoTimes, TimesGrowWithSamplesAndStartAtZero) {
    AviStreamContents Contents = Video(GetParam().Scale, GetParam().Rate);
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.SampleToTime(0), 0);
    for (int32_t Sample = 1; Sample < 1000; ++Sample) {
        ASSERT_GT(Table.SampleToTime(Sample), Table.SampleToTime(Sample - 1));
    }
}

INSTANTIATE_TEST_SUITE_P(CommonRates, VideoTimes,
                         testing::Values(FrameRate{1001, 30000}, FrameRate{1, 25},
                                         FrameRate{1001, 24000}, FrameRate{1, 15},
                                         FrameRate{2, 50}));

TEST(AviSampleTimes, FractionalRatesRoundUpToTheNextMillisecond) {
    AviStreamContents Ntsc = Video(1001, 30000);
    AviSampleTable Table(Ntsc, 0);
    EXPECT_EQ(Table.SampleToTime(1), 34);   // 33.37 ms
    EXPECT_EQ(Table.SampleToTime(3), 101);  // 100.1 ms
    EXPECT_EQ(Table.SampleToTime(30), 1001);
    EXPECT_EQ(Table.TimeToSample(33), 0);
    EXPECT_EQ(Table.TimeToSample(34), 1);
    EXPECT_EQ(Table.TimeToSample(1000), 29);
    EXPECT_EQ(Table.TimeToSample(1001), 30);
}

TEST(AviSampleTimes, AudioSamplesShorterThanAMillisecondRoundDown) {
    AviStreamContents Audio = Stream(streamtypeAUDIO, 1, 44100, {});
    AviSampleTable Table(Audio, 0);
    EXPECT_EQ(Table.SampleToTime(1), 0);
    EXPECT_EQ(Table.SampleToTime(44099), 999);
    EXPECT_EQ(Table.SampleToTime(44100), 1000);
    EXPECT_EQ(Table.TimeToSample(1000), 44100);
    EXPECT_EQ(Table.SampleToTime(2000000000), 45351473);  // no overflow on the way
}

TEST(AviSampleTimes, TimesBeyondTheStreamGiveTheSampleTheyWouldHave) {
    AviStreamContents Contents = Video(1, 25, {10, 10, 10});
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.TimeToSample(1000), 25);
    EXPECT_EQ(Table.SampleToTime(25), 1000);
}

TEST(AviSampleTimes, NegativeInputGivesMinusOne) {
    AviStreamContents Contents = Video(1, 25);
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.TimeToSample(-1), -1);
    EXPECT_EQ(Table.SampleToTime(-1), -1);
}

TEST(AviSampleTimes, HugeResultsSaturate) {
    AviStreamContents Contents = Video(1001, 30000);
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.SampleToTime(INT32_MAX), INT32_MAX);
    AviStreamContents Fast = Video(1, UINT32_MAX);
    AviSampleTable FastTable(Fast, 0);
    EXPECT_EQ(FastTable.TimeToSample(INT32_MAX), INT32_MAX);
}

TEST(AviSampleTimes, WithoutAStreamRateTheMainHeaderFrameDurationTimesTheStream) {
    for (AviStreamContents Contents : {Video(0, 30), Video(1, 0), Video(0, 0)}) {
        AviSampleTable Table(Contents, 40000);
        EXPECT_EQ(Table.SampleToTime(1), 40);
        EXPECT_EQ(Table.TimeToSample(80), 2);
    }
}

TEST(AviSampleTimes, WithoutAnyRateTwentyFiveFramesASecondAreAssumed) {
    AviStreamContents Contents = Video(0, 0);
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.SampleToTime(25), 1000);
    EXPECT_EQ(Table.TimeToSample(1000), 25);
}

TEST(AviSampleCounts, VideoCountsEveryChunkEmptyOnesIncluded) {
    AviStreamContents Contents = Video(1, 25, {10, 0, 0, 10, 0});
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.Start(), 0);
    EXPECT_EQ(Table.Length(), 5);
}

TEST(AviSampleCounts, TheHeaderLengthCountsWhenLargerThanTheChunks) {
    AviStreamContents Contents = Video(1, 25, {10, 10});
    Contents.Header.dwLength = 7;
    EXPECT_EQ(AviSampleTable(Contents, 0).Length(), 7);
    Contents.Header.dwLength = 1;  // e.g. counting only the first RIFF part
    EXPECT_EQ(AviSampleTable(Contents, 0).Length(), 2);
}

TEST(AviSampleCounts, FixedSizeAudioCountsSampleSizedPiecesOfAllItsBytes) {
    AviStreamContents Audio = Stream(streamtypeAUDIO, 4, 176400, {4000, 0, 2002});
    Audio.Header.dwSampleSize = 4;
    EXPECT_EQ(AviSampleTable(Audio, 0).Length(), 1500);
    Audio.Header.dwLength = 2000;
    EXPECT_EQ(AviSampleTable(Audio, 0).Length(), 2000);
}

TEST(AviSampleCounts, VariableSizeAudioCountsChunks) {
    AviStreamContents Audio = Stream(streamtypeAUDIO, 1152, 44100, {417, 418, 417});
    EXPECT_EQ(AviSampleTable(Audio, 0).Length(), 3);
}

TEST(AviSampleCounts, StartComesFromTheHeaderAndLengthStaysWithinPositions) {
    AviStreamContents Contents = Video(1, 25, {10, 10});
    Contents.Header.dwStart = 5;
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.Start(), 5);
    EXPECT_EQ(Table.Length(), 2);
    Contents.Header.dwStart = INT32_MAX - 1;
    Contents.Header.dwLength = UINT32_MAX;
    AviSampleTable Huge(Contents, 0);
    EXPECT_EQ(static_cast<int64_t>(Huge.Start()) + Huge.Length(), INT32_MAX);
}

TEST(AviFindSample, StepsOverEmptySamplesAndEndsWithMinusOne) {
    AviStreamContents Contents = Video(1, 25, {10, 0, 0, 10, 0});
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.FindNextNonEmpty(-3), 0);
    EXPECT_EQ(Table.FindNextNonEmpty(0), 0);
    EXPECT_EQ(Table.FindNextNonEmpty(1), 3);
    EXPECT_EQ(Table.FindNextNonEmpty(3), 3);
    EXPECT_EQ(Table.FindNextNonEmpty(4), -1);
    EXPECT_EQ(Table.FindNextNonEmpty(5), -1);
    EXPECT_EQ(Table.FindNextNonEmpty(INT32_MAX), -1);
}

TEST(AviFindSample, BackwardsFindsTheLastSampleWithData) {
    AviStreamContents Contents = Video(1, 25, {0, 10, 0, 10, 0, 0});
    Contents.Header.dwStart = 2;
    Contents.Header.dwLength = 0x7FFFFFFF;
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.FindPreviousNonEmpty(INT32_MAX), 5);
    EXPECT_EQ(Table.FindPreviousNonEmpty(4), 3);
    EXPECT_EQ(Table.FindPreviousNonEmpty(2), -1);
    EXPECT_EQ(Table.FindPreviousNonEmpty(INT32_MIN), -1);
}

TEST(AviFindSample, CountsFromTheStreamStart) {
    AviStreamContents Contents = Video(1, 25, {10, 0, 10});
    Contents.Header.dwStart = 10;
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.FindNextNonEmpty(0), 10);
    EXPECT_EQ(Table.FindNextNonEmpty(11), 12);
    EXPECT_EQ(Table.FindNextNonEmpty(13), -1);
}

TEST(AviFindSample, FixedSizeAudioHasDataUpToItsLastWholeSample) {
    AviStreamContents Audio = Stream(streamtypeAUDIO, 4, 176400, {400, 0, 402});
    Audio.Header.dwSampleSize = 4;
    Audio.Header.dwLength = 1000;
    AviSampleTable Table(Audio, 0);
    EXPECT_EQ(Table.FindNextNonEmpty(150), 150);
    EXPECT_EQ(Table.FindNextNonEmpty(199), 199);
    EXPECT_EQ(Table.FindNextNonEmpty(200), -1);
    EXPECT_EQ(Table.FindPreviousNonEmpty(500), 199);
}

TEST(AviSampleTable, ListsTheChunksWithDataAndTheKeyFrames) {
    AviStreamContents Contents = Video(1, 25, {10, 0, 7, 9});
    Contents.Chunks[2].Key = false;
    AviSampleTable Table(Contents, 0);
    EXPECT_EQ(Table.NonEmptyChunks(), (std::vector<uint32_t>{0, 2, 3}));
    EXPECT_EQ(Table.KeyChunks(), (std::vector<uint32_t>{0, 3}));
}

}  // namespace
}  // namespace quorvane::platform
