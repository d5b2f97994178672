// A video file through libavformat: the streams chosen, every video
// packet's time read once when the file is opened (so that the frames'
// count, times and end are known before the first is encoded), and the
// decoders of both streams, each on a reading of the file of its own.
#include "platform/MediaFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include "platform/FfmpegPointers.h"
#include "platform/MediaAudioDecoder.h"
#include "platform/MediaFrameDecoder.h"
#include "platform/MediaInput.h"
#include "platform/WinTypes.h"

namespace quorvane::platform {

namespace {

constexpr AVRational Microseconds{1, 1000000};

// More frames than a day of 60 fps video, and the packets past them, are
// not read: their times alone would fill memory for a hostile file.
constexpr size_t MaxFrames = size_t{1} << 23;

// How long a lone frame whose packet tells nothing lasts: a frame at 25 fps.
constexpr int64_t DefaultFrameMicroseconds = 40000;

// Frame intervals that differ by more than this make a variable rate; a
// constant rate stored in milliseconds (Matroska) varies by one.
constexpr double VariableRateSlackMs = 1.5;

struct TCodecName {
    AVCodecID Codec;
    const char* Name;
};

constexpr TCodecName CodecNames[] = {
    {AV_CODEC_ID_H264, "H.264"},
    {AV_CODEC_ID_HEVC, "HEVC"},
    {AV_CODEC_ID_VP8, "VP8"},
    {AV_CODEC_ID_VP9, "VP9"},
    {AV_CODEC_ID_AV1, "AV1"},
    {AV_CODEC_ID_MPEG4, "MPEG-4"},
    {AV_CODEC_ID_MPEG2VIDEO, "MPEG-2"},
    {AV_CODEC_ID_MPEG1VIDEO, "MPEG-1"},
    {AV_CODEC_ID_MJPEG, "MJPEG"},
    {AV_CODEC_ID_QTRLE, "QuickTime RLE"},
    {AV_CODEC_ID_PRORES, "ProRes"},
    {AV_CODEC_ID_THEORA, "Theora"},
    {AV_CODEC_ID_FLASHSV, "Screen Video"},
    {AV_CODEC_ID_GIF, "GIF"},
    {AV_CODEC_ID_AAC, "AAC"},
    {AV_CODEC_ID_OPUS, "Opus"},
    {AV_CODEC_ID_VORBIS, "Vorbis"},
    {AV_CODEC_ID_FLAC, "FLAC"},
    {AV_CODEC_ID_AC3, "AC-3"},
    {AV_CODEC_ID_EAC3, "E-AC-3"},
    {AV_CODEC_ID_MP2, "MPEG Layer-2"},
    {AV_CODEC_ID_MP3, "MPEG Layer-3"},
    {AV_CODEC_ID_ALAC, "Apple Lossless"},
    {AV_CODEC_ID_DTS, "DTS"},
    {AV_CODEC_ID_TRUEHD, "TrueHD"},
};

// The customary short name, or FFmpeg's own; nothing for a codec FFmpeg
// does not know.
std::string CodecNameOf(AVCodecID Codec) {
    for (const TCodecName& Known : CodecNames) {
        if (Known.Codec == Codec) {
            return Known.Name;
        }
    }
    const AVCodecDescriptor* Descriptor = avcodec_descriptor_get(Codec);
    if (Descriptor && Descriptor->props & AV_CODEC_PROP_LOSSLESS &&
        std::strncmp(Descriptor->name, "pcm_", 4) == 0) {
        return "PCM";
    }
    if (!Descriptor) {
        return {};
    }
    std::string Name = Descriptor->name;
    std::transform(Name.begin(), Name.end(), Name.begin(),
                   [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
    return Name;
}

bool IsPcm(AVCodecID Codec) {
    const AVCodecDescriptor* Descriptor = avcodec_descriptor_get(Codec);
    return Descriptor && std::strncmp(Descriptor->name, "pcm_", 4) == 0;
}

// Cover art is a video stream of one picture beside the recording.
int FirstVideoStream(const AVFormatContext& Format) {
    for (unsigned Index = 0; Index < Format.nb_streams; ++Index) {
        const AVStream& Stream = *Format.streams[Index];
        if (Stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(Stream.disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            return static_cast<int>(Index);
        }
    }
    return -1;
}

// The audio stream marked default, else the first; with its place among
// the audio streams, from 1, and their count.
struct TAudioChoice {
    int Stream = -1;
    int Track = 0;
    int Tracks = 0;
};

TAudioChoice DefaultAudioStream(const AVFormatContext& Format) {
    TAudioChoice Choice;
    int First = -1;
    int FirstTrack = 0;
    for (unsigned Index = 0; Index < Format.nb_streams; ++Index) {
        const AVStream& Stream = *Format.streams[Index];
        if (Stream.codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        ++Choice.Tracks;
        if (First < 0) {
            First = static_cast<int>(Index);
            FirstTrack = Choice.Tracks;
        }
        if (Choice.Stream < 0 && Stream.disposition & AV_DISPOSITION_DEFAULT) {
            Choice.Stream = static_cast<int>(Index);
            Choice.Track = Choice.Tracks;
        }
    }
    if (Choice.Stream < 0) {
        Choice.Stream = First;
        Choice.Track = FirstTrack;
    }
    return Choice;
}

// The turn the display matrix asks for, clockwise, to the nearest quarter:
// Screen Video pictures are upright rectangles.
int RotationOf(const AVStream& Stream) {
    size_t Size = 0;
    const uint8_t* Matrix = av_stream_get_side_data(&Stream, AV_PKT_DATA_DISPLAYMATRIX, &Size);
    if (!Matrix || Size < 9 * sizeof(int32_t)) {
        return 0;
    }
    int32_t Entries[9];
    std::memcpy(Entries, Matrix, sizeof Entries);
    const double Counterclockwise = av_display_rotation_get(Entries);
    if (std::isnan(Counterclockwise)) {
        return 0;
    }
    const long Quarters = std::lround(-Counterclockwise / 90);
    return static_cast<int>(((Quarters % 4) + 4) % 4 * 90);
}

struct TPacketTime {
    int64_t Pts;
    int64_t Duration;
    bool operator<(const TPacketTime& Other) const { return Pts < Other.Pts; }
};

// Every video packet's presentation time, read without decoding. Packets
// the container marks to be dropped (before an edit list's start) show no
// picture; a packet without times follows the one before. A recording
// joined midway (a broadcast capture) starts with frames that refer to
// pictures it does not hold: the pictures start at the first key frame.
std::vector<TPacketTime> ReadPacketTimes(TMediaInput& Input, int Stream) {
    Input.KeepOnly(Stream);
    std::vector<TPacketTime> Times;
    std::optional<size_t> FirstKey;
    PacketPtr Packet(av_packet_alloc());
    while (Packet && Times.size() < MaxFrames &&
           av_read_frame(&Input.Format(), Packet.get()) >= 0) {
        // A key frame the container drops still starts the pictures after it.
        if (Packet->stream_index == Stream && !FirstKey && Packet->flags & AV_PKT_FLAG_KEY) {
            FirstKey = Times.size();
        }
        if (Packet->stream_index == Stream && !(Packet->flags & AV_PKT_FLAG_DISCARD)) {
            int64_t Pts = Packet->pts != AV_NOPTS_VALUE ? Packet->pts : Packet->dts;
            if (Pts == AV_NOPTS_VALUE && !Times.empty()) {
                Pts = Times.back().Pts + std::max<int64_t>(Times.back().Duration, 1);
            }
            if (Pts != AV_NOPTS_VALUE) {
                Times.push_back({Pts, std::max<int64_t>(Packet->duration, 0)});
            }
        }
        av_packet_unref(Packet.get());
    }
    // A stream that flags no key frame at all is taken as it is.
    Times.erase(Times.begin(), Times.begin() + static_cast<ptrdiff_t>(FirstKey.value_or(0)));
    std::stable_sort(Times.begin(), Times.end());
    Times.erase(
        std::unique(Times.begin(), Times.end(),
                    [](const TPacketTime& A, const TPacketTime& B) { return A.Pts == B.Pts; }),
        Times.end());
    return Times;
}

// The stream's own rate stands when constant; FFmpeg's guess of the base
// rate reads 30000/1001 where milliseconds say 29.97, and stands when the
// frames agree with it.
void DescribeRate(const AVStream& Video, const std::vector<TPacketTime>& Times,
                  TMediaVideo& Described) {
    const AVRational Guessed = Video.r_frame_rate;
    const auto TakeGuess = [&] {
        Described.RateNumerator = static_cast<uint32_t>(std::max(Guessed.num, 0));
        Described.RateDenominator = static_cast<uint32_t>(std::max(Guessed.den, 0));
    };
    if (Times.size() < 2) {
        TakeGuess();
        Described.AverageRate = Guessed.den > 0 ? av_q2d(Guessed) : 0;
        return;
    }
    const double TickMs = av_q2d(Video.time_base) * 1000;
    double Shortest = INFINITY;
    double Longest = 0;
    for (size_t Index = 1; Index < Times.size(); ++Index) {
        const double Interval =
            static_cast<double>(Times[Index].Pts - Times[Index - 1].Pts) * TickMs;
        Shortest = std::min(Shortest, Interval);
        Longest = std::max(Longest, Interval);
    }
    const double SpanMs = static_cast<double>(Times.back().Pts - Times.front().Pts) * TickMs;
    Described.AverageRate = static_cast<double>(Times.size() - 1) * 1000 / SpanMs;
    Described.VariableRate = Longest - Shortest > VariableRateSlackMs;
    if (!Described.VariableRate && Guessed.den > 0 && Guessed.num > 0 &&
        std::fabs(av_q2d(Guessed) - Described.AverageRate) < Described.AverageRate / 100) {
        TakeGuess();
    }
}

int32_t SaturatedMs(int64_t Ms) {
    return static_cast<int32_t>(std::clamp<int64_t>(Ms, 0, INT32_MAX));
}

// Halves round up, also before the start.
int64_t RoundedMs(int64_t Microseconds) {
    return Microseconds >= 0 ? (Microseconds + 500) / 1000 : -((-Microseconds + 499) / 1000);
}

}  // namespace

TMediaFile::~TMediaFile() = default;

std::unique_ptr<TMediaFile> TMediaFile::Open(const std::string& FileName, TMediaOpenError& Error) {
    // As for AVI files: FFmpeg's notes on odd but readable files (an MJPEG
    // stream's "deprecated pixel format") would only clutter the front
    // end's standard error; its errors still show.
    av_log_set_level(AV_LOG_ERROR);
    std::error_code Failure;
    auto File = std::make_shared<TFile>(TFile::OpenRegularFile(FileName, Failure));
    if (Failure) {
        Error = TMediaOpenError::Unreadable;
        return nullptr;
    }
    TMediaInputError InputError = TMediaInputError::None;
    std::unique_ptr<TMediaInput> Input = TMediaInput::Open(File, InputError);
    if (!Input) {
        Error = InputError == TMediaInputError::Unreadable ? TMediaOpenError::Unreadable
                                                           : TMediaOpenError::NotAVideoFile;
        return nullptr;
    }
    std::unique_ptr<TMediaFile> Media(new TMediaFile());
    if (!Media->OpenVideo(*Input, Error)) {
        return nullptr;
    }
    Media->OpenAudio(*Input);
    Error = TMediaOpenError::None;
    return Media;
}

bool TMediaFile::OpenVideo(TMediaInput& Input, TMediaOpenError& Error) {
    const int Stream = FirstVideoStream(Input.Format());
    if (Stream < 0) {
        Error = TMediaOpenError::NoVideo;
        return false;
    }
    const AVStream& Video = *Input.Format().streams[Stream];
    FVideo.Codec = CodecNameOf(Video.codecpar->codec_id);
    FVideo.Rotation = RotationOf(Video);
    std::unique_ptr<TMediaInput> Decoding = Input.Reopen();
    const std::vector<TPacketTime> Times = ReadPacketTimes(Input, Stream);
    if (Times.empty() || !Decoding) {
        Error = Times.empty() ? TMediaOpenError::NoFirstFrame : TMediaOpenError::NotAVideoFile;
        return false;
    }
    std::vector<int64_t> Pts(Times.size());
    std::transform(Times.begin(), Times.end(), Pts.begin(),
                   [](const TPacketTime& Time) { return Time.Pts; });
    Decoder = TMediaFrameDecoder::Open(std::move(Decoding), Stream, Pts, FVideo.Rotation);
    if (!Decoder) {
        Error = TMediaOpenError::NoDecoder;
        return false;
    }
    const void* First = Decoder->Picture(0);
    if (!First) {
        Error = TMediaOpenError::NoFirstFrame;
        return false;
    }
    BITMAPINFOHEADER Header;
    std::memcpy(&Header, First, sizeof Header);
    FVideo.Width = Header.biWidth;
    FVideo.Height = Header.biHeight;
    FVideo.Hdr = Decoder->Hdr();
    DescribeRate(Video, Times, FVideo);
    TimeBaseNumerator = Video.time_base.num;
    TimeBaseDenominator = Video.time_base.den;
    FramePts = std::move(Pts);
    LastDuration = Times.back().Duration;
    return true;
}

void TMediaFile::OpenAudio(TMediaInput& Input) {
    const TAudioChoice Choice = DefaultAudioStream(Input.Format());
    const AVRational TimeBase{TimeBaseNumerator, TimeBaseDenominator};
    const int64_t VideoStart = av_rescale_q(FramePts.front(), TimeBase, Microseconds);
    int64_t Zero = VideoStart;
    if (Choice.Stream >= 0) {
        const AVCodecParameters& Parameters = *Input.Format().streams[Choice.Stream]->codecpar;
        TMediaAudio Audio;
        Audio.Codec = CodecNameOf(Parameters.codec_id);
        Audio.Track = Choice.Track;
        Audio.Tracks = Choice.Tracks;
        Audio.Rate = static_cast<uint32_t>(std::max(Parameters.sample_rate, 0));
        Audio.Channels =
            static_cast<uint16_t>(std::clamp(Parameters.ch_layout.nb_channels, 0, 65535));
        if (IsPcm(Parameters.codec_id)) {
            Audio.BitsPerSample = static_cast<uint16_t>(std::max(
                av_get_bits_per_sample(Parameters.codec_id), Parameters.bits_per_coded_sample));
        }
        std::unique_ptr<TMediaInput> Reading = Input.Reopen();
        std::unique_ptr<TMediaAudioDecoder> Decoder =
            Reading ? TMediaAudioDecoder::Open(std::move(Reading), Choice.Stream) : nullptr;
        if (Decoder) {
            Audio.Decodable = true;
            Audio.Rate = Decoder->Rate();
            Audio.Channels = Decoder->Channels();
            Zero = std::min(Zero, Decoder->FirstTime());
        }
        FAudio = Audio;
        AudioReader = std::move(Decoder);
    }
    TimeFrames(Zero);
}

// Everything counts from the earliest start; the last frame lasts as long
// as its packet says, else as long as the frame before it.
void TMediaFile::TimeFrames(int64_t Zero) {
    const AVRational TimeBase{TimeBaseNumerator, TimeBaseDenominator};
    const auto Ms = [&](int64_t Pts) {
        return RoundedMs(av_rescale_q(Pts, TimeBase, Microseconds) - Zero);
    };
    // Pictures of one millisecond are one frame, and a player shows the
    // last of them.
    FFrameTimes.clear();
    FramePictures.clear();
    for (size_t Picture = 0; Picture < FramePts.size(); ++Picture) {
        const int32_t Time = SaturatedMs(Ms(FramePts[Picture]));
        if (!FFrameTimes.empty() && FFrameTimes.back() == Time) {
            FramePictures.back() = Picture;
        } else {
            FFrameTimes.push_back(Time);
            FramePictures.push_back(Picture);
        }
    }
    const int64_t Last = LastDuration > 0 ? LastDuration
                         : FramePts.size() > 1
                             ? FramePts.back() - FramePts[FramePts.size() - 2]
                             : av_rescale_q(DefaultFrameMicroseconds, Microseconds, TimeBase);
    FEndTime = std::max(SaturatedMs(Ms(FramePts.back() + std::max<int64_t>(Last, 1))),
                        std::min(FFrameTimes.back(), INT32_MAX - 1) + 1);
    if (AudioReader) {
        AudioReader->StartAt(Zero, Zero + int64_t{FEndTime} * 1000);
    }
}

const void* TMediaFile::Picture(size_t Index) {
    return Index < FramePictures.size() ? Decoder->Picture(FramePictures[Index]) : nullptr;
}

std::unique_ptr<TMediaAudioReader> TMediaFile::TakeAudio() {
    return std::move(AudioReader);
}

}  // namespace quorvane::platform
