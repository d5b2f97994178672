// One reading of a video file through libavformat, over a file this program
// opened itself: libavformat never opens a name, so it can't be led to
// another file, a device or the network, and a file swapped for a FIFO after
// it was checked is never waited on. Only the containers of recorded video
// are read; a demuxer for anything else (text, images, playlists) is not
// tried.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/os/File.h"

namespace quorvane::platform {

// Why a file could not be read as a video file.
enum class TMediaInputError : uint8_t { None, NotAVideoFile, Unreadable };

class TMediaInput;

// A time as microseconds, exactly: wild timestamps of any time base are
// compared and subtracted in this without overflow.
using TMicroseconds = __int128;
// Rounded to the nearest microsecond, halves away from zero (as
// av_rescale_q rounds); 0 for a time base that is no fraction.
TMicroseconds MicrosecondsOf(TMicroseconds Time, AVRational TimeBase);

// A file to be read through libavformat, each reading from its start.
// MaxPixels bounds the pictures its decoders make (0: any): a header may
// claim any size, and a decoder allocates for what it is told.
class TMediaFileReadings {
public:
    TMediaFileReadings(std::shared_ptr<const TFile> File, int64_t MaxPixels)
        : File(std::move(File)), MaxPixels(MaxPixels) {}

    // The container's headers and the streams' parameters read. Null, with
    // Error set, when that fails.
    std::unique_ptr<TMediaInput> Open(TMediaInputError& Error) const;
    std::unique_ptr<TMediaInput> Open() const;

private:
    std::shared_ptr<const TFile> File;
    int64_t MaxPixels;
};

class TMediaInput {
public:
    ~TMediaInput();
    TMediaInput(const TMediaInput&) = delete;
    TMediaInput& operator=(const TMediaInput&) = delete;

    AVFormatContext& Format() { return *Context; }
    const AVFormatContext& Format() const { return *Context; }
    // A decoder of Stream, opened with Threads threads (0: as many as the
    // machine has); null when libavcodec has none or it fails to open.
    CodecContextPtr OpenDecoder(int Stream, int Threads) const;
    // Every stream but Kept (and Also, when not -1) is passed over unread,
    // where the container allows.
    void KeepOnly(int Kept, int Also = -1);
    // The size of Stream's pictures as its parameters tell it, or as the
    // container's headers did when probing the pictures found none (a
    // picture too large to be decoded); 0x0 when neither tells.
    std::pair<int, int> StatedSize(int Stream) const;

private:
    friend class TMediaFileReadings;
    TMediaInput(std::shared_ptr<const TFile> File, int64_t MaxPixels);
    bool FindStreamInfo();
    static int ReadPacket(void* Opaque, uint8_t* Buffer, int Size);
    static int64_t Seek(void* Opaque, int64_t Offset, int Whence);

    std::shared_ptr<const TFile> File;
    int64_t MaxPixels;
    uint64_t Size = 0;
    uint64_t Position = 0;
    std::vector<std::pair<int, int>> HeaderSizes;  // per stream, before probing
    AVIOContext* Io = nullptr;
    FormatContextPtr Context;
};

}  // namespace quorvane::platform
