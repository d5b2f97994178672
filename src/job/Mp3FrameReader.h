// MP3 frames read one by one from a file: an external MP3 file or the job's
// own temporary audio file.
//
// As MP3 players do, the reader finds its way past what is no frame: damaged
// data, padding, junk before the first frame, and the ID3v2 tags of files
// joined one after another. Where the data at a frame boundary is no frame,
// it searches on for a header that parses and is followed by another frame
// boundary (a header that parses, a tag, or the end of the file), so that a
// header-like pattern inside damaged data is not taken for a frame. The first
// frame of the file, and the first after damage, are taken so; the frames
// that follow an accepted frame are taken as they come. A first frame that
// describes the stream (its frame count, the encoder's delay) holds no
// sound: players pass over it, and so does the reader, lest the sound be
// heard a frame late.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/Mp3FrameHeader.h"
#include "platform/os/File.h"

namespace quorvane {

class TMp3FrameReader {
public:
    // Throws EJobFailure naming the file when it can't be opened or is no
    // regular file (a folder, a FIFO, a device). ExternalFile: whether ID3v2
    // tags and a first frame that only describes the stream (Xing, Info,
    // VBRI) are looked for; the job's own audio file holds sound frames only.
    TMp3FrameReader(const std::string& FileName, bool ExternalFile);

    // The next frame's header; when it is Kind::Frame, Frame() holds the
    // whole frame. Kind::UnsupportedRate: a frame FLV can't carry, left
    // unread. At the end of the frames (the end of the file, a last frame
    // cut short, an ID3v1 tag) Kind::NotAFrame, and so every later call. A
    // read that fails throws EJobFailure naming the file.
    TMp3FrameHeader Next();
    const std::vector<uint8_t>& Frame() const { return Bytes; }

    // The bytes passed over so far that were neither frames nor tags.
    uint64_t SkippedBytes() const { return Skipped; }

private:
    bool SkipTagAt(uint64_t Offset);
    bool Id3v1TagAt(uint64_t Offset);
    bool FrameBoundaryAt(uint64_t Offset);
    void SkipToNextCandidate();
    const uint8_t* Peek(uint64_t Offset, size_t Count);
    void ReadUpTo(uint64_t End);
    bool IsCandidate(uint8_t Byte) const;

    std::string FileName;
    platform::TFile File;
    bool ExternalFile;
    // Bytes of the file from WindowStart on, read ahead of Position, the
    // start of what has not been taken yet.
    std::vector<uint8_t> Window;
    uint64_t WindowStart = 0;
    uint64_t Position = 0;
    bool FileEnded = false;
    // Whether Position follows an accepted frame.
    bool InStep = false;
    bool TookAFrame = false;
    std::vector<uint8_t> Bytes;
    uint64_t Skipped = 0;
    bool Ended = false;
};

}  // namespace quorvane
