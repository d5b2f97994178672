// An independent reader of FLV files, for checking what was written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace quorvane::test {

struct FlvTag {
    uint64_t Offset = 0;  // of the tag's type byte in the file
    uint8_t Type = 0;     // 8 audio, 9 video, 18 script data
    uint32_t DataSize = 0;
    uint32_t Timestamp = 0;          // the 24-bit field with the extension byte on top
    uint8_t TimestampExtension = 0;  // byte 7 of the tag header
    uint32_t StreamId = 0;
    uint8_t FirstDataByte = 0;     // video: frame type and codec; audio: sound format
    std::vector<uint8_t> Payload;  // the data after the first byte
};

struct FlvFile {
    uint8_t Version = 0;
    uint8_t Flags = 0;  // 0x01 video, 0x04 audio
    uint32_t HeaderSize = 0;
    std::vector<FlvTag> Tags;
};

// Throws std::runtime_error naming the offset when the file is not a
// well-formed FLV file: wrong signature, a tag cut short, or a length field
// that does not equal 11 + the data size of the tag before it.
FlvFile ReadFlvFile(const std::filesystem::path& Path);

// One Screen Video packet (the payload of a video tag).
struct ScreenVideoPacket {
    uint32_t HeaderWord = 0;
    uint32_t BlockWidth = 0;
    uint32_t BlockHeight = 0;
    uint32_t ImageWidth = 0;
    uint32_t ImageHeight = 0;
    // One zlib stream per block in packet order; empty for an unchanged block.
    std::vector<std::vector<uint8_t>> Blocks;
};

// Throws std::runtime_error when the block entries do not fill the payload
// exactly.
ScreenVideoPacket ParseScreenVideoPacket(const std::vector<uint8_t>& Payload);

}  // namespace quorvane::test
