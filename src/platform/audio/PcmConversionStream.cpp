// PCM to PCM through libswresample: rate, channel count and sample width.
// A partial sample frame waits for the next call.
#include <algorithm>
#include <cstring>

#include "platform/audio/AudioStreams.h"
#include "platform/audio/SampleConverter.h"

namespace quorvane::platform {

namespace {

// libswresample has no packed 24-bit layout: 24-bit samples are widened
// to 32 bits first.
AVSampleFormat SampleFormatOf(uint16_t Bits) {
    switch (Bits) {
        case 8:
            return AV_SAMPLE_FMT_U8;
        case 16:
            return AV_SAMPLE_FMT_S16;
        case 24:
        case 32:
            return AV_SAMPLE_FMT_S32;
        default:
            return AV_SAMPLE_FMT_NONE;
    }
}

bool IsConsistentPcm(const WAVEFORMATEX& Format) {
    return Format.wFormatTag == WAVE_FORMAT_PCM && Format.nChannels > 0 &&
           Format.nSamplesPerSec > 0 &&
           SampleFormatOf(Format.wBitsPerSample) != AV_SAMPLE_FMT_NONE &&
           Format.nBlockAlign == Format.nChannels * Format.wBitsPerSample / 8;
}

void WidenTo32Bits(const std::vector<uint8_t>& Packed, std::vector<uint8_t>& Wide) {
    Wide.resize(Packed.size() / 3 * 4);
    for (size_t In = 0, Out = 0; In + 3 <= Packed.size(); In += 3, Out += 4) {
        Wide[Out] = 0;
        Wide[Out + 1] = Packed[In];
        Wide[Out + 2] = Packed[In + 1];
        Wide[Out + 3] = Packed[In + 2];
    }
}

class TPcmConversionStream : public IAudioStream {
public:
    TPcmConversionStream(const WAVEFORMATEX& Source, const WAVEFORMATEX& Destination)
        : Source(Source), Destination(Destination), Carry(Source.nBlockAlign) {}

    bool Open() {
        return Converter.Open(SampleFormatOf(Source.wBitsPerSample), Source.nChannels,
                              static_cast<int>(Source.nSamplesPerSec), Destination.nChannels,
                              static_cast<int>(Destination.nSamplesPerSec));
    }

    // The exact count after rate conversion, and room for the resampler's
    // held samples.
    size_t MaxOutput(size_t InputBytes) const override {
        const uint64_t Frames = InputBytes / Source.nBlockAlign + 1;
        const uint64_t Out = Frames * Destination.nSamplesPerSec / Source.nSamplesPerSec + 256;
        return static_cast<size_t>(
            std::min<uint64_t>(Out * Destination.nBlockAlign, MaxStreamOutput));
    }

    bool Convert(const uint8_t* Input, size_t InputBytes, bool End,
                 std::vector<uint8_t>& Output) override {
        const std::vector<uint8_t>* Blocks = &Carry.WholeBlocks(Input, InputBytes);
        if (Source.wBitsPerSample == 24) {
            WidenTo32Bits(*Blocks, Widened);
            Blocks = &Widened;
        }
        const uint8_t* Planes[] = {Blocks->data()};
        const int Frames = static_cast<int>(
            Blocks->size() / (Blocks == &Widened ? Source.nChannels * 4u : Source.nBlockAlign));
        bool Converted = Frames == 0 || Converter.Convert(Planes, Frames, Output);
        if (End) {
            Converted = Converter.Flush(Output) && Converted;
        }
        return Converted;
    }

private:
    WAVEFORMATEX Source;
    WAVEFORMATEX Destination;
    TBlockCarry Carry;
    TSampleConverter Converter;
    std::vector<uint8_t> Widened;
};

}  // namespace

std::unique_ptr<IAudioStream> OpenPcmConversionStream(const WAVEFORMATEX& Source,
                                                      const WAVEFORMATEX& Destination) {
    if (!IsConsistentPcm(Source) || !IsConsistentPcm(Destination) ||
        Destination.wBitsPerSample != 16) {
        return nullptr;
    }
    auto Stream = std::make_unique<TPcmConversionStream>(Source, Destination);
    if (!Stream->Open()) {
        return nullptr;
    }
    return Stream;
}

}  // namespace quorvane::platform
