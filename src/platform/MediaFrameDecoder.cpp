#include "platform/MediaFrameDecoder.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/MediaInput.h"

namespace quorvane::platform {

namespace {

constexpr uint16_t ShownBitCount = 24;

// A decoder that fails this often in a row is taken to have nothing more.
constexpr int MaxErrorsInARow = 1000;

// A side any pixel shape could ask for, kept within int: a size that large
// is refused anyway.
int Rounded(double Value) {
    return static_cast<int>(std::clamp(std::round(Value), 1.0, double{INT_MAX}));
}

}  // namespace

TDisplaySize DisplaySizeOf(int Width, int Height, AVRational SampleAspect, int Rotation) {
    TDisplaySize Size{Width, Height};
    if (SampleAspect.num > 0 && SampleAspect.den > 0) {
        const double Aspect = av_q2d(SampleAspect);
        if (Aspect > 1) {
            Size.Width = Rounded(Width * Aspect);
        } else if (Aspect < 1) {
            Size.Height = Rounded(Height / Aspect);
        }
    }
    if (Rotation == 90 || Rotation == 270) {
        std::swap(Size.Width, Size.Height);
    }
    return Size;
}

std::unique_ptr<TMediaFrameDecoder> TMediaFrameDecoder::Open(const TMediaFileReadings& Readings,
                                                             int Stream, std::vector<int64_t> Pts,
                                                             int Rotation, int LargestSide) {
    std::unique_ptr<TMediaInput> Input = Readings.Open();
    CodecContextPtr Context = Input ? Input->OpenDecoder(Stream, 0) : nullptr;
    if (!Context) {
        return nullptr;
    }
    Input->KeepOnly(Stream);
    return std::unique_ptr<TMediaFrameDecoder>(
        new TMediaFrameDecoder(Readings, std::move(Input), Stream, std::move(Pts), Rotation,
                               LargestSide, std::move(Context)));
}

TMediaFrameDecoder::TMediaFrameDecoder(TMediaFileReadings From,
                                       std::unique_ptr<TMediaInput> Reading, int Index,
                                       std::vector<int64_t> Times, int Degrees, int Largest,
                                       CodecContextPtr Context)
    : Readings(std::move(From)),
      Input(std::move(Reading)),
      Stream(Index),
      Pts(std::move(Times)),
      Rotation(Degrees),
      LargestSide(Largest),
      Codec(std::move(Context)),
      Filter(Degrees),
      Pictures{DibPicture(ShownBitCount, UntaggedMatrixOf(Codec->codec_id)),
               DibPicture(ShownBitCount, UntaggedMatrixOf(Codec->codec_id))} {}

TMediaFrameDecoder::~TMediaFrameDecoder() {
    FinishDecodingAhead();
}

TPicture TMediaFrameDecoder::Picture(size_t Index) {
    FinishDecodingAhead();
    if (Index >= Pts.size()) {
        return {};
    }
    if (Index != ShownIndex) {
        const std::optional<size_t> Picture =
            Index == AheadIndex ? AheadPicture : DecodeIntoBack(Index);
        if (!Picture) {
            return {};
        }
        if (Picture != ShownPicture) {
            Shown = 1 - Shown;
            ShownPicture = Picture;
        }
        ShownIndex = Index;
    }
    StartDecodingAfter(Index);
    return Pictures[Shown].Picture();
}

// The frame whose picture shows at Target; unless it is the one shown
// already, its picture is left in the bitmap not handed out.
std::optional<size_t> TMediaFrameDecoder::DecodeIntoBack(size_t Target) {
    if ((!Started || (LatestIndex && Target < *LatestIndex)) && !Restart()) {
        return std::nullopt;
    }
    if (!DecodeUpTo(Target)) {
        return std::nullopt;
    }
    if (LatestIndex != ShownPicture && !Convert(*Latest, Pictures[1 - Shown])) {
        return std::nullopt;
    }
    return LatestIndex;
}

void TMediaFrameDecoder::StartDecodingAfter(size_t Index) {
    AheadIndex.reset();
    if (Index + 1 >= Pts.size()) {
        return;
    }
    Ahead = std::thread([this, Next = Index + 1] {
        try {
            if (const std::optional<size_t> Picture = DecodeIntoBack(Next)) {
                AheadPicture = Picture;
                AheadIndex = Next;
            }
        } catch (...) {
            Started = false;  // in an unknown state: the next use starts again
        }
    });
}

void TMediaFrameDecoder::FinishDecodingAhead() {
    if (Ahead.joinable()) {
        Ahead.join();
    }
}

void TMediaFrameDecoder::LetGoOfReading() {
    FinishDecodingAhead();
    AheadIndex.reset();
    Input.reset();
    Started = false;
}

// Decoding starts again from the file's start: the packets then come in
// the same order as when the frames were timed. The reading before goes
// first: a crafted index can cost gigabytes a reading. False when the file
// can't be read again.
bool TMediaFrameDecoder::Restart() {
    if (!Input || !FreshInput) {
        Input.reset();
        Input = Readings.Open();
        if (!Input) {
            Started = false;
            return false;
        }
        Input->KeepOnly(Stream);
    }
    FreshInput = false;
    avcodec_flush_buffers(Codec.get());
    av_frame_unref(Latest.get());
    av_frame_unref(Pending.get());
    LatestIndex.reset();
    PendingIndex.reset();
    Lost.clear();
    Started = true;
    DrainSent = false;
    Drained = false;
    ErrorsInARow = 0;
    return true;
}

// Decodes until the picture that shows at Target is known: the last one
// placed there, or the one before it when the decoder gave none for it. So
// it goes on until a picture beyond Target comes out: packets of one time
// (a screencast's first two frames) give pictures of one frame, and a
// player shows the last. False when there is none.
bool TMediaFrameDecoder::DecodeUpTo(size_t Target) {
    for (;;) {
        if (PendingIndex && *PendingIndex <= Target) {
            TakePending();
        }
        if (PendingIndex || Drained) {
            return LatestIndex && (*LatestIndex == Target || !Lost.count(Target));
        }
        const int Result = avcodec_receive_frame(Codec.get(), Pending.get());
        if (Result >= 0) {
            const int64_t Time =
                Pending->pts != AV_NOPTS_VALUE ? Pending->pts : Pending->best_effort_timestamp;
            const size_t Index = Time != AV_NOPTS_VALUE ? IndexOf(Time)
                                 : LatestIndex          ? *LatestIndex + 1
                                                        : 0;
            // A picture out of order can't be placed: the one shown stands.
            // One from before the first key frame is not shown at all.
            if ((LatestIndex && Index < *LatestIndex) ||
                (Time != AV_NOPTS_VALUE && Time < Pts.front())) {
                av_frame_unref(Pending.get());
            } else {
                PendingIndex = Index;
            }
            ErrorsInARow = 0;
        } else if (Result == AVERROR(EAGAIN) && !DrainSent) {
            SendNextPacket();
        } else if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF ||
                   ++ErrorsInARow > MaxErrorsInARow) {
            Drained = true;
        }
        // Otherwise a picture failed to decode: the one before it stands.
    }
}

void TMediaFrameDecoder::TakePending() {
    std::swap(Latest, Pending);
    av_frame_unref(Pending.get());
    LatestIndex = PendingIndex;
    PendingIndex.reset();
}

// The last frame whose time is at or before Time.
size_t TMediaFrameDecoder::IndexOf(int64_t Time) const {
    const auto After = std::upper_bound(Pts.begin(), Pts.end(), Time);
    return After == Pts.begin() ? 0 : static_cast<size_t>(After - Pts.begin() - 1);
}

void TMediaFrameDecoder::SendNextPacket() {
    for (;;) {
        av_packet_unref(Packet.get());
        if (av_read_frame(&Input->Format(), Packet.get()) < 0) {
            avcodec_send_packet(Codec.get(), nullptr);
            DrainSent = true;
            return;
        }
        if (Packet->stream_index == Stream && !BeforeFirstFrame(*Packet)) {
            break;
        }
    }
    const int64_t Time = Packet->pts != AV_NOPTS_VALUE ? Packet->pts : Packet->dts;
    if (avcodec_send_packet(Codec.get(), Packet.get()) < 0 && Time != AV_NOPTS_VALUE &&
        !(Packet->flags & AV_PKT_FLAG_DISCARD)) {
        Lost.insert(IndexOf(Time));
    }
}

// A packet from before the first key frame of a recording joined midway
// refers to pictures the file does not hold: the decoder would only
// complain of it. One the container drops (before an edit list's start)
// may still be needed to decode the frames after it.
bool TMediaFrameDecoder::BeforeFirstFrame(const AVPacket& Candidate) const {
    const int64_t Time = Candidate.pts != AV_NOPTS_VALUE ? Candidate.pts : Candidate.dts;
    return !(Candidate.flags & AV_PKT_FLAG_DISCARD) && Time != AV_NOPTS_VALUE && Time < Pts.front();
}

// The first picture fixes the size: every later one is scaled to it.
bool TMediaFrameDecoder::Convert(AVFrame& Decoded, DibPicture& Into) {
    Decoded.sample_aspect_ratio =
        av_guess_sample_aspect_ratio(&Input->Format(), Input->Format().streams[Stream], &Decoded);
    if (!Size) {
        const TDisplaySize Shown =
            DisplaySizeOf(Decoded.width, Decoded.height, Decoded.sample_aspect_ratio, Rotation);
        if (Shown.Width > LargestSide || Shown.Height > LargestSide) {
            Refused = Shown;
            return false;
        }
        Size = Shown;
        for (DibPicture& Picture : Pictures) {
            Picture.ScaleTo(Size->Width, Size->Height);
        }
    }
    SawHdr = SawHdr || IsHdr(Decoded);
    const AVFrame* Shown = Filter.Apply(Decoded);
    return Shown && Into.Assign(*Shown);
}

}  // namespace quorvane::platform
