#include "platform/media/MediaInput.h"

#include <climits>
#include <cstdio>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

namespace quorvane::platform {

namespace {

// The demuxers of recorded video: MP4, MOV and 3GP; Matroska and WebM;
// MPEG transport and program streams; Ogg; FLV; ASF (WMV); NUT; MXF; DV;
// RealMedia; IVF; GIF; Y4M.
const char* const VideoContainers =
    "mov,matroska,mpegts,mpeg,ogg,flv,asf,nut,mxf,dv,rm,ivf,gif,yuv4mpegpipe";

constexpr int IoBufferSize = 64 * 1024;

// A container that names other files or addresses (a reference movie, a
// playlist) gets none of them.
int RefuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

TMicroseconds MicrosecondsOf(TMicroseconds Time, AVRational TimeBase) {
    if (TimeBase.num <= 0 || TimeBase.den <= 0) {
        return 0;
    }
    const TMicroseconds Scaled = Time * TimeBase.num * 1000000;
    const TMicroseconds Half = TimeBase.den / 2;
    return Scaled >= 0 ? (Scaled + Half) / TimeBase.den : -((-Scaled + Half) / TimeBase.den);
}

TMediaInput::TMediaInput(std::shared_ptr<const TFile> Shared, int64_t Pixels)
    : File(std::move(Shared)), MaxPixels(Pixels) {}

TMediaInput::~TMediaInput() {
    Context.reset();
    if (Io) {
        av_freep(&Io->buffer);
        avio_context_free(&Io);
    }
}

std::unique_ptr<TMediaInput> TMediaFileReadings::Open() const {
    TMediaInputError Ignored;
    return Open(Ignored);
}

std::unique_ptr<TMediaInput> TMediaFileReadings::Open(TMediaInputError& Error) const {
    Error = TMediaInputError::Unreadable;
    std::unique_ptr<TMediaInput> Input(new TMediaInput(File, MaxPixels));
    if (Input->File->Size(Input->Size)) {
        return nullptr;
    }
    auto* Buffer = static_cast<uint8_t*>(av_malloc(IoBufferSize));
    Input->Io = Buffer ? avio_alloc_context(Buffer, IoBufferSize, 0, Input.get(),
                                            TMediaInput::ReadPacket, nullptr, TMediaInput::Seek)
                       : nullptr;
    if (!Input->Io) {
        av_free(Buffer);
        return nullptr;
    }
    AVFormatContext* Opened = avformat_alloc_context();
    if (!Opened) {
        return nullptr;
    }
    Opened->pb = Input->Io;
    Opened->io_open = RefuseToOpen;
    AVDictionary* Options = nullptr;
    av_dict_set(&Options, "format_whitelist", VideoContainers, 0);
    const int Result = avformat_open_input(&Opened, "", nullptr, &Options);
    av_dict_free(&Options);
    if (Result < 0) {
        // Freed by avformat_open_input.
        Error =
            Result == AVERROR(EIO) ? TMediaInputError::Unreadable : TMediaInputError::NotAVideoFile;
        return nullptr;
    }
    Input->Context.reset(Opened);
    if (!Input->FindStreamInfo()) {
        Error = TMediaInputError::NotAVideoFile;
        return nullptr;
    }
    Error = TMediaInputError::None;
    return Input;
}

// The streams' parameters, some found by decoding their first packets,
// within the picture bound.
bool TMediaInput::FindStreamInfo() {
    for (unsigned Index = 0; Index < Context->nb_streams; ++Index) {
        const AVCodecParameters& Parameters = *Context->streams[Index]->codecpar;
        HeaderSizes.emplace_back(Parameters.width, Parameters.height);
    }
    std::vector<AVDictionary*> Options(Context->nb_streams, nullptr);
    for (AVDictionary*& Stream : Options) {
        av_dict_set_int(&Stream, "max_pixels", MaxPixels > 0 ? MaxPixels : INT_MAX, 0);
    }
    const int Result = avformat_find_stream_info(Context.get(), Options.data());
    for (AVDictionary*& Stream : Options) {
        av_dict_free(&Stream);
    }
    return Result >= 0;
}

CodecContextPtr TMediaInput::OpenDecoder(int Stream, int Threads) const {
    const AVStream& Opened = *Context->streams[Stream];
    const AVCodec* Decoder = avcodec_find_decoder(Opened.codecpar->codec_id);
    if (!Decoder) {
        return nullptr;
    }
    CodecContextPtr Codec(avcodec_alloc_context3(Decoder));
    if (!Codec || avcodec_parameters_to_context(Codec.get(), Opened.codecpar) < 0) {
        return nullptr;
    }
    Codec->thread_count = Threads;
    Codec->pkt_timebase = Opened.time_base;
    if (MaxPixels > 0) {
        Codec->max_pixels = MaxPixels;
    }
    if (avcodec_open2(Codec.get(), Decoder, nullptr) < 0) {
        return nullptr;
    }
    return Codec;
}

void TMediaInput::KeepOnly(int Kept, int Also) {
    for (unsigned Index = 0; Index < Context->nb_streams; ++Index) {
        const auto Stream = static_cast<int>(Index);
        Context->streams[Index]->discard =
            Stream == Kept || Stream == Also ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

std::pair<int, int> TMediaInput::StatedSize(int Stream) const {
    const AVCodecParameters& Parameters = *Context->streams[Stream]->codecpar;
    if (Parameters.width > 0 && Parameters.height > 0) {
        return {Parameters.width, Parameters.height};
    }
    return static_cast<size_t>(Stream) < HeaderSizes.size() ? HeaderSizes[Stream]
                                                            : std::pair<int, int>{};
}

int TMediaInput::ReadPacket(void* Opaque, uint8_t* Buffer, int Size) {
    auto* Input = static_cast<TMediaInput*>(Opaque);
    size_t Read = 0;
    if (Input->File->ReadAt(Input->Position, Buffer, static_cast<size_t>(Size), Read)) {
        return AVERROR(EIO);
    }
    if (Read == 0) {
        return AVERROR_EOF;
    }
    Input->Position += Read;
    return static_cast<int>(Read);
}

int64_t TMediaInput::Seek(void* Opaque, int64_t Offset, int Whence) {
    auto* Input = static_cast<TMediaInput*>(Opaque);
    const auto Size = static_cast<int64_t>(Input->Size);
    int64_t Target = 0;
    switch (Whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return Size;
        case SEEK_SET:
            Target = Offset;
            break;
        case SEEK_CUR:
            Target = static_cast<int64_t>(Input->Position) + Offset;
            break;
        case SEEK_END:
            Target = Size + Offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (Target < 0) {
        return AVERROR(EINVAL);
    }
    Input->Position = static_cast<uint64_t>(Target);
    return Target;
}

}  // namespace quorvane::platform
