#include "job/PictureGeometry.h"

#include <algorithm>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"

namespace quorvane {

using platform::TPictureGeometry;
using platform::TPictureRect;

namespace {

// Side x Numerator / Denominator, to the nearest, halves up.
int32_t Proportional(int32_t Side, int32_t Numerator, int32_t Denominator) {
    const int64_t Exact2 = int64_t{Side} * Numerator * 2;
    return static_cast<int32_t>(
        std::clamp<int64_t>((Exact2 + Denominator) / (2 * Denominator), 1, INT32_MAX));
}

// The part of the picture converted: the crop, else the whole picture.
TPictureRect PartConverted(const TPictureGeometry& Geometry, int32_t Width, int32_t Height) {
    return Geometry.Crop.value_or(TPictureRect{Width, Height, 0, 0});
}

bool Fits(const TPictureRect& Crop, int32_t Width, int32_t Height) {
    return Crop.Width > 0 && Crop.Height > 0 && Crop.X >= 0 && Crop.Y >= 0 &&
           int64_t{Crop.X} + Crop.Width <= Width && int64_t{Crop.Y} + Crop.Height <= Height;
}

}  // namespace

TPictureGeometry ResolvedGeometry(const TPictureGeometry& Geometry, int32_t Width, int32_t Height) {
    TPictureGeometry Resolved = Geometry;
    const TPictureRect Part = PartConverted(Geometry, Width, Height);
    if (Part.Width <= 0 || Part.Height <= 0) {
        return Resolved;
    }
    if (Resolved.Width == 0 && Resolved.Height > 0) {
        Resolved.Width = Proportional(Resolved.Height, Part.Width, Part.Height);
    } else if (Resolved.Height == 0 && Resolved.Width > 0) {
        Resolved.Height = Proportional(Resolved.Width, Part.Height, Part.Width);
    }
    return Resolved;
}

std::string PictureGeometryProblem(const TPictureGeometry& Geometry, int32_t Width,
                                   int32_t Height) {
    if (const auto& Crop = Geometry.Crop; Crop && !Fits(*Crop, Width, Height)) {
        return "The crop " + std::to_string(Crop->Width) + ":" + std::to_string(Crop->Height) +
               ":" + std::to_string(Crop->X) + ":" + std::to_string(Crop->Y) +
               " (width:height:x:y) reaches beyond the picture, which is " +
               PictureSizeText(Width, Height) + " pixels.";
    }
    const TPictureGeometry Resolved = ResolvedGeometry(Geometry, Width, Height);
    if (Resolved.Width > LargestFrameSide || Resolved.Height > LargestFrameSide) {
        return "The size asked for makes the picture " +
               PictureSizeText(Resolved.Width, Resolved.Height) + " pixels; " + FlvFrameSizeRule +
               ".";
    }
    // Without a size, the part converted is the FLV's picture.
    const TPictureRect Part = PartConverted(Geometry, Width, Height);
    if (Resolved.Width == 0 && (Part.Width > LargestFrameSide || Part.Height > LargestFrameSide)) {
        return std::string(Geometry.Crop ? "The crop is " : "The video is ") +
               PictureSizeText(Part.Width, Part.Height) + " pixels; " + FlvFrameSizeRule +
               ": give a size that scales it down (--size 1920x, or \"Resize the picture to\" in "
               "the window)" +
               (Geometry.Crop ? ", or a smaller crop." : ", or crop it.");
    }
    return {};
}

}  // namespace quorvane
