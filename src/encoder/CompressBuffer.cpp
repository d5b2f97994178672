#include "encoder/CompressBuffer.h"

#include <algorithm>

namespace quorvane {

namespace {

constexpr int CompressionLevel = 9;
constexpr int WindowBits = 15;  // zlib wrapper, 32 KiB window
constexpr int MemoryLevel = 8;
constexpr size_t GrowthStep = 256;

void ThrowOnFailure(int Result) {
    if (Result < 0) {
        throw ECompressionError("Error");
    }
}

// Enough for any block at level 9, so the loop below rarely has to grow.
size_t InitialCapacity(size_t Length) {
    return (Length + Length / 10 + 12 + GrowthStep - 1) & ~(GrowthStep - 1);
}

// libdeflate's levels 1 to 12, measured on screen frames in 64x64 blocks
// against zlib's level 9: 7 is the last that is still several times faster
// (about 10x on one thread) while staying within about 5 % of its bytes;
// 8 and 9 are only 1.7x to 3x faster for 2 %, and only 10 and above are
// smaller, at less than the speed of zlib.
constexpr int LibdeflateLevel = 7;
// The smallest files: its highest level, 0.92x zlib's level-9 bytes on the
// same frames (11: 0.93x, 10: 0.96x) at a third of its speed.
constexpr int SmallestLevel = 12;

}  // namespace

std::vector<uint8_t> Deflater::CompressBuffer(const uint8_t* Input, size_t Length) {
    std::vector<uint8_t> Output;
    Output.resize(CompressInto(Input, Length, Output));
    return Output;
}

ZlibDeflater::ZlibDeflater() {
    ThrowOnFailure(deflateInit2(&Stream, CompressionLevel, Z_DEFLATED, WindowBits, MemoryLevel,
                                Z_DEFAULT_STRATEGY));
}

ZlibDeflater::~ZlibDeflater() {
    deflateEnd(&Stream);
}

size_t ZlibDeflater::CompressInto(const uint8_t* Input, size_t Length,
                                  std::vector<uint8_t>& Output) {
    ThrowOnFailure(deflateReset(&Stream));
    Output.resize(std::max(Output.size(), InitialCapacity(Length)));
    Stream.next_in = const_cast<Bytef*>(Input);
    Stream.avail_in = static_cast<uInt>(Length);
    Stream.next_out = Output.data();
    Stream.avail_out = static_cast<uInt>(Output.size());
    int Result;
    while ((Result = deflate(&Stream, Z_FINISH)) != Z_STREAM_END) {
        ThrowOnFailure(Result);
        size_t Produced = Stream.total_out;
        Output.resize(Output.size() + GrowthStep);
        Stream.next_out = Output.data() + Produced;
        Stream.avail_out = static_cast<uInt>(Output.size() - Produced);
    }
    return Stream.total_out;
}

LibdeflateDeflater::LibdeflateDeflater(int Level) : Compressor(libdeflate_alloc_compressor(Level)) {
    if (Compressor == nullptr) {
        throw ECompressionError("Error");
    }
}

LibdeflateDeflater::~LibdeflateDeflater() {
    libdeflate_free_compressor(Compressor);
}

size_t LibdeflateDeflater::CompressInto(const uint8_t* Input, size_t Length,
                                        std::vector<uint8_t>& Output) {
    Output.resize(std::max(Output.size(), libdeflate_zlib_compress_bound(Compressor, Length)));
    const size_t Produced =
        libdeflate_zlib_compress(Compressor, Input, Length, Output.data(), Output.size());
    if (Produced == 0) {
        throw ECompressionError("Error");  // cannot happen with the bound's room
    }
    return Produced;
}

std::unique_ptr<Deflater> MakeDeflater(DeflateEngine Engine) {
    switch (Engine) {
        case DeflateEngine::Libdeflate:
            return std::make_unique<LibdeflateDeflater>(LibdeflateLevel);
        case DeflateEngine::Smallest:
            return std::make_unique<LibdeflateDeflater>(SmallestLevel);
        case DeflateEngine::Zlib:
            break;
    }
    return std::make_unique<ZlibDeflater>();
}

void CompressBlock(TImageBlock& Block, Deflater& Context) {
    Block.CompressedSize = static_cast<int32_t>(
        Context.CompressInto(Block.Pixels.data(), Block.Pixels.size(), Block.CompressedData));
}

}  // namespace quorvane
