#include "platform/media/MediaAudioDecoder.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/AudioCodecs.h"

namespace quorvane::platform {

namespace {

// Timestamps in milliseconds (Matroska) are off the sample count by up to
// half of one; a gap or overlap is mended only beyond this, which also
// keeps the sound within it of its timestamps.
constexpr int64_t ToleranceMs = 5;

// A decoder that fails this often in a row is taken to have nothing more.
constexpr int MaxErrorsInARow = 1000;

int64_t TimeOf(const AVFrame& Frame) {
    return Frame.pts != AV_NOPTS_VALUE ? Frame.pts : Frame.best_effort_timestamp;
}

// Where the container's headers say the stream ends.
TMicroseconds HeaderEndOf(const AVFormatContext& Format, const AVStream& Audio) {
    if (Audio.duration != AV_NOPTS_VALUE && Audio.start_time != AV_NOPTS_VALUE) {
        return MicrosecondsOf(Audio.start_time, Audio.time_base) +
               MicrosecondsOf(Audio.duration, Audio.time_base);
    }
    if (Format.duration != AV_NOPTS_VALUE) {
        return TMicroseconds{Format.duration} +
               (Format.start_time != AV_NOPTS_VALUE ? Format.start_time : 0);
    }
    return AV_NOPTS_VALUE;
}

}  // namespace

std::unique_ptr<TMediaAudioProbe> TMediaAudioProbe::Open(const TMediaInput& Input, int Stream) {
    CodecContextPtr Codec = Input.OpenDecoder(Stream, 1);
    if (!Codec) {
        return nullptr;
    }
    const AVStream& Audio = *Input.Format().streams[Stream];
    TMediaAudioStart Known;
    Known.TimeBase = Audio.time_base;
    Known.HeaderEnd = HeaderEndOf(Input.Format(), Audio);
    std::unique_ptr<TMediaAudioProbe> Probe(new TMediaAudioProbe(std::move(Codec), Known));
    return Probe->Frame ? std::move(Probe) : nullptr;
}

TMediaAudioProbe::TMediaAudioProbe(CodecContextPtr Context, TMediaAudioStart Known)
    : Codec(std::move(Context)), Start(Known) {}

// A packet the decoder refuses is passed over, as when the sound is read.
void TMediaAudioProbe::Take(const AVPacket& Packet) {
    if (!Found) {
        avcodec_send_packet(Codec.get(), &Packet);
        Receive();
    }
}

void TMediaAudioProbe::Receive() {
    if (avcodec_receive_frame(Codec.get(), Frame.get()) < 0) {
        return;
    }
    Found = true;
    Start.Rate = static_cast<uint32_t>(std::max(Frame->sample_rate, 0));
    Start.Channels = static_cast<uint16_t>(std::clamp(Frame->ch_layout.nb_channels, 0, 65535));
    const int64_t Time = TimeOf(*Frame);
    Start.FirstTime = Time == AV_NOPTS_VALUE ? 0 : Time;
}

// The same bounds as the sound of AVI files: a header claiming 2 GHz or
// 1 Hz is sound that can't be decoded.
std::optional<TMediaAudioStart> TMediaAudioProbe::Finish() {
    if (!Found) {
        avcodec_send_packet(Codec.get(), nullptr);
        Receive();
    }
    if (!Found || !IsConvertibleSound(Frame->sample_rate, Frame->ch_layout.nb_channels)) {
        return std::nullopt;
    }
    return Start;
}

TMediaAudioDecoder::TMediaAudioDecoder(TMediaFileReadings From, int Index,
                                       const TMediaAudioStart& Start, std::function<void()> Before)
    : Readings(std::move(From)),
      Stream(Index),
      First(Start),
      BeforeReading(std::move(Before)),
      OutRate(Start.Rate),
      OutChannels(Start.Channels) {}

TMediaAudioDecoder::~TMediaAudioDecoder() = default;

void TMediaAudioDecoder::StartAt(TMicroseconds Zero, TMicroseconds End) {
    ZeroMicroseconds = Zero;
    StartFrame = std::max<int64_t>(FrameAt(MicrosecondsOf(First.FirstTime, First.TimeBase)), 0);
    EndFrame = std::max(FrameAt(End), StartFrame);
    NextFrame = Produced = StartFrame;
}

// The reading is opened when the sound is first read, and decoded from the
// start again up to the first sound, which is placed at the start.
bool TMediaAudioDecoder::BeginReading() {
    if (BeforeReading) {
        BeforeReading();
    }
    Input = Readings.Open();
    Codec = Input ? Input->OpenDecoder(Stream, 1) : nullptr;
    if (!Codec || !Packet || !Frame) {
        return false;
    }
    Input->KeepOnly(Stream);
    if (!ReceiveFrame()) {
        return false;
    }
    Place(*Frame);
    av_frame_unref(Frame.get());
    return true;
}

int64_t TMediaAudioDecoder::EstimatedEnd() const {
    if (Ended) {
        return Produced;
    }
    // Beyond what was given while more is to come.
    const int64_t Guess = First.HeaderEnd == AV_NOPTS_VALUE ? Produced : FrameAt(First.HeaderEnd);
    return std::max(std::min(Guess, EndFrame), Produced + 1);
}

size_t TMediaAudioDecoder::Read(int16_t* Samples, size_t Frames) {
    if (!Begun) {
        Begun = true;
        if (!BeginReading()) {
            Finish();
        }
    }
    const size_t FrameBytes = size_t{OutChannels} * sizeof(int16_t);
    auto* Out = reinterpret_cast<uint8_t*>(Samples);
    size_t Given = 0;
    while (Given < Frames) {
        if (SilenceToGive > 0) {
            const size_t Count = static_cast<size_t>(
                std::min<int64_t>(SilenceToGive, static_cast<int64_t>(Frames - Given)));
            std::memset(Out + Given * FrameBytes, 0, Count * FrameBytes);
            SilenceToGive -= static_cast<int64_t>(Count);
            Given += Count;
        } else if (Ready.size() - ReadyOffset >= FrameBytes) {
            const size_t Count =
                std::min(Frames - Given, (Ready.size() - ReadyOffset) / FrameBytes);
            std::memcpy(Out + Given * FrameBytes, Ready.data() + ReadyOffset, Count * FrameBytes);
            ReadyOffset += Count * FrameBytes;
            Given += Count;
        } else {
            Ready.clear();
            ReadyOffset = 0;
            if (Ended || !Produce()) {
                break;
            }
        }
    }
    NextFrame += static_cast<int64_t>(Given);
    return Given;
}

// One frame of sound placed; false once there is none.
bool TMediaAudioDecoder::Produce() {
    if (!ReceiveFrame()) {
        Finish();
        return false;
    }
    Place(*Frame);
    av_frame_unref(Frame.get());
    return true;
}

// The next frame the decoder gives, into Frame. A packet it refuses is
// passed over: the next one's timestamp brings the silence for it.
bool TMediaAudioDecoder::ReceiveFrame() {
    for (int Errors = 0; Errors < MaxErrorsInARow;) {
        const int Result = avcodec_receive_frame(Codec.get(), Frame.get());
        if (Result >= 0) {
            return true;
        }
        if (Result == AVERROR_EOF || (Result == AVERROR(EAGAIN) && DrainSent)) {
            return false;
        }
        if (Result != AVERROR(EAGAIN)) {
            ++Errors;
            continue;
        }
        av_packet_unref(Packet.get());
        if (av_read_frame(&Input->Format(), Packet.get()) < 0) {
            avcodec_send_packet(Codec.get(), nullptr);
            DrainSent = true;
        } else if (Packet->stream_index == Stream &&
                   avcodec_send_packet(Codec.get(), Packet.get()) < 0) {
            ++Errors;
        }
    }
    return false;
}

// The frame goes where its timestamp puts it, give or take the tolerance:
// after silence for a gap, or without the part that overlaps what was given.
// Called only once all that was placed before has been read.
void TMediaAudioDecoder::Place(const AVFrame& Decoded) {
    if (Ended) {
        return;
    }
    Converted.clear();
    if (!ConvertInto(Decoded, Converted)) {
        return;
    }
    const size_t FrameBytes = size_t{OutChannels} * sizeof(int16_t);
    const int64_t Time = TimeOf(Decoded);
    const int64_t Tolerance = int64_t{OutRate} * ToleranceMs / 1000;
    size_t Skipped = 0;
    if (Time != AV_NOPTS_VALUE && FirstPlaced) {
        const int64_t Offset = FrameAt(MicrosecondsOf(Time, First.TimeBase)) - Produced;
        if (Offset > Tolerance) {
            SilenceToGive = std::min(Offset, EndFrame - Produced);
            Produced += SilenceToGive;
        } else if (Offset < -Tolerance) {
            Skipped = std::min(static_cast<size_t>(-Offset) * FrameBytes, Converted.size());
        }
    }
    FirstPlaced = true;
    Append(Converted, Skipped);
}

// Sound past the video's end is not made at all.
void TMediaAudioDecoder::Append(const std::vector<uint8_t>& Pcm, size_t Skipped) {
    const size_t FrameBytes = size_t{OutChannels} * sizeof(int16_t);
    const auto Wanted = static_cast<size_t>(EndFrame - Produced);
    const size_t Frames = std::min((Pcm.size() - Skipped) / FrameBytes, Wanted);
    Ready.insert(Ready.end(), Pcm.begin() + static_cast<ptrdiff_t>(Skipped),
                 Pcm.begin() + static_cast<ptrdiff_t>(Skipped + Frames * FrameBytes));
    Produced += static_cast<int64_t>(Frames);
    Ended = Produced >= EndFrame;
}

// Sound that changes its layout midway (a new rate or channel count) is
// converted to the first one's.
bool TMediaAudioDecoder::ConvertInto(const AVFrame& Decoded, std::vector<uint8_t>& Pcm) {
    if (Decoded.format != ConverterFormat || Decoded.sample_rate != ConverterRate ||
        Decoded.ch_layout.nb_channels != ConverterChannels) {
        if (Converter.IsOpen()) {
            Converter.Flush(Pcm);
        }
        if (!IsConvertibleSound(Decoded.sample_rate, Decoded.ch_layout.nb_channels) ||
            !Converter.Open(static_cast<AVSampleFormat>(Decoded.format),
                            Decoded.ch_layout.nb_channels, Decoded.sample_rate, OutChannels,
                            static_cast<int>(OutRate))) {
            ConverterFormat = -1;
            return false;
        }
        ConverterFormat = Decoded.format;
        ConverterRate = Decoded.sample_rate;
        ConverterChannels = Decoded.ch_layout.nb_channels;
    }
    return Converter.Convert(Decoded.extended_data, Decoded.nb_samples, Pcm);
}

// Saturated well inside 64 bits, so that wild timestamps can't overflow
// the sums made with it.
int64_t TMediaAudioDecoder::FrameAt(TMicroseconds Time) const {
    constexpr int64_t Limit = int64_t{1} << 52;
    const auto Since =
        static_cast<int64_t>(std::clamp<TMicroseconds>(Time - ZeroMicroseconds, -Limit, Limit));
    return av_rescale(Since, OutRate, 1000000);
}

void TMediaAudioDecoder::Finish() {
    if (!Ended && Converter.IsOpen()) {
        Converted.clear();
        Converter.Flush(Converted);
        Append(Converted, 0);
    }
    Ended = true;
}

}  // namespace quorvane::platform
