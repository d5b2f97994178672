// The FLV side of the encoder: big-endian fields, tag headers, audio tags.
#include "encoder/FlvLayout.h"
#include "encoder/OutputFile.h"
#include "encoder/ScreenVideoEncoder.h"

namespace quorvane {

using namespace flv;

void TScreenVideoEncoder::WriteBytes(const uint8_t* Data, size_t Size) {
    OutputStream->Write(Data, Size);
    if (!FirstFileError) {
        FirstFileError = OutputStream->Error();
    }
}

void TScreenVideoEncoder::WriteUInt8(uint8_t Value) {
    WriteBytes(&Value, 1);
}

void TScreenVideoEncoder::WriteUInt16BE(uint16_t Value) {
    const uint8_t Bytes[2] = {static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value)};
    WriteBytes(Bytes, sizeof Bytes);
}

void TScreenVideoEncoder::WriteUInt24BE(uint32_t Value) {
    const uint8_t Bytes[3] = {static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 8),
                              static_cast<uint8_t>(Value)};
    WriteBytes(Bytes, sizeof Bytes);
}

void TScreenVideoEncoder::WriteUInt32BE(uint32_t Value) {
    const uint8_t Bytes[4] = {static_cast<uint8_t>(Value >> 24), static_cast<uint8_t>(Value >> 16),
                              static_cast<uint8_t>(Value >> 8), static_cast<uint8_t>(Value)};
    WriteBytes(Bytes, sizeof Bytes);
}

// Timestamps past 24 bits keep their high byte in the extension byte, so
// recordings longer than about 4 h 40 min keep correct times.
void TScreenVideoEncoder::WriteTagHeader(uint8_t TagType, uint32_t DataSize, int32_t Timestamp) {
    const auto Time = static_cast<uint32_t>(Timestamp);
    WriteUInt8(TagType);
    WriteUInt24BE(DataSize);
    WriteUInt24BE(Time);
    WriteUInt8(static_cast<uint8_t>(Time >> 24));
    WriteUInt24BE(0);  // stream identifier
}

void TScreenVideoEncoder::WriteAudioTag(const uint8_t* Data, int32_t Size, int32_t Timestamp,
                                        uint8_t StereoFlag, uint8_t SoundRateIndex) {
    RequireOpen("WriteAudioTag");
    if (Data == nullptr || Size < 1 || static_cast<uint32_t>(Size) >= LargestTagDataSize) {
        throw std::invalid_argument("An MP3 frame of " + std::to_string(Size) +
                                    " bytes does not fit an FLV audio tag.");
    }
    const uint32_t DataSize = static_cast<uint32_t>(Size) + 1;
    WriteTagHeader(AudioTagType, DataSize, Timestamp);
    WriteUInt8(Mp3SoundFormat | SixteenBitSamples | (SoundRateIndex << 2) | StereoFlag);
    WriteBytes(Data, static_cast<size_t>(Size));
    WriteTagEnd(DataSize);
}

// The size of the tag just written closes it: the file is whole up to here.
void TScreenVideoEncoder::WriteTagEnd(uint32_t DataSize) {
    WriteUInt32BE(DataSize + TagHeaderSize);
    OutputStream->MarkWhole();
}

}  // namespace quorvane
