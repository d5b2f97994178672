// The colours of palette video: those stored after the stream's
// BITMAPINFOHEADER, changed from a chunk on by the stream's palette changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/avi/AviParser.h"
#include "platform/avi/FileReader.h"

namespace quorvane::platform {

class AviPalette {
public:
    // Stream must outlive the palette.
    explicit AviPalette(const AviStreamContents& Stream);

    // Video of more than 8 bits a pixel has no palette.
    bool Exists() const { return !Colours.empty(); }
    // Makes the colours those that hold at the chunk of index Chunk (in the
    // stream's Chunks); true when they changed. Changes that can't be read
    // are passed over.
    bool MoveTo(const FileReader& Reader, size_t Chunk);
    // AVPALETTE_COUNT entries, 0xAARRGGBB as libavcodec takes them.
    const std::vector<uint32_t>& Entries() const { return Colours; }

private:
    void Apply(const FileReader& Reader, const AviPaletteChange& Change);

    const AviStreamContents& Stream;
    const std::vector<uint32_t> Stored;
    std::vector<uint32_t> Colours;
    size_t ChangesApplied = 0;  // the first ones of Stream.PaletteChanges
};

}  // namespace quorvane::platform
