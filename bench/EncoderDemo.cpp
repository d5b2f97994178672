// Writes a lossless Screen Video FLV of generated screen-like frames:
//   quorvane-encoder-demo OUT.flv [frames]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/ScreenFrames.h"
#include "encoder/ScreenVideoEncoder.h"

namespace {

constexpr int Width = 1280;
constexpr int Height = 720;
constexpr int FrameDurationMs = 40;  // 25 frames per second

int Usage() {
    std::fprintf(stderr, "usage: quorvane-encoder-demo OUT.flv [frames, default 100]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        return Usage();
    }
    const int Frames = argc == 3 ? std::atoi(argv[2]) : 100;
    if (Frames < 1) {
        return Usage();
    }
    using namespace quorvane;
    TScreenVideoEncoder Encoder(argv[1], true, false);
    EncoderParameters Parameters;
    Parameters.BlockWidth = 64;
    Parameters.BlockHeight = 64;
    Encoder.SetParameters(Parameters);
    Encoder.SetFrameSize(FrameFormat{Width, Height, 3});
    if (const StartResult Result = Encoder.Start(); Result != StartSucceeded) {
        std::fprintf(stderr, "cannot start the encoder for %s (code %d)\n", argv[1], Result);
        return 1;
    }
    bench::ScreenFrameGenerator Generator(Width, Height, 3);
    bench::FrameBuffer Frame(Width, Height, 3);
    try {
        for (int Index = 0; Index < Frames; ++Index) {
            Generator.Render(Index, Frame);
            const int32_t Time = Index * FrameDurationMs;
            Encoder.EncodeFrame(Frame.Picture(), Time, Index == 0 ? 0 : Time - FrameDurationMs,
                                Index == 0);
        }
    } catch (const std::exception& Failure) {
        std::fprintf(stderr, "encoding failed: %s\n", Failure.what());
        Encoder.Finish();
        return 1;
    }
    const uint32_t Size = Encoder.Finish();
    if (Encoder.FileError()) {
        std::fprintf(stderr, "writing %s failed: %s\n", argv[1],
                     Encoder.FileError().message().c_str());
        return 1;
    }
    std::printf("%s: %d frames of %dx%d, %u bytes\n", argv[1], Frames, Width, Height, Size);
    return 0;
}
