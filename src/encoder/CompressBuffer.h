// zlib compression of block pixels.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"

namespace quorvane {

// A deflate context kept for many streams: resetting it between blocks costs
// far less than setting up a new one, and the bytes come out the same. One
// context serves one thread at a time.
class Deflater {
public:
    Deflater();  // throws ECompressionError
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // One complete zlib stream (header, deflate data, Adler-32) of Input at
    // level 9. Throws ECompressionError("Error") when zlib fails.
    std::vector<uint8_t> CompressBuffer(const uint8_t* Input, size_t Length);

    // The same stream written to the front of Output, which grows as needed
    // and never shrinks, so a buffer kept from stream to stream stops
    // allocating once it has met the largest. Returns the stream's length.
    size_t CompressInto(const uint8_t* Input, size_t Length, std::vector<uint8_t>& Output);

private:
    z_stream Stream{};
};

// Writes the stream of the block's Pixels to the front of its CompressedData
// and its length to CompressedSize.
void CompressBlock(TImageBlock& Block, Deflater& Context);

}  // namespace quorvane
