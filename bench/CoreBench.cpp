#include "bench/CoreBench.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/Processes.h"
#include "encoder/ScreenVideoEncoder.h"
#include "platform/ffmpeg/FfmpegPointers.h"

namespace quorvane::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FrameDurationMs = 40;  // 25 frames per second
// What an FLV file adds around libavcodec's packets: the file header, and
// per tag the tag header, the frame-type and codec byte, and the trailing
// length field.
constexpr uint64_t FlvFileHeaderBytes = 13;
constexpr uint64_t FlvTagOverheadBytes = 16;

int32_t FrameTime(int Index) {
    return Index * FrameDurationMs;
}

EncoderParameters ParametersFor(const CoreRun& Run) {
    EncoderParameters Parameters;
    Parameters.BlockWidth = Run.BlockWidth;
    Parameters.BlockHeight = Run.BlockHeight;
    Parameters.CompressionMode = Run.Mode;
    Parameters.BitRate = CoreBitRateKilobits;
    Parameters.RedTolerance = Parameters.GreenTolerance = Parameters.BlueTolerance =
        CoreQualityTolerance;
    Parameters.BlockTolerance = CoreQualityBlockTolerance;
    return Parameters;
}

}  // namespace

Workload ScreenWorkload(int Width, int Height) {
    auto Generator = std::make_shared<ScreenFrameGenerator>(Width, Height, 3);
    return {Width, Height,
            [Generator](int Index, FrameBuffer& Frame) { Generator->Render(Index, Frame); }};
}

Workload CameraWorkload(const std::filesystem::path& Folder, int Width, int Height, int Frames) {
    auto File = std::make_shared<std::ifstream>(MandelbrotFrames(Folder, Width, Height, Frames),
                                                std::ios::binary);
    const auto RowBytes = static_cast<std::streamsize>(Width) * 3;
    auto Row = std::make_shared<std::vector<char>>(RowBytes);
    return {Width, Height, [=](int Index, FrameBuffer& Frame) {
                File->seekg(static_cast<std::streamoff>(Index) * RowBytes * Height);
                for (int Y = 0; Y < Height; ++Y) {
                    if (!File->read(Row->data(), RowBytes)) {
                        throw std::runtime_error("the camera frames end before frame " +
                                                 std::to_string(Index));
                    }
                    std::memcpy(Frame.PixelAt(0, Y), Row->data(), Row->size());
                }
            }};
}

// Only EncodeFrame is timed; rendering the frames is not.
Figures EncodeWithOurs(const CoreRun& Run, const Workload& Source, int Frames,
                       const std::filesystem::path& Output) {
    TScreenVideoEncoder Encoder(Output.string(), true, false);
    Encoder.SetParameters(ParametersFor(Run));
    Encoder.SetEngine(Run.Engine);
    Encoder.SetFrameSize(
        FrameFormat{static_cast<uint16_t>(Source.Width), static_cast<uint16_t>(Source.Height), 3});
    if (Encoder.Start() != StartSucceeded) {
        throw std::runtime_error("cannot create " + Output.string());
    }
    FrameBuffer Frame(Source.Width, Source.Height, 3);
    Figures Result;
    for (int Index = 0; Index < Frames; ++Index) {
        Source.Render(Index, Frame);
        const auto Begin = Clock::now();
        Encoder.EncodeFrame(Frame.Picture(), FrameTime(Index),
                            Index == 0 ? 0 : FrameTime(Index - 1), Index == 0);
        Result.Seconds += std::chrono::duration<double>(Clock::now() - Begin).count();
    }
    Result.Bytes = Encoder.Finish();
    if (Encoder.FileError()) {
        throw std::runtime_error("writing " + Output.string() + ": " +
                                 Encoder.FileError().message());
    }
    return Result;
}

namespace {

void Check(int Result, const char* What) {
    if (Result < 0) {
        char Text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(Result, Text, sizeof Text);
        throw std::runtime_error(std::string(What) + ": " + Text);
    }
}

platform::CodecContextPtr OpenTheirEncoder(int Width, int Height, int Frames) {
    const AVCodec* Codec = avcodec_find_encoder(AV_CODEC_ID_FLASHSV);
    if (Codec == nullptr) {
        throw std::runtime_error("libavcodec has no flashsv encoder");
    }
    platform::CodecContextPtr Context(avcodec_alloc_context3(Codec));
    Context->width = Width;
    Context->height = Height;
    Context->pix_fmt = AV_PIX_FMT_BGR24;
    Context->time_base = AVRational{FrameDurationMs, 1000};
    Context->gop_size = Frames;  // a single key frame, like ours
    Context->thread_count = 1;
    Check(avcodec_open2(Context.get(), Codec, nullptr), "avcodec_open2");
    return Context;
}

// Shows our bottom-up buffer to libavcodec as a top-down picture (a negative
// line size) without copying it.
void WrapFrame(const FrameBuffer& Source, AVFrame* Frame, int64_t Pts) {
    av_frame_unref(Frame);
    Frame->format = AV_PIX_FMT_BGR24;
    Frame->width = Source.Width();
    Frame->height = Source.Height();
    Frame->pts = Pts;
    const auto Size = Source.Stride() * static_cast<size_t>(Source.Height());
    auto* Data = const_cast<uint8_t*>(Source.Data());
    Frame->buf[0] = av_buffer_create(
        Data, Size, [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
    Frame->data[0] = Data + (Source.Height() - 1) * Source.Stride();
    Frame->linesize[0] = -static_cast<int>(Source.Stride());
}

uint64_t DrainPackets(AVCodecContext* Context, AVPacket* Packet) {
    uint64_t Bytes = 0;
    while (avcodec_receive_packet(Context, Packet) == 0) {
        Bytes += static_cast<uint64_t>(Packet->size) + FlvTagOverheadBytes;
        av_packet_unref(Packet);
    }
    return Bytes;
}

}  // namespace

Figures EncodeWithTheirs(const Workload& Source, int Frames) {
    auto Context = OpenTheirEncoder(Source.Width, Source.Height, Frames);
    platform::FramePtr Frame(av_frame_alloc());
    platform::PacketPtr Packet(av_packet_alloc());
    FrameBuffer Picture(Source.Width, Source.Height, 3);
    Figures Result{0, FlvFileHeaderBytes};
    for (int Index = 0; Index <= Frames; ++Index) {
        AVFrame* Input = nullptr;  // the last round flushes the encoder
        if (Index < Frames) {
            Source.Render(Index, Picture);
            WrapFrame(Picture, Frame.get(), Index);
            Input = Frame.get();
        }
        const auto Begin = Clock::now();
        Check(avcodec_send_frame(Context.get(), Input), "avcodec_send_frame");
        Result.Bytes += DrainPackets(Context.get(), Packet.get());
        Result.Seconds += std::chrono::duration<double>(Clock::now() - Begin).count();
    }
    return Result;
}

}  // namespace quorvane::bench
