// Encodes the same generated screen frames with our encoder and with
// libavcodec's Screen Video encoder, and prints speed and size figures:
//   quorvane-encoder-bench [frames]
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/ScreenFrames.h"
#include "encoder/ScreenVideoEncoder.h"
#include "platform/FfmpegPointers.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

constexpr int FrameDurationMs = 40;   // 25 frames per second
constexpr int QualityTolerance = 25;  // about 10 % of a channel
constexpr int QualityBlockTolerance = 2;
constexpr int BitRateKilobits = 4000;
// What an FLV file adds around libavcodec's packets: the file header, and
// per tag the tag header, the frame-type and codec byte, and the trailing
// length field.
constexpr uint64_t FlvFileHeaderBytes = 13;
constexpr uint64_t FlvTagOverheadBytes = 16;

struct Figures {
    double Seconds = 0;
    uint64_t Bytes = 0;
};

struct OurRun {
    const char* ModeName;
    uint8_t Mode;
    uint32_t BlockWidth;
    uint32_t BlockHeight;
};

int32_t FrameTime(int Index) {
    return Index * FrameDurationMs;
}

EncoderParameters ParametersFor(const OurRun& Run) {
    EncoderParameters Parameters;
    Parameters.BlockWidth = Run.BlockWidth;
    Parameters.BlockHeight = Run.BlockHeight;
    Parameters.CompressionMode = Run.Mode;
    Parameters.BitRate = BitRateKilobits;
    Parameters.RedTolerance = Parameters.GreenTolerance = Parameters.BlueTolerance =
        QualityTolerance;
    Parameters.BlockTolerance = QualityBlockTolerance;
    return Parameters;
}

// Only EncodeFrame is timed; rendering the frames is not.
Figures EncodeWithOurs(const OurRun& Run, int Width, int Height, int Frames,
                       const std::filesystem::path& Output) {
    TScreenVideoEncoder Encoder(Output.string(), true, false);
    Encoder.SetParameters(ParametersFor(Run));
    Encoder.SetFrameSize(
        FrameFormat{static_cast<uint16_t>(Width), static_cast<uint16_t>(Height), 3});
    if (Encoder.Start() != StartSucceeded) {
        throw std::runtime_error("cannot create " + Output.string());
    }
    bench::ScreenFrameGenerator Generator(Width, Height, 3);
    bench::FrameBuffer Frame(Width, Height, 3);
    Figures Result;
    for (int Index = 0; Index < Frames; ++Index) {
        Generator.Render(Index, Frame);
        const auto Begin = Clock::now();
        Encoder.EncodeFrame(Frame.Data(), FrameTime(Index), Index == 0 ? 0 : FrameTime(Index - 1),
                            Index == 0);
        Result.Seconds += std::chrono::duration<double>(Clock::now() - Begin).count();
    }
    Result.Bytes = Encoder.Finish();
    if (Encoder.FileError()) {
        throw std::runtime_error("writing " + Output.string() + ": " +
                                 Encoder.FileError().message());
    }
    return Result;
}

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
void WrapFrame(const bench::FrameBuffer& Source, AVFrame* Frame, int64_t Pts) {
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

Figures EncodeWithTheirs(int Width, int Height, int Frames) {
    auto Context = OpenTheirEncoder(Width, Height, Frames);
    platform::FramePtr Frame(av_frame_alloc());
    platform::PacketPtr Packet(av_packet_alloc());
    bench::ScreenFrameGenerator Generator(Width, Height, 3);
    bench::FrameBuffer Picture(Width, Height, 3);
    Figures Result{0, FlvFileHeaderBytes};
    for (int Index = 0; Index <= Frames; ++Index) {
        AVFrame* Input = nullptr;  // the last round flushes the encoder
        if (Index < Frames) {
            Generator.Render(Index, Picture);
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

void PrintRow(const char* Encoder, const char* Mode, uint32_t BlockWidth, uint32_t BlockHeight,
              int Frames, const Figures& Ours, const Figures* Theirs) {
    const double FramesPerSecond = Frames / Ours.Seconds;
    std::printf("  %-19s %-9s %3ux%-3u %10.2f %12llu", Encoder, Mode, BlockWidth, BlockHeight,
                FramesPerSecond, static_cast<unsigned long long>(Ours.Bytes));
    if (Theirs != nullptr) {
        std::printf(" %14.3f %14.3f", FramesPerSecond / (Frames / Theirs->Seconds),
                    static_cast<double>(Ours.Bytes) / static_cast<double>(Theirs->Bytes));
    }
    std::printf("\n");
}

void BenchmarkSize(int Width, int Height, int Frames, const std::filesystem::path& Output) {
    static const OurRun Runs[] = {
        {"lossless", LosslessMode, 64, 64}, {"lossless", LosslessMode, 64, 32},
        {"quality", QualityMode, 64, 64},   {"quality", QualityMode, 64, 32},
        {"bitrate", BitrateMode, 64, 64},   {"bitrate", BitrateMode, 64, 32},
    };
    std::printf("\n%dx%d, %d frames\n", Width, Height, Frames);
    std::printf("  %-19s %-9s %-7s %10s %12s %14s %14s\n", "encoder", "mode", "blocks", "frames/s",
                "bytes", "fps ours/theirs", "bytes ours/theirs");
    const Figures Theirs = EncodeWithTheirs(Width, Height, Frames);
    PrintRow("libavcodec flashsv", "lossless", 64, 64, Frames, Theirs, nullptr);
    for (const OurRun& Run : Runs) {
        const Figures Ours = EncodeWithOurs(Run, Width, Height, Frames, Output);
        PrintRow("quorvane", Run.ModeName, Run.BlockWidth, Run.BlockHeight, Frames, Ours, &Theirs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int Frames = argc > 1 ? std::atoi(argv[1]) : 60;
    if (argc > 2 || Frames < 2) {
        std::fprintf(stderr, "usage: quorvane-encoder-bench [frames, at least 2; default 60]\n");
        return 2;
    }
    const auto Output = std::filesystem::temp_directory_path() /
                        ("quorvane-bench-" + std::to_string(getpid()) + ".flv");
    std::printf(
        "Screen Video encoding of %d generated screen frames (BGR24, 25 frames/s), one\n"
        "key frame then inter frames; single thread; only the encode calls are timed.\n"
        "libavcodec flashsv: 64x64 blocks, zlib level 9, gop_size = %d so it also makes\n"
        "a single key frame; its bytes include the FLV header and tag framing ours has.\n"
        "quality: channel tolerances %d, block tolerance %d %%; bitrate: %d kbit/s.\n",
        Frames, Frames, QualityTolerance, QualityBlockTolerance, BitRateKilobits);
    try {
        BenchmarkSize(1280, 720, Frames, Output);
        BenchmarkSize(1920, 1080, Frames, Output);
    } catch (const std::exception& Failure) {
        std::fprintf(stderr, "benchmark failed: %s\n", Failure.what());
        std::filesystem::remove(Output);
        return 1;
    }
    std::filesystem::remove(Output);
    return 0;
}
