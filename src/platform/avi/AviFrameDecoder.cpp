// Frame decoding: the stream's chunks are read by us and decoded by
// libavcodec; libswscale turns each picture into a bottom-up DIB.
//
// AVI chunks carry no timestamps: the n-th chunk with data shows the n-th
// picture. Pictures leave the decoder in display order, so after a start at
// a key frame whose picture's display position is known, the pictures that
// come out take the positions that follow, whatever the decoder's delay or
// reordering of B-frames. Where the codec never reorders, each picture
// comes back with its chunk's ordinal, which is then its position: a chunk
// that gives no picture (a screen codec's "nothing changed") leaves the
// previous picture standing instead of moving every later one forward.

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "platform/avi/AviCodecParameters.h"
#include "platform/avi/AviFile.h"
#include "platform/avi/AviPalette.h"
#include "platform/avi/AviSource.h"
#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/ffmpeg/PictureDecoder.h"

namespace quorvane::platform {

namespace {

// 32-bit RGB keeps its layout; everything else becomes 24-bit.
uint16_t BitCountFor(const AviStream& Stream) {
    BITMAPINFOHEADER Stored = StoredBitmapHeader(Stream.Contents().Format);
    return Stored.biCompression == BI_RGB && Stored.biBitCount == 32 ? 32 : 24;
}

const AVCodecDescriptor& DescriptorOf(const AVCodecContext& Codec) {
    static const AVCodecDescriptor None{};
    const AVCodecDescriptor* Descriptor = avcodec_descriptor_get(Codec.codec_id);
    return Descriptor ? *Descriptor : None;
}

}  // namespace

// The AVI file's side of the decoding: its chunks as packets, their
// ordinals as positions, restarts from key frames, palettes.
struct AviFrameDecoder final : private TPictureDecoder::IReader {
    AviFrameDecoder(const AviStream& Stream, CodecContextPtr Context);
    TPicture GetFrame(int32_t Position);
    void SetGeometry(const TPictureGeometry& Geometry) { Pictures.SetGeometry(Geometry); }

private:
    // A place decoding can start from: the ordinal of a key frame and the
    // display position of its picture.
    struct RestartPoint {
        size_t Ordinal;
        size_t Position;
    };

    bool NeedsRestart(size_t Target, std::optional<size_t> Latest) const override;
    bool Rewind(size_t Target) override;
    bool SendPacket(AVCodecContext& Codec) override;
    std::optional<size_t> Place(const AVFrame& Picture, std::optional<size_t> Latest) override;
    bool PictureFailed() override;
    bool ShowsPictureBefore(size_t Target) const override;

    std::optional<size_t> ChunkOrdinalFor(int32_t Position) const;
    bool IsKeyOrdinal(int64_t Ordinal) const;
    RestartPoint RestartPointFor(size_t Target) const;
    void LosePicture(size_t Ordinal);
    void SendChunk(AVCodecContext& Codec, size_t Ordinal);
    void AttachPalette(size_t Chunk);

    std::shared_ptr<const AviSource> Source;
    const AviSampleTable& Samples;
    PacketPtr Packet{av_packet_alloc()};
    const bool IntraOnly;
    // Codecs that never reorder hand each picture out with its own chunk's
    // ordinal, so a chunk without a picture is seen as one.
    const bool PositionsFromOrdinals;
    const bool KeyFlagsKnown;
    AviPalette Palette;

    // Display position of each key frame's picture, as seen while decoding
    // through it. With open GOPs a key frame's picture shows after the
    // B-frames that follow it, which a decoder started at that key frame
    // drops; so only key frames seen this way are restarted from. The first
    // picture of the stream shows first.
    std::map<size_t, size_t> KeyPositions{{0, 0}};

    // Positions are ordinals of the chunks with data, which are also the
    // display positions of their pictures.
    std::set<size_t> Lost;  // positions whose picture failed to decode
    bool PaletteDue = false;
    size_t NextToSend = 0;
    size_t RestartPosition = 0;
    size_t NextPosition = 0;  // of the next picture out of the decoder, when counted
    // Last: it stops decoding ahead before the rest goes.
    TPictureDecoder Pictures;
};

AviFrameDecoder::AviFrameDecoder(const AviStream& Stream, CodecContextPtr Context)
    : Source(Stream.Source),
      Samples(Stream.Samples()),
      IntraOnly(DescriptorOf(*Context).props & AV_CODEC_PROP_INTRA_ONLY),
      PositionsFromOrdinals(!(DescriptorOf(*Context).props & AV_CODEC_PROP_REORDER)),
      KeyFlagsKnown(Stream.Contents().KeyFlagsKnown),
      Palette(Stream.Contents()),
      Pictures(*this, std::move(Context), BitCountFor(Stream),
               TPictureDecoder::TPicturesAPosition::One) {}

TPicture AviFrameDecoder::GetFrame(int32_t Position) {
    const std::optional<size_t> Target = ChunkOrdinalFor(Position);
    if (!Target) {
        return {};
    }
    const std::optional<size_t> Next = Position < std::numeric_limits<int32_t>::max()
                                           ? ChunkOrdinalFor(Position + 1)
                                           : std::nullopt;
    return Pictures.PictureAt(*Target, Next);
}

// An empty chunk (a dropped frame) shows the last picture before it; those
// before the first picture (a capture that dropped its first frames) show
// the first one, so that the stream still starts at its start.
std::optional<size_t> AviFrameDecoder::ChunkOrdinalFor(int32_t Position) const {
    const int64_t Chunk = static_cast<int64_t>(Position) - Samples.Start();
    const auto& NonEmpty = Samples.NonEmptyChunks();
    if (Chunk < 0 || Chunk >= static_cast<int64_t>(Samples.Chunks().size()) || NonEmpty.empty()) {
        return std::nullopt;
    }
    auto After = std::upper_bound(NonEmpty.begin(), NonEmpty.end(), Chunk);
    return After == NonEmpty.begin() ? 0 : static_cast<size_t>(After - NonEmpty.begin() - 1);
}

bool AviFrameDecoder::IsKeyOrdinal(int64_t Ordinal) const {
    const auto& NonEmpty = Samples.NonEmptyChunks();
    return KeyFlagsKnown && Ordinal >= 0 && Ordinal < static_cast<int64_t>(NonEmpty.size()) &&
           Samples.Chunks()[NonEmpty[static_cast<size_t>(Ordinal)]].Key;
}

// The latest known key frame whose picture shows at or before the target;
// any picture of an intra-only codec is one.
AviFrameDecoder::RestartPoint AviFrameDecoder::RestartPointFor(size_t Target) const {
    if (IntraOnly) {
        return {Target, Target};
    }
    for (auto Key = KeyPositions.upper_bound(Target); Key != KeyPositions.begin();) {
        --Key;
        if (Key->second <= Target) {
            return {Key->first, Key->second};
        }
    }
    return {0, 0};
}

// Going on from the current state is fastest, unless the target lies behind
// it or a known key frame lies between. Counted pictures can't tell a lost
// picture from one still to come, so a target the decoder passed without
// a picture is decoded again.
bool AviFrameDecoder::NeedsRestart(size_t Target, std::optional<size_t> Latest) const {
    if (Target < Latest.value_or(RestartPosition)) {
        return true;
    }
    if (!PositionsFromOrdinals && Target != Latest && Target < NextPosition) {
        return true;
    }
    return RestartPointFor(Target).Ordinal > NextToSend;
}

bool AviFrameDecoder::Rewind(size_t Target) {
    const RestartPoint From = RestartPointFor(Target);
    NextToSend = From.Ordinal;
    RestartPosition = From.Position;
    NextPosition = From.Position;
    Lost.clear();
    PaletteDue = Palette.Exists();
    return true;
}

// A chunk that gave no picture shows the one before it, as a decoder that
// is given nothing to change leaves its picture; a chunk whose decoding
// failed shows nothing. Counted pictures can't tell the two apart.
bool AviFrameDecoder::ShowsPictureBefore(size_t Target) const {
    return PositionsFromOrdinals && !Lost.count(Target);
}

// Pictures come out in display order. A key frame's picture tells where it
// shows, and so corrects the count after a picture lost on the way. Intra-only
// pictures show where they are stored: nothing to learn. The decoder must
// agree that it is a key frame: tools that rebuild an index may flag every
// chunk, and a restart from a predicted picture gives wrong pictures.
std::optional<size_t> AviFrameDecoder::Place(const AVFrame& Picture, std::optional<size_t>) {
    const bool HasOrdinal = Picture.pts != AV_NOPTS_VALUE;
    size_t Position =
        PositionsFromOrdinals && HasOrdinal ? static_cast<size_t>(Picture.pts) : NextPosition;
    if (!IntraOnly && HasOrdinal && Picture.key_frame && IsKeyOrdinal(Picture.pts)) {
        Position = KeyPositions.emplace(static_cast<size_t>(Picture.pts), Position).first->second;
    }
    NextPosition = Position + 1;
    return Position;
}

// Sent or not, the chunk's picture won't come; counted pictures lose the
// next place in the count.
void AviFrameDecoder::LosePicture(size_t Ordinal) {
    const size_t Position = PositionsFromOrdinals ? Ordinal : NextPosition;
    Lost.insert(Position);
    NextPosition = std::max(NextPosition, Position + 1);
}

// Decoding goes on after any number of pictures lost.
bool AviFrameDecoder::PictureFailed() {
    LosePicture(NextPosition);
    return true;
}

bool AviFrameDecoder::SendPacket(AVCodecContext& Codec) {
    if (NextToSend >= Samples.NonEmptyChunks().size()) {
        return false;
    }
    SendChunk(Codec, NextToSend++);
    return true;
}

void AviFrameDecoder::SendChunk(AVCodecContext& Codec, size_t Ordinal) {
    const size_t Index = Samples.NonEmptyChunks()[Ordinal];
    const AviChunk& Chunk = Samples.Chunks()[Index];
    av_packet_unref(Packet.get());
    if (av_new_packet(Packet.get(), static_cast<int>(Chunk.Size)) < 0 ||
        !Source->Reader.ReadAt(Chunk.Offset, Packet->data, Chunk.Size)) {
        LosePicture(Ordinal);  // never sent
        return;
    }
    // The decoder hands the ordinal back with the packet's picture.
    Packet->pts = static_cast<int64_t>(Ordinal);
    if (Chunk.Key) {
        Packet->flags |= AV_PKT_FLAG_KEY;
    }
    AttachPalette(Index);
    if (avcodec_send_packet(&Codec, Packet.get()) < 0) {
        LosePicture(Ordinal);  // taken, but decoding failed
    }
}

// Palette decoders take the colours as side data, whenever they change and
// after every restart.
void AviFrameDecoder::AttachPalette(size_t Chunk) {
    PaletteDue = Palette.MoveTo(Source->Reader, Chunk) || PaletteDue;
    if (!PaletteDue) {
        return;
    }
    uint8_t* Side = av_packet_new_side_data(Packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (Side) {
        std::memcpy(Side, Palette.Entries().data(), AVPALETTE_SIZE);
        PaletteDue = false;
    }
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM Stream, const BITMAPINFOHEADER* Wanted) {
    if (!Stream || Wanted || Stream->Contents().Header.fccType != streamtypeVIDEO) {
        return nullptr;
    }
    CodecParametersPtr Parameters = VideoCodecParametersOf(Stream->Contents());
    const AVCodec* Decoder = Parameters ? avcodec_find_decoder(Parameters->codec_id) : nullptr;
    if (!Decoder) {
        return nullptr;
    }
    CodecContextPtr Context(avcodec_alloc_context3(Decoder));
    if (!Context || avcodec_parameters_to_context(Context.get(), Parameters.get()) < 0) {
        return nullptr;
    }
    Context->thread_count = 0;  // as many as the machine has
    if (avcodec_open2(Context.get(), Decoder, nullptr) < 0) {
        return nullptr;
    }
    return new AviFrameDecoder(*Stream, std::move(Context));
}

TPicture AVIStreamGetFrame(PGETFRAME Decoder, int32_t Position) {
    return Decoder ? Decoder->GetFrame(Position) : TPicture{};
}

void AVIStreamSetFrameGeometry(PGETFRAME Decoder, const TPictureGeometry& Geometry) {
    if (Decoder) {
        Decoder->SetGeometry(Geometry);
    }
}

HRESULT AVIStreamGetFrameClose(PGETFRAME Decoder) {
    delete Decoder;
    return AVIERR_OK;
}

}  // namespace quorvane::platform
