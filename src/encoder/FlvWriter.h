// The FLV container as it is written: the file header, then tags, each
// whole before the next begins. What a tag holds is its writer's business;
// the MP3 audio tag's one byte of format is the container's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <system_error>

#include "platform/os/File.h"

namespace quorvane {

class OutputFile;

class TFlvWriter {
public:
    // Writes into Given when it is open (a regular file is emptied first),
    // else creates FileName; then writes the header. Null, with Error set,
    // when there is no file to write.
    static std::unique_ptr<TFlvWriter> Open(const std::string& FileName, platform::TFile Given,
                                            bool HasVideo, bool HasAudio, std::error_code& Error);
    ~TFlvWriter();
    TFlvWriter(const TFlvWriter&) = delete;
    TFlvWriter& operator=(const TFlvWriter&) = delete;

    // A tag's DataSize bytes are written between BeginTag and EndTag.
    void BeginTag(uint8_t Type, uint32_t DataSize, uint32_t Timestamp);
    void WriteUInt8(uint8_t Value);
    void WriteUInt16BE(uint16_t Value);
    void WriteUInt32BE(uint32_t Value);
    void WriteBytes(const uint8_t* Data, size_t Size);
    // After it the file is whole up to here.
    void EndTag();

    // One MP3 frame; SoundRateIndex is the FLV's (0 = 5.5 kHz .. 3 = 44 kHz).
    void WriteMp3Tag(std::span<const uint8_t> Frame, uint32_t Timestamp, bool Stereo,
                     uint8_t SoundRateIndex);

    // The first failure of the file: writing to it, or, after Close,
    // closing it. Writes are buffered, so a failure may surface late.
    std::error_code Error() const;
    // Writes what is buffered and closes the file; after a failure the
    // file is cut back to its last whole tag.
    std::error_code Close();
    // Bytes in the file once it is closed.
    uint64_t Size() const;

private:
    explicit TFlvWriter(std::unique_ptr<OutputFile> File);

    std::unique_ptr<OutputFile> File;
    uint32_t OpenTagDataSize = 0;
};

}  // namespace quorvane
