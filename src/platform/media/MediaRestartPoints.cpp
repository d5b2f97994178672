#include "platform/media/MediaRestartPoints.h"

#include <algorithm>
#include <span>

namespace quorvane::platform {

namespace {

// Packets from one restart point to the next at least: an intra-only
// stream's every frame is one, and their list would cost as much memory
// as the frames' times.
constexpr size_t LeastSpacing = 8;

constexpr uint8_t H264NalTypeMask = 0x1F;
constexpr uint8_t H264IdrSlice = 5;

// Codecs whose key frames, as containers flag them, are pictures decoded
// from nothing before them, and whose later pictures, in presentation
// order, refer to nothing before them either. A picture stored after a key
// frame but shown before it (an open GOP) is not shown after a restart:
// it comes before the picture restarted from. H.264 is among them for its
// IDR pictures only: its other key frames may be recovery points, whose
// pictures are whole only some frames later.
bool TrustsKeyFrames(const AVCodecParameters& Stream) {
    switch (Stream.codec_id) {
        case AV_CODEC_ID_H264:
        case AV_CODEC_ID_HEVC:
        case AV_CODEC_ID_VP8:
        case AV_CODEC_ID_VP9:
        case AV_CODEC_ID_AV1:
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_THEORA:
            return true;
        default: {
            const AVCodecDescriptor* Descriptor = avcodec_descriptor_get(Stream.codec_id);
            return Descriptor && Descriptor->props & AV_CODEC_PROP_INTRA_ONLY;
        }
    }
}

// The NAL units of an H.264 packet: each prefixed by its length (MP4,
// Matroska: the stream's parameters say in how many bytes) or after a
// start code (MPEG-TS, raw streams).
bool HoldsH264Idr(std::span<const uint8_t> Data, const AVCodecParameters& Stream) {
    const bool LengthPrefixed = Stream.extradata_size >= 5 && Stream.extradata[0] == 1;
    if (LengthPrefixed) {
        const size_t LengthSize = (Stream.extradata[4] & 3) + 1;
        for (size_t At = 0; At + LengthSize < Data.size();) {
            size_t Length = 0;
            for (size_t Byte = 0; Byte < LengthSize; ++Byte) {
                Length = Length << 8 | Data[At + Byte];
            }
            At += LengthSize;
            if (Length > 0 && (Data[At] & H264NalTypeMask) == H264IdrSlice) {
                return true;
            }
            At += std::min(Length, Data.size() - At);
        }
        return false;
    }
    for (size_t At = 0; At + 3 < Data.size(); ++At) {
        if (Data[At] == 0 && Data[At + 1] == 0 && Data[At + 2] == 1 &&
            (Data[At + 3] & H264NalTypeMask) == H264IdrSlice) {
            return true;
        }
    }
    return false;
}

}  // namespace

TRestartPointFinder::TRestartPointFinder(const AVCodecParameters& Parameters)
    : Stream(Parameters), Trusted(TrustsKeyFrames(Parameters)) {}

// A key frame is a restart point when its picture comes after every picture
// stored before it: none of those shows after it. One the container drops
// (before an edit list's start) is never restarted from; one that follows
// the last too closely is not needed.
// A packet without a presentation time is taken to show at its decoding
// time, as the frames are timed.
void TRestartPointFinder::Take(const AVPacket& Packet) {
    const size_t Read = Ordinal++;
    const int64_t Pts = Packet.pts != AV_NOPTS_VALUE ? Packet.pts : Packet.dts;
    if (Pts == AV_NOPTS_VALUE) {
        return;
    }
    const bool Spaced = Points.empty() || Read >= Points.back().Ordinal + LeastSpacing;
    if (Trusted && Spaced && Packet.pts != AV_NOPTS_VALUE && Packet.pts > LatestPts &&
        Packet.flags & AV_PKT_FLAG_KEY && !(Packet.flags & AV_PKT_FLAG_DISCARD) &&
        StartsAfresh(Packet)) {
        Points.push_back({Packet.pts, Packet.dts, Read});
    }
    LatestPts = std::max(LatestPts, Pts);
}

bool TRestartPointFinder::StartsAfresh(const AVPacket& Packet) const {
    return Stream.codec_id != AV_CODEC_ID_H264 ||
           HoldsH264Idr({Packet.data, static_cast<size_t>(std::max(Packet.size, 0))}, Stream);
}

}  // namespace quorvane::platform
