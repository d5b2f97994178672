// Pixel work of the block pass: copying a block out of a frame and comparing
// it with the version last sent.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// A block's place in the picture, counted from the bottom-left corner.
struct BlockArea {
    uint32_t Left = 0;
    uint32_t Bottom = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;

    size_t PixelCount() const { return size_t{Width} * Height; }
};

// Block (Row, Column) of the grid; the last column and the top row are cut
// to what is left of the frame.
BlockArea GridBlockArea(uint32_t Row, uint32_t Column, uint32_t BlockWidth, uint32_t BlockHeight,
                        uint32_t FrameWidth, uint32_t FrameHeight);

// Copies the area of a bottom-up frame (rows Stride bytes apart, pixels
// BytesPerPixel bytes) into Destination as packed blue-green-red pixels,
// bottom row first, with the ColorShift low bits of every byte cleared.
void CopyBlockPixels(const uint8_t* Frame, size_t Stride, uint32_t BytesPerPixel,
                     const BlockArea& Area, uint8_t ColorShift, uint8_t* Destination);

struct ChannelTolerances {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
};

// Counts the pixels with a channel differing by more than its tolerance;
// stops counting once the count exceeds Limit (the caller only needs to know
// that it did).
uint32_t CountPixelsBeyondTolerance(const uint8_t* Current, const uint8_t* Previous,
                                    size_t PixelCount, const ChannelTolerances& Tolerances,
                                    uint32_t Limit);

uint32_t SumOfAbsoluteDifferences(const uint8_t* Current, const uint8_t* Previous, size_t Length);

}  // namespace quorvane
