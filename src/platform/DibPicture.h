// A decoded picture turned into a packed bottom-up device-independent bitmap:
// a 40-byte BITMAPINFOHEADER, then the rows from the bottom one up, each
// padded to 4 bytes, blue-green-red (and a fourth, unused byte at 32 bits).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct AVFrame;
struct SwsContext;

namespace quorvane::platform {

class DibPicture {
public:
    // BitCount is 24 or 32.
    explicit DibPicture(uint16_t BitCount);
    ~DibPicture();
    DibPicture(const DibPicture&) = delete;
    DibPicture& operator=(const DibPicture&) = delete;

    // Replaces the bitmap with Frame's picture; false when it cannot be
    // converted (the bitmap is then unchanged).
    bool Assign(const AVFrame& Frame);
    void* Data() { return Bitmap.data(); }

private:
    const uint16_t BitCount;
    SwsContext* Scaler = nullptr;  // kept while the picture format stays
    std::vector<uint8_t> Bitmap;
};

}  // namespace quorvane::platform
