// The input of a conversion, opened and probed: its video frame by frame,
// and its own sound as stored. Positions are sample numbers of a stream,
// times milliseconds of stream time. The job sees the input only through
// these two interfaces; OpenVideoSource picks what reads the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "encoder/EncoderParameters.h"
#include "platform/types/Picture.h"

namespace quorvane {

// The input's own sound, read as stored for the audio pass.
class TAudioTrack {
public:
    virtual ~TAudioTrack() = default;

    // Whole format records (a WAVEFORMATEX and its extra bytes): the stored
    // format, and the PCM format it decodes to.
    virtual const std::vector<uint8_t>& StoredFormat() const = 0;
    virtual const std::vector<uint8_t>& DecodedFormat() const = 0;

    virtual int32_t Start() const = 0;
    virtual int32_t End() const = 0;
    virtual int32_t TimeOf(int32_t Position) const = 0;
    // Reads whole samples from Position on, as many as fit Buffer (one a
    // call where samples are the codec's packets, of no fixed size); false
    // when the read fails. Bytes and Samples receive what was read.
    virtual bool Read(int32_t Position, std::span<uint8_t> Buffer, int32_t& Bytes,
                      int32_t& Samples) = 0;
};

// Frames of the input that a run leaves out, for its end to tell.
struct TFramesLeftOut {
    // Frames the input says it holds that it does not (an index listing
    // more than the file has, a file cut short).
    uint32_t Missing = 0;
    // Frames timed at or past the latest time an FLV tag holds (2^31 ms).
    uint32_t PastTimeLimit = 0;
    // Frames whose time goes back (two recordings joined): they could only
    // be shown with time going back.
    uint32_t GoingBack = 0;
};

class TVideoSource {
public:
    virtual ~TVideoSource() = default;

    // Of the pictures given, as converted.
    const FrameFormat& Format() const { return FFormat; }
    // The picture held for the front end: the first frame, decoded when the
    // source was opened, or the one shown at the range's start
    // (UsePicture), converted by the geometry in use.
    const platform::TPicture& FirstFrame() const { return FFirstFrame; }
    // The size of the pictures as shown (turned, pixels made square),
    // which a geometry is given in.
    int32_t ShownWidth() const { return FShownWidth; }
    int32_t ShownHeight() const { return FShownHeight; }
    // Converts the pictures by Geometry (TJobSettings::Picture) from the
    // next one on, and the picture held again; the text says why it can't,
    // empty when it can.
    std::string UseGeometry(const platform::TPictureGeometry& Geometry);
    // As UseGeometry, and holds the picture shown at RangeStart instead:
    // decoded only when it is another picture than the one held.
    std::string UsePicture(const platform::TPictureGeometry& Geometry, int32_t RangeStart);
    // Where a range starting at RangeStart begins: the picture shown then,
    // or the stream's first one when the range starts before it.
    int32_t RangeStartPosition(int32_t RangeStart) const;
    // "320x240, 15 fps." for an AVI file, "H.264, 1920x1080, 30 fps." for
    // another; empty when the stream tells nothing.
    const std::string& VideoDescription() const { return FVideoDescription; }
    // Empty without sound; otherwise its format, or why it can't be used.
    const std::string& AudioDescription() const { return FAudioDescription; }
    // The sound when it can be decoded, else null; the source keeps it
    // until the audio pass takes it.
    TAudioTrack* Audio() const { return FAudio.get(); }
    std::unique_ptr<TAudioTrack> TakeAudio() { return std::move(FAudio); }
    const TFramesLeftOut& FramesLeftOut() const { return FLeftOut; }

    virtual int32_t Start() const = 0;
    // Just past the last sample that holds data, whatever length the stream
    // claims: beyond it there is nothing to show; and no later than the
    // first sample an FLV tag can't time (2^31 ms and on).
    virtual int32_t End() const = 0;
    virtual int32_t TimeOf(int32_t Position) const = 0;
    // When the last picture's showing ends, and with it the video: by
    // default the time of the position past the last one.
    virtual int32_t EndTime() const { return TimeOf(End()); }
    // The sample at Time: the last one that starts at or before it.
    virtual int32_t PositionAt(int32_t Time) const = 0;
    // The next sample after Position that holds data; -1 when there is none.
    virtual int32_t NextPosition(int32_t Position) const = 0;
    // The picture at Position, valid until the next call; an empty sample
    // gives the previous picture, one that can't be decoded none.
    virtual platform::TPicture DecodeAt(int32_t Position) = 0;

protected:
    // Takes the frame format from Frame, the first picture, and keeps a copy
    // of it; the text says why it can't, empty when it can.
    std::string TakeFirstFrame(const platform::TPicture& Frame);
    // Has the decoder convert Geometry (resolved, in the pictures as shown)
    // of the pictures from the next one on.
    virtual void SetGeometry(const platform::TPictureGeometry& Geometry) = 0;
    std::string UsePictureAt(const platform::TPictureGeometry& Geometry, int32_t Position);

    FrameFormat FFormat;
    int32_t FShownWidth = 0;
    int32_t FShownHeight = 0;
    platform::TPictureGeometry FGeometry;        // the one used, resolved
    std::optional<int32_t> FFirstFramePosition;  // of FFirstFrame; none: Start()
    platform::TPicture FFirstFrame;              // over FFirstFrameRows
    std::vector<uint8_t> FFirstFrameRows;
    std::string FVideoDescription;
    std::string FAudioDescription;
    std::unique_ptr<TAudioTrack> FAudio;
    TFramesLeftOut FLeftOut;
};

// Why a file holds no video that can be converted: the text for the user,
// and, when it could not be opened at all, why (it is missing, a folder, no
// video file...).
struct TLoadFailure {
    std::string Text;
    std::string Reason;
};

// Opens FileName, an AVI file or any other video file; null, with Failure
// saying why, when it holds no video that can be converted.
std::unique_ptr<TVideoSource> OpenVideoSource(const std::string& FileName, TLoadFailure& Failure);

}  // namespace quorvane
