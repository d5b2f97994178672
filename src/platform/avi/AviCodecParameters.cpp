#include "platform/avi/AviCodecParameters.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace quorvane::platform {

namespace {

constexpr size_t BitmapHeaderSize = sizeof(BITMAPINFOHEADER);

constexpr FOURCC TagH264 = mmioFOURCC('H', '2', '6', '4');
constexpr FOURCC TagXvid = mmioFOURCC('X', 'V', 'I', 'D');
constexpr FOURCC TagAvid = mmioFOURCC('A', 'V', 'R', 'n');
// DivX subtitles stored as a video stream.
constexpr FOURCC SubtitleTags[] = {mmioFOURCC('D', 'X', 'S', 'B'), mmioFOURCC('D', 'X', 'S', 'A')};
// HEVC as some writers tag it (in upper case), in no public table.
constexpr FOURCC HevcTags[] = {mmioFOURCC('H', 'E', 'V', 'C'), mmioFOURCC('H', '2', '6', '5')};
// Appended to the set-up of bottom-up uncompressed pictures: libavcodec's raw
// decoder then turns them upright.
constexpr char BottomUpMarker[] = "BottomUp";

FOURCC UpperCase(FOURCC Tag) {
    FOURCC Result = 0;
    for (int Shift = 0; Shift < 32; Shift += 8) {
        const auto Byte = static_cast<unsigned char>(Tag >> Shift);
        Result |= static_cast<FOURCC>(std::toupper(Byte)) << Shift;
    }
    return Result;
}

// The FourCCs of AVI files first, then those QuickTime files use, which some
// AVI writers store too; letter case aside where no tag matches exactly.
AVCodecID CodecOf(FOURCC Tag) {
    const AVCodecTag* const Tables[] = {avformat_get_riff_video_tags(),
                                        avformat_get_mov_video_tags(), nullptr};
    const AVCodecID Id = av_codec_get_id(Tables, Tag);
    if (Id != AV_CODEC_ID_NONE) {
        return Id;
    }
    const FOURCC Upper = UpperCase(Tag);
    const bool Hevc =
        std::find(std::begin(HevcTags), std::end(HevcTags), Upper) != std::end(HevcTags);
    return Hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_NONE;
}

// The bytes after the BITMAPINFOHEADER: a palette, or the codec's set-up.
// Some writers count one byte of padding in the format's size but not in
// biSize; it is left out then.
std::vector<uint8_t> StoredSetUp(const std::vector<uint8_t>& Format,
                                 const BITMAPINFOHEADER& Header) {
    if (Format.size() <= BitmapHeaderSize) {
        return {};
    }
    const bool PaddingCounted = Header.biSize == Format.size() - 1 && Header.biSize % 2 == 1;
    const size_t End = PaddingCounted ? Header.biSize : Format.size();
    return {Format.begin() + BitmapHeaderSize, Format.begin() + static_cast<long>(End)};
}

bool IsAvidUncompressed(const std::vector<uint8_t>& SetUp) {
    constexpr size_t ResolutionAt = 28;
    constexpr char Uncompressed[] = {'1', ':', '1'};
    return SetUp.size() >= ResolutionAt + sizeof Uncompressed &&
           std::equal(std::begin(Uncompressed), std::end(Uncompressed),
                      SetUp.begin() + ResolutionAt);
}

bool CopySetUp(const std::vector<uint8_t>& SetUp, AVCodecParameters& Parameters) {
    if (SetUp.empty()) {
        return true;
    }
    Parameters.extradata =
        static_cast<uint8_t*>(av_mallocz(SetUp.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!Parameters.extradata) {
        return false;
    }
    std::memcpy(Parameters.extradata, SetUp.data(), SetUp.size());
    Parameters.extradata_size = static_cast<int>(SetUp.size());
    return true;
}

}  // namespace

BITMAPINFOHEADER StoredBitmapHeader(const std::vector<uint8_t>& Format) {
    BITMAPINFOHEADER Header{};
    if (!Format.empty()) {
        std::memcpy(&Header, Format.data(), std::min(Format.size(), BitmapHeaderSize));
    }
    return Header;
}

CodecParametersPtr VideoCodecParametersOf(const AviStreamContents& Stream) {
    const BITMAPINFOHEADER Header = StoredBitmapHeader(Stream.Format);
    const FOURCC Tag = Header.biCompression;
    if (Stream.Format.size() < BitmapHeaderSize || Header.biHeight == INT_MIN ||
        std::find(std::begin(SubtitleTags), std::end(SubtitleTags), Tag) !=
            std::end(SubtitleTags)) {
        return nullptr;
    }
    CodecParametersPtr Parameters(avcodec_parameters_alloc());
    if (!Parameters) {
        return nullptr;
    }
    AVCodecParameters& P = *Parameters;
    P.codec_type = AVMEDIA_TYPE_VIDEO;
    P.codec_id = CodecOf(Tag);
    P.codec_tag = Tag;
    P.width = Header.biWidth;
    P.height = std::abs(Header.biHeight);
    P.bits_per_coded_sample = Header.biBitCount;
    std::vector<uint8_t> SetUp = StoredSetUp(Stream.Format, Header);

    // The MPEG-4 decoder works around the known faults of a writer it
    // recognises by its tag; Xvid's handler names it when the FourCC doesn't.
    if (P.codec_id == AV_CODEC_ID_MPEG4 && Stream.Header.fccHandler == TagXvid) {
        P.codec_tag = TagXvid;
    }
    // Avid's codec is JPEG unless its set-up says "1:1" (uncompressed).
    if (P.codec_id == AV_CODEC_ID_AVRN && Tag == TagAvid && !IsAvidUncompressed(SetUp)) {
        P.codec_id = AV_CODEC_ID_MJPEG;
    }
    if (P.codec_tag == 0 && Header.biHeight > 0) {
        SetUp.insert(SetUp.end(), std::begin(BottomUpMarker), std::end(BottomUpMarker));
    }
    // The handler's own data, when the format holds no set-up.
    if (SetUp.empty() && P.codec_tag != TagH264) {
        SetUp = Stream.HandlerData;
    }
    return CopySetUp(SetUp, P) ? std::move(Parameters) : nullptr;
}

}  // namespace quorvane::platform
