// Looking into and altering AVI files in tests, with code of the tests' own
// (independent of the parser under test).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::test {

struct RiffEntry {
    std::string Id;
    std::string ListType;   // for 'RIFF' and 'LIST'
    size_t Offset = 0;      // of the chunk header
    size_t DataOffset = 0;  // past the header (and a list's type)
    size_t DataSize = 0;
};

// Every chunk of a RIFF file, lists included, depth first in file order.
std::vector<RiffEntry> RiffEntries(const std::vector<uint8_t>& File);

// Chunk Id (e.g. "strh", "strf") of the Stream-th stream list.
RiffEntry StreamChunk(const std::vector<uint8_t>& File, int Stream, const std::string& Id);

// The data chunks whose ids end with Suffix (e.g. "dc", "wb"), in file order.
std::vector<RiffEntry> DataChunks(const std::vector<uint8_t>& File, const std::string& Suffix);

uint32_t GetLE32(const std::vector<uint8_t>& Bytes, size_t Offset);
void PutLE16(std::vector<uint8_t>& Bytes, size_t Offset, uint16_t Value);
void PutLE32(std::vector<uint8_t>& Bytes, size_t Offset, uint32_t Value);
void PutFourCC(std::vector<uint8_t>& Bytes, size_t Offset, const std::string& FourCC);

// Offsets of 'strh' fields.
constexpr size_t StrhHandler = 4;
constexpr size_t StrhScale = 20;
constexpr size_t StrhRate = 24;
constexpr size_t StrhStart = 28;
constexpr size_t StrhLength = 32;
constexpr size_t StrhRcFrame = 48;

struct VideoChunk {
    std::vector<uint8_t> Data;
    bool Key = false;
};

// An AVI 1.0 file of one video stream with its chunks replaced by Chunks:
// a new 'movi' list and idx1, and the stream length and frame count to match.
std::vector<uint8_t> WithVideoChunks(const std::vector<uint8_t>& Avi10,
                                     const std::vector<VideoChunk>& Chunks);

// The idx1 offsets turned from 'movi'-relative into absolute ones.
std::vector<uint8_t> WithAbsoluteIdx1(std::vector<uint8_t> File);

// Rewrites an AVI 1.0 file (with idx1) as an OpenDML file with no idx1: the
// header part holds an empty 'movi'; all chunks follow in a 'RIFF' 'AVIX'
// part, indexed by IndexParts 'ix##' chunks per stream (each listing an
// equal share) listed in each stream's 'indx' super index (left empty when
// WithSuperIndex is false). GapBytes of sparse 'JUNK' in a 'RIFF' 'AVIX'
// part of their own (at most 4 GB less 32) go before the chunks, to put
// them beyond 4 GB cheaply.
void WriteOpenDml(const std::vector<uint8_t>& Avi10, const std::filesystem::path& Output,
                  bool WithSuperIndex, uint64_t GapBytes, size_t IndexParts = 1);

}  // namespace quorvane::test
