// A picture geometry asked for (TJobSettings::Picture) against the picture
// of the loaded video as shown: whether it fits, and the size it makes.
#pragma once

#include <cstdint>
#include <string>

#include "job/JobSettings.h"
#include "platform/types/Picture.h"

namespace quorvane {

// Geometry with both sides of its size given, for a picture shown at
// Width x Height: a side left out keeps the aspect of the part converted
// (rounded to the nearest pixel, halves up, as ffmpeg's scale filter does
// with -1; at least 1). Without a size it stays without one.
platform::TPictureGeometry ResolvedGeometry(const platform::TPictureGeometry& Geometry,
                                            int32_t Width, int32_t Height);

// Why Geometry can't be used on a picture shown at Width x Height: its crop
// reaches beyond it, or the picture it makes (the size asked for, else the
// crop's, else the whole picture's) is too large for Screen Video. Empty
// when it can.
std::string PictureGeometryProblem(const platform::TPictureGeometry& Geometry, int32_t Width,
                                   int32_t Height);

}  // namespace quorvane
