// Deterministic screen-like test frames, laid out as a video source delivers
// them to the encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/types/Picture.h"

namespace quorvane::bench {

struct Bgr {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
};

// Bottom-up rows of Width pixels, BytesPerPixel (3 or 4) bytes each in the
// order blue, green, red (and an unused byte), each row padded to a multiple
// of 4 bytes. Coordinates given to the methods count Y from the top of the
// picture, as on a screen.
class FrameBuffer {
public:
    FrameBuffer(int Width, int Height, int BytesPerPixel);

    int Width() const { return FrameWidth; }
    int Height() const { return FrameHeight; }
    int BytesPerPixel() const { return PixelSize; }
    size_t Stride() const { return RowStride; }
    const uint8_t* Data() const { return Bytes.data(); }
    uint8_t* Data() { return Bytes.data(); }
    platform::TPicture Picture() const {
        return {FrameWidth, FrameHeight, static_cast<uint8_t>(PixelSize), RowStride, Bytes.data()};
    }

    uint8_t* PixelAt(int X, int Y) { return Bytes.data() + Offset(X, Y); }
    const uint8_t* PixelAt(int X, int Y) const { return Bytes.data() + Offset(X, Y); }
    Bgr ColourAt(int X, int Y) const;
    void SetColour(int X, int Y, Bgr Colour);

    // Both clip to the frame.
    void FillRect(int X, int Y, int Width, int Height, Bgr Colour);
    // Copies Source's area (SourceX, SourceY, Width, Height) to (X, Y).
    void Blit(const FrameBuffer& Source, int SourceX, int SourceY, int Width, int Height, int X,
              int Y);

private:
    size_t Offset(int X, int Y) const {
        return static_cast<size_t>(FrameHeight - 1 - Y) * RowStride +
               static_cast<size_t>(X) * PixelSize;
    }

    int FrameWidth;
    int FrameHeight;
    int PixelSize;
    size_t RowStride;
    std::vector<uint8_t> Bytes;
};

// A desktop with icons, text and a taskbar; an editor window whose text
// scrolls and whose caret blinks; a second window moving across the screen.
// 32-bit frames get a changing fourth byte, which a Screen Video encoder must
// ignore. Frame Index always renders the same picture.
class ScreenFrameGenerator {
public:
    ScreenFrameGenerator(int Width, int Height, int BytesPerPixel);

    void Render(int Index, FrameBuffer& Frame) const;
    FrameBuffer Render(int Index) const;

private:
    void DrawEditor(int Index, FrameBuffer& Frame) const;
    void DrawMovingWindow(int Index, FrameBuffer& Frame) const;
    void FillUnusedBytes(int Index, FrameBuffer& Frame) const;

    int Width;
    int Height;
    int BytesPerPixel;
    FrameBuffer Desktop;
    FrameBuffer EditorPage;  // the whole text; the editor shows a scrolling slice
    FrameBuffer Window;
};

}  // namespace quorvane::bench
