#include "platform/avi/AviPalette.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "platform/avi/RiffReader.h"

namespace quorvane::platform {

namespace {

constexpr size_t BitmapHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr size_t PaletteCount = AVPALETTE_COUNT;
constexpr uint32_t Opaque = 0xFF000000;
// AVIPALCHANGE: first entry, number of entries (0 for all 256), flags, then
// PALETTEENTRYs: red, green, blue and a flag byte.
constexpr size_t PaletteChangeHeaderSize = 4;
constexpr size_t PaletteEntrySize = 4;

// The RGBQUADs (blue, green, red, unused) after the header; zeros where the
// format holds fewer than the bit count allows.
std::vector<uint32_t> StoredPalette(const std::vector<uint8_t>& Format) {
    BITMAPINFOHEADER Header{};
    std::memcpy(&Header, Format.data(), std::min(Format.size(), BitmapHeaderSize));
    if (Format.size() < BitmapHeaderSize || Header.biBitCount == 0 || Header.biBitCount > 8) {
        return {};
    }
    size_t Count = Header.biClrUsed != 0 ? Header.biClrUsed : size_t{1} << Header.biBitCount;
    Count = std::min({Count, PaletteCount, (Format.size() - BitmapHeaderSize) / 4});
    std::vector<uint32_t> Palette(PaletteCount);
    for (size_t I = 0; I < Count; ++I) {
        Palette[I] = Opaque | (ReadLE32(Format.data() + BitmapHeaderSize + 4 * I) & 0xFFFFFF);
    }
    return Palette;
}

}  // namespace

AviPalette::AviPalette(const AviStreamContents& Contents)
    : Stream(Contents), Stored(StoredPalette(Contents.Format)), Colours(Stored) {}

bool AviPalette::MoveTo(const FileReader& Reader, size_t Chunk) {
    if (!Exists()) {
        return false;
    }
    const auto& Changes = Stream.PaletteChanges;
    const auto Due =
        static_cast<size_t>(std::upper_bound(Changes.begin(), Changes.end(), Chunk,
                                             [](size_t At, const AviPaletteChange& Change) {
                                                 return At < Change.BeforeChunk;
                                             }) -
                            Changes.begin());
    if (Due == ChangesApplied) {
        return false;
    }
    if (Due < ChangesApplied) {
        Colours = Stored;
        ChangesApplied = 0;
    }
    for (; ChangesApplied < Due; ++ChangesApplied) {
        Apply(Reader, Changes[ChangesApplied]);
    }
    return true;
}

void AviPalette::Apply(const FileReader& Reader, const AviPaletteChange& Change) {
    std::vector<uint8_t> Bytes(
        std::min<size_t>(Change.Size, PaletteChangeHeaderSize + PaletteCount * PaletteEntrySize));
    if (Bytes.size() < PaletteChangeHeaderSize ||
        !Reader.ReadAt(Change.Offset, Bytes.data(), Bytes.size())) {
        return;
    }
    const size_t First = Bytes[0];
    const size_t Count = Bytes[1] == 0 ? PaletteCount : Bytes[1];
    const size_t Given = (Bytes.size() - PaletteChangeHeaderSize) / PaletteEntrySize;
    for (size_t I = 0; I < Count && I < Given && First + I < PaletteCount; ++I) {
        const uint8_t* Entry = Bytes.data() + PaletteChangeHeaderSize + I * PaletteEntrySize;
        Colours[First + I] =
            Opaque | (uint32_t{Entry[0]} << 16) | (uint32_t{Entry[1]} << 8) | Entry[2];
    }
}

}  // namespace quorvane::platform
