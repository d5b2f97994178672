// Walking the chunks of a RIFF file: a chunk is a FourCC, a 32-bit
// little-endian size and its data padded to an even length; 'RIFF' and
// 'LIST' chunks start their data with a FourCC naming the list's kind.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/types/WinTypes.h"

namespace quorvane::platform {

inline uint16_t ReadLE16(const uint8_t* Bytes) {
    return static_cast<uint16_t>(Bytes[0] | (Bytes[1] << 8));
}
inline uint32_t ReadLE32(const uint8_t* Bytes) {
    return static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
           (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
}
inline uint64_t ReadLE64(const uint8_t* Bytes) {
    return ReadLE32(Bytes) | (static_cast<uint64_t>(ReadLE32(Bytes + 4)) << 32);
}

constexpr FOURCC ckidRIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC ckidLIST = mmioFOURCC('L', 'I', 'S', 'T');

struct RiffChunk {
    FOURCC Id = 0;
    FOURCC ListType = 0;  // only for 'RIFF' and 'LIST' chunks
    int64_t Offset = 0;   // of the chunk header
    int64_t DataOffset = 0;
    int64_t DataEnd = 0;  // cut to the enclosing range when the file is truncated
    bool Complete = false;

    bool IsList() const { return Id == ckidRIFF || Id == ckidLIST; }
    int64_t DataSize() const { return DataEnd - DataOffset; }
};

// Reads the chunk header at Offset within [Offset, End). False when not even
// the header (and a list's kind) fits.
template <class Source>
bool ReadChunkHeader(const Source& Reader, int64_t Offset, int64_t End, RiffChunk& Chunk) {
    uint8_t Header[12];
    if (End - Offset < 8 || !Reader.ReadAt(Offset, Header, 8)) {
        return false;
    }
    Chunk.Id = ReadLE32(Header);
    Chunk.Offset = Offset;
    Chunk.DataOffset = Offset + 8;
    int64_t StoredEnd = Chunk.DataOffset + ReadLE32(Header + 4);
    Chunk.Complete = StoredEnd <= End;
    Chunk.DataEnd = Chunk.Complete ? StoredEnd : End;
    Chunk.ListType = 0;
    if (Chunk.IsList()) {
        if (Chunk.DataSize() < 4 || !Reader.ReadAt(Chunk.DataOffset, Header + 8, 4)) {
            return false;
        }
        Chunk.ListType = ReadLE32(Header + 8);
        Chunk.DataOffset += 4;
    }
    return true;
}

// Offset of the chunk after Chunk (its data is padded to an even length).
inline int64_t NextChunkOffset(const RiffChunk& Chunk) {
    int64_t StoredSize = Chunk.DataEnd - Chunk.Offset;
    return Chunk.Offset + StoredSize + (StoredSize & 1);
}

// Calls Visit(chunk) for each chunk in [Begin, End), in file order, while it
// returns true. Every step moves forward by at least a header.
template <class Source, class Visitor>
void ForEachChunk(const Source& Reader, int64_t Begin, int64_t End, Visitor&& Visit) {
    RiffChunk Chunk;
    for (int64_t Offset = Begin; ReadChunkHeader(Reader, Offset, End, Chunk);
         Offset = NextChunkOffset(Chunk)) {
        if (!Visit(Chunk)) {
            return;
        }
    }
}

}  // namespace quorvane::platform
