#include "platform/avi/AviIndex.h"

#include <algorithm>
#include <climits>

namespace quorvane::platform {

namespace {

constexpr FOURCC ckidJUNK = mmioFOURCC('J', 'U', 'N', 'K');
constexpr FOURCC listtypeRECORD = mmioFOURCC('r', 'e', 'c', ' ');
constexpr uint32_t AVIIF_LIST = 0x00000001;
constexpr uint32_t AVIIF_KEYFRAME = 0x00000010;
constexpr uint8_t AVI_INDEX_OF_INDEXES = 0;
constexpr uint8_t AVI_INDEX_OF_CHUNKS = 1;
constexpr uint32_t DeltaFrameFlag = 0x80000000;  // in a standard index entry's size
constexpr size_t Idx1EntrySize = 16;
constexpr size_t SuperIndexEntrySize = 16;
constexpr size_t StandardIndexEntrySize = 8;
constexpr size_t IndexHeaderSize = 24;  // of both 'indx' and 'ix##'

char CharOf(FOURCC Id, int Index) {
    return static_cast<char>((Id >> (8 * Index)) & 0xFF);
}
bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

// The stream a '##xx' data chunk belongs to, -1 for other chunks.
int StreamNumberOf(FOURCC Id) {
    if (!IsDigit(CharOf(Id, 0)) || !IsDigit(CharOf(Id, 1))) {
        return -1;
    }
    return (CharOf(Id, 0) - '0') * 10 + (CharOf(Id, 1) - '0');
}

// Palette changes ('##pc') are stored like data but are no samples.
bool IsPaletteChange(FOURCC Id) {
    return CharOf(Id, 2) == 'p' && CharOf(Id, 3) == 'c';
}

bool IsStandardIndexChunk(FOURCC Id) {
    return CharOf(Id, 0) == 'i' && CharOf(Id, 1) == 'x';
}

// A stream's chunks as one index lists them. A chunk whose data lies beyond
// the end of a truncated file cuts the list there, and so does the last
// position a sample number can take.
struct ChunkList {
    std::vector<AviChunk> Chunks;
    std::vector<AviPaletteChange> PaletteChanges;
    bool CutOff = false;

    void Append(const FileReader& Reader, int64_t Offset, uint32_t Size, bool Key) {
        if (CutOff || !Reader.Contains(Offset, Size) || Chunks.size() >= INT32_MAX) {
            CutOff = true;
            return;
        }
        Chunks.push_back({Offset, Size, Key});
    }
    // A change beyond the file's end is left out, like the chunks after it.
    void AppendPaletteChange(const FileReader& Reader, int64_t Offset, uint32_t Size) {
        if (!CutOff && Reader.Contains(Offset, Size)) {
            PaletteChanges.push_back({Offset, Size, Chunks.size()});
        }
    }
    void MoveInto(AviStreamContents& Stream) {
        Stream.Chunks = std::move(Chunks);
        Stream.PaletteChanges = std::move(PaletteChanges);
    }
};

// Calls Visit on each of Count records of RecordSize bytes at Offset, read in
// blocks, while it returns true.
template <class Visitor>
void ForEachRecord(const FileReader& Reader, int64_t Offset, uint64_t Count, size_t RecordSize,
                   Visitor&& Visit) {
    constexpr uint64_t RecordsPerBlock = 4096;
    std::vector<uint8_t> Block(RecordsPerBlock * RecordSize);
    while (Count > 0) {
        size_t Records = static_cast<size_t>(std::min(Count, RecordsPerBlock));
        if (!Reader.ReadAt(Offset, Block.data(), Records * RecordSize)) {
            return;
        }
        for (size_t I = 0; I < Records; ++I) {
            if (!Visit(Block.data() + I * RecordSize)) {
                return;
            }
        }
        Offset += static_cast<int64_t>(Records * RecordSize);
        Count -= Records;
    }
}

// 'idx1' offsets count either from the 'movi' list's FourCC or from the
// start of the file; the one under which the first entry lands on a chunk
// header of its own id is the one used.
std::optional<int64_t> Idx1Base(const FileReader& Reader, const AviIndexSources& Sources,
                                FOURCC FirstId, uint32_t FirstOffset) {
    std::vector<int64_t> Candidates;
    if (!Sources.MoviLists.empty()) {
        Candidates.push_back(Sources.MoviLists.front().DataOffset - 4);
    }
    Candidates.push_back(0);
    for (int64_t Base : Candidates) {
        uint8_t Id[4];
        if (Reader.ReadAt(Base + FirstOffset, Id, 4) && ReadLE32(Id) == FirstId) {
            return Base;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<ChunkList>> ReadIdx1(const FileReader& Reader,
                                               const AviIndexSources& Sources, size_t StreamCount) {
    const RiffChunk& Idx1 = *Sources.Idx1;
    if (!Idx1.Complete) {
        return std::nullopt;  // cut short: the movie lists tell more
    }
    uint64_t Entries = static_cast<uint64_t>(Idx1.DataSize()) / Idx1EntrySize;
    std::optional<int64_t> Base;
    ForEachRecord(Reader, Idx1.DataOffset, Entries, Idx1EntrySize, [&](const uint8_t* Entry) {
        if (StreamNumberOf(ReadLE32(Entry)) < 0) {
            return true;
        }
        Base = Idx1Base(Reader, Sources, ReadLE32(Entry), ReadLE32(Entry + 8));
        return false;
    });
    if (!Base) {
        return std::nullopt;
    }
    std::vector<ChunkList> Tables(StreamCount);
    ForEachRecord(Reader, Idx1.DataOffset, Entries, Idx1EntrySize, [&](const uint8_t* Entry) {
        FOURCC Id = ReadLE32(Entry);
        uint32_t Flags = ReadLE32(Entry + 4);
        int Stream = StreamNumberOf(Id);
        if (Stream < 0 || static_cast<size_t>(Stream) >= StreamCount || (Flags & AVIIF_LIST)) {
            return true;
        }
        const int64_t Offset = *Base + ReadLE32(Entry + 8) + 8;
        if (IsPaletteChange(Id)) {
            Tables[Stream].AppendPaletteChange(Reader, Offset, ReadLE32(Entry + 12));
        } else {
            Tables[Stream].Append(Reader, Offset, ReadLE32(Entry + 12),
                                  (Flags & AVIIF_KEYFRAME) != 0);
        }
        return true;
    });
    return Tables;
}

// One 'ix##' chunk; false when it is not a standard index or the file ends
// within the chunks it lists.
bool ReadStandardIndex(const FileReader& Reader, const RiffChunk& Index, ChunkList& List) {
    uint8_t Header[IndexHeaderSize];
    if (Index.DataSize() < static_cast<int64_t>(IndexHeaderSize) ||
        !Reader.ReadAt(Index.DataOffset, Header, sizeof Header) || ReadLE16(Header) != 2 ||
        Header[3] != AVI_INDEX_OF_CHUNKS) {
        return false;
    }
    uint64_t Base = ReadLE64(Header + 12);
    if (Base > static_cast<uint64_t>(Reader.Size())) {
        return false;
    }
    uint64_t Entries = std::min<uint64_t>(
        ReadLE32(Header + 4), (Index.DataSize() - IndexHeaderSize) / StandardIndexEntrySize);
    ForEachRecord(Reader, Index.DataOffset + static_cast<int64_t>(IndexHeaderSize), Entries,
                  StandardIndexEntrySize, [&](const uint8_t* Entry) {
                      uint32_t Size = ReadLE32(Entry + 4);
                      List.Append(Reader, static_cast<int64_t>(Base) + ReadLE32(Entry),
                                  Size & ~DeltaFrameFlag, (Size & DeltaFrameFlag) == 0);
                      return !List.CutOff;
                  });
    return !List.CutOff;
}

// What a stream's super index gives: the chunks of the 'ix##' chunks it
// lists, and the samples it says they hold. The standard indexes must follow
// each other without overlap, which also keeps the table within the file's
// size. One it lists that can't be read whole (it lies past the file's end,
// is no standard index, or lists chunks past the end) damages the index.
struct SuperIndexContents {
    ChunkList List;
    bool Damaged = false;
    uint64_t Samples = 0;
};

SuperIndexContents ReadSuperIndex(const FileReader& Reader, const std::vector<uint8_t>& Bytes) {
    SuperIndexContents Index;
    if (Bytes.size() < IndexHeaderSize || ReadLE16(Bytes.data()) != 4 ||
        Bytes[3] != AVI_INDEX_OF_INDEXES) {
        return Index;
    }
    uint64_t Entries = std::min<uint64_t>(ReadLE32(Bytes.data() + 4),
                                          (Bytes.size() - IndexHeaderSize) / SuperIndexEntrySize);
    int64_t FirstFree = 0;
    for (uint64_t I = 0; I < Entries; ++I) {
        const uint8_t* Entry = Bytes.data() + IndexHeaderSize + I * SuperIndexEntrySize;
        Index.Samples += ReadLE32(Entry + 12);  // dwDuration
        uint64_t Offset = ReadLE64(Entry);
        RiffChunk Standard;
        if (Index.Damaged || Offset < static_cast<uint64_t>(FirstFree) ||
            Offset > static_cast<uint64_t>(Reader.Size()) ||
            !ReadChunkHeader(Reader, static_cast<int64_t>(Offset), Reader.Size(), Standard) ||
            !Standard.Complete || !IsStandardIndexChunk(Standard.Id) ||
            !ReadStandardIndex(Reader, Standard, Index.List)) {
            Index.Damaged = true;
            continue;
        }
        FirstFree = NextChunkOffset(Standard);
    }
    return Index;
}

// Without an index: every data chunk of the 'movi' lists, in file order,
// up to the first thing that is no chunk of a movie list (damage).
void ScanMovieList(const FileReader& Reader, int64_t Begin, int64_t End, bool InRecord,
                   std::vector<ChunkList>& Tables) {
    ForEachChunk(Reader, Begin, End, [&](const RiffChunk& Chunk) {
        int Stream = StreamNumberOf(Chunk.Id);
        if (Stream >= 0) {
            if (!Chunk.Complete) {
                return false;  // the file ends within this chunk
            }
            if (static_cast<size_t>(Stream) >= Tables.size()) {
                return true;
            }
            const auto Size = static_cast<uint32_t>(Chunk.DataSize());
            if (IsPaletteChange(Chunk.Id)) {
                Tables[Stream].AppendPaletteChange(Reader, Chunk.DataOffset, Size);
            } else {
                Tables[Stream].Append(Reader, Chunk.DataOffset, Size, false);
            }
            return true;
        }
        // Record lists group chunks; they are not nested.
        if (Chunk.Id == ckidLIST && Chunk.ListType == listtypeRECORD && !InRecord) {
            ScanMovieList(Reader, Chunk.DataOffset, Chunk.DataEnd, true, Tables);
            return true;
        }
        return Chunk.Id == ckidJUNK || Chunk.Id == ckidLIST || IsStandardIndexChunk(Chunk.Id);
    });
}

// The last list is scanned up to the file's end: a recording cut off before
// its index was written did not have its list's size written either
// (GStreamer's stays that of the empty list it started with).
std::vector<ChunkList> ScanMovieLists(const FileReader& Reader, const AviIndexSources& Sources,
                                      size_t StreamCount) {
    std::vector<ChunkList> Tables(StreamCount);
    for (const RiffChunk& Movie : Sources.MoviLists) {
        const bool Last = &Movie == &Sources.MoviLists.back();
        ScanMovieList(Reader, Movie.DataOffset, Last ? Reader.Size() : Movie.DataEnd, false,
                      Tables);
    }
    return Tables;
}

// A recording cut off (its last movie list ends past the file's end) lost
// its index with its last chunks: a video stream's header still counts the
// frames written, and those not found are missing. (A list that merely
// kept the size it was begun with, as GStreamer's do, lies within the file.)
uint64_t FramesCountedBeforeTheCut(const AviIndexSources& Sources,
                                   const AviStreamContents& Stream) {
    const bool CutShort = !Sources.MoviLists.empty() && !Sources.MoviLists.back().Complete;
    return CutShort && Stream.Header.fccType == streamtypeVIDEO ? Stream.Header.dwLength : 0;
}

}  // namespace

void FillChunkTables(const FileReader& Reader, const AviIndexSources& Sources,
                     std::vector<AviStreamContents>& Streams) {
    // The older indexes are read only when some stream needs them.
    std::optional<std::vector<ChunkList>> Idx1Tables;
    std::optional<std::vector<ChunkList>> ScannedTables;
    bool Idx1Read = false;
    for (size_t S = 0; S < Streams.size(); ++S) {
        // A damaged super index gives way to the other indexes, as a missing
        // one does (it could give only the chunks before the damage); what
        // they can't find of what it claims is missing.
        SuperIndexContents SuperIndex = ReadSuperIndex(Reader, Sources.SuperIndexes[S]);
        if (!SuperIndex.Damaged && !SuperIndex.List.Chunks.empty()) {
            Streams[S].Chunks = std::move(SuperIndex.List.Chunks);
            continue;
        }
        const auto NoteMissing = [&](uint64_t Counted = 0) {
            const uint64_t Claimed = std::max(SuperIndex.Samples, Counted);
            const uint64_t Found = Streams[S].Chunks.size();
            Streams[S].SamplesMissing = static_cast<uint32_t>(
                std::min<uint64_t>(Claimed > Found ? Claimed - Found : 0, UINT32_MAX));
        };
        if (!Idx1Read && Sources.Idx1) {
            Idx1Tables = ReadIdx1(Reader, Sources, Streams.size());
        }
        Idx1Read = true;
        if (Idx1Tables) {
            (*Idx1Tables)[S].MoveInto(Streams[S]);
            NoteMissing();
            continue;
        }
        if (!ScannedTables) {
            ScannedTables = ScanMovieLists(Reader, Sources, Streams.size());
        }
        (*ScannedTables)[S].MoveInto(Streams[S]);
        Streams[S].KeyFlagsKnown = false;
        NoteMissing(FramesCountedBeforeTheCut(Sources, Streams[S]));
    }
}

}  // namespace quorvane::platform
