#include "encoder/FlvFileSummary.h"

#include <cstring>
#include <string>

#include "encoder/FlvLayout.h"

namespace quorvane {

using namespace flv;
using platform::TFile;

namespace {

constexpr uint8_t KeyFrameType = 1;
constexpr uint32_t PacketHeaderOffset = 1;  // the header word follows the frame byte

uint32_t BigEndian(const uint8_t* Bytes, int Count) {
    uint32_t Value = 0;
    for (int I = 0; I < Count; ++I) {
        Value = (Value << 8) | Bytes[I];
    }
    return Value;
}

std::string At(uint64_t Offset) {
    return " at byte " + std::to_string(Offset);
}

[[noreturn]] void FailToRead(const std::error_code& Error) {
    throw EFlvFileUnreadable("the file cannot be read (" + Error.message() + ")");
}

// Reads exactly Size bytes at Offset, or throws.
void ReadAt(const TFile& File, uint64_t Offset, uint8_t* Data, size_t Size) {
    size_t Read = 0;
    if (const std::error_code Error = File.ReadAt(Offset, Data, Size, Read)) {
        FailToRead(Error);
    }
    if (Read < Size) {
        throw EFlvFileUnreadable("the file ends inside a tag" + At(Offset + Read));
    }
}

void CheckHeader(const TFile& File) {
    uint8_t Header[FileHeaderSize];
    ReadAt(File, 0, Header, sizeof Header);
    if (std::memcmp(Header, "FLV", 3) != 0 || BigEndian(Header + 5, 4) != 9 ||
        BigEndian(Header + 9, 4) != 0) {
        throw EFlvFileUnreadable("the file does not start with an FLV header");
    }
}

void CountTag(TFlvStreamSummary& Stream, uint32_t DataSize, uint32_t Time, uint8_t FirstByte) {
    if (Stream.Tags == 0) {
        Stream.FirstTime = Time;
        Stream.FirstDataByte = FirstByte;
    } else if (Stream.FrameInterval == 0) {
        Stream.FrameInterval = Time - Stream.FirstTime;
    }
    Stream.LastTime = Time;
    ++Stream.Tags;
    Stream.PayloadBytes += DataSize - 1;
}

void NoteKeyFrame(TFlvFileSummary& Summary, const TFile& File, uint64_t Offset, uint32_t DataSize,
                  uint32_t Time) {
    if (Summary.KeyFrames.empty()) {
        if (DataSize < PacketHeaderSize) {
            throw EFlvFileUnreadable("a key frame holds no Screen Video packet" + At(Offset));
        }
        uint8_t Word[4];
        ReadAt(File, Offset + TagHeaderSize + PacketHeaderOffset, Word, sizeof Word);
        Summary.Width = static_cast<uint16_t>(BigEndian(Word, 2) & 0x0FFF);
        Summary.Height = static_cast<uint16_t>(BigEndian(Word + 2, 2) & 0x0FFF);
    }
    // A seek index needs one position per time.
    if (Summary.KeyFrames.empty() || Summary.KeyFrames.back().Time != Time) {
        Summary.KeyFrames.push_back({Time, Offset});
    }
}

}  // namespace

TFlvFileSummary SummarizeFlvFile(const TFile& File) {
    TFlvFileSummary Summary;
    if (const std::error_code Error = File.Size(Summary.FileSize)) {
        FailToRead(Error);
    }
    CheckHeader(File);

    bool FirstTag = true;
    for (uint64_t Offset = FileHeaderSize; Offset < Summary.FileSize;) {
        uint8_t Header[TagHeaderSize + 1];
        ReadAt(File, Offset, Header, sizeof Header);
        const uint8_t Type = Header[0];
        const uint32_t DataSize = BigEndian(Header + 1, 3);
        const uint32_t Time = BigEndian(Header + 4, 3) | (uint32_t{Header[7]} << 24);
        if (Type != VideoTagType && Type != AudioTagType) {
            throw EFlvFileUnreadable("a tag of type " + std::to_string(Type) +
                                     " is neither audio nor video" + At(Offset));
        }
        const uint64_t SizeField = Offset + TagHeaderSize + DataSize;
        uint8_t Trailer[4];
        ReadAt(File, SizeField, Trailer, sizeof Trailer);
        if (DataSize == 0 || BigEndian(Trailer, 4) != DataSize + TagHeaderSize) {
            throw EFlvFileUnreadable("a tag's length fields disagree" + At(Offset));
        }
        if (FirstTag) {
            Summary.FirstTagTime = Time;
            FirstTag = false;
        }
        Summary.LastTagTime = Time;
        const uint8_t FirstByte = Header[TagHeaderSize];
        if (Type == AudioTagType) {
            CountTag(Summary.Audio, DataSize, Time, FirstByte);
        } else {
            CountTag(Summary.Video, DataSize, Time, FirstByte);
            if (FirstByte >> 4 == KeyFrameType) {
                NoteKeyFrame(Summary, File, Offset, DataSize, Time);
            }
        }
        Offset = SizeField + sizeof Trailer;
    }
    return Summary;
}

}  // namespace quorvane
