#include "platform/DibPicture.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "platform/WinTypes.h"

namespace quorvane::platform {

DibPicture::DibPicture(uint16_t Bits) : BitCount(Bits) {}

DibPicture::~DibPicture() {
    sws_freeContext(Scaler);
}

bool DibPicture::Assign(const AVFrame& Frame) {
    int Width = Frame.width;
    int Height = Frame.height;
    if (Width <= 0 || Height <= 0) {
        return false;
    }
    // RGB to RGB of the same size is a plain copy whatever the flags; for
    // other pictures bilinear filtering with exact rounding is sharp enough.
    Scaler =
        sws_getCachedContext(Scaler, Width, Height, static_cast<AVPixelFormat>(Frame.format), Width,
                             Height, BitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24,
                             SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!Scaler) {
        return false;
    }
    size_t Stride = (static_cast<size_t>(Width) * BitCount / 8 + 3) & ~size_t{3};
    Bitmap.resize(sizeof(BITMAPINFOHEADER) + Stride * static_cast<size_t>(Height));
    BITMAPINFOHEADER Header{};
    Header.biSize = sizeof Header;
    Header.biWidth = Width;
    Header.biHeight = Height;
    Header.biPlanes = 1;
    Header.biBitCount = BitCount;
    Header.biCompression = BI_RGB;
    Header.biSizeImage = static_cast<uint32_t>(Stride * static_cast<size_t>(Height));
    std::memcpy(Bitmap.data(), &Header, sizeof Header);
    // Bottom-up: the picture's top row is written last.
    uint8_t* Rows[4] = {Bitmap.data() + sizeof Header + Stride * static_cast<size_t>(Height - 1)};
    int RowStrides[4] = {-static_cast<int>(Stride)};
    sws_scale(Scaler, Frame.data, Frame.linesize, 0, Height, Rows, RowStrides);
    return true;
}

}  // namespace quorvane::platform
