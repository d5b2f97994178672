// The codec parameters of an AVI video stream, made from the headers the
// AVI reader has already read: libavcodec's decoders get them as
// libavformat's AVI reader would make them from the same headers, so that
// every picture decodes as it does there.
#pragma once

#include <vector>

#include "platform/avi/AviParser.h"
#include "platform/ffmpeg/FfmpegPointers.h"

namespace quorvane::platform {

// The stored BITMAPINFOHEADER, zeros where the format is too short.
BITMAPINFOHEADER StoredBitmapHeader(const std::vector<uint8_t>& Format);

// Null when the stream stores no BITMAPINFOHEADER, or not a picture's; the
// codec is AV_CODEC_ID_NONE when its FourCC is unknown.
CodecParametersPtr VideoCodecParametersOf(const AviStreamContents& Stream);

}  // namespace quorvane::platform
