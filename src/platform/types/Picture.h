// A decoded picture as it passes from the video sources to the encoder and
// the previews: rows of pixels, the bottom row first, each pixel blue, green,
// red (and a fourth byte, unused, at 4 bytes a pixel). It points into the
// bitmap of whoever made it and is valid as long as that one says; its
// format travels with its rows, so no one reads it back from a header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvane::platform {

struct TPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t BytesPerPixel = 0;      // 3 or 4
    size_t Stride = 0;              // from one row to the next, at least Width x BytesPerPixel
    const uint8_t* Rows = nullptr;  // null: no picture

    explicit operator bool() const { return Rows != nullptr; }
    size_t Size() const { return Stride * static_cast<size_t>(Height); }
    // Row Y, counted from the bottom.
    const uint8_t* Row(int32_t Y) const { return Rows + Stride * static_cast<size_t>(Y); }
};

// A part of a picture, its corner X, Y counted from the picture's top left
// pixel, as ffmpeg's crop filter counts.
struct TPictureRect {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t X = 0;
    int32_t Y = 0;

    bool operator==(const TPictureRect&) const = default;
};

// What of a picture is converted, and at what size: Crop (all of the
// picture when there is none) scaled to Width x Height. A side left out (0)
// keeps the aspect of the part; both left out, the part keeps its size.
struct TPictureGeometry {
    std::optional<TPictureRect> Crop;
    int32_t Width = 0;
    int32_t Height = 0;

    bool operator==(const TPictureGeometry&) const = default;
};

}  // namespace quorvane::platform
