// What an FLV file written by the encoder holds, read back from the file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/os/File.h"

namespace quorvane {

// The file cannot be read, or is not a complete FLV file of audio and
// video tags; the message says which.
class EFlvFileUnreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TFlvKeyFrame {
    uint32_t Time = 0;      // milliseconds
    uint64_t Position = 0;  // of the tag's first byte in the file
};

// One stream's tags.
struct TFlvStreamSummary {
    uint32_t Tags = 0;
    uint64_t PayloadBytes = 0;  // tag data less the first byte (frame or sound byte)
    uint32_t FirstTime = 0;
    uint32_t LastTime = 0;
    // The first interval between two of the stream's tags that is not 0:
    // one frame for audio, at least one for video.
    uint32_t FrameInterval = 0;
    uint8_t FirstDataByte = 0;  // codec and flags of the stream's first tag
};

struct TFlvFileSummary {
    uint64_t FileSize = 0;
    uint32_t FirstTagTime = 0;
    uint32_t LastTagTime = 0;  // of the last tag in the file
    TFlvStreamSummary Video;
    TFlvStreamSummary Audio;
    uint16_t Width = 0;  // from the first key frame's Screen Video packet
    uint16_t Height = 0;
    // Key frames in file order; one per timestamp.
    std::vector<TFlvKeyFrame> KeyFrames;
};

// Reads the tag headers of the open File from its start; each
// tag's length fields must agree and the last one must end the file. Throws
// EFlvFileUnreadable.
TFlvFileSummary SummarizeFlvFile(const platform::TFile& File);

}  // namespace quorvane
