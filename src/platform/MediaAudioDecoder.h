// An audio stream of a video file decoded to 16-bit PCM in step with its
// timestamps: the reader of TMediaFile's sound.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/FfmpegPointers.h"
#include "platform/MediaFile.h"
#include "platform/SampleConverter.h"

namespace quorvane::platform {

class TMediaInput;

class TMediaAudioDecoder final : public TMediaAudioReader {
public:
    // Input: a reading of the file from its start; Stream: the audio
    // stream's index. Decodes up to the first sound, which sets the PCM's
    // rate and channels; null when no decoder opens or none comes.
    static std::unique_ptr<TMediaAudioDecoder> Open(std::unique_ptr<TMediaInput> Input, int Stream);
    ~TMediaAudioDecoder() override;

    uint32_t Rate() const { return OutRate; }
    uint16_t Channels() const { return OutChannels; }
    // The first sound's time, in microseconds of the stream.
    int64_t FirstTime() const { return FirstMicroseconds; }
    // Sets the file's start, and the time past which nothing is wanted (the
    // video's end): from there on the sound counts as ended, which bounds
    // the silence a wild timestamp could ask for. Before the first Read.
    void StartAt(int64_t ZeroMicroseconds, int64_t EndMicroseconds);

    int64_t Start() const override { return StartFrame; }
    int64_t EstimatedEnd() const override;
    int64_t Position() const override { return NextFrame; }
    size_t Read(int16_t* Samples, size_t Frames) override;

private:
    TMediaAudioDecoder(std::unique_ptr<TMediaInput> Input, int Stream, CodecContextPtr Codec);
    bool DecodeFirst();
    bool Produce();
    bool ReceiveFrame();
    void Place(const AVFrame& Decoded);
    bool ConvertInto(const AVFrame& Decoded, std::vector<uint8_t>& Pcm);
    int64_t FrameAt(int64_t Microseconds) const;
    int64_t MicrosecondsOf(int64_t Time) const;
    void Finish();

    std::unique_ptr<TMediaInput> Input;
    const int Stream;
    CodecContextPtr Codec;
    PacketPtr Packet{av_packet_alloc()};
    FramePtr Frame{av_frame_alloc()};
    TSampleConverter Converter;
    int ConverterFormat = -1;  // the input layout Converter was opened for
    int ConverterRate = 0;
    int ConverterChannels = 0;
    uint32_t OutRate = 0;
    uint16_t OutChannels = 0;
    int64_t FirstMicroseconds = 0;
    int64_t ZeroMicroseconds = 0;
    int64_t EndFrame = INT64_MAX;
    int64_t StartFrame = 0;
    // PCM decoded and not yet read, from Ready[ReadyOffset] on; the sample
    // frame it starts with is NextFrame, and Produced follows its end.
    std::vector<uint8_t> Ready;
    size_t ReadyOffset = 0;
    int64_t NextFrame = 0;
    int64_t Produced = 0;
    bool FirstPlaced = false;
    bool DrainSent = false;
    bool Ended = false;
    std::vector<uint8_t> Converted;  // one frame's PCM
};

}  // namespace quorvane::platform
