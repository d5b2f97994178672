#include "platform/media/MediaFrameDecoder.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/media/MediaInput.h"

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

// The picture is scaled once, from the frame (turned, its pixels as
// stored) to the size asked for: a crop given in the picture as shown is
// the part of the frame whose edges lie nearest to its own, which is exact
// where pixels are square.
TPictureGeometry GeometryInFrame(const TPictureGeometry& Geometry, TDisplaySize Shown,
                                 int FrameWidth, int FrameHeight) {
    TPictureGeometry InFrame;
    const TPictureRect Part = Geometry.Crop.value_or(TPictureRect{Shown.Width, Shown.Height, 0, 0});
    InFrame.Width = Geometry.Width > 0 ? Geometry.Width : Part.Width;
    InFrame.Height = Geometry.Height > 0 ? Geometry.Height : Part.Height;
    if (Geometry.Crop) {
        // Halves up, in 64 bits.
        const auto InFrameEdge = [](int32_t Edge, int Frame, int ShownSide) {
            return static_cast<int32_t>((int64_t{Edge} * Frame * 2 + ShownSide) / (2 * ShownSide));
        };
        const auto Span = [&](int32_t From, int32_t Length, int Frame, int ShownSide) {
            const int32_t Start = std::min(InFrameEdge(From, Frame, ShownSide), Frame - 1);
            const int32_t End = InFrameEdge(From + Length, Frame, ShownSide);
            return std::pair(Start, std::max(End - Start, 1));
        };
        const auto [X, Width] = Span(Part.X, Part.Width, FrameWidth, Shown.Width);
        const auto [Y, Height] = Span(Part.Y, Part.Height, FrameHeight, Shown.Height);
        InFrame.Crop = TPictureRect{Width, Height, X, Y};
    }
    return InFrame;
}

std::unique_ptr<TMediaFrameDecoder> TMediaFrameDecoder::Open(const TMediaFileReadings& Readings,
                                                             int Stream, std::vector<int64_t> Pts,
                                                             std::vector<TRestartPoint> Restarts,
                                                             int Rotation, int LargestSide) {
    std::unique_ptr<TMediaInput> Input = Readings.Open();
    CodecContextPtr Context = Input ? Input->OpenDecoder(Stream, 0) : nullptr;
    if (!Context) {
        return nullptr;
    }
    Input->KeepOnly(Stream);
    return std::unique_ptr<TMediaFrameDecoder>(
        new TMediaFrameDecoder(Readings, std::move(Input), Stream, std::move(Pts),
                               std::move(Restarts), Rotation, LargestSide, std::move(Context)));
}

TMediaFrameDecoder::TMediaFrameDecoder(TMediaFileReadings From,
                                       std::unique_ptr<TMediaInput> Reading, int Index,
                                       std::vector<int64_t> Times,
                                       std::vector<TRestartPoint> Points, int Degrees, int Largest,
                                       CodecContextPtr Context)
    : Readings(std::move(From)),
      Input(std::move(Reading)),
      Stream(Index),
      Pts(std::move(Times)),
      Restarts(std::move(Points)),
      Rotation(Degrees),
      LargestSide(Largest),
      Filter(Degrees),
      Pictures(*this, std::move(Context), ShownBitCount,
               TPictureDecoder::TPicturesAPosition::LastOfSeveral) {}

TPicture TMediaFrameDecoder::Picture(size_t Index) {
    if (Index >= Pts.size()) {
        return {};
    }
    return Pictures.PictureAt(Index,
                              Index + 1 < Pts.size() ? std::optional(Index + 1) : std::nullopt);
}

void TMediaFrameDecoder::LetGoOfReading() {
    Pictures.StartOver();
    Input.reset();
}

// Going on from the current state is fastest, unless the target lies
// behind it or a restart point for it lies beyond the next packet.
bool TMediaFrameDecoder::NeedsRestart(size_t Target, std::optional<size_t> Latest) const {
    if (Target < Latest.value_or(FirstFrame)) {
        return true;
    }
    const TRestartPoint* From = RestartFor(Target);
    return From && From->Ordinal > NextOrdinal;
}

// Decoding starts again from the last restart point at or before the
// target, or else from the file's start.
bool TMediaFrameDecoder::Rewind(size_t Target) {
    Lost.clear();
    ErrorsInARow = 0;
    KeyHeld = false;
    if (const TRestartPoint* From = RestartFor(Target); From && SeekTo(*From)) {
        FirstFrame = IndexOf(From->Pts);
        return true;
    }
    FirstFrame = 0;
    return ReadFromStart();
}

const TRestartPoint* TMediaFrameDecoder::RestartFor(size_t Target) const {
    const auto After = std::upper_bound(
        Restarts.begin(), Restarts.end(), Pts[Target],
        [](int64_t Time, const TRestartPoint& Restart) { return Time < Restart.Pts; });
    return After == Restarts.begin() ? nullptr : &*std::prev(After);
}

// The container seeks to a key frame at or before the one sought, by its
// decoding time where it tells one (MP4 seeks by those), and the packets
// up to it are passed over unsent. False when it seeks past it, or can't:
// a container's seek may be inexact, or none.
bool TMediaFrameDecoder::SeekTo(const TRestartPoint& Key) {
    if (!Input) {
        Input = Readings.Open();
        if (!Input) {
            return false;
        }
        Input->KeepOnly(Stream);
    }
    FreshInput = false;
    const int64_t Time = Key.Dts != AV_NOPTS_VALUE ? Key.Dts : Key.Pts;
    if (avformat_seek_file(&Input->Format(), Stream, INT64_MIN, Time, Time, 0) < 0) {
        return false;
    }
    // No packet before the key frame shows after it.
    while (ReadPacket()) {
        if (Packet->pts == Key.Pts && Packet->flags & AV_PKT_FLAG_KEY) {
            KeyHeld = true;
            NextOrdinal = Key.Ordinal + 1;
            return true;
        }
        if (Packet->pts != AV_NOPTS_VALUE && Packet->pts > Key.Pts) {
            return false;
        }
    }
    return false;
}

// The packets then come in the same order as when the frames were timed.
// The reading before goes first: a crafted index can cost gigabytes a
// reading. False when the file can't be read again.
bool TMediaFrameDecoder::ReadFromStart() {
    if (!Input || !FreshInput) {
        Input.reset();
        Input = Readings.Open();
        if (!Input) {
            return false;
        }
        Input->KeepOnly(Stream);
    }
    FreshInput = false;
    NextOrdinal = 0;
    return true;
}

// Packets of one time (a screencast's first two frames) give pictures of
// one frame, and a player shows the last; a picture out of order can't be
// placed: the one shown stands. One from before the first key frame is not
// shown at all.
std::optional<size_t> TMediaFrameDecoder::Place(const AVFrame& Picture,
                                                std::optional<size_t> Latest) {
    ErrorsInARow = 0;
    const int64_t Time =
        Picture.pts != AV_NOPTS_VALUE ? Picture.pts : Picture.best_effort_timestamp;
    const size_t Index = Time != AV_NOPTS_VALUE ? IndexOf(Time) : Latest ? *Latest + 1 : FirstFrame;
    if ((Latest && Index < *Latest) || Index < FirstFrame ||
        (Time != AV_NOPTS_VALUE && Time < Pts.front())) {
        return std::nullopt;
    }
    return Index;
}

// The picture before a failed one stands.
bool TMediaFrameDecoder::PictureFailed() {
    return ++ErrorsInARow <= MaxErrorsInARow;
}

// The last frame whose time is at or before Time.
size_t TMediaFrameDecoder::IndexOf(int64_t Time) const {
    const auto After = std::upper_bound(Pts.begin(), Pts.end(), Time);
    return After == Pts.begin() ? 0 : static_cast<size_t>(After - Pts.begin() - 1);
}

bool TMediaFrameDecoder::SendPacket(AVCodecContext& Codec) {
    if (!KeyHeld) {
        do {
            if (!ReadPacket()) {
                return false;
            }
        } while (BeforeFirstFrame(*Packet));
    }
    KeyHeld = false;
    const int64_t Time = Packet->pts != AV_NOPTS_VALUE ? Packet->pts : Packet->dts;
    if (avcodec_send_packet(&Codec, Packet.get()) < 0 && Time != AV_NOPTS_VALUE &&
        !(Packet->flags & AV_PKT_FLAG_DISCARD)) {
        Lost.insert(IndexOf(Time));
    }
    return true;
}

// The stream's next packet, into Packet.
bool TMediaFrameDecoder::ReadPacket() {
    do {
        av_packet_unref(Packet.get());
        if (av_read_frame(&Input->Format(), Packet.get()) < 0) {
            return false;
        }
    } while (Packet->stream_index != Stream);
    ++NextOrdinal;
    return true;
}

// A packet from before the first key frame of a recording joined midway
// refers to pictures the file does not hold: the decoder would only
// complain of it. One the container drops (before an edit list's start)
// may still be needed to decode the frames after it.
bool TMediaFrameDecoder::BeforeFirstFrame(const AVPacket& Candidate) const {
    const int64_t Time = Candidate.pts != AV_NOPTS_VALUE ? Candidate.pts : Candidate.dts;
    return !(Candidate.flags & AV_PKT_FLAG_DISCARD) && Time != AV_NOPTS_VALUE && Time < Pts.front();
}

// The first picture fixes the size it is shown at: every later one is
// scaled to it.
bool TMediaFrameDecoder::Convert(AVFrame& Decoded, const TPictureGeometry& Geometry,
                                 DibPicture& Into) {
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
    }
    if (IsHdr(Decoded)) {
        SawHdr = true;
    }
    const AVFrame* Shown = Filter.Apply(Decoded);
    if (!Shown) {
        return false;
    }
    Into.SetGeometry(GeometryInFrame(Geometry, *Size, Shown->width, Shown->height),
                     ScalingFor(Geometry));
    return Into.Assign(*Shown);
}

}  // namespace quorvane::platform
