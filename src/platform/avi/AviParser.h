// Reading an AVI file's structure: the main header, each stream's header
// and stored format, and the table of every chunk of each stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/avi/AviFile.h"
#include "platform/avi/FileReader.h"

namespace quorvane::platform {

// One stored chunk of a stream; Size 0 is a dropped frame.
struct AviChunk {
    int64_t Offset = 0;  // of the data, past the chunk header
    uint32_t Size = 0;
    bool Key = false;
};

// A palette change ('##pc', an AVIPALCHANGE) stored among a stream's chunks:
// it holds from the chunk that follows it on.
struct AviPaletteChange {
    int64_t Offset = 0;  // of the data, past the chunk header
    uint32_t Size = 0;
    size_t BeforeChunk = 0;  // index in Chunks of that chunk
};

// The 'strh' record.
struct AviStreamHeader {
    FOURCC fccType = 0;
    FOURCC fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    RECT rcFrame{};
};

struct AviStreamContents {
    AviStreamHeader Header;
    std::vector<uint8_t> Format;       // the 'strf' bytes as stored
    std::vector<uint8_t> HandlerData;  // the 'strd' bytes: the codec's own data
    std::string Name;                  // from 'strn'
    std::vector<AviChunk> Chunks;      // in stream order, empty chunks included
    // Listed by idx1 or found by a scan (the OpenDML indexes list none).
    std::vector<AviPaletteChange> PaletteChanges;
    // False when no index was usable and the chunks were found by scanning:
    // key frames are then unknown.
    bool KeyFlagsKnown = true;
    // Samples a damaged index lists, or a cut-off video stream's header
    // counts, that the other indexes or a scan did not find.
    uint32_t SamplesMissing = 0;
};

struct AviContents {
    uint32_t MicroSecPerFrame = 0;  // from the main header
    std::vector<AviStreamContents> Streams;
};

// AVIERR_OK with Contents filled, or AVIERR_BADFORMAT for anything that is
// not an AVI file with readable headers.
HRESULT ParseAvi(const FileReader& Reader, AviContents& Contents);

}  // namespace quorvane::platform
