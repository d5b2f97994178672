// The preview's picture: a frame of the job, a packed device-independent
// bitmap, copied into the window's 32-bit bitmap.
#pragma once

#include <QImage>
#include <cstdint>

namespace quorvane {

// Copies Dib (a 40-byte BITMAPINFOHEADER, then rows of 24 or 32 bits per
// pixel in blue, green, red order, each padded to 4 bytes, the bottom row
// first unless the height is negative) into Bitmap, opaque. Returns false,
// leaving Bitmap as it was, when Bitmap is not a 32-bit image of the
// frame's size or the frame has another pixel format.
bool CopyDibToBitmap(const uint8_t* Dib, QImage& Bitmap);

}  // namespace quorvane
