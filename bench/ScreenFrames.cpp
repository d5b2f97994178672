#include "bench/ScreenFrames.h"

#include <algorithm>
#include <cstring>

namespace quorvane::bench {

namespace {

constexpr Bgr Black{0, 0, 0};
constexpr Bgr White{255, 255, 255};
constexpr Bgr PanelGrey{200, 200, 200};
constexpr Bgr TitleBlue{140, 60, 10};
constexpr Bgr InkBlue{120, 40, 30};

constexpr int GlyphWidth = 5;
constexpr int GlyphHeight = 7;
constexpr int CellWidth = GlyphWidth + 1;
constexpr int LineHeight = GlyphHeight + 4;

// xorshift32: small, fast and the same everywhere.
class Random {
public:
    explicit Random(uint32_t Seed) : State(Seed ? Seed : 1) {}
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
    int Below(int Limit) { return static_cast<int>(Next() % static_cast<uint32_t>(Limit)); }

private:
    uint32_t State;
};

// Distance travelled back and forth along a track of Length positions.
int Bounce(int Travelled, int Length) {
    if (Length <= 0) {
        return 0;
    }
    const int Phase = Travelled % (2 * Length);
    return Phase < Length ? Phase : 2 * Length - Phase;
}

// A made-up glyph: a stable pattern of about 40 % ink per character code.
void DrawGlyph(FrameBuffer& Frame, int X, int Y, uint32_t Code, Bgr Ink) {
    Random Bits(Code * 2654435761u + 12345u);
    for (int Row = 0; Row < GlyphHeight; ++Row) {
        for (int Column = 0; Column < GlyphWidth; ++Column) {
            if (Bits.Below(5) < 2) {
                Frame.SetColour(X + Column, Y + Row, Ink);
            }
        }
    }
}

// Lines of words of random made-up glyphs filling the area.
void DrawText(FrameBuffer& Frame, int X, int Y, int Width, int Height, Random& Words, Bgr Ink) {
    for (int LineY = Y; LineY + GlyphHeight <= Y + Height; LineY += LineHeight) {
        int LineEnd = X + Width - Words.Below(std::max(1, Width / 3));
        for (int CursorX = X; CursorX + CellWidth <= LineEnd;) {
            const int Letters = 2 + Words.Below(8);
            for (int Letter = 0; Letter < Letters && CursorX + CellWidth <= LineEnd; ++Letter) {
                DrawGlyph(Frame, CursorX, LineY, 'a' + Words.Below(26), Ink);
                CursorX += CellWidth;
            }
            CursorX += CellWidth;
        }
    }
}

void DrawFrameTitle(FrameBuffer& Frame, int Width, int TitleHeight, Random& Words) {
    Frame.FillRect(0, 0, Width, TitleHeight, TitleBlue);
    DrawText(Frame, 6, (TitleHeight - GlyphHeight) / 2, Width / 2, GlyphHeight, Words, White);
}

FrameBuffer RenderDesktop(int Width, int Height) {
    FrameBuffer Desktop(Width, Height, 3);
    for (int Y = 0; Y < Height; ++Y) {
        const auto Shade = static_cast<uint8_t>(90 + 80 * Y / Height);
        Desktop.FillRect(0, Y, Width, 1, Bgr{Shade, static_cast<uint8_t>(Shade / 2), 30});
    }
    Random Icons(7);
    const int IconSize = std::max(8, Height / 22);
    const int TaskbarHeight = std::max(10, Height / 24);
    for (int Y = 12; Y + IconSize + LineHeight < Height - TaskbarHeight; Y += 2 * IconSize + 8) {
        const Bgr Colour{static_cast<uint8_t>(Icons.Next()), static_cast<uint8_t>(Icons.Next()),
                         static_cast<uint8_t>(Icons.Next())};
        Desktop.FillRect(16, Y, IconSize, IconSize, Colour);
        Desktop.FillRect(16 + IconSize / 4, Y + IconSize / 4, IconSize / 2, IconSize / 2, White);
        DrawText(Desktop, 8, Y + IconSize + 3, IconSize + 24, GlyphHeight, Icons, White);
    }
    Desktop.FillRect(0, Height - TaskbarHeight, Width, TaskbarHeight, PanelGrey);
    for (int X = 4; X + 90 < Width - 80; X += 100) {
        Desktop.FillRect(X, Height - TaskbarHeight + 2, 90, TaskbarHeight - 4, White);
        DrawText(Desktop, X + 4, Height - TaskbarHeight + (TaskbarHeight - GlyphHeight) / 2, 80,
                 GlyphHeight, Icons, Black);
    }
    return Desktop;
}

FrameBuffer RenderPage(int Width, int Height) {
    FrameBuffer Page(Width, Height, 3);
    Page.FillRect(0, 0, Width, Height, White);
    Random Words(99);
    DrawText(Page, 4, 2, Width - 8, Height - 4, Words, Black);
    return Page;
}

FrameBuffer RenderWindow(int Width, int Height) {
    FrameBuffer Window(Width, Height, 3);
    Random Words(2024);
    const int TitleHeight = std::min(18, Height / 4);
    Window.FillRect(0, 0, Width, Height, PanelGrey);
    DrawFrameTitle(Window, Width, TitleHeight, Words);
    DrawText(Window, 8, TitleHeight + 6, Width - 16, (Height - TitleHeight) / 2, Words, InkBlue);
    // A bar chart below the text.
    const int ChartTop = TitleHeight + (Height - TitleHeight) / 2 + 8;
    const int ChartHeight = Height - ChartTop - 8;
    for (int X = 12; X + 10 < Width - 8 && ChartHeight > 0; X += 16) {
        const int Bar = 1 + Words.Below(ChartHeight);
        Window.FillRect(X, ChartTop + ChartHeight - Bar, 10, Bar,
                        Bgr{static_cast<uint8_t>(X * 3), 150, static_cast<uint8_t>(255 - X)});
    }
    return Window;
}

}  // namespace

FrameBuffer::FrameBuffer(int Width, int Height, int BytesPerPixel)
    : FrameWidth(Width),
      FrameHeight(Height),
      PixelSize(BytesPerPixel),
      RowStride((static_cast<size_t>(Width) * BytesPerPixel + 3) & ~size_t{3}),
      Bytes(RowStride * static_cast<size_t>(Height)) {}

Bgr FrameBuffer::ColourAt(int X, int Y) const {
    const uint8_t* Pixel = PixelAt(X, Y);
    return Bgr{Pixel[0], Pixel[1], Pixel[2]};
}

void FrameBuffer::SetColour(int X, int Y, Bgr Colour) {
    if (X < 0 || Y < 0 || X >= FrameWidth || Y >= FrameHeight) {
        return;
    }
    uint8_t* Pixel = PixelAt(X, Y);
    Pixel[0] = Colour.Blue;
    Pixel[1] = Colour.Green;
    Pixel[2] = Colour.Red;
}

void FrameBuffer::FillRect(int X, int Y, int Width, int Height, Bgr Colour) {
    const int Left = std::max(X, 0);
    const int Right = std::min(X + Width, FrameWidth);
    for (int Row = std::max(Y, 0); Row < std::min(Y + Height, FrameHeight); ++Row) {
        for (int Column = Left; Column < Right; ++Column) {
            SetColour(Column, Row, Colour);
        }
    }
}

void FrameBuffer::Blit(const FrameBuffer& Source, int SourceX, int SourceY, int Width, int Height,
                       int X, int Y) {
    // Clip the destination; the source area is assumed to lie inside Source.
    const int SkipLeft = std::max(0, -X);
    const int SkipTop = std::max(0, -Y);
    const int Columns = std::min(Width, FrameWidth - X) - SkipLeft;
    const int Rows = std::min(Height, FrameHeight - Y) - SkipTop;
    if (Columns <= 0) {
        return;
    }
    for (int Row = 0; Row < Rows; ++Row) {
        const uint8_t* From = Source.PixelAt(SourceX + SkipLeft, SourceY + SkipTop + Row);
        uint8_t* To = PixelAt(X + SkipLeft, Y + SkipTop + Row);
        if (Source.PixelSize == PixelSize) {
            std::memcpy(To, From, static_cast<size_t>(Columns) * PixelSize);
            continue;
        }
        for (int Column = 0; Column < Columns; ++Column) {
            std::memcpy(To + Column * PixelSize, From + Column * Source.PixelSize, 3);
        }
    }
}

ScreenFrameGenerator::ScreenFrameGenerator(int FrameWidth, int FrameHeight, int PixelSize)
    : Width(FrameWidth),
      Height(FrameHeight),
      BytesPerPixel(PixelSize),
      Desktop(RenderDesktop(FrameWidth, FrameHeight)),
      EditorPage(RenderPage(FrameWidth / 2 - FrameWidth / 20, FrameHeight * 3)),
      Window(RenderWindow(std::max(1, FrameWidth / 3), std::max(1, FrameHeight / 3))) {}

FrameBuffer ScreenFrameGenerator::Render(int Index) const {
    FrameBuffer Frame(Width, Height, BytesPerPixel);
    Render(Index, Frame);
    return Frame;
}

void ScreenFrameGenerator::Render(int Index, FrameBuffer& Frame) const {
    Frame.Blit(Desktop, 0, 0, Width, Height, 0, 0);
    DrawEditor(Index, Frame);
    DrawMovingWindow(Index, Frame);
    FillUnusedBytes(Index, Frame);
}

// The editor's text scrolls by a few pixels per frame; its caret blinks.
void ScreenFrameGenerator::DrawEditor(int Index, FrameBuffer& Frame) const {
    const int Left = Width / 2;
    const int Top = Height / 10;
    const int TitleHeight = std::min(18, Height / 20 + 1);
    const int ClientHeight = Height * 6 / 10;
    Frame.FillRect(Left, Top, EditorPage.Width(), TitleHeight, TitleBlue);
    const int Scrolled = Bounce(Index * 3, EditorPage.Height() - ClientHeight);
    Frame.Blit(EditorPage, 0, Scrolled, EditorPage.Width(), ClientHeight, Left, Top + TitleHeight);
    if (Index / 8 % 2 == 0) {
        Frame.FillRect(Left + EditorPage.Width() / 3, Top + TitleHeight + ClientHeight / 2, 2,
                       GlyphHeight + 2, Black);
    }
}

void ScreenFrameGenerator::DrawMovingWindow(int Index, FrameBuffer& Frame) const {
    const int X = Bounce(Index * 9, Width - Window.Width());
    const int Y = Bounce(Index * 5, Height - Window.Height());
    Frame.Blit(Window, 0, 0, Window.Width(), Window.Height(), X, Y);
}

void ScreenFrameGenerator::FillUnusedBytes(int Index, FrameBuffer& Frame) const {
    if (BytesPerPixel != 4) {
        return;
    }
    for (int Y = 0; Y < Height; ++Y) {
        for (int X = 0; X < Width; ++X) {
            Frame.PixelAt(X, Y)[3] = static_cast<uint8_t>(X * 7 + Y + Index * 13);
        }
    }
}

}  // namespace quorvane::bench
