#include "platform/MediaAudioDecoder.h"

#include <algorithm>
#include <cstring>

#include "platform/MediaInput.h"

namespace quorvane::platform {

namespace {

constexpr AVRational Microseconds{1, 1000000};

// Timestamps in milliseconds (Matroska) are off the sample count by up to
// half of one; a gap or overlap is mended only beyond this, which also
// keeps the sound within it of its timestamps.
constexpr int64_t ToleranceMs = 5;

// A decoder that fails this often in a row is taken to have nothing more.
constexpr int MaxErrorsInARow = 1000;

}  // namespace

std::unique_ptr<TMediaAudioDecoder> TMediaAudioDecoder::Open(std::unique_ptr<TMediaInput> Input,
                                                             int Stream) {
    CodecContextPtr Context = Input->OpenDecoder(Stream, 1);
    if (!Context) {
        return nullptr;
    }
    Input->KeepOnly(Stream);
    std::unique_ptr<TMediaAudioDecoder> Reader(
        new TMediaAudioDecoder(std::move(Input), Stream, std::move(Context)));
    if (!Reader->Packet || !Reader->Frame || !Reader->DecodeFirst()) {
        return nullptr;
    }
    return Reader;
}

TMediaAudioDecoder::TMediaAudioDecoder(std::unique_ptr<TMediaInput> Reading, int Index,
                                       CodecContextPtr Context)
    : Input(std::move(Reading)), Stream(Index), Codec(std::move(Context)) {}

TMediaAudioDecoder::~TMediaAudioDecoder() = default;

// The first sound stays in Frame until the file's start is known.
bool TMediaAudioDecoder::DecodeFirst() {
    if (!ReceiveFrame() || Frame->sample_rate <= 0 || Frame->ch_layout.nb_channels <= 0 ||
        Frame->ch_layout.nb_channels > UINT16_MAX) {
        return false;
    }
    OutRate = static_cast<uint32_t>(Frame->sample_rate);
    OutChannels = static_cast<uint16_t>(Frame->ch_layout.nb_channels);
    const int64_t Time = Frame->pts != AV_NOPTS_VALUE ? Frame->pts : Frame->best_effort_timestamp;
    FirstMicroseconds = Time == AV_NOPTS_VALUE ? 0 : MicrosecondsOf(Time);
    return true;
}

void TMediaAudioDecoder::StartAt(int64_t Zero, int64_t End) {
    ZeroMicroseconds = Zero;
    StartFrame = std::max<int64_t>(FrameAt(FirstMicroseconds), 0);
    EndFrame = std::max(FrameAt(End), StartFrame);
    NextFrame = Produced = StartFrame;
    Place(*Frame);
    av_frame_unref(Frame.get());
}

int64_t TMediaAudioDecoder::EstimatedEnd() const {
    const AVStream& Audio = *Input->Format().streams[Stream];
    int64_t End = AV_NOPTS_VALUE;
    if (Audio.duration != AV_NOPTS_VALUE && Audio.start_time != AV_NOPTS_VALUE) {
        End = MicrosecondsOf(Audio.start_time + Audio.duration);
    } else if (Input->Format().duration != AV_NOPTS_VALUE) {
        End = Input->Format().duration +
              (Input->Format().start_time != AV_NOPTS_VALUE ? Input->Format().start_time : 0);
    }
    if (Ended) {
        return Produced;
    }
    // Beyond what was given while more is to come.
    const int64_t Guess = End == AV_NOPTS_VALUE ? Produced : FrameAt(End);
    return std::max(std::min(Guess, EndFrame), Produced + 1);
}

size_t TMediaAudioDecoder::Read(int16_t* Samples, size_t Frames) {
    const size_t FrameBytes = size_t{OutChannels} * sizeof(int16_t);
    while (Ready.size() - ReadyOffset < Frames * FrameBytes && !Ended && Produce()) {
    }
    const size_t Given = std::min(Frames, (Ready.size() - ReadyOffset) / FrameBytes);
    std::memcpy(Samples, Ready.data() + ReadyOffset, Given * FrameBytes);
    ReadyOffset += Given * FrameBytes;
    NextFrame += static_cast<int64_t>(Given);
    if (ReadyOffset * 2 > Ready.size()) {
        Ready.erase(Ready.begin(), Ready.begin() + static_cast<ptrdiff_t>(ReadyOffset));
        ReadyOffset = 0;
    }
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
void TMediaAudioDecoder::Place(const AVFrame& Decoded) {
    if (Ended) {
        return;
    }
    Converted.clear();
    if (!ConvertInto(Decoded, Converted)) {
        return;
    }
    const size_t FrameBytes = size_t{OutChannels} * sizeof(int16_t);
    const int64_t Time =
        Decoded.pts != AV_NOPTS_VALUE ? Decoded.pts : Decoded.best_effort_timestamp;
    const int64_t Tolerance = int64_t{OutRate} * ToleranceMs / 1000;
    size_t Skipped = 0;
    if (Time != AV_NOPTS_VALUE && FirstPlaced) {
        const int64_t Offset = FrameAt(MicrosecondsOf(Time)) - Produced;
        if (Offset > Tolerance) {
            const int64_t Silence = std::min(Offset, EndFrame - Produced);
            Ready.insert(Ready.end(), static_cast<size_t>(Silence) * FrameBytes, 0);
            Produced += Silence;
        } else if (Offset < -Tolerance) {
            Skipped = std::min(static_cast<size_t>(-Offset) * FrameBytes, Converted.size());
        }
    }
    FirstPlaced = true;
    Ready.insert(Ready.end(), Converted.begin() + static_cast<ptrdiff_t>(Skipped), Converted.end());
    Produced += static_cast<int64_t>((Converted.size() - Skipped) / FrameBytes);
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
        if (Decoded.sample_rate <= 0 || Decoded.ch_layout.nb_channels <= 0 ||
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
int64_t TMediaAudioDecoder::FrameAt(int64_t Time) const {
    constexpr int64_t Limit = int64_t{1} << 52;
    const int64_t Since = static_cast<int64_t>(
        std::clamp<__int128>(static_cast<__int128>(Time) - ZeroMicroseconds, -Limit, Limit));
    return av_rescale(Since, OutRate, 1000000);
}

int64_t TMediaAudioDecoder::MicrosecondsOf(int64_t Time) const {
    return av_rescale_q(Time, Input->Format().streams[Stream]->time_base, Microseconds);
}

void TMediaAudioDecoder::Finish() {
    if (!Ended && Converter.IsOpen()) {
        Converted.clear();
        Converter.Flush(Converted);
        Ready.insert(Ready.end(), Converted.begin(), Converted.end());
        Produced +=
            static_cast<int64_t>(Converted.size() / (size_t{OutChannels} * sizeof(int16_t)));
    }
    Ended = true;
}

}  // namespace quorvane::platform
