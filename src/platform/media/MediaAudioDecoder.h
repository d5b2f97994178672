// An audio stream of a video file decoded to 16-bit PCM in step with its
// timestamps: the reader of TMediaFile's sound.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/audio/SampleConverter.h"
#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/media/MediaFile.h"
#include "platform/media/MediaInput.h"

namespace quorvane::platform {

// What the stream's first sound tells: its layout and when it starts.
struct TMediaAudioStart {
    uint32_t Rate = 0;
    uint16_t Channels = 0;
    int64_t FirstTime = 0;  // in TimeBase
    AVRational TimeBase{1, 1};
    // Where the file's headers say the sound ends; AV_NOPTS_VALUE when they
    // don't.
    TMicroseconds HeaderEnd = AV_NOPTS_VALUE;
};

// Decodes the first packets of an audio stream, handed to it while another
// reading of the file goes through it, up to the first sound.
class TMediaAudioProbe {
public:
    // Null when no decoder opens for Stream.
    static std::unique_ptr<TMediaAudioProbe> Open(const TMediaInput& Input, int Stream);

    bool Wants() const { return !Found; }
    void Take(const AVPacket& Packet);
    // After the last packet: how the sound starts, or nothing when no sound
    // came that can be converted.
    std::optional<TMediaAudioStart> Finish();

private:
    TMediaAudioProbe(CodecContextPtr Codec, TMediaAudioStart Known);
    void Receive();

    CodecContextPtr Codec;
    FramePtr Frame{av_frame_alloc()};
    TMediaAudioStart Start;
    bool Found = false;
};

class TMediaAudioDecoder final : public TMediaAudioReader {
public:
    // Readings: where the sound is read from, when it first is;
    // BeforeReading is called then. Nothing is held open meanwhile.
    TMediaAudioDecoder(TMediaFileReadings Readings, int Stream, const TMediaAudioStart& Start,
                       std::function<void()> BeforeReading);
    ~TMediaAudioDecoder() override;

    uint32_t Rate() const { return OutRate; }
    uint16_t Channels() const { return OutChannels; }
    // Sets the file's start, and the time past which nothing is wanted (the
    // video's end): the sound ends there, which bounds the silence a wild
    // timestamp could ask for. Before the first Read.
    void StartAt(TMicroseconds Zero, TMicroseconds End);

    int64_t Start() const override { return StartFrame; }
    int64_t EstimatedEnd() const override;
    int64_t Position() const override { return NextFrame; }
    size_t Read(int16_t* Samples, size_t Frames) override;

private:
    bool BeginReading();
    bool Produce();
    bool ReceiveFrame();
    void Place(const AVFrame& Decoded);
    void Append(const std::vector<uint8_t>& Pcm, size_t Skipped);
    bool ConvertInto(const AVFrame& Decoded, std::vector<uint8_t>& Pcm);
    int64_t FrameAt(TMicroseconds Time) const;
    void Finish();

    const TMediaFileReadings Readings;
    const int Stream;
    const TMediaAudioStart First;
    std::function<void()> BeforeReading;
    std::unique_ptr<TMediaInput> Input;  // from the first Read on
    CodecContextPtr Codec;
    PacketPtr Packet{av_packet_alloc()};
    FramePtr Frame{av_frame_alloc()};
    TSampleConverter Converter;
    int ConverterFormat = -1;  // the input layout Converter was opened for
    int ConverterRate = 0;
    int ConverterChannels = 0;
    const uint32_t OutRate;
    const uint16_t OutChannels;
    TMicroseconds ZeroMicroseconds = 0;
    int64_t EndFrame = INT64_MAX;
    int64_t StartFrame = 0;
    // PCM decoded and not yet read, from Ready[ReadyOffset] on, after
    // SilenceToGive sample frames of silence: a gap is given as it is read,
    // never held whole. The sample frame they start with is NextFrame, and
    // Produced follows their end.
    std::vector<uint8_t> Ready;
    size_t ReadyOffset = 0;
    int64_t SilenceToGive = 0;
    int64_t NextFrame = 0;
    int64_t Produced = 0;
    bool Begun = false;
    bool FirstPlaced = false;
    bool DrainSent = false;
    bool Ended = false;
    std::vector<uint8_t> Converted;  // one frame's PCM
};

}  // namespace quorvane::platform
