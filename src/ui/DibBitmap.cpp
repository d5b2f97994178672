#include "ui/DibBitmap.h"

namespace quorvane {

namespace {

// The 32-bit image wanted: the layout of a 32-bit DIB row, with alpha.
bool IsPreviewBitmap(const QImage& Bitmap) {
    return Bitmap.format() == QImage::Format_RGB32 || Bitmap.format() == QImage::Format_ARGB32;
}

void CopyRow(const uint8_t* Source, int BytesPerPixel, int Width, QRgb* Target) {
    for (int X = 0; X < Width; ++X, Source += BytesPerPixel) {
        Target[X] = qRgb(Source[2], Source[1], Source[0]);
    }
}

}  // namespace

bool CopyPictureToBitmap(const platform::TPicture& Picture, QImage& Bitmap) {
    const int BytesPerPixel = Picture.BytesPerPixel;
    if (!Picture || (BytesPerPixel != 3 && BytesPerPixel != 4) || !IsPreviewBitmap(Bitmap) ||
        Bitmap.width() != Picture.Width || Bitmap.height() != Picture.Height) {
        return false;
    }
    for (int Y = 0; Y < Picture.Height; ++Y) {
        CopyRow(Picture.Row(Picture.Height - 1 - Y), BytesPerPixel, Picture.Width,
                reinterpret_cast<QRgb*>(Bitmap.scanLine(Y)));
    }
    return true;
}

}  // namespace quorvane
