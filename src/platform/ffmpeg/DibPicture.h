// A decoded picture turned into the rows of a bottom-up device-independent
// bitmap: the rows from the bottom one up, each padded to 4 bytes,
// blue-green-red (and a fourth, unused byte at 32 bits).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/pixfmt.h>
}

#include "platform/types/Picture.h"

struct AVFrame;
struct SwsContext;

namespace quorvane::platform {

// The YUV to RGB matrix (an SWS_CS_ value) and range of a decoded picture.
struct ColourMatrix {
    int Coefficients = 0;
    bool FullRange = false;

    bool operator==(const ColourMatrix&) const = default;
};

// The matrix a codec's pictures that state none were made with: BT.601
// (JPEG by definition, and the codecs of standard definition), or, for the
// codecs players take as HD ones, BT.709 from 720 lines up.
enum class UntaggedMatrix : uint8_t { Bt601, Bt709WhenHd };
UntaggedMatrix UntaggedMatrixOf(AVCodecID Codec);

// What the decoder reports, else what Untagged says.
ColourMatrix SourceColourMatrix(const AVFrame& Frame, UntaggedMatrix Untagged);

// How a picture whose size changes is scaled: to show it at its display
// size (plain bicubic, the conversion of its colours), or to the crop or
// size the user asked for (bicubic with the chroma interpolated at the full
// size, which keeps coloured edges sharp).
enum class TScaling : uint8_t { Display, Asked };

class DibPicture {
public:
    // BitCount is 24 or 32.
    DibPicture(uint16_t BitCount, UntaggedMatrix Untagged);
    ~DibPicture();
    DibPicture(const DibPicture&) = delete;
    DibPicture& operator=(const DibPicture&) = delete;

    // From then on, the part of each picture converted and the size it is
    // scaled to, in the pixels of the frames given (a side of 0 is the
    // part's own), and how. By default, the whole picture at its own size.
    void SetGeometry(const TPictureGeometry& Geometry, TScaling Scaling = TScaling::Display);

    // Replaces the bitmap with Frame's picture; false when it cannot be
    // converted (the bitmap is then unchanged).
    bool Assign(const AVFrame& Frame);
    // The bitmap, valid until the next Assign; empty before the first.
    const TPicture& Picture() const { return Shown; }

private:
    // Everything a libswscale context is made for. libswscale rewrites some
    // of its own record of these (full-range formats, the chroma flags of
    // 4:4:4 and odd widths), so its cache never matches for such pictures:
    // the context is kept by this record instead.
    struct TConversion {
        int SourceWidth = 0;
        int SourceHeight = 0;
        AVPixelFormat SourceFormat = AV_PIX_FMT_NONE;
        int Width = 0;
        int Height = 0;
        std::optional<ColourMatrix> Matrix;  // none for RGB and palette pictures
        int Flags = 0;

        bool operator==(const TConversion&) const = default;
    };
    struct ScalerDeleter {
        void operator()(SwsContext* Scaler) const;
    };

    bool UseScalerFor(const TConversion& Conversion);
    bool AssignPart(const AVFrame& Frame, const TPictureRect& Part);
    bool AssignPartOfWhole(const AVFrame& Frame, const TPictureRect& Part);
    void ConvertRows(const uint8_t* const Planes[4], const int Strides[4], int SourceHeight,
                     int Width, int Height, size_t Stride);

    const uint16_t BitCount;
    const UntaggedMatrix Untagged;
    TPictureGeometry Geometry;
    TScaling Scaling = TScaling::Display;
    // The whole picture in our rows, for formats whose part can't be pointed
    // at (pixels sharing bytes, chroma shared by neighbours in one plane).
    std::unique_ptr<DibPicture> Whole;
    std::unique_ptr<SwsContext, ScalerDeleter> Scaler;
    std::optional<TConversion> ScalerConversion;  // what Scaler was made for
    std::vector<uint8_t> Bitmap;
    TPicture Shown;                // over Bitmap
    std::vector<uint8_t> Grouped;  // rows long enough for whole pixel groups
};

}  // namespace quorvane::platform
