// The zlib streams of blocks.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "EncoderTestKit.h"
#include "encoder/CompressBuffer.h"

namespace quorvane::test {
namespace {

std::vector<uint8_t> Noise(size_t Length, uint32_t Seed) {
    std::mt19937 Generator(Seed);
    std::vector<uint8_t> Bytes(Length);
    for (uint8_t& Byte : Bytes) {
        Byte = static_cast<uint8_t>(Generator());
    }
    return Bytes;
}

std::vector<uint8_t> ScreenLike(size_t Length) {
    std::vector<uint8_t> Bytes(Length);
    for (size_t Index = 0; Index < Length; ++Index) {
        Bytes[Index] = static_cast<uint8_t>(Index % 97 < 80 ? 0xF0 : Index * 7);
    }
    return Bytes;
}

// zlib's one-call compression with level 9 uses window bits 15, memory
// level 8 and the default strategy: the stream our blocks must match.
std::vector<uint8_t> Compress2(const std::vector<uint8_t>& Input) {
    std::vector<uint8_t> Output(compressBound(static_cast<uLong>(Input.size())));
    uLongf Size = static_cast<uLongf>(Output.size());
    EXPECT_EQ(compress2(Output.data(), &Size, Input.data(), static_cast<uLong>(Input.size()), 9),
              Z_OK);
    Output.resize(Size);
    return Output;
}

std::vector<uint8_t> StreamOf(const TImageBlock& Block) {
    return {Block.CompressedData.begin(), Block.CompressedData.begin() + Block.CompressedSize};
}

// One context serves many blocks; what came before must not leak into the
// next stream.
TEST(CompressBuffer, MatchesAFreshLevelNineStreamWhenTheContextIsReused) {
    ZlibDeflater Context;
    const std::vector<std::vector<uint8_t>> Inputs = {
        ScreenLike(64 * 64 * 3), Noise(64 * 64 * 3, 1), std::vector<uint8_t>(3, 0),
        Noise(256 * 256 * 3, 2), ScreenLike(16 * 16 * 3)};
    for (const auto& Input : Inputs) {
        const std::vector<uint8_t> Stream = Context.CompressBuffer(Input.data(), Input.size());
        EXPECT_EQ(Stream, Compress2(Input)) << Input.size() << " bytes";
        EXPECT_EQ(Inflate(Stream, Input.size()), Input);
    }
}

class Engines : public ::testing::TestWithParam<DeflateEngine> {};

// Whole zlib streams (a header zlib's inflate accepts, the Adler-32 it
// checks) from one context, incompressible and empty inputs included.
TEST_P(Engines, MakeCompleteZlibStreams) {
    const std::unique_ptr<Deflater> Context = MakeDeflater(GetParam());
    const std::vector<std::vector<uint8_t>> Inputs = {
        ScreenLike(64 * 64 * 3), Noise(256 * 256 * 3, 2), std::vector<uint8_t>(3, 0),
        std::vector<uint8_t>{}, ScreenLike(16 * 16 * 3)};
    for (const auto& Input : Inputs) {
        const std::vector<uint8_t> Stream = Context->CompressBuffer(Input.data(), Input.size());
        EXPECT_EQ(Inflate(Stream, Input.size()), Input) << Input.size() << " bytes";
    }
}

// The buffer is kept from frame to frame: a smaller stream after a larger
// one must not carry the larger one's tail, nor a larger one lose its end.
TEST_P(Engines, ReuseTheBlocksBufferForEachNewStream) {
    TImageBlock Block;
    const std::unique_ptr<Deflater> Context = MakeDeflater(GetParam());
    for (size_t Length : {4000u, 300u, 9000u, 0u}) {
        Block.Pixels = Noise(Length, static_cast<uint32_t>(Length));
        CompressBlock(Block, *Context);
        EXPECT_EQ(StreamOf(Block), Context->CompressBuffer(Block.Pixels.data(), Length));
        EXPECT_EQ(Inflate(StreamOf(Block), Length), Block.Pixels) << Length << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Every, Engines,
                         ::testing::Values(DeflateEngine::Zlib, DeflateEngine::Libdeflate,
                                           DeflateEngine::Smallest),
                         [](const auto& Info) {
                             return Info.param == DeflateEngine::Zlib         ? "Zlib"
                                    : Info.param == DeflateEngine::Libdeflate ? "Libdeflate"
                                                                              : "Smallest";
                         });

// The smallest files are what that setting is for: on screen content, a
// frame cut into streams of a 64x64 block's size, at most 0.95x zlib's bytes.
TEST(CompressBuffer, SmallestSavesAtLeastFivePercentOnScreenFrames) {
    const bench::FrameBuffer Frame = bench::ScreenFrameGenerator(640, 360, 3).Render(5);
    const size_t Length = Frame.Stride() * static_cast<size_t>(Frame.Height());
    const auto TotalBytes = [&](DeflateEngine Engine) {
        const std::unique_ptr<Deflater> Context = MakeDeflater(Engine);
        size_t Total = 0;
        for (size_t Begin = 0; Begin < Length; Begin += 64 * 64 * 3) {
            const size_t Size = std::min<size_t>(64 * 64 * 3, Length - Begin);
            Total += Context->CompressBuffer(Frame.Data() + Begin, Size).size();
        }
        return static_cast<double>(Total);
    };
    const double Zlib = TotalBytes(DeflateEngine::Zlib);
    EXPECT_LE(TotalBytes(DeflateEngine::Smallest) / Zlib, 0.95) << Zlib << " bytes with zlib";
}

}  // namespace
}  // namespace quorvane::test
