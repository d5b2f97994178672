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

}  // namespace

Deflater::Deflater() {
    ThrowOnFailure(deflateInit2(&Stream, CompressionLevel, Z_DEFLATED, WindowBits, MemoryLevel,
                                Z_DEFAULT_STRATEGY));
}

Deflater::~Deflater() {
    deflateEnd(&Stream);
}

std::vector<uint8_t> Deflater::CompressBuffer(const uint8_t* Input, size_t Length) {
    std::vector<uint8_t> Output;
    Output.resize(CompressInto(Input, Length, Output));
    return Output;
}

size_t Deflater::CompressInto(const uint8_t* Input, size_t Length, std::vector<uint8_t>& Output) {
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

void CompressBlock(TImageBlock& Block, Deflater& Context) {
    Block.CompressedSize = static_cast<int32_t>(
        Context.CompressInto(Block.Pixels.data(), Block.Pixels.size(), Block.CompressedData));
}

}  // namespace quorvane
