#include "platform/avi/AviParser.h"

#include "platform/avi/AviIndex.h"
#include "platform/avi/RiffReader.h"

namespace quorvane::platform {

namespace {

constexpr FOURCC formtypeAVI = mmioFOURCC('A', 'V', 'I', ' ');
constexpr FOURCC formtypeAVIX = mmioFOURCC('A', 'V', 'I', 'X');
constexpr FOURCC listtypeHEADER = mmioFOURCC('h', 'd', 'r', 'l');
constexpr FOURCC listtypeSTREAM = mmioFOURCC('s', 't', 'r', 'l');
constexpr FOURCC listtypeMOVIE = mmioFOURCC('m', 'o', 'v', 'i');
constexpr FOURCC ckidMAINHEADER = mmioFOURCC('a', 'v', 'i', 'h');
constexpr FOURCC ckidSTREAMHEADER = mmioFOURCC('s', 't', 'r', 'h');
constexpr FOURCC ckidSTREAMFORMAT = mmioFOURCC('s', 't', 'r', 'f');
constexpr FOURCC ckidSTREAMHANDLERDATA = mmioFOURCC('s', 't', 'r', 'd');
constexpr FOURCC ckidSTREAMNAME = mmioFOURCC('s', 't', 'r', 'n');
constexpr FOURCC ckidSUPERINDEX = mmioFOURCC('i', 'n', 'd', 'x');
constexpr FOURCC ckidINDEX = mmioFOURCC('i', 'd', 'x', '1');

// Header lists are read whole; real ones are a few kilobytes.
constexpr int64_t MaxHeaderListSize = 16 << 20;
// 'strh' up to dwSampleSize; rcFrame, when present, follows.
constexpr int64_t MinStreamHeaderSize = 48;
constexpr int64_t FullStreamHeaderSize = 56;

std::vector<uint8_t> ChunkBytes(const MemoryReader& Reader, const RiffChunk& Chunk) {
    std::vector<uint8_t> Bytes(static_cast<size_t>(Chunk.DataSize()));
    Reader.ReadAt(Chunk.DataOffset, Bytes.data(), Bytes.size());
    return Bytes;
}

AviStreamHeader DecodeStreamHeader(const std::vector<uint8_t>& Bytes) {
    const uint8_t* B = Bytes.data();
    AviStreamHeader H;
    H.fccType = ReadLE32(B);
    H.fccHandler = ReadLE32(B + 4);
    H.dwFlags = ReadLE32(B + 8);
    H.wPriority = ReadLE16(B + 12);
    H.wLanguage = ReadLE16(B + 14);
    H.dwInitialFrames = ReadLE32(B + 16);
    H.dwScale = ReadLE32(B + 20);
    H.dwRate = ReadLE32(B + 24);
    H.dwStart = ReadLE32(B + 28);
    H.dwLength = ReadLE32(B + 32);
    H.dwSuggestedBufferSize = ReadLE32(B + 36);
    H.dwQuality = ReadLE32(B + 40);
    H.dwSampleSize = ReadLE32(B + 44);
    if (static_cast<int64_t>(Bytes.size()) >= FullStreamHeaderSize) {
        // Stored as four signed 16-bit values.
        H.rcFrame.left = static_cast<int16_t>(ReadLE16(B + 48));
        H.rcFrame.top = static_cast<int16_t>(ReadLE16(B + 50));
        H.rcFrame.right = static_cast<int16_t>(ReadLE16(B + 52));
        H.rcFrame.bottom = static_cast<int16_t>(ReadLE16(B + 54));
    }
    return H;
}

std::string NameFrom(const std::vector<uint8_t>& Bytes) {
    std::string Name(Bytes.begin(), Bytes.end());
    return Name.substr(0, Name.find('\0'));
}

// One 'strl' list; false when it has no usable stream header, since the
// stream numbers of every later stream would then be wrong.
bool ParseStreamList(const MemoryReader& Reader, const RiffChunk& List, AviContents& Contents,
                     std::vector<std::vector<uint8_t>>& SuperIndexes) {
    AviStreamContents Stream;
    std::vector<uint8_t> SuperIndex;
    bool HeaderFound = false;
    ForEachChunk(Reader, List.DataOffset, List.DataEnd, [&](const RiffChunk& Chunk) {
        if (Chunk.Id == ckidSTREAMHEADER && Chunk.DataSize() >= MinStreamHeaderSize) {
            Stream.Header = DecodeStreamHeader(ChunkBytes(Reader, Chunk));
            HeaderFound = true;
        } else if (Chunk.Id == ckidSTREAMFORMAT) {
            Stream.Format = ChunkBytes(Reader, Chunk);
        } else if (Chunk.Id == ckidSTREAMHANDLERDATA) {
            Stream.HandlerData = ChunkBytes(Reader, Chunk);
        } else if (Chunk.Id == ckidSTREAMNAME) {
            Stream.Name = NameFrom(ChunkBytes(Reader, Chunk));
        } else if (Chunk.Id == ckidSUPERINDEX) {
            SuperIndex = ChunkBytes(Reader, Chunk);
        }
        return true;
    });
    Contents.Streams.push_back(std::move(Stream));
    SuperIndexes.push_back(std::move(SuperIndex));
    return HeaderFound;
}

bool ParseHeaderList(const FileReader& File, const RiffChunk& List, AviContents& Contents,
                     std::vector<std::vector<uint8_t>>& SuperIndexes) {
    if (!List.Complete || List.DataSize() > MaxHeaderListSize) {
        return false;
    }
    std::vector<uint8_t> Bytes(static_cast<size_t>(List.DataSize()));
    if (!File.ReadAt(List.DataOffset, Bytes.data(), Bytes.size())) {
        return false;
    }
    MemoryReader Reader(Bytes);
    bool MainHeaderFound = false;
    bool StreamsValid = true;
    ForEachChunk(Reader, 0, Reader.Size(), [&](const RiffChunk& Chunk) {
        if (Chunk.Id == ckidMAINHEADER && Chunk.DataSize() >= 4) {
            Contents.MicroSecPerFrame = ReadLE32(Bytes.data() + Chunk.DataOffset);
            MainHeaderFound = true;
        } else if (Chunk.Id == ckidLIST && Chunk.ListType == listtypeSTREAM) {
            StreamsValid = ParseStreamList(Reader, Chunk, Contents, SuperIndexes) && StreamsValid;
        }
        return true;
    });
    return MainHeaderFound && StreamsValid;
}

// The parts of the first RIFF: headers, its 'movi' list and 'idx1'.
bool ParseFirstPart(const FileReader& Reader, const RiffChunk& Riff, AviContents& Contents,
                    AviIndexSources& Sources) {
    bool HeaderValid = false;
    ForEachChunk(Reader, Riff.DataOffset, Riff.DataEnd, [&](const RiffChunk& Chunk) {
        if (Chunk.Id == ckidLIST && Chunk.ListType == listtypeHEADER) {
            HeaderValid = ParseHeaderList(Reader, Chunk, Contents, Sources.SuperIndexes);
            return HeaderValid;
        }
        if (Chunk.Id == ckidLIST && Chunk.ListType == listtypeMOVIE) {
            Sources.MoviLists.push_back(Chunk);
        } else if (Chunk.Id == ckidINDEX) {
            Sources.Idx1 = Chunk;
        }
        return true;
    });
    return HeaderValid;
}

// OpenDML files continue in further 'RIFF' 'AVIX' parts, one 'movi' each.
void FindExtensionParts(const FileReader& Reader, const RiffChunk& First,
                        AviIndexSources& Sources) {
    RiffChunk Part;
    for (int64_t Offset = NextChunkOffset(First);
         ReadChunkHeader(Reader, Offset, Reader.Size(), Part) && Part.Id == ckidRIFF &&
         Part.ListType == formtypeAVIX;
         Offset = NextChunkOffset(Part)) {
        ForEachChunk(Reader, Part.DataOffset, Part.DataEnd, [&](const RiffChunk& Chunk) {
            if (Chunk.Id == ckidLIST && Chunk.ListType == listtypeMOVIE) {
                Sources.MoviLists.push_back(Chunk);
            }
            return true;
        });
    }
}

}  // namespace

HRESULT ParseAvi(const FileReader& Reader, AviContents& Contents) {
    RiffChunk Riff;
    if (!ReadChunkHeader(Reader, 0, Reader.Size(), Riff) || Riff.Id != ckidRIFF ||
        Riff.ListType != formtypeAVI) {
        return AVIERR_BADFORMAT;
    }
    AviIndexSources Sources;
    if (!ParseFirstPart(Reader, Riff, Contents, Sources)) {
        return AVIERR_BADFORMAT;
    }
    FindExtensionParts(Reader, Riff, Sources);
    FillChunkTables(Reader, Sources, Contents.Streams);
    return AVIERR_OK;
}

}  // namespace quorvane::platform
