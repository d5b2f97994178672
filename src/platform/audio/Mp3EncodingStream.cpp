// 16-bit PCM to MP3 through LAME, at the format's rate, channels and
// constant bit rate. Bare frames only: no ID3 tag and no Xing/LAME header
// frame, so the stream starts with a frame header and can be read frame by
// frame like any MP3 file.
#include <lame.h>

#include <algorithm>
#include <cstring>

#include "platform/audio/AudioCompressionManager.h"
#include "platform/audio/AudioStreams.h"
#include "platform/audio/Mp3EncoderDriver.h"

namespace quorvane::platform {

namespace {

// LAME's documented worst case: 1.25 x samples + 7200 bytes.
size_t LameBound(size_t Samples) {
    return Samples + Samples / 4 + 7200;
}

class TMp3EncodingStream : public IAudioStream {
public:
    explicit TMp3EncodingStream(const WAVEFORMATEX& Source)
        : Source(Source), Carry(Source.nBlockAlign) {}
    ~TMp3EncodingStream() override {
        if (Lame) {
            lame_close(Lame);
        }
    }
    TMp3EncodingStream(const TMp3EncodingStream&) = delete;
    TMp3EncodingStream& operator=(const TMp3EncodingStream&) = delete;

    bool Open(const WAVEFORMATEX& Mp3) {
        Lame = lame_init();
        if (!Lame) {
            return false;
        }
        lame_set_write_id3tag_automatic(Lame, 0);
        return lame_set_num_channels(Lame, Mp3.nChannels) == 0 &&
               lame_set_in_samplerate(Lame, static_cast<int>(Mp3.nSamplesPerSec)) == 0 &&
               lame_set_out_samplerate(Lame, static_cast<int>(Mp3.nSamplesPerSec)) == 0 &&
               lame_set_brate(Lame, static_cast<int>(Mp3.nAvgBytesPerSec * 8 / 1000)) == 0 &&
               lame_set_mode(Lame, Mp3.nChannels == 1 ? MONO : JOINT_STEREO) == 0 &&
               lame_set_bWriteVbrTag(Lame, 0) == 0 && lame_init_params(Lame) == 0;
    }

    size_t MaxOutput(size_t InputBytes) const override {
        return std::min(LameBound(InputBytes / Source.nBlockAlign), MaxStreamOutput);
    }

    bool Convert(const uint8_t* Input, size_t InputBytes, bool End,
                 std::vector<uint8_t>& Output) override {
        const std::vector<uint8_t>& Blocks = Carry.WholeBlocks(Input, InputBytes);
        const size_t Samples = Blocks.size() / Source.nBlockAlign;
        if (Samples > 0 && !Encode(Blocks, Samples, Output)) {
            return false;
        }
        return !End || Flush(Output);
    }

private:
    bool Encode(const std::vector<uint8_t>& Blocks, size_t Samples, std::vector<uint8_t>& Output) {
        Pcm.resize(Samples * Source.nChannels);
        std::memcpy(Pcm.data(), Blocks.data(), Pcm.size() * sizeof(int16_t));
        const size_t Before = Output.size();
        Output.resize(Before + LameBound(Samples));
        const int Room = static_cast<int>(Output.size() - Before);
        const int Made =
            Source.nChannels == 1
                ? lame_encode_buffer(Lame, Pcm.data(), nullptr, static_cast<int>(Samples),
                                     Output.data() + Before, Room)
                : lame_encode_buffer_interleaved(Lame, Pcm.data(), static_cast<int>(Samples),
                                                 Output.data() + Before, Room);
        Output.resize(Before + static_cast<size_t>(std::max(Made, 0)));
        AnySample = true;
        return Made >= 0;
    }

    // The frames LAME still holds; the last one is completed with silence,
    // as every MP3 encoder must. A stream given no sound gives no frame:
    // LAME would make frames of silence out of nothing.
    bool Flush(std::vector<uint8_t>& Output) {
        if (Flushed || !AnySample) {
            return true;
        }
        Flushed = true;
        const size_t Before = Output.size();
        Output.resize(Before + 7200);
        const int Made = lame_encode_flush(Lame, Output.data() + Before, 7200);
        Output.resize(Before + static_cast<size_t>(std::max(Made, 0)));
        return Made >= 0;
    }

    WAVEFORMATEX Source;
    TBlockCarry Carry;
    lame_global_flags* Lame = nullptr;
    std::vector<int16_t> Pcm;
    bool AnySample = false;
    bool Flushed = false;
};

}  // namespace

std::unique_ptr<IAudioStream> OpenMp3EncodingStream(const WAVEFORMATEX& Source,
                                                    const WAVEFORMATEX& Destination) {
    const WAVEFORMATEX Wanted = Mp3EncoderInput(Destination);
    if (!IsOfferedMp3Format(Destination, sizeof(WAVEFORMATEX) + Destination.cbSize) ||
        std::memcmp(&Source, &Wanted, sizeof(WAVEFORMATEX) - sizeof Wanted.cbSize) != 0) {
        return nullptr;
    }
    auto Stream = std::make_unique<TMp3EncodingStream>(Source);
    if (!Stream->Open(Destination)) {
        return nullptr;
    }
    return Stream;
}

}  // namespace quorvane::platform
