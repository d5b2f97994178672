#include "support/AviPatches.h"

#include <fstream>
#include <map>
#include <stdexcept>

namespace quorvane::test {

namespace {

bool IsList(const std::string& Id) {
    return Id == "RIFF" || Id == "LIST";
}

void Walk(const std::vector<uint8_t>& File, size_t Begin, size_t End,
          std::vector<RiffEntry>& Entries) {
    size_t Offset = Begin;
    while (Offset + 8 <= End) {
        RiffEntry Entry;
        Entry.Id.assign(File.begin() + Offset, File.begin() + Offset + 4);
        Entry.Offset = Offset;
        size_t Size = std::min<size_t>(GetLE32(File, Offset + 4), End - Offset - 8);
        Entry.DataOffset = Offset + 8;
        Entry.DataSize = Size;
        if (IsList(Entry.Id) && Size >= 4) {
            Entry.ListType.assign(File.begin() + Offset + 8, File.begin() + Offset + 12);
            Entry.DataOffset += 4;
            Entry.DataSize -= 4;
        }
        Entries.push_back(Entry);
        if (!Entry.ListType.empty()) {
            Walk(File, Entry.DataOffset, Entry.DataOffset + Entry.DataSize, Entries);
        }
        Offset += 8 + Size + (Size & 1);
    }
}

// Builds RIFF chunks in memory for a file position known in advance.
class RiffBuilder {
public:
    explicit RiffBuilder(uint64_t Start) : StartOffset(Start) {}

    uint64_t Position() const { return StartOffset + Bytes.size(); }
    size_t Begin(const std::string& Id, const std::string& ListType = "") {
        Put(Id);
        size_t SizeField = Bytes.size();
        Put32(0);
        if (!ListType.empty()) {
            Put(ListType);
        }
        return SizeField;
    }
    void End(size_t SizeField) {
        PutLE32(Bytes, SizeField, static_cast<uint32_t>(Bytes.size() - SizeField - 4));
        if (Bytes.size() & 1) {
            Bytes.push_back(0);
        }
    }
    void Chunk(const std::string& Id, const std::vector<uint8_t>& Data) {
        size_t Size = Begin(Id);
        Bytes.insert(Bytes.end(), Data.begin(), Data.end());
        End(Size);
    }
    void Put(const std::string& FourCC) { Bytes.insert(Bytes.end(), FourCC.begin(), FourCC.end()); }
    void Put32(uint32_t Value) {
        for (int I = 0; I < 4; ++I) {
            Bytes.push_back(static_cast<uint8_t>(Value >> (8 * I)));
        }
    }
    void Put64(uint64_t Value) {
        Put32(static_cast<uint32_t>(Value));
        Put32(static_cast<uint32_t>(Value >> 32));
    }

    std::vector<uint8_t> Bytes;

private:
    uint64_t StartOffset;
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& File, const RiffEntry& Entry) {
    return {File.begin() + Entry.DataOffset, File.begin() + Entry.DataOffset + Entry.DataSize};
}

const RiffEntry& Find(const std::vector<RiffEntry>& Entries, const std::string& Id,
                      const std::string& ListType = "") {
    for (const RiffEntry& Entry : Entries) {
        if (Entry.Id == Id && Entry.ListType == ListType) {
            return Entry;
        }
    }
    throw std::runtime_error("no " + Id + " " + ListType + " chunk");
}

struct IndexedChunk {
    std::string Id;
    bool Key = false;
    std::vector<uint8_t> Data;
};

// The chunks idx1 lists, grouped by stream number.
std::map<int, std::vector<IndexedChunk>> ChunksByStream(const std::vector<uint8_t>& File) {
    auto Entries = RiffEntries(File);
    const RiffEntry& Idx1 = Find(Entries, "idx1");
    size_t Base = Find(Entries, "LIST", "movi").DataOffset - 4;
    std::map<int, std::vector<IndexedChunk>> Streams;
    for (size_t At = Idx1.DataOffset; At + 16 <= Idx1.DataOffset + Idx1.DataSize; At += 16) {
        IndexedChunk Chunk;
        Chunk.Id.assign(File.begin() + At, File.begin() + At + 4);
        Chunk.Key = (GetLE32(File, At + 4) & 0x10) != 0;
        size_t Data = Base + GetLE32(File, At + 8) + 8;
        Chunk.Data.assign(File.begin() + Data, File.begin() + Data + GetLE32(File, At + 12));
        Streams[std::stoi(Chunk.Id.substr(0, 2))].push_back(std::move(Chunk));
    }
    return Streams;
}

constexpr size_t SuperIndexHeaderSize = 24;
constexpr size_t SuperIndexEntrySize = 16;

// The header part; its super index entries are filled in later, at the
// returned offsets (one per stream).
std::vector<size_t> BuildHeaderPart(const std::vector<uint8_t>& File, RiffBuilder& Head,
                                    uint32_t TotalFrames, size_t IndexParts) {
    auto Entries = RiffEntries(File);
    std::vector<size_t> SuperIndexes;
    size_t Riff = Head.Begin("RIFF", "AVI ");
    size_t Header = Head.Begin("LIST", "hdrl");
    Head.Chunk("avih", Slice(File, Find(Entries, "avih")));
    for (int Stream = 0;; ++Stream) {
        RiffEntry Strh;
        try {
            Strh = StreamChunk(File, Stream, "strh");
        } catch (const std::runtime_error&) {
            break;
        }
        size_t List = Head.Begin("LIST", "strl");
        Head.Chunk("strh", Slice(File, Strh));
        Head.Chunk("strf", Slice(File, StreamChunk(File, Stream, "strf")));
        SuperIndexes.push_back(Head.Bytes.size() + 8);
        Head.Chunk("indx",
                   std::vector<uint8_t>(SuperIndexHeaderSize + SuperIndexEntrySize * IndexParts));
        Head.End(List);
    }
    size_t Odml = Head.Begin("LIST", "odml");
    std::vector<uint8_t> Dmlh(248);
    PutLE32(Dmlh, 0, TotalFrames);
    Head.Chunk("dmlh", Dmlh);
    Head.End(Odml);
    Head.End(Header);
    Head.End(Head.Begin("LIST", "movi"));
    Head.End(Riff);
    return SuperIndexes;
}

// Entry Part of the super index at At, which lists Parts of them.
void FillSuperIndex(std::vector<uint8_t>& Head, size_t At, const std::string& ChunkId, size_t Part,
                    size_t Parts, uint64_t IndexOffset, uint32_t IndexSize, uint32_t Entries) {
    PutLE16(Head, At, 4);
    Head[At + 2] = 0;
    Head[At + 3] = 0;  // an index of indexes
    PutLE32(Head, At + 4, static_cast<uint32_t>(Parts));
    PutFourCC(Head, At + 8, ChunkId);
    const size_t Entry = At + SuperIndexHeaderSize + SuperIndexEntrySize * Part;
    PutLE32(Head, Entry, static_cast<uint32_t>(IndexOffset));
    PutLE32(Head, Entry + 4, static_cast<uint32_t>(IndexOffset >> 32));
    PutLE32(Head, Entry + 8, IndexSize);
    PutLE32(Head, Entry + 12, Entries);
}

}  // namespace

uint32_t GetLE32(const std::vector<uint8_t>& Bytes, size_t Offset) {
    return static_cast<uint32_t>(Bytes.at(Offset)) |
           (static_cast<uint32_t>(Bytes.at(Offset + 1)) << 8) |
           (static_cast<uint32_t>(Bytes.at(Offset + 2)) << 16) |
           (static_cast<uint32_t>(Bytes.at(Offset + 3)) << 24);
}

void PutLE16(std::vector<uint8_t>& Bytes, size_t Offset, uint16_t Value) {
    Bytes.at(Offset) = static_cast<uint8_t>(Value);
    Bytes.at(Offset + 1) = static_cast<uint8_t>(Value >> 8);
}

void PutLE32(std::vector<uint8_t>& Bytes, size_t Offset, uint32_t Value) {
    PutLE16(Bytes, Offset, static_cast<uint16_t>(Value));
    PutLE16(Bytes, Offset + 2, static_cast<uint16_t>(Value >> 16));
}

void PutFourCC(std::vector<uint8_t>& Bytes, size_t Offset, const std::string& FourCC) {
    for (size_t I = 0; I < 4; ++I) {
        Bytes.at(Offset + I) = static_cast<uint8_t>(FourCC.at(I));
    }
}

std::vector<RiffEntry> RiffEntries(const std::vector<uint8_t>& File) {
    std::vector<RiffEntry> Entries;
    Walk(File, 0, File.size(), Entries);
    return Entries;
}

RiffEntry StreamChunk(const std::vector<uint8_t>& File, int Stream, const std::string& Id) {
    auto Entries = RiffEntries(File);
    int Seen = -1;
    size_t ListEnd = 0;
    for (const RiffEntry& Entry : Entries) {
        if (Entry.Id == "LIST" && Entry.ListType == "strl") {
            ++Seen;
            ListEnd = Entry.DataOffset + Entry.DataSize;
        } else if (Seen == Stream && Entry.Id == Id && Entry.Offset < ListEnd) {
            return Entry;
        }
    }
    throw std::runtime_error("stream " + std::to_string(Stream) + " has no " + Id);
}

std::vector<RiffEntry> DataChunks(const std::vector<uint8_t>& File, const std::string& Suffix) {
    std::vector<RiffEntry> Found;
    for (const RiffEntry& Entry : RiffEntries(File)) {
        if (std::isdigit(static_cast<unsigned char>(Entry.Id[0])) &&
            std::isdigit(static_cast<unsigned char>(Entry.Id[1])) && Entry.Id.substr(2) == Suffix) {
            Found.push_back(Entry);
        }
    }
    return Found;
}

std::vector<uint8_t> WithVideoChunks(const std::vector<uint8_t>& Avi10,
                                     const std::vector<VideoChunk>& Chunks) {
    auto Entries = RiffEntries(Avi10);
    RiffBuilder File(0);
    File.Bytes.assign(Avi10.begin(),
                      Avi10.begin() + static_cast<long>(Find(Entries, "LIST", "movi").Offset));
    const auto Frames = static_cast<uint32_t>(Chunks.size());
    PutLE32(File.Bytes, StreamChunk(Avi10, 0, "strh").DataOffset + StrhLength, Frames);
    PutLE32(File.Bytes, Find(Entries, "avih").DataOffset + 16, Frames);  // dwTotalFrames
    const size_t Movie = File.Begin("LIST", "movi");
    const size_t Base = File.Bytes.size() - 4;
    RiffBuilder Index(0);
    for (const VideoChunk& Chunk : Chunks) {
        Index.Put("00dc");
        Index.Put32(Chunk.Key ? 0x10 : 0);  // AVIIF_KEYFRAME
        Index.Put32(static_cast<uint32_t>(File.Bytes.size() - Base));
        Index.Put32(static_cast<uint32_t>(Chunk.Data.size()));
        File.Chunk("00dc", Chunk.Data);
    }
    File.End(Movie);
    File.Chunk("idx1", Index.Bytes);
    PutLE32(File.Bytes, 4, static_cast<uint32_t>(File.Bytes.size() - 8));
    return File.Bytes;
}

std::vector<uint8_t> WithAbsoluteIdx1(std::vector<uint8_t> File) {
    auto Entries = RiffEntries(File);
    const RiffEntry& Idx1 = Find(Entries, "idx1");
    uint32_t Base = static_cast<uint32_t>(Find(Entries, "LIST", "movi").DataOffset - 4);
    for (size_t At = Idx1.DataOffset; At + 16 <= Idx1.DataOffset + Idx1.DataSize; At += 16) {
        PutLE32(File, At + 8, GetLE32(File, At + 8) + Base);
    }
    return File;
}

void WriteOpenDml(const std::vector<uint8_t>& Avi10, const std::filesystem::path& Output,
                  bool WithSuperIndex, uint64_t GapBytes, size_t IndexParts) {
    auto Streams = ChunksByStream(Avi10);
    RiffBuilder Head(0);
    std::vector<size_t> SuperIndexes =
        BuildHeaderPart(Avi10, Head, static_cast<uint32_t>(Streams[0].size()), IndexParts);

    uint64_t GapPart = GapBytes ? 8 + 4 + 8 + GapBytes : 0;
    RiffBuilder Data(Head.Bytes.size() + GapPart);
    size_t Riff = Data.Begin("RIFF", "AVIX");
    size_t Movie = Data.Begin("LIST", "movi");
    uint64_t Base = Data.Position() - 4;
    std::map<int, std::vector<std::pair<uint64_t, uint32_t>>> Placed;  // offset, size
    for (auto& [Stream, Chunks] : Streams) {
        for (const IndexedChunk& Chunk : Chunks) {
            Placed[Stream].push_back(
                {Data.Position() + 8,
                 static_cast<uint32_t>(Chunk.Data.size()) | (Chunk.Key ? 0 : 0x80000000u)});
            Data.Chunk(Chunk.Id, Chunk.Data);
        }
    }
    for (auto& [Stream, Chunks] : Placed) {
        const std::string Id = Streams[Stream].front().Id;
        for (size_t Part = 0; Part < IndexParts; ++Part) {
            const size_t First = Chunks.size() * Part / IndexParts;
            const size_t End = Chunks.size() * (Part + 1) / IndexParts;
            uint64_t IndexOffset = Data.Position();
            size_t Index = Data.Begin("ix" + Id.substr(0, 2));
            Data.Put32(2 | (1u << 24));  // two longs per entry, an index of chunks
            Data.Put32(static_cast<uint32_t>(End - First));
            Data.Put(Id);
            Data.Put64(Base);
            Data.Put32(0);
            for (size_t Chunk = First; Chunk < End; ++Chunk) {
                Data.Put32(static_cast<uint32_t>(Chunks[Chunk].first - Base));
                Data.Put32(Chunks[Chunk].second);
            }
            Data.End(Index);
            if (WithSuperIndex) {
                FillSuperIndex(Head.Bytes, SuperIndexes.at(static_cast<size_t>(Stream)), Id, Part,
                               IndexParts, IndexOffset,
                               static_cast<uint32_t>(Data.Position() - IndexOffset),
                               static_cast<uint32_t>(End - First));
            }
        }
    }
    Data.End(Movie);
    Data.End(Riff);

    std::ofstream Out(Output, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Head.Bytes.data()),
              static_cast<std::streamsize>(Head.Bytes.size()));
    if (GapBytes) {
        RiffBuilder Gap(Head.Bytes.size());
        Gap.Put("RIFF");
        Gap.Put32(static_cast<uint32_t>(4 + 8 + GapBytes));
        Gap.Put("AVIX");
        Gap.Put("JUNK");
        Gap.Put32(static_cast<uint32_t>(GapBytes));
        Out.write(reinterpret_cast<const char*>(Gap.Bytes.data()),
                  static_cast<std::streamsize>(Gap.Bytes.size()));
        Out.seekp(static_cast<std::streamoff>(Head.Bytes.size() + GapPart));  // leaves a hole
    }
    Out.write(reinterpret_cast<const char*>(Data.Bytes.data()),
              static_cast<std::streamsize>(Data.Bytes.size()));
    if (!Out) {
        throw std::runtime_error("cannot write " + Output.string());
    }
}

}  // namespace quorvane::test
