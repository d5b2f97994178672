// Owning pointers for FFmpeg's objects, each freed by FFmpeg's own function.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <memory>

namespace quorvane::platform {

struct FfmpegDeleter {
    void operator()(AVCodecContext* Context) const { avcodec_free_context(&Context); }
    void operator()(AVCodecParameters* Parameters) const { avcodec_parameters_free(&Parameters); }
    void operator()(AVFormatContext* Context) const { avformat_close_input(&Context); }
    void operator()(AVFrame* Frame) const { av_frame_free(&Frame); }
    void operator()(AVPacket* Packet) const { av_packet_free(&Packet); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, FfmpegDeleter>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, FfmpegDeleter>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FfmpegDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FfmpegDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, FfmpegDeleter>;

}  // namespace quorvane::platform
