// The preview's picture: a frame of the job copied into the window's 32-bit
// bitmap.
#pragma once

#include <QImage>

#include "platform/types/Picture.h"

namespace quorvane {

// Copies Picture (bottom-up rows of 3 or 4 bytes a pixel, blue, green, red)
// into Bitmap, top row first, opaque. Returns false, leaving Bitmap as it
// was, when Bitmap is not a 32-bit image of the picture's size or the
// picture has another pixel format.
bool CopyPictureToBitmap(const platform::TPicture& Picture, QImage& Bitmap);

}  // namespace quorvane
