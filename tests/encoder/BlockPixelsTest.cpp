// The difference score of bitrate mode, taken sixteen bytes at a time with a
// byte loop for the rest: every length and position must count alike.
#include <gtest/gtest.h>

#include <vector>

#include "encoder/BlockPixels.h"

namespace quorvane::test {
namespace {

class SumsOfAbsoluteDifferences : public ::testing::TestWithParam<size_t> {};

TEST_P(SumsOfAbsoluteDifferences, CountTheLargestDifferenceOfEveryByteEitherWay) {
    const size_t Length = GetParam();
    const std::vector<uint8_t> Black(Length, 0);
    const std::vector<uint8_t> White(Length, 255);
    EXPECT_EQ(SumOfAbsoluteDifferences(White.data(), Black.data(), Length), 255u * Length);
    EXPECT_EQ(SumOfAbsoluteDifferences(Black.data(), White.data(), Length), 255u * Length);
}

TEST_P(SumsOfAbsoluteDifferences, CountOneChangedByteWhereverItIs) {
    const size_t Length = GetParam();
    const std::vector<uint8_t> Previous(Length, 100);
    std::vector<uint8_t> Current = Previous;
    // Every byte of the short ones; of the long one, a sample and the last.
    std::vector<size_t> Positions;
    for (size_t At = 0; At<Length; At += Length> 1024 ? 4093 : 1) {
        Positions.push_back(At);
    }
    if (Length > 0) {
        Positions.push_back(Length - 1);
    }
    for (size_t At : Positions) {
        Current[At] = At % 2 == 0 ? 93 : 107;
        ASSERT_EQ(SumOfAbsoluteDifferences(Current.data(), Previous.data(), Length), 7u) << At;
        Current[At] = 100;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, SumsOfAbsoluteDifferences,
                         ::testing::Values(0u, 1u, 15u, 16u, 17u, 47u, 768u, 3u * 256u * 256u));

}  // namespace
}  // namespace quorvane::test
