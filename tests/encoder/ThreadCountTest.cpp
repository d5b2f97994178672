// The number of threads changes the speed of the encoder, never its bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "EncoderTestKit.h"
#include "encoder/WorkerPool.h"

namespace quorvane::test {
namespace {

struct ModeCase {
    const char* Name;
    CompressionModes Mode;
    DeflateEngine Deflate = DeflateEngine::Zlib;
};

std::vector<uint8_t> FileBytes(const std::filesystem::path& Path) {
    std::ifstream File(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

class SameBytes : public ::testing::TestWithParam<ModeCase> {
protected:
    // Generated screen frames in small blocks; the bit rate buys a part of
    // each inter frame's changes, so the budget ends within a batch.
    static std::vector<uint8_t> EncodeWithThreads(const ModeCase& Case, unsigned Threads) {
        constexpr int Width = 320;
        constexpr int Height = 240;
        EncoderParameters Parameters = ParametersFor(Case.Mode, 16, 16);
        Parameters.BitRate = 300;
        Parameters.RedTolerance = Parameters.GreenTolerance = Parameters.BlueTolerance = 20;
        Parameters.BlockTolerance = 2;
        const std::filesystem::path Path =
            OutputPathForTest(("threads" + std::to_string(Threads) + ".flv").c_str());
        TScreenVideoEncoder Encoder(Path.string(), true, false);
        Encoder.SetParameters(Parameters);
        Encoder.SetFrameSize(FrameFormat{Width, Height, 3});
        Encoder.SetEngine(EncoderEngine{Threads, Case.Deflate});
        EXPECT_EQ(Encoder.Start(), StartSucceeded);
        const bench::ScreenFrameGenerator Generator(Width, Height, 3);
        for (int Index = 0; Index < 12; ++Index) {
            const bench::FrameBuffer Frame = Generator.Render(Index);
            Encoder.EncodeFrame(Frame.Picture(), Index * 40, Index == 0 ? 0 : (Index - 1) * 40,
                                Index == 0);
        }
        Encoder.Finish();
        return FileBytes(Path);
    }
};

TEST_P(SameBytes, WhateverTheNumberOfThreadsAndTheRun) {
    const std::vector<uint8_t> OneThread = EncodeWithThreads(GetParam(), 1);
    ASSERT_GT(OneThread.size(), 13u);
    for (unsigned Threads : {2u, 3u, 8u, 8u}) {
        EXPECT_TRUE(EncodeWithThreads(GetParam(), Threads) == OneThread) << Threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SameBytes,
    ::testing::Values(ModeCase{"Lossless", LosslessMode}, ModeCase{"Bitrate", BitrateMode},
                      ModeCase{"Quality", QualityMode},
                      ModeCase{"BitrateLibdeflate", BitrateMode, DeflateEngine::Libdeflate},
                      ModeCase{"LosslessSmallest", LosslessMode, DeflateEngine::Smallest},
                      ModeCase{"BitrateSmallest", BitrateMode, DeflateEngine::Smallest}),
    [](const auto& Info) { return std::string(Info.param.Name); });

class WorkerPools : public ::testing::TestWithParam<unsigned> {};

TEST_P(WorkerPools, RunEveryJobOnceOnASlotOfTheirOwn) {
    WorkerPool Pool(GetParam());
    ASSERT_EQ(Pool.Size(), GetParam());
    for (size_t Count : {0u, 1u, 5u, 1000u}) {
        std::vector<std::atomic<int>> Runs(Count);
        std::atomic<bool> SlotInRange = true;
        Pool.Run(Count, [&](size_t Index, unsigned Slot) {
            ++Runs[Index];
            SlotInRange = SlotInRange && Slot < Pool.Size();
        });
        for (size_t Index = 0; Index < Count; ++Index) {
            EXPECT_EQ(Runs[Index], 1) << Index << " of " << Count;
        }
        EXPECT_TRUE(SlotInRange);
    }
}

TEST_P(WorkerPools, PassTheFailureOfAJobToTheCaller) {
    WorkerPool Pool(GetParam());
    const auto Failing = [](size_t Index, unsigned) {
        if (Index == 7) {
            throw std::runtime_error("job 7");
        }
    };
    EXPECT_THROW(Pool.Run(20, Failing), std::runtime_error);
    std::atomic<size_t> Done = 0;
    Pool.Run(20, [&](size_t, unsigned) { ++Done; });
    EXPECT_EQ(Done, 20u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WorkerPools, ::testing::Values(1u, 2u, 5u));

}  // namespace
}  // namespace quorvane::test
