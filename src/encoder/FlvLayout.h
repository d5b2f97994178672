// Field values, sizes and byte layout of the FLV file and its Screen Video
// packets: what the writer, the metadata pass and the file's reader share.
#pragma once

#include <array>
#include <cstdint>

namespace quorvane::flv {

constexpr uint8_t AudioTagType = 8;
constexpr uint8_t VideoTagType = 9;
constexpr uint8_t ScriptTagType = 18;
constexpr uint32_t FileHeaderSize = 13;  // with the size field before the first tag
constexpr uint32_t TagHeaderSize = 11;
constexpr uint32_t TagSizeFieldSize = 4;
constexpr uint32_t LargestTagDataSize = 0xFFFFFF;  // 24-bit field

constexpr uint8_t Mp3SoundFormat = 0x20;
constexpr uint8_t SixteenBitSamples = 0x02;

// Frame type in the high nibble, codec 3 (Screen Video) in the low one.
constexpr uint8_t KeyFrameByte = 0x13;
constexpr uint8_t InterFrameByte = 0x23;
constexpr uint32_t PacketHeaderSize = 5;  // frame byte and header word
constexpr uint32_t BlockEntryHeaderSize = 2;
constexpr uint32_t LargestBlockStream = 0xFFFF;  // 16-bit field

template <size_t Size>
constexpr void PutBigEndian(uint8_t* Into, uint32_t Value) {
    for (size_t Byte = 0; Byte < Size; ++Byte) {
        Into[Byte] = static_cast<uint8_t>(Value >> (8 * (Size - 1 - Byte)));
    }
}

// The signature, version 1, which streams follow, the header's size, and
// the size field of the tag before the first: none.
constexpr std::array<uint8_t, FileHeaderSize> FileHeader(bool HasVideo, bool HasAudio) {
    const auto Flags = static_cast<uint8_t>((HasVideo ? 0x01 : 0x00) | (HasAudio ? 0x04 : 0x00));
    return {'F', 'L', 'V', 1, Flags, 0, 0, 0, 9, 0, 0, 0, 0};
}

// Times past 24 bits keep their high byte in the extension byte, so
// recordings longer than about 4 h 40 min keep correct times.
constexpr std::array<uint8_t, TagHeaderSize> TagHeader(uint8_t Type, uint32_t DataSize,
                                                       uint32_t Timestamp) {
    std::array<uint8_t, TagHeaderSize> Header{Type};
    PutBigEndian<3>(&Header[1], DataSize);
    PutBigEndian<3>(&Header[4], Timestamp);
    Header[7] = static_cast<uint8_t>(Timestamp >> 24);
    // Bytes 8 to 10, the stream identifier, stay 0.
    return Header;
}

// Closes a tag: the size of the tag just written.
constexpr std::array<uint8_t, TagSizeFieldSize> TagSizeField(uint32_t DataSize) {
    std::array<uint8_t, TagSizeFieldSize> Field{};
    PutBigEndian<4>(Field.data(), DataSize + TagHeaderSize);
    return Field;
}

}  // namespace quorvane::flv
