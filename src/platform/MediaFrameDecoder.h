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

namespace quorvane::platform {

class TMediaInput;

// The size a picture is shown at: pixels made square by making the picture
// wider or taller, never smaller, then turned by Rotation degrees.
struct TDisplaySize {
    int Width = 0;
    int Height = 0;
};
TDisplaySize DisplaySizeOf(int Width, int Height, AVRational SampleAspect, int Rotation);

class TMediaFrameDecoder {
public:
    // Input: a reading of the file from its start; Stream: the video
    // stream's index; Pts: the presentation time of every frame, in its
    // time base, sorted and each once. Null when no decoder opens.
    static std::unique_ptr<TMediaFrameDecoder> Open(std::unique_ptr<TMediaInput> Input, int Stream,
                                                    std::vector<int64_t> Pts, int Rotation);
    ~TMediaFrameDecoder();
    TMediaFrameDecoder(const TMediaFrameDecoder&) = delete;
    TMediaFrameDecoder& operator=(const TMediaFrameDecoder&) = delete;

    // As TMediaFile::Picture.
    const void* Picture(size_t Index);
    // Whether the pictures converted so far were HDR.
    bool Hdr() const { return SawHdr; }

private:
    TMediaFrameDecoder(std::unique_ptr<TMediaInput> Input, int Stream, std::vector<int64_t> Pts,
                       int Rotation, CodecContextPtr Codec);
    std::optional<size_t> DecodeIntoBack(size_t Target);
    void StartDecodingAfter(size_t Index);
    void FinishDecodingAhead();
    void Restart();
    bool DecodeUpTo(size_t Target);
    void TakePending();
    size_t IndexOf(int64_t Time) const;
    bool BeforeFirstFrame(const AVPacket& Candidate) const;
    void SendNextPacket();
    bool Convert(AVFrame& Decoded, DibPicture& Into);

    std::unique_ptr<TMediaInput> Input;
    const int Stream;
    const std::vector<int64_t> Pts;
    const int Rotation;
    CodecContextPtr Codec;
    PacketPtr Packet{av_packet_alloc()};
    TDisplayFilter Filter;
    std::optional<TDisplaySize> Size;  // fixed by the first picture
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
