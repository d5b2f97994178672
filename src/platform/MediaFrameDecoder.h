// The pictures of a video stream by their place in presentation order: the
// stream's packets decoded in the order they are stored, each picture that
// comes out placed by its presentation time (of several at one time, the
// last), turned and tone-mapped where it must be, and converted to a
// bottom-up DIB at the size it is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "platform/DibPicture.h"
#include "platform/DisplayFilter.h"
#include "platform/FfmpegPointers.h"
#include "platform/MediaInput.h"

namespace quorvane::platform {

// The size a picture is shown at: pixels made square by making the picture
// wider or taller, never smaller, then turned by Rotation degrees.
struct TDisplaySize {
    int Width = 0;
    int Height = 0;
};
TDisplaySize DisplaySizeOf(int Width, int Height, AVRational SampleAspect, int Rotation);

class TMediaFrameDecoder {
public:
    // Readings: where the file is read from its start, once now and again
    // for each restart; Stream: the video stream's index; Pts: the
    // presentation time of every frame, in its time base, sorted and each
    // once. Pictures are not shown larger than LargestSide either way.
    // Null when the file can't be read or no decoder opens.
    static std::unique_ptr<TMediaFrameDecoder> Open(const TMediaFileReadings& Readings, int Stream,
                                                    std::vector<int64_t> Pts, int Rotation,
                                                    int LargestSide);
    ~TMediaFrameDecoder();
    TMediaFrameDecoder(const TMediaFrameDecoder&) = delete;
    TMediaFrameDecoder& operator=(const TMediaFrameDecoder&) = delete;

    // As TMediaFile::Picture.
    TPicture Picture(size_t Index);
    // Whether the pictures converted so far were HDR.
    bool Hdr() const { return SawHdr; }
    // The size a first picture would have been shown at, when it was larger
    // than allowed and so not converted.
    const std::optional<TDisplaySize>& RefusedSize() const { return Refused; }
    // Closes the reading until the next picture is asked for (which then
    // decodes from the start again), so that another may read the file.
    void LetGoOfReading();

private:
    TMediaFrameDecoder(TMediaFileReadings Readings, std::unique_ptr<TMediaInput> Input, int Stream,
                       std::vector<int64_t> Pts, int Rotation, int LargestSide,
                       CodecContextPtr Codec);
    std::optional<size_t> DecodeIntoBack(size_t Target);
    void StartDecodingAfter(size_t Index);
    void FinishDecodingAhead();
    bool Restart();
    bool DecodeUpTo(size_t Target);
    void TakePending();
    size_t IndexOf(int64_t Time) const;
    bool BeforeFirstFrame(const AVPacket& Candidate) const;
    void SendNextPacket();
    bool Convert(AVFrame& Decoded, DibPicture& Into);

    const TMediaFileReadings Readings;
    std::unique_ptr<TMediaInput> Input;  // null once let go of
    const int Stream;
    const std::vector<int64_t> Pts;
    const int Rotation;
    const int LargestSide;
    CodecContextPtr Codec;
    PacketPtr Packet{av_packet_alloc()};
    TDisplayFilter Filter;
    std::optional<TDisplaySize> Size;  // fixed by the first picture
    std::optional<TDisplaySize> Refused;
    bool SawHdr = false;

    // The bitmap handed out and the one the next picture goes into, so that
    // decoding ahead never touches what the caller reads.
    DibPicture Pictures[2];
    size_t Shown = 0;
    std::optional<size_t> ShownIndex;    // the frame asked for
    std::optional<size_t> ShownPicture;  // the frame whose picture shows there
    std::thread Ahead;
    std::optional<size_t> AheadIndex;
    std::optional<size_t> AheadPicture;

    // Decoding state, in frame indexes. Latest is the last picture at or
    // before the target, Pending one that came out beyond it.
    FramePtr Latest{av_frame_alloc()};
    FramePtr Pending{av_frame_alloc()};
    std::optional<size_t> LatestIndex;
    std::optional<size_t> PendingIndex;
    std::set<size_t> Lost;  // frames whose packet the decoder refused
    bool Started = false;
    bool FreshInput = true;  // Input is still at its start
    bool DrainSent = false;
    bool Drained = false;
    int ErrorsInARow = 0;
};

}  // namespace quorvane::platform
