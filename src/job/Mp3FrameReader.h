// MP3 frames read one by one from a file: an external MP3 file (after its
// ID3v2 tag, if it has one) or the job's own temporary audio file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "job/Mp3FrameHeader.h"

namespace quorvane {

class TMp3FrameReader {
public:
    // Throws EJobFailure naming the file when it can't be opened or is no
    // regular file (a folder, a FIFO, a device).
    TMp3FrameReader(const std::string& FileName, bool SkipId3v2);
    ~TMp3FrameReader();
    TMp3FrameReader(const TMp3FrameReader&) = delete;
    TMp3FrameReader& operator=(const TMp3FrameReader&) = delete;

    // The next frame's header; when it is Kind::Frame, Frame() holds the
    // whole frame. Anything else (the end of the file, a short frame, data
    // that is no frame of known length) ends the frames: every later call
    // answers NotAFrame too. A read that fails throws EJobFailure naming
    // the file.
    TMp3FrameHeader Next();
    const std::vector<uint8_t>& Frame() const { return Bytes; }

private:
    void SkipId3v2Tag();
    bool ReadWhole(uint8_t* Into, size_t Count);

    std::string FileName;
    std::FILE* File = nullptr;
    std::vector<uint8_t> Bytes;
    bool Ended = false;
};

}  // namespace quorvane
