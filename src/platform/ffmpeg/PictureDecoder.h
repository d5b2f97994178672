// The decoding of a video stream's pictures by position, shared by the
// readers of AVI files and of other video files: libavcodec's send, receive
// and drain loop, the picture at or before the target and the one that came
// out beyond it, the bitmap handed out beside the one being filled, and the
// decoding of the next position's picture ahead, on a thread of its own,
// while the caller works. A reader supplies its packets and where each
// picture shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <thread>

#include "platform/ffmpeg/DibPicture.h"
#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/types/Picture.h"

namespace quorvane::platform {

class TPictureDecoder {
public:
    // What a reader gives the decoder. Positions are the reader's own
    // (ordinals of AVI chunks, frames of a media file); the decoder calls
    // these on the thread that decodes ahead too, one call at a time.
    class IReader {
    public:
        // Whether Target lies where going on from the current state does
        // not lead; Latest is the last picture at or before the target
        // decoded so far. A decoder that has not started always starts.
        virtual bool NeedsRestart(size_t Target, std::optional<size_t> Latest) const = 0;
        // Sets the packets to go from where Target's picture can be decoded
        // (the decoder is flushed afterwards); false when the stream can't
        // be read again.
        virtual bool Rewind(size_t Target) = 0;
        // Sends the next packet to Codec; false when none is left.
        virtual bool SendPacket(AVCodecContext& Codec) = 0;
        // Where Picture shows; none to pass it over.
        virtual std::optional<size_t> Place(const AVFrame& Picture,
                                            std::optional<size_t> Latest) = 0;
        // A picture failed to decode; false to take the decoder for having
        // nothing more.
        virtual bool PictureFailed() = 0;
        // Whether Target, which the decoder passed without a picture of its
        // own, shows the picture before it.
        virtual bool ShowsPictureBefore(size_t Target) const = 0;
        // Converts Geometry (in the pictures as shown) of Decoded into Into;
        // false when it can't. A reader whose pictures are shown as decoded
        // needs no other.
        virtual bool Convert(AVFrame& Decoded, const TPictureGeometry& Geometry, DibPicture& Into) {
            Into.SetGeometry(Geometry, ScalingFor(Geometry));
            return Into.Assign(Decoded);
        }
        // A geometry asked for is scaled as asked; the whole picture is
        // shown at its display size.
        static TScaling ScalingFor(const TPictureGeometry& Geometry) {
            return Geometry == TPictureGeometry{} ? TScaling::Display : TScaling::Asked;
        }

    protected:
        ~IReader() = default;
    };

    // One picture a position (AVI chunks), or several that the last of them
    // shows (frames of one millisecond).
    enum class TPicturesAPosition : uint8_t { One, LastOfSeveral };

    // BitCount: of the bitmaps, 24 or 32. Reader must outlive the decoder.
    TPictureDecoder(IReader& Reader, CodecContextPtr Codec, uint16_t BitCount,
                    TPicturesAPosition Pictures);
    ~TPictureDecoder();
    TPictureDecoder(const TPictureDecoder&) = delete;
    TPictureDecoder& operator=(const TPictureDecoder&) = delete;

    // The picture that shows at Target, valid until the next call; none when
    // it fails to decode. Then decodes Next's picture ahead, if there is one.
    TPicture PictureAt(size_t Target, std::optional<size_t> Next);
    // Waits for the decoding ahead and forgets the decoder's state: the next
    // picture starts again from a rewind.
    void StartOver();
    // The part of the pictures shown that is converted from the next
    // picture on, and the size it is converted to (both sides given, or
    // neither); by default the whole picture at its own size. The picture
    // shown is kept as decoded: asked for again, it is only converted.
    void SetGeometry(const TPictureGeometry& Geometry);

private:
    std::optional<size_t> DecodeIntoBack(size_t Target);
    std::optional<size_t> ConvertKeptIntoBack();
    void StartDecodingAhead(std::optional<size_t> Next);
    void FinishDecodingAhead();
    bool Restart(size_t Target);
    bool DecodeUpTo(size_t Target);
    void ReceivePicture();
    void TakePending();

    IReader& Reader;
    CodecContextPtr Codec;
    const TPicturesAPosition PicturesAPosition;
    TPictureGeometry Geometry;

    // The bitmap handed out and the one the next picture goes into, so that
    // decoding ahead never touches what the caller reads; and the decoded
    // picture each was converted from.
    DibPicture Pictures[2];
    FramePtr Decoded[2]{FramePtr(av_frame_alloc()), FramePtr(av_frame_alloc())};
    size_t Shown = 0;
    std::optional<size_t> ShownTarget;   // the position asked for
    std::optional<size_t> ShownPicture;  // the position of the picture shown there
    // The picture shown before a new geometry, to convert again when its
    // position is asked for next.
    std::optional<size_t> KeptTarget;
    std::optional<size_t> KeptPicture;

    // The next position's picture is decoded on a thread of its own while
    // the caller works; every other use of the decoder waits for it first.
    std::thread Ahead;
    std::optional<size_t> AheadTarget;   // decoded, and in the back bitmap
    std::optional<size_t> AheadPicture;  // unless it is the one shown

    // Latest is the last picture at or before the target, Pending one that
    // came out beyond it.
    FramePtr Latest{av_frame_alloc()};
    FramePtr Pending{av_frame_alloc()};
    std::optional<size_t> LatestPosition;
    std::optional<size_t> PendingPosition;
    bool Started = false;
    bool DrainSent = false;
    bool Drained = false;
};

}  // namespace quorvane::platform
