// Bitrate mode: the frame's byte budget and the choice of the blocks that
// spend it.
#include <algorithm>
#include <limits>

#include "encoder/BitrateBudget.h"
#include "encoder/CompressBuffer.h"
#include "encoder/ScreenVideoEncoder.h"
#include "encoder/WorkerPool.h"

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
// The next few blocks in line are compressed together on the pool, then
// picked one by one as before; a block compressed but not reached is not
// sent, so the picks are the same whatever the number of threads.
void TScreenVideoEncoder::SelectBlocksWithinBudget(uint32_t Budget) {
    RankUnsentBlocks();
    uint32_t Spent = 0;
    size_t Picks = 0;
    while (Picks < Ranking.size() && Spent < Budget) {
        const size_t BatchEnd = NextBatchEnd(Picks, Spent, Budget);
        CompressListed(Ranking, Picks, BatchEnd);
        for (; Picks < BatchEnd && Spent < Budget; ++Picks) {
            Ranking[Picks]->Changed = true;
            Spent += static_cast<uint32_t>(Ranking[Picks]->CompressedSize) + PerBlockOverhead;
        }
        for (size_t Unsent = Picks; Unsent < BatchEnd; ++Unsent) {
            Ranking[Unsent]->CompressedSize = 0;
        }
    }
}

// One block on one thread; otherwise as many blocks as the rest of the
// budget is likely to buy at the cost of the picks so far, and at least one
// per thread.
size_t TScreenVideoEncoder::NextBatchEnd(size_t Picks, uint32_t Spent, uint32_t Budget) const {
    size_t Likely = Pool->Size();
    if (Likely > 1 && Picks > 0) {
        const uint64_t AverageCost = std::max<uint64_t>(1, Spent / Picks);
        Likely = std::max<size_t>(Likely, (uint64_t{Budget} - Spent) / AverageCost + 1);
    }
    return std::min(Ranking.size(), Picks + Likely);
}

// The blocks not yet sent, largest difference first and, among equal
// differences, lowest index first: the order in which picking the first
// largest one again and again would take them.
void TScreenVideoEncoder::RankUnsentBlocks() {
    Ranking.clear();
    for (TImageBlock& Block : Blocks) {
        if (!Block.Changed) {
            Ranking.push_back(&Block);
        }
    }
    std::stable_sort(Ranking.begin(), Ranking.end(),
                     [](const TImageBlock* Left, const TImageBlock* Right) {
                         return Left->Difference > Right->Difference;
                     });
}

}  // namespace quorvane
