// Compression of block pixels into zlib streams.
#pragma once

#include <libdeflate.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"

namespace quorvane {

// A deflate context kept for many streams: resetting it between blocks costs
// far less than setting up a new one, and the bytes come out the same. One
// context serves one thread at a time.
class Deflater {
public:
    virtual ~Deflater() = default;

    // One complete zlib stream (header, deflate data, Adler-32) of Input.
    // Throws ECompressionError("Error") when the engine fails.
    std::vector<uint8_t> CompressBuffer(const uint8_t* Input, size_t Length);

    // The same stream written to the front of Output, which grows as needed
    // and never shrinks, so a buffer kept from stream to stream stops
    // allocating once it has met the largest. Returns the stream's length.
    virtual size_t CompressInto(const uint8_t* Input, size_t Length,
                                std::vector<uint8_t>& Output) = 0;
};

// zlib at level 9, window bits 15, memory level 8, default strategy.
class ZlibDeflater final : public Deflater {
public:
    ZlibDeflater();  // throws ECompressionError
    ~ZlibDeflater() override;
    ZlibDeflater(const ZlibDeflater&) = delete;
    ZlibDeflater& operator=(const ZlibDeflater&) = delete;

    size_t CompressInto(const uint8_t* Input, size_t Length, std::vector<uint8_t>& Output) override;

private:
    z_stream Stream{};
};

// libdeflate, which compresses a whole buffer in one call, at a level of 1
// to 12.
class LibdeflateDeflater final : public Deflater {
public:
    explicit LibdeflateDeflater(int Level);  // throws ECompressionError
    ~LibdeflateDeflater() override;
    LibdeflateDeflater(const LibdeflateDeflater&) = delete;
    LibdeflateDeflater& operator=(const LibdeflateDeflater&) = delete;

    size_t CompressInto(const uint8_t* Input, size_t Length, std::vector<uint8_t>& Output) override;

private:
    libdeflate_compressor* Compressor = nullptr;
};

std::unique_ptr<Deflater> MakeDeflater(DeflateEngine Engine);

// Writes the stream of the block's Pixels to the front of its CompressedData
// and its length to CompressedSize.
void CompressBlock(TImageBlock& Block, Deflater& Context);

}  // namespace quorvane
