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

class DibPicture {
public:
    // BitCount is 24 or 32.
    DibPicture(uint16_t BitCount, UntaggedMatrix Untagged);
    ~DibPicture();
    DibPicture(const DibPicture&) = delete;
    DibPicture& operator=(const DibPicture&) = delete;

    // Pictures are scaled to Width x Height from then on; without it each
    // keeps its own size.
    void ScaleTo(int Width, int Height);

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

        bool operator==(const TConversion&) const = default;
    };
    struct ScalerDeleter {
        void operator()(SwsContext* Scaler) const;
    };

    bool UseScalerFor(const TConversion& Conversion);
    void ConvertRows(const AVFrame& Frame, int Width, int Height, size_t Stride);

    const uint16_t BitCount;
    const UntaggedMatrix Untagged;
    int OutputWidth = 0;  // 0: the picture's own size
    int OutputHeight = 0;
    std::unique_ptr<SwsContext, ScalerDeleter> Scaler;
    std::optional<TConversion> ScalerConversion;  // what Scaler was made for
    std::vector<uint8_t> Bitmap;
    TPicture Shown;                // over Bitmap
    std::vector<uint8_t> Grouped;  // rows long enough for whole pixel groups
};

}  // namespace quorvane::platform
