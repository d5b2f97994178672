// Bitrate mode: the frame budget and the choice of blocks that spend it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "EncoderTestKit.h"
#include "encoder/BitrateBudget.h"

namespace quorvane::test {
namespace {

struct BudgetCase {
    int32_t BitRate, Timestamp, PreviousTimestamp;
    uint32_t Budget;
};

class FrameBudgets : public ::testing::TestWithParam<BudgetCase> {};

std::string BudgetName(const ::testing::TestParamInfo<BudgetCase>& Info) {
    std::string Name = "Rate" + std::to_string(Info.param.BitRate) + "Over" +
                       std::to_string(int64_t{Info.param.Timestamp} - Info.param.PreviousTimestamp);
    for (char& Character : Name) {
        Character = Character == '-' ? 'm' : Character;
    }
    return Name;
}

TEST_P(FrameBudgets, AreKilobitsPerSecondOverTheElapsedTime) {
    const BudgetCase& Case = GetParam();
    EXPECT_EQ(FrameBudget(Case.BitRate, Case.Timestamp, Case.PreviousTimestamp), Case.Budget);
}

INSTANTIATE_TEST_SUITE_P(Worked, FrameBudgets,
                         ::testing::Values(BudgetCase{256, 40, 0, 1310},
                                           BudgetCase{256, 1067, 1000, 2195},
                                           BudgetCase{100, 80, 40, 512},
                                           BudgetCase{64, 100, 0, 819}, BudgetCase{256, 40, 40, 0},
                                           // A negative elapsed time wraps to a very large budget.
                                           BudgetCase{256, 0, 40, 0xFFFFFFFFu - 1310 + 1},
                                           // The largest rate whose bits per second fit 32 bits.
                                           BudgetCase{4194303, 40, 0, 21474831}),
                         BudgetName);

INSTANTIATE_TEST_SUITE_P(
    BeyondThirtyTwoBits, FrameBudgets,
    ::testing::Values(BudgetCase{4194304, 40, 0, 21474836}, BudgetCase{100000000, 40, 0, 512000000},
                      BudgetCase{2147483647, 40, 0, 0xFFFFFFFFu},
                      BudgetCase{2147483647, 2147483647, 0, 0xFFFFFFFFu}, BudgetCase{-1, 40, 0, 0},
                      BudgetCase{-5000000, 0, 40, 25600000},
                      // The elapsed time wraps like the 32-bit timestamps: -1 ms here.
                      BudgetCase{-2147483647 - 1, 2147483647, -2147483647 - 1, 274877906}),
    BudgetName);

// 128x64 frames in 32x32 blocks: 8 blocks, bottom row 0-3, top row 4-7.
// Each block has a patch of noise, so it compresses to a few hundred bytes.
class BitrateFrames : public ::testing::Test {
protected:
    BitrateFrames() {
        std::mt19937 Noise(11);
        for (int Y = 0; Y < 64; ++Y) {
            for (int X = 0; X < 128; ++X) {
                const bool Patch = X % 32 < 12 && Y % 32 < 12;
                const auto Level = static_cast<uint8_t>(Patch ? Noise() : X + Y);
                Frame.SetColour(X, Y, {Level, Level, static_cast<uint8_t>(Level / 2)});
            }
        }
        Parameters.BitRate = 64;
        Session = std::make_unique<EncoderSession>(Parameters, 128, 64, 3);
        Session->Encode(Frame, 0, true);
    }

    // Blocks sent by the last video tag, and their stream sizes.
    static std::vector<size_t> SentIn(const FlvTag& Tag, std::vector<size_t>* Sizes = nullptr) {
        const ScreenVideoPacket Packet = ParseScreenVideoPacket(Tag.Payload);
        std::vector<size_t> Sent;
        for (size_t Index = 0; Index < Packet.Blocks.size(); ++Index) {
            if (!Packet.Blocks[Index].empty()) {
                Sent.push_back(Index);
                if (Sizes != nullptr) {
                    Sizes->push_back(Packet.Blocks[Index].size());
                }
            }
        }
        return Sent;
    }

    // Moves the green of Pixels pixels of block (Row from the bottom, Column)
    // by 50, so the block's difference grows by exactly 50 per pixel.
    void Disturb(int Row, int Column, int Pixels) {
        for (int Pixel = 0; Pixel < Pixels; ++Pixel) {
            uint8_t& Green = Frame.PixelAt(Column * 32 + Pixel % 32, 63 - Row * 32 - Pixel / 32)[1];
            Green = static_cast<uint8_t>(Green < 128 ? Green + 50 : Green - 50);
        }
    }

    EncoderParameters Parameters = ParametersFor(BitrateMode, 32, 32);
    bench::FrameBuffer Frame{128, 64, 3};
    std::unique_ptr<EncoderSession> Session;
};

TEST_F(BitrateFrames, SendNothingWithoutElapsedTime) {
    Disturb(0, 0, 500);
    EXPECT_EQ(Session->Encode(Frame, 0, false), 0);
    EXPECT_EQ(Session->Finish().Tags.size(), 1u);
}

TEST_F(BitrateFrames, SendEveryBlockWhenTimeRunsBackwards) {
    EXPECT_EQ(Session->Encoder().EncodeFrame(Frame.Picture(), 40, 400, false), 100);
    const FlvFile File = Session->Finish();
    ASSERT_EQ(File.Tags.size(), 2u);
    EXPECT_EQ(SentIn(File.Tags[1]).size(), 8u);
}

TEST_F(BitrateFrames, SendTheMostChangedBlockFirst) {
    Disturb(0, 1, 10);
    Disturb(1, 2, 300);
    Session->Encode(Frame, 1, false);  // a budget of 8 bytes: one block
    const FlvFile File = Session->Finish();
    EXPECT_EQ(SentIn(File.Tags.at(1)), std::vector<size_t>{6});
}

TEST_F(BitrateFrames, BreakTiesByTheLowerIndex) {
    Disturb(1, 3, 40);
    Disturb(0, 2, 40);
    Session->Encode(Frame, 1, false);
    const FlvFile File = Session->Finish();
    EXPECT_EQ(SentIn(File.Tags.at(1)), std::vector<size_t>{2});
}

// With nothing changed the budget still buys blocks, lowest index first; the
// block that passes the budget is still sent.
TEST_F(BitrateFrames, SpendTheBudgetOnUnchangedBlocksInOrder) {
    Session->Encode(Frame, 100, false);  // 64 kbit/s over 100 ms: 819 bytes
    const FlvFile File = Session->Finish();
    std::vector<size_t> Sizes;
    const std::vector<size_t> Sent = SentIn(File.Tags.at(1), &Sizes);
    ASSERT_FALSE(Sent.empty());
    uint32_t SpentBeforeLast = 0;
    for (size_t Pick = 0; Pick < Sent.size(); ++Pick) {
        EXPECT_EQ(Sent[Pick], Pick);
        if (Pick + 1 < Sent.size()) {
            SpentBeforeLast += static_cast<uint32_t>(Sizes[Pick]) + 15;
        }
    }
    EXPECT_LT(SpentBeforeLast, 819u);
    EXPECT_GE(SpentBeforeLast + Sizes.back() + 15, 819u);
}

TEST_F(BitrateFrames, SendEveryBlockWhenTheBudgetAllows) {
    Disturb(0, 0, 5);
    EXPECT_EQ(Session->Encode(Frame, 100000, false), 100);
    const FlvFile File = Session->Finish();
    EXPECT_EQ(SentIn(File.Tags.at(1)).size(), 8u);
}

TEST_F(BitrateFrames, SendEveryBlockOfAKeyFrameWithoutBudget) {
    EXPECT_EQ(Session->Encode(Frame, 0, true), 100);
    EXPECT_EQ(SentIn(Session->Finish().Tags.at(1)).size(), 8u);
}

// A budget set around the exact cost of the first picks. Picks is how many
// picks the budget's base pays for, Slack what is added to it; Sent is how
// many blocks go out.
struct TightBudgetCase {
    size_t Picks;
    int32_t Slack;
    size_t Sent;
};

// 64x32 frames in 16x16 blocks: 8 blocks, bottom row 0-3, top row 4-7, each
// with a noise patch of its own size, so every stream has a size of its own.
// The inter frame disturbs blocks 6, 1 and 3, in falling order of
// difference; the others follow unchanged, lowest index first.
class TightBudget : public ::testing::TestWithParam<TightBudgetCase> {
protected:
    static constexpr int Width = 64;
    static constexpr int Height = 32;
    static constexpr int Side = 16;
    static constexpr uint32_t PerBlockCost = 15;

    TightBudget() {
        std::mt19937 Noise(5);
        for (int Y = 0; Y < Height; ++Y) {
            for (int X = 0; X < Width; ++X) {
                const int Block = (1 - Y / Side) * (Width / Side) + X / Side;
                const bool Patch = X % Side < 2 + Block && Y % Side < 3 + Block;
                const auto Level = static_cast<uint8_t>(Patch ? Noise() : X * 3);
                Key.SetColour(X, Y, {Level, static_cast<uint8_t>(Level / 3), 40});
            }
        }
        Changed = Key;
        Disturb(6, 120);
        Disturb(1, 60);
        Disturb(3, 20);
    }

    // The streams of every block of the inter frame, from a run whose
    // budget buys them all.
    std::vector<size_t> StreamSizes() {
        EncoderSession Session(Parameters(), Width, Height, 3);
        Session.Encode(Key, 0, true);
        Session.Encode(Changed, 1000000, false);
        const ScreenVideoPacket Packet =
            ParseScreenVideoPacket(Session.Finish().Tags.at(1).Payload);
        std::vector<size_t> Sizes;
        for (const auto& Stream : Packet.Blocks) {
            Sizes.push_back(Stream.size());
        }
        return Sizes;
    }

    // Blocks sent by an inter frame given exactly Budget bytes.
    std::vector<size_t> SentWithin(uint32_t Budget) {
        // At 1 kbit/s a millisecond is worth 0.128 bytes: the first time that
        // reaches Budget gives exactly Budget.
        const int32_t Elapsed = static_cast<int32_t>((uint64_t{Budget} * 1000 + 127) / 128);
        EXPECT_EQ(FrameBudget(1, Elapsed, 0), Budget);
        EncoderSession Session(Parameters(), Width, Height, 3);
        Session.Encode(Key, 0, true);
        Session.Encode(Changed, Elapsed, false);
        const FlvFile File = Session.Finish();
        if (File.Tags.size() < 2) {
            return {};
        }
        const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags[1].Payload);
        std::vector<size_t> Sent;
        for (size_t Index = 0; Index < Packet.Blocks.size(); ++Index) {
            if (!Packet.Blocks[Index].empty()) {
                Sent.push_back(Index);
            }
        }
        return Sent;
    }

    static EncoderParameters Parameters() {
        EncoderParameters Result = ParametersFor(BitrateMode, Side, Side);
        Result.BitRate = 1;
        return Result;
    }

    // Moves the red of the first Pixels pixels of the block by 100.
    void Disturb(int Block, int Pixels) {
        const int Left = Block % (Width / Side) * Side;
        const int Top = Height - Side - Block / (Width / Side) * Side;
        for (int Pixel = 0; Pixel < Pixels; ++Pixel) {
            uint8_t& Red = Changed.PixelAt(Left + Pixel % Side, Top + Side - 1 - Pixel / Side)[2];
            Red = static_cast<uint8_t>(Red + 100);
        }
    }

    bench::FrameBuffer Key{Width, Height, 3};
    bench::FrameBuffer Changed{Width, Height, 3};
};

TEST_P(TightBudget, IsTestedBeforeEachPickWithFifteenBytesPerBlock) {
    const TightBudgetCase& Case = GetParam();
    const std::vector<size_t> PickOrder = {6, 1, 3, 0, 2, 4, 5, 7};
    const std::vector<size_t> Sizes = StreamSizes();
    ASSERT_EQ(Sizes.size(), PickOrder.size());
    uint32_t Cost = 0;
    for (size_t Pick = 0; Pick < Case.Picks; ++Pick) {
        Cost += static_cast<uint32_t>(Sizes[PickOrder[Pick]]) + PerBlockCost;
    }
    std::vector<size_t> Expected(PickOrder.begin(), PickOrder.begin() + Case.Sent);
    std::sort(Expected.begin(), Expected.end());
    EXPECT_EQ(SentWithin(Cost + Case.Slack), Expected);
}

INSTANTIATE_TEST_SUITE_P(AroundTheCostOfThePicks, TightBudget,
                         ::testing::Values(TightBudgetCase{0, 0, 0}, TightBudgetCase{0, 1, 1},
                                           TightBudgetCase{1, -1, 1}, TightBudgetCase{1, 0, 1},
                                           TightBudgetCase{1, 1, 2}, TightBudgetCase{3, 0, 3},
                                           TightBudgetCase{3, 1, 4}, TightBudgetCase{5, -1, 5},
                                           TightBudgetCase{5, 0, 5}, TightBudgetCase{7, 1, 8}),
                         [](const ::testing::TestParamInfo<TightBudgetCase>& Info) {
                             return "Picks" + std::to_string(Info.param.Picks) +
                                    (Info.param.Slack < 0   ? "Less"
                                     : Info.param.Slack > 0 ? "More"
                                                            : "Exactly");
                         });

// 32-bit pixels: a change only in the unused byte adds nothing to a block's
// difference, so it does not outrank a lower block.
TEST(BitrateFourthByte, AddsNothingToTheDifference) {
    EncoderParameters Parameters = ParametersFor(BitrateMode, 16, 16);
    Parameters.BitRate = 64;  // 8 bytes in 1 ms: one block
    EncoderSession Session(Parameters, 32, 16, 4);
    bench::FrameBuffer Frame = SolidFrame(32, 16, 4, {5, 6, 7});
    Session.Encode(Frame, 0, true);
    for (int X = 16; X < 32; ++X) {
        Frame.PixelAt(X, 8)[3] = 0x99;
    }
    Session.Encode(Frame, 1, false);
    const FlvFile File = Session.Finish();
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags.at(1).Payload);
    EXPECT_FALSE(Packet.Blocks[0].empty());
    EXPECT_TRUE(Packet.Blocks[1].empty());
}

}  // namespace
}  // namespace quorvane::test
