#include "support/FlvDecoding.h"

#include "platform/ffmpeg/FfmpegPointers.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace quorvane::test {

namespace {

void Check(int Result, const std::string& What) {
    if (Result < 0) {
        char Text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(Result, Text, sizeof Text);
        throw std::runtime_error(What + ": " + Text);
    }
}

platform::FormatContextPtr OpenInput(const std::filesystem::path& Path) {
    AVFormatContext* Raw = nullptr;
    Check(avformat_open_input(&Raw, Path.c_str(), nullptr, nullptr), "opening " + Path.string());
    platform::FormatContextPtr Format(Raw);
    Check(avformat_find_stream_info(Format.get(), nullptr), "probing " + Path.string());
    return Format;
}

platform::CodecContextPtr OpenScreenVideoDecoder(const AVStream& Stream) {
    if (Stream.codecpar->codec_id != AV_CODEC_ID_FLASHSV) {
        throw std::runtime_error("the video stream is not Screen Video");
    }
    const AVCodec* Decoder = avcodec_find_decoder_by_name("flashsv");
    if (Decoder == nullptr) {
        throw std::runtime_error("libavcodec has no flashsv decoder");
    }
    platform::CodecContextPtr Codec(avcodec_alloc_context3(Decoder));
    Check(avcodec_parameters_to_context(Codec.get(), Stream.codecpar), "decoder parameters");
    Check(avcodec_open2(Codec.get(), Decoder, nullptr), "opening the flashsv decoder");
    return Codec;
}

void CopyFrame(const AVFrame& Frame, AVRational TimeBase, DecodedFrame& Result) {
    if (Frame.format != AV_PIX_FMT_BGR24) {
        throw std::runtime_error("flashsv decoded to an unexpected pixel format");
    }
    Result.TimestampMs = av_rescale_q(Frame.best_effort_timestamp, TimeBase, AVRational{1, 1000});
    Result.Width = Frame.width;
    Result.Height = Frame.height;
    const size_t RowLength = static_cast<size_t>(Frame.width) * 3;
    Result.Bgr.resize(RowLength * static_cast<size_t>(Frame.height));
    for (int Row = 0; Row < Frame.height; ++Row) {
        std::memcpy(Result.Bgr.data() + Row * RowLength,
                    Frame.data[0] + static_cast<ptrdiff_t>(Row) * Frame.linesize[0], RowLength);
    }
}

}  // namespace

struct TFlvVideoFrames::TDecoding {
    platform::FormatContextPtr Format;
    int StreamIndex = -1;
    AVRational TimeBase{};
    platform::CodecContextPtr Codec;
    platform::PacketPtr Packet{av_packet_alloc()};
    platform::FramePtr Frame{av_frame_alloc()};

    // Sends the next video packet, or the drain once the file has none.
    void SendNext() {
        int Result;
        while ((Result = av_read_frame(Format.get(), Packet.get())) == 0) {
            const bool Video = Packet->stream_index == StreamIndex;
            if (Video) {
                Check(avcodec_send_packet(Codec.get(), Packet.get()), "decoding");
            }
            av_packet_unref(Packet.get());
            if (Video) {
                return;
            }
        }
        if (Result != AVERROR_EOF) {
            Check(Result, "reading");
        }
        Check(avcodec_send_packet(Codec.get(), nullptr), "decoding");
    }
};

TFlvVideoFrames::TFlvVideoFrames(const std::filesystem::path& Path)
    : Decoding(std::make_unique<TDecoding>()) {
    Decoding->Format = OpenInput(Path);
    Decoding->StreamIndex =
        av_find_best_stream(Decoding->Format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    Check(Decoding->StreamIndex, "finding the video of " + Path.string());
    const AVStream& Stream = *Decoding->Format->streams[Decoding->StreamIndex];
    Decoding->TimeBase = Stream.time_base;
    Decoding->Codec = OpenScreenVideoDecoder(Stream);
}

TFlvVideoFrames::~TFlvVideoFrames() = default;

std::optional<DecodedFrame> TFlvVideoFrames::Next() {
    DecodedFrame Frame;
    return Next(Frame) ? std::optional(std::move(Frame)) : std::nullopt;
}

bool TFlvVideoFrames::Next(DecodedFrame& Frame) {
    for (;;) {
        const int Result = avcodec_receive_frame(Decoding->Codec.get(), Decoding->Frame.get());
        if (Result == 0) {
            CopyFrame(*Decoding->Frame, Decoding->TimeBase, Frame);
            av_frame_unref(Decoding->Frame.get());
            return true;
        }
        if (Result == AVERROR_EOF) {
            return false;
        }
        if (Result != AVERROR(EAGAIN)) {
            Check(Result, "decoding");
        }
        Decoding->SendNext();
    }
}

std::vector<DecodedFrame> DecodeFlvVideo(const std::filesystem::path& Path) {
    TFlvVideoFrames Frames(Path);
    std::vector<DecodedFrame> All;
    while (std::optional<DecodedFrame> Frame = Frames.Next()) {
        All.push_back(std::move(*Frame));
    }
    return All;
}

FfmpegSeek SeekWithFfmpeg(const std::filesystem::path& Path, double Seconds) {
    platform::FormatContextPtr Format = OpenInput(Path);
    const int StreamIndex =
        av_find_best_stream(Format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    Check(StreamIndex, "finding the video of " + Path.string());
    const AVRational TimeBase = Format->streams[StreamIndex]->time_base;
    FfmpegSeek Result;
    Result.DurationSeconds = static_cast<double>(Format->duration) / AV_TIME_BASE;
    const auto Target = av_rescale_q(static_cast<int64_t>(Seconds * 1000), {1, 1000}, TimeBase);
    Check(av_seek_frame(Format.get(), StreamIndex, Target, AVSEEK_FLAG_BACKWARD), "seeking");
    platform::PacketPtr Packet(av_packet_alloc());
    for (;;) {
        Check(av_read_frame(Format.get(), Packet.get()), "reading after the seek");
        if (Packet->stream_index == StreamIndex) {
            break;
        }
        av_packet_unref(Packet.get());
    }
    Result.TimestampMs = av_rescale_q(Packet->pts, TimeBase, {1, 1000});
    Result.KeyFrame = (Packet->flags & AV_PKT_FLAG_KEY) != 0;
    Result.Position = Packet->pos;
    return Result;
}

}  // namespace quorvane::test
