// Where the pictures of a video stream can be decoded from without the
// packets before: the key frames found while the stream's packets are read
// once, kept only where decoding from them gives the very pictures that
// decoding from the stream's start gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ffmpeg/FfmpegPointers.h"

namespace quorvane::platform {

struct TRestartPoint {
    int64_t Pts = 0;
    int64_t Dts = AV_NOPTS_VALUE;  // when the container tells it
    size_t Ordinal = 0;            // among the stream's packets, in the order they are read
};

class TRestartPointFinder {
public:
    explicit TRestartPointFinder(const AVCodecParameters& Stream);
    // Every packet of the stream, in the order the container gives them.
    void Take(const AVPacket& Packet);
    // In the order read, which is that of their presentation times.
    std::vector<TRestartPoint> Found() { return std::move(Points); }

private:
    bool StartsAfresh(const AVPacket& Packet) const;

    const AVCodecParameters& Stream;
    const bool Trusted;
    std::vector<TRestartPoint> Points;
    int64_t LatestPts = INT64_MIN;
    size_t Ordinal = 0;
};

}  // namespace quorvane::platform
