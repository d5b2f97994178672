#include "platform/ffmpeg/PictureDecoder.h"

#include <utility>

namespace quorvane::platform {

TPictureDecoder::TPictureDecoder(IReader& From, CodecContextPtr Context, uint16_t BitCount,
                                 TPicturesAPosition Pictures)
    : Reader(From),
      Codec(std::move(Context)),
      PicturesAPosition(Pictures),
      Pictures{DibPicture(BitCount, UntaggedMatrixOf(Codec->codec_id)),
               DibPicture(BitCount, UntaggedMatrixOf(Codec->codec_id))} {}

TPictureDecoder::~TPictureDecoder() {
    FinishDecodingAhead();
}

TPicture TPictureDecoder::PictureAt(size_t Target, std::optional<size_t> Next) {
    FinishDecodingAhead();
    if (Target != ShownTarget) {
        const std::optional<size_t> Picture = Target == AheadTarget  ? AheadPicture
                                              : Target == KeptTarget ? ConvertKeptIntoBack()
                                                                     : DecodeIntoBack(Target);
        KeptTarget.reset();
        if (!Picture) {
            return {};
        }
        if (Picture != ShownPicture) {
            Shown = 1 - Shown;
            ShownPicture = Picture;
        }
        ShownTarget = Target;
    }
    StartDecodingAhead(Next);
    return Pictures[Shown].Picture();
}

void TPictureDecoder::StartOver() {
    FinishDecodingAhead();
    AheadTarget.reset();
    Started = false;
}

// The pictures converted before are converted again; the one shown, from
// the picture it was decoded as.
void TPictureDecoder::SetGeometry(const TPictureGeometry& Wanted) {
    FinishDecodingAhead();
    Geometry = Wanted;
    AheadTarget.reset();
    if (ShownTarget) {
        KeptTarget = ShownTarget;
        KeptPicture = ShownPicture;
    }
    ShownTarget.reset();
    ShownPicture.reset();
}

// The picture shown, as decoded, converted into the bitmap not handed out;
// decoded again when it is not kept, or the reading it came from was let go.
std::optional<size_t> TPictureDecoder::ConvertKeptIntoBack() {
    AVFrame& Kept = *Decoded[Shown];
    if (!Started || Kept.width <= 0) {
        return DecodeIntoBack(*KeptTarget);
    }
    const size_t Back = 1 - Shown;
    if (!Reader.Convert(Kept, Geometry, Pictures[Back])) {
        return std::nullopt;
    }
    av_frame_unref(Decoded[Back].get());
    av_frame_ref(Decoded[Back].get(), &Kept);
    return KeptPicture;
}

// The position of the picture that shows at Target; unless it is the one
// shown already, it is left in the bitmap not handed out.
std::optional<size_t> TPictureDecoder::DecodeIntoBack(size_t Target) {
    if ((!Started || Reader.NeedsRestart(Target, LatestPosition)) && !Restart(Target)) {
        return std::nullopt;
    }
    if (!DecodeUpTo(Target)) {
        return std::nullopt;
    }
    if (LatestPosition != ShownPicture) {
        const size_t Back = 1 - Shown;
        av_frame_unref(Decoded[Back].get());
        if (!Reader.Convert(*Latest, Geometry, Pictures[Back])) {
            return std::nullopt;
        }
        av_frame_ref(Decoded[Back].get(), Latest.get());
    }
    return LatestPosition;
}

void TPictureDecoder::StartDecodingAhead(std::optional<size_t> Next) {
    AheadTarget.reset();
    if (!Next || Next == ShownTarget) {
        return;
    }
    Ahead = std::thread([this, Next = *Next] {
        try {
            if (const std::optional<size_t> Picture = DecodeIntoBack(Next)) {
                AheadPicture = Picture;
                AheadTarget = Next;
            }
        } catch (...) {
            Started = false;  // in an unknown state: the next use starts again
        }
    });
}

void TPictureDecoder::FinishDecodingAhead() {
    if (Ahead.joinable()) {
        Ahead.join();
    }
}

bool TPictureDecoder::Restart(size_t Target) {
    if (!Reader.Rewind(Target)) {
        Started = false;
        return false;
    }
    avcodec_flush_buffers(Codec.get());
    av_frame_unref(Latest.get());
    av_frame_unref(Pending.get());
    LatestPosition.reset();
    PendingPosition.reset();
    Started = true;
    DrainSent = false;
    Drained = false;
    return true;
}

// Decodes until the picture that shows at Target is known: its own (the
// last of its own, where several share a position), or one before it that
// stands. False when there is none.
bool TPictureDecoder::DecodeUpTo(size_t Target) {
    for (;;) {
        if (PendingPosition && *PendingPosition <= Target) {
            TakePending();
        }
        if (LatestPosition == Target && PicturesAPosition == TPicturesAPosition::One) {
            return true;
        }
        if (PendingPosition || Drained) {
            // The decoder is past the target.
            return LatestPosition &&
                   (*LatestPosition == Target || Reader.ShowsPictureBefore(Target));
        }
        ReceivePicture();
    }
}

// One step of libavcodec's loop: a picture out, or a packet in, or the end.
void TPictureDecoder::ReceivePicture() {
    const int Result = avcodec_receive_frame(Codec.get(), Pending.get());
    if (Result >= 0) {
        PendingPosition = Reader.Place(*Pending, LatestPosition);
        if (!PendingPosition) {
            av_frame_unref(Pending.get());
        }
    } else if (Result == AVERROR(EAGAIN) && !DrainSent) {
        if (!Reader.SendPacket(*Codec)) {
            avcodec_send_packet(Codec.get(), nullptr);
            DrainSent = true;
        }
    } else if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF || !Reader.PictureFailed()) {
        Drained = true;
    }
}

void TPictureDecoder::TakePending() {
    std::swap(Latest, Pending);
    av_frame_unref(Pending.get());
    LatestPosition = PendingPosition;
    PendingPosition.reset();
}

}  // namespace quorvane::platform
