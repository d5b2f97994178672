// Field values and sizes of the FLV file and its Screen Video packets.
#pragma once

#include <cstdint>

namespace quorvane::flv {

constexpr uint8_t AudioTagType = 8;
constexpr uint8_t VideoTagType = 9;
constexpr uint32_t TagHeaderSize = 11;
constexpr uint32_t LargestTagDataSize = 0xFFFFFF;  // 24-bit field

constexpr uint8_t Mp3SoundFormat = 0x20;
constexpr uint8_t SixteenBitSamples = 0x02;

// Frame type in the high nibble, codec 3 (Screen Video) in the low one.
constexpr uint8_t KeyFrameByte = 0x13;
constexpr uint8_t InterFrameByte = 0x23;
constexpr uint32_t PacketHeaderSize = 5;  // frame byte and header word
constexpr uint32_t BlockEntryHeaderSize = 2;
constexpr uint32_t LargestBlockStream = 0xFFFF;  // 16-bit field

}  // namespace quorvane::flv
