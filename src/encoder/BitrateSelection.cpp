// Bitrate mode: the frame's byte budget and the choice of the blocks that
// spend it.
#include <algorithm>
#include <limits>

#include "encoder/BitrateBudget.h"
#include "encoder/CompressBuffer.h"
#include "encoder/ScreenVideoEncoder.h"

namespace quorvane {

namespace {

// Counted against the budget for every block picked besides its stream.
constexpr uint32_t PerBlockOverhead = 15;
constexpr int32_t LargestExactRate = 4194304;  // BitRate * 1024 still fits 32 bits
constexpr int64_t MillisecondBits = 8000;

uint32_t ClampToBudget(int64_t Bytes) {
    constexpr int64_t Largest = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(std::clamp<int64_t>(Bytes, 0, Largest));
}

}  // namespace

uint32_t FrameBudget(int32_t BitRate, int32_t Timestamp, int32_t PreviousTimestamp) {
    // The elapsed time wraps like the 32-bit timestamps it comes from.
    const auto Elapsed = static_cast<int32_t>(static_cast<uint32_t>(Timestamp) -
                                              static_cast<uint32_t>(PreviousTimestamp));
    if (BitRate >= 0 && BitRate < LargestExactRate) {
        const auto BitsPerSecond = static_cast<uint32_t>(BitRate) * 1024u;
        return static_cast<uint32_t>(int64_t{BitsPerSecond} * Elapsed / MillisecondBits);
    }
    const int64_t BitsPerSecond = int64_t{BitRate} * 1024;
    int64_t Bits = 0;
    if (__builtin_mul_overflow(BitsPerSecond, int64_t{Elapsed}, &Bits)) {
        // Far beyond 32 bits either way; only the sign matters.
        return (BitsPerSecond < 0) == (Elapsed < 0) ? std::numeric_limits<uint32_t>::max() : 0;
    }
    return ClampToBudget(Bits / MillisecondBits);
}

// Sends the blocks with the largest differences until the budget is spent;
// the test comes before each pick, so the last block may pass the budget.
void TScreenVideoEncoder::SelectBlocksWithinBudget(uint32_t Budget) {
    RankUnsentBlocks();
    uint32_t Spent = 0;
    for (size_t Picks = 0; Picks < Ranking.size() && Spent < Budget; ++Picks) {
        TImageBlock& Block = Blocks[Ranking[Picks]];
        CompressBlock(Block, *BlockDeflater);
        Block.Changed = true;
        Spent += static_cast<uint32_t>(Block.CompressedSize) + PerBlockOverhead;
    }
}

// The blocks not yet sent, largest difference first and, among equal
// differences, lowest index first: the order in which picking the first
// largest one again and again would take them.
void TScreenVideoEncoder::RankUnsentBlocks() {
    Ranking.clear();
    for (uint32_t Index = 0; Index < Blocks.size(); ++Index) {
        if (!Blocks[Index].Changed) {
            Ranking.push_back(Index);
        }
    }
    std::stable_sort(Ranking.begin(), Ranking.end(), [this](uint32_t Left, uint32_t Right) {
        return Blocks[Left].Difference > Blocks[Right].Difference;
    });
}

}  // namespace quorvane
