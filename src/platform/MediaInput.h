// One reading of a video file through libavformat, over a file this program
// opened itself: libavformat never opens a name, so it can't be led to
// another file, a device or the network, and a file swapped for a FIFO after
// it was checked is never waited on. Only the containers of recorded video
// are read; a demuxer for anything else (text, images, playlists) is not
// tried.
#pragma once

#include <memory>
#include <string>

#include "platform/FfmpegPointers.h"
#include "platform/File.h"

namespace quorvane::platform {

// Why a file could not be read as a video file.
enum class TMediaInputError : uint8_t { None, NotAVideoFile, Unreadable };

class TMediaInput {
public:
    // Reads File (a regular file, shared by every reading of it) from its
    // start: the container's headers and the streams' parameters. Null,
    // with Error set, when that fails.
    static std::unique_ptr<TMediaInput> Open(std::shared_ptr<const TFile> File,
                                             TMediaInputError& Error);
    ~TMediaInput();
    TMediaInput(const TMediaInput&) = delete;
    TMediaInput& operator=(const TMediaInput&) = delete;

    AVFormatContext& Format() { return *Context; }
    const AVFormatContext& Format() const { return *Context; }
    // A decoder of Stream, opened with Threads threads (0: as many as the
    // machine has); null when libavcodec has none or it fails to open.
    CodecContextPtr OpenDecoder(int Stream, int Threads) const;
    // Every stream but Kept is passed over unread, where the container allows.
    void KeepOnly(int Kept);
    // A new reading of the same file from its start.
    std::unique_ptr<TMediaInput> Reopen() const;

private:
    explicit TMediaInput(std::shared_ptr<const TFile> File);
    static int ReadPacket(void* Opaque, uint8_t* Buffer, int Size);
    static int64_t Seek(void* Opaque, int64_t Offset, int Whence);

    std::shared_ptr<const TFile> File;
    uint64_t Size = 0;
    uint64_t Position = 0;
    AVIOContext* Io = nullptr;
    FormatContextPtr Context;
};

}  // namespace quorvane::platform
