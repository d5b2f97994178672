#include <gtest/gtest.h>

#include "job/FrontEndTexts.h"
#include "job/ProgressMeter.h"

namespace quorvane {
namespace {

TEST(ProgressPercent, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(ProgressPercentOf(0, 0, 200), 0);
    EXPECT_EQ(ProgressPercentOf(1, 0, 200), 0);      // 0.5
    EXPECT_EQ(ProgressPercentOf(3, 0, 200), 2);      // 1.5
    EXPECT_EQ(ProgressPercentOf(199, 0, 200), 100);  // 99.5
    EXPECT_EQ(ProgressPercentOf(9, 0, 10), 90);
    EXPECT_EQ(ProgressPercentOf(105, 100, 110), 50);
}

TEST(ProgressPercent, AnEmptyPhaseShowsZero) {
    EXPECT_EQ(ProgressPercentOf(5, 5, 5), 0);
}

TEST(RemainingTime, ExtrapolatesTheElapsedTime) {
    EXPECT_EQ(RemainingTimeText(30000, 25), "Remaining time: 00:01:30");
    EXPECT_EQ(RemainingTimeText(1000, 50), "Remaining time: 00:00:01");
    EXPECT_EQ(RemainingTimeText(3600000, 1), "Remaining time: 99:00:00");
    EXPECT_EQ(RemainingTimeText(3600000, 100), "Remaining time: 00:00:00");
}

TEST(RemainingTime, HundredHoursAndMoreKeepEveryDigit) {
    EXPECT_EQ(RemainingTimeText(4000000, 1), "Remaining time: 110:00:00");
}

TEST(Speed, MeasuresTheLastUnitEachSidePlusOne) {
    EXPECT_EQ(SpeedText(40, 20), "Speed: 1.95X");
    EXPECT_EQ(SpeedText(0, 0), "Speed: 1.00X");
}

TEST(EndFigures, SizeInMegabytesAndRateOverTheStreamDuration) {
    EXPECT_EQ(OutputSizeText(1572864), "1.50 MBytes");
    EXPECT_EQ(AverageRateText(1572864, 60000), "205 kBps");
    TRunResult Finished;
    Finished.OutputSize = 1572864;
    Finished.Duration = 60000;
    EXPECT_EQ(EndFiguresText(Finished), "205 kBps - 1.50 MBytes");
}

TEST(EndFigures, RateOfLargeFilesNeedsMoreThanThirtyTwoBits) {
    const uint32_t SixHundredMegabytes = 600u * 1048576u;
    EXPECT_EQ(AverageRateText(SixHundredMegabytes, 600000), "8192 kBps");
}

TEST(EndFigures, OutputsPastFourGigabytesKeepTheirFullSize) {
    const uint64_t FiveGigabytes = 5ull << 30;
    EXPECT_EQ(OutputSizeText(FiveGigabytes), "5120.00 MBytes");
    EXPECT_EQ(AverageRateText(FiveGigabytes, 3600000), "11651 kBps");
}

TEST(EndFigures, AStreamWithoutDurationHasNoRateToDivide) {
    EXPECT_EQ(AverageRateText(13, 0), "0 kBps");
}

}  // namespace
}  // namespace quorvane
