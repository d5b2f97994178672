// The pictures of a video stream by their place in presentation order: the
// stream's packets decoded in the order they are stored, each picture that
// comes out placed by its presentation time (of several at one time, the
// last), turned and tone-mapped where it must be, and converted to a
// bottom-up DIB at the size it is shown.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/ffmpeg/PictureDecoder.h"
#include "platform/media/DisplayFilter.h"
#include "platform/media/MediaInput.h"
#include "platform/media/MediaRestartPoints.h"

namespace quorvane::platform {

// The size a picture is shown at: pixels made square by making the picture
// wider or taller, never smaller, then turned by Rotation degrees.
struct TDisplaySize {
    int Width = 0;
    int Height = 0;
};
TDisplaySize DisplaySizeOf(int Width, int Height, AVRational SampleAspect, int Rotation);

// Geometry, given in a picture shown at Shown, in the pixels of a frame
// FrameWidth x FrameHeight (turned, not yet scaled to Shown): the sizes
// resolved, the crop's edges on the frame's pixels nearest to them.
TPictureGeometry GeometryInFrame(const TPictureGeometry& Geometry, TDisplaySize Shown,
                                 int FrameWidth, int FrameHeight);

// The media file's side of the decoding: the stream's packets as the
// container stores them, pictures placed by their presentation times,
// decoding again from the last restart point at or before the picture
// wanted (the file's start when there is none, or the container can't go
// there).
class TMediaFrameDecoder final : private TPictureDecoder::IReader {
public:
    // Readings: where the file is read from its start, once now and again
    // for each restart; Stream: the video stream's index; Pts: the
    // presentation time of every frame, in its time base, sorted and each
    // once; Restarts: the stream's restart points. Pictures are not shown
    // larger than LargestSide either way. Null when the file can't be read
    // or no decoder opens.
    static std::unique_ptr<TMediaFrameDecoder> Open(const TMediaFileReadings& Readings, int Stream,
                                                    std::vector<int64_t> Pts,
                                                    std::vector<TRestartPoint> Restarts,
                                                    int Rotation, int LargestSide);

    // As TMediaFile::Picture.
    TPicture Picture(size_t Index);
    // Whether the pictures converted so far were HDR.
    bool Hdr() const { return SawHdr.load(); }
    // The size a first picture would have been shown at, when it was larger
    // than allowed and so not converted.
    const std::optional<TDisplaySize>& RefusedSize() const { return Refused; }
    // As TPictureDecoder::SetGeometry, in the pictures as shown.
    void SetGeometry(const TPictureGeometry& Geometry) { Pictures.SetGeometry(Geometry); }
    // Closes the reading until the next picture is asked for (which then
    // decodes from a restart point again), so that another may read the
    // file.
    void LetGoOfReading();

private:
    TMediaFrameDecoder(TMediaFileReadings Readings, std::unique_ptr<TMediaInput> Input, int Stream,
                       std::vector<int64_t> Pts, std::vector<TRestartPoint> Restarts, int Rotation,
                       int LargestSide, CodecContextPtr Codec);
    bool NeedsRestart(size_t Target, std::optional<size_t> Latest) const override;
    bool Rewind(size_t Target) override;
    bool SendPacket(AVCodecContext& Codec) override;
    std::optional<size_t> Place(const AVFrame& Picture, std::optional<size_t> Latest) override;
    bool PictureFailed() override;
    bool ShowsPictureBefore(size_t Target) const override { return !Lost.count(Target); }
    bool Convert(AVFrame& Decoded, const TPictureGeometry& Geometry, DibPicture& Into) override;
    size_t IndexOf(int64_t Time) const;
    bool BeforeFirstFrame(const AVPacket& Candidate) const;
    const TRestartPoint* RestartFor(size_t Target) const;
    bool SeekTo(const TRestartPoint& Key);
    bool ReadFromStart();
    bool ReadPacket();

    const TMediaFileReadings Readings;
    std::unique_ptr<TMediaInput> Input;  // null once let go of
    const int Stream;
    const std::vector<int64_t> Pts;
    const std::vector<TRestartPoint> Restarts;
    const int Rotation;
    const int LargestSide;
    PacketPtr Packet{av_packet_alloc()};
    TDisplayFilter Filter;
    std::optional<TDisplaySize> Size;  // fixed by the first picture
    std::optional<TDisplaySize> Refused;
    // Atomic: the picture decoded ahead, on its own thread, may set it.
    std::atomic<bool> SawHdr = false;
    std::set<size_t> Lost;   // frames whose packet the decoder refused
    bool FreshInput = true;  // Input is still at its start
    size_t FirstFrame = 0;   // where decoding started again: no picture before it is shown
    size_t NextOrdinal = 0;  // of the stream's next packet read
    bool KeyHeld = false;    // Packet holds the key frame sought, still to be sent
    int ErrorsInARow = 0;
    // Last: it stops decoding ahead before the rest goes.
    TPictureDecoder Pictures;
};

}  // namespace quorvane::platform
