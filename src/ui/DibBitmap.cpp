#include "ui/DibBitmap.h"

#include <cstdlib>
#include <cstring>

#include "platform/WinTypes.h"

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

bool CopyDibToBitmap(const uint8_t* Dib, QImage& Bitmap) {
    if (!Dib) {
        return false;
    }
    platform::BITMAPINFOHEADER Header;
    std::memcpy(&Header, Dib, sizeof Header);
    const int Width = Header.biWidth;
    const int Height = std::abs(Header.biHeight);
    const int BytesPerPixel = Header.biBitCount / 8;
    if (Header.biCompression != platform::BI_RGB || (BytesPerPixel != 3 && BytesPerPixel != 4) ||
        !IsPreviewBitmap(Bitmap) || Bitmap.width() != Width || Bitmap.height() != Height) {
        return false;
    }
    const size_t Stride = (static_cast<size_t>(Width) * BytesPerPixel + 3) & ~size_t(3);
    const uint8_t* Rows = Dib + sizeof Header;
    const bool BottomUp = Header.biHeight > 0;
    for (int Y = 0; Y < Height; ++Y) {
        const int SourceRow = BottomUp ? Height - 1 - Y : Y;
        CopyRow(Rows + SourceRow * Stride, BytesPerPixel, Width,
                reinterpret_cast<QRgb*>(Bitmap.scanLine(Y)));
    }
    return true;
}

}  // namespace quorvane
