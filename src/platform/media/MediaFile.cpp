// A video file through libavformat: the streams chosen, every video
// packet's time read once when the file is opened (so that the frames'
// count, times and end are known before the first is encoded), and the
// decoders of both streams, each on a reading of the file of its own, one
// reading open at a time.
#include "platform/media/MediaFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include "platform/ffmpeg/FfmpegPointers.h"
#include "platform/media/MediaAudioDecoder.h"
#include "platform/media/MediaFrameDecoder.h"
#include "platform/media/MediaInput.h"
#include "platform/media/MediaRestartPoints.h"

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

// Whether a packet's picture goes back in time: its decoding time goes
// back and its presentation time comes before a picture already shown (two
// recordings joined, a clock set back). Either alone is no such thing: an
// edit list restarts the decoding times where the pictures go on, and
// reordered pictures come before those decoded earlier. A codec that never
// reorders may carry presentation times only. Packets the container drops
// are not looked at; equal times are pictures of one time.
class TPictureOrder {
public:
    explicit TPictureOrder(const AVStream& Stream) {
        const AVCodecDescriptor* Descriptor = avcodec_descriptor_get(Stream.codecpar->codec_id);
        PtsInOrder = Descriptor && !(Descriptor->props & AV_CODEC_PROP_REORDER);
    }
    bool GoesBack(const AVPacket& Packet) {
        const int64_t Dts = Packet.dts != AV_NOPTS_VALUE ? Packet.dts
                            : PtsInOrder                 ? Packet.pts
                                                         : AV_NOPTS_VALUE;
        const int64_t Pts = Packet.pts != AV_NOPTS_VALUE ? Packet.pts : Dts;
        if (Dts == AV_NOPTS_VALUE || Pts == AV_NOPTS_VALUE) {
            return false;
        }
        if (Dts < LatestDts && Pts < LatestPts) {
            return true;
        }
        LatestDts = Dts;
        LatestPts = std::max(LatestPts, Pts);
        return false;
    }

private:
    bool PtsInOrder = false;
    int64_t LatestDts = INT64_MIN;
    int64_t LatestPts = INT64_MIN;
};

// Every video packet's presentation time, read without decoding. Packets
// the container marks to be dropped (before an edit list's start) show no
// picture; a packet without times follows the one before. A recording
// joined midway (a broadcast capture) starts with frames that refer to
// pictures it does not hold: the pictures start at the first key frame.
// A packet whose picture goes back in time is left out and counted in
// GoingBack: it could only be shown with time going back. The sound's
// first packets go to Probe (when not null), and every video packet to
// Restarts, on the way.
std::vector<TPacketTime> ReadPacketTimes(TMediaInput& Input, int Stream, int AudioStream,
                                         TMediaAudioProbe* Probe, TRestartPointFinder& Restarts,
                                         size_t& GoingBack) {
    Input.KeepOnly(Stream, Probe ? AudioStream : -1);
    std::vector<TPacketTime> Times;
    std::optional<size_t> FirstKey;
    TPictureOrder Order(*Input.Format().streams[Stream]);
    PacketPtr Packet(av_packet_alloc());
    while (Packet && Times.size() < MaxFrames &&
           av_read_frame(&Input.Format(), Packet.get()) >= 0) {
        if (Probe && Packet->stream_index == AudioStream && Probe->Wants()) {
            Probe->Take(*Packet);
            if (!Probe->Wants()) {
                Input.KeepOnly(Stream);
            }
        }
        if (Packet->stream_index == Stream) {
            Restarts.Take(*Packet);
        }
        // A key frame the container drops still starts the pictures after it.
        if (Packet->stream_index == Stream && !FirstKey && Packet->flags & AV_PKT_FLAG_KEY) {
            FirstKey = Times.size();
        }
        const bool Shown = Packet->stream_index == Stream && !(Packet->flags & AV_PKT_FLAG_DISCARD);
        if (Shown && Order.GoesBack(*Packet)) {
            ++GoingBack;
        } else if (Shown) {
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
    // Wild timestamps differ by more than 64 bits hold.
    const auto Ms = [&](int64_t From, int64_t To) {
        return static_cast<double>(static_cast<__int128>(To) - From) * TickMs;
    };
    double Shortest = INFINITY;
    double Longest = 0;
    for (size_t Index = 1; Index < Times.size(); ++Index) {
        const double Interval = Ms(Times[Index - 1].Pts, Times[Index].Pts);
        Shortest = std::min(Shortest, Interval);
        Longest = std::max(Longest, Interval);
    }
    const double SpanMs = Ms(Times.front().Pts, Times.back().Pts);
    Described.AverageRate = static_cast<double>(Times.size() - 1) * 1000 / SpanMs;
    Described.VariableRate = Longest - Shortest > VariableRateSlackMs;
    if (!Described.VariableRate && Guessed.den > 0 && Guessed.num > 0 &&
        std::fabs(av_q2d(Guessed) - Described.AverageRate) < Described.AverageRate / 100) {
        TakeGuess();
    }
}

// Halves round up, also before the start.
TMicroseconds RoundedMs(TMicroseconds Microseconds) {
    return Microseconds >= 0 ? (Microseconds + 500) / 1000 : -((-Microseconds + 499) / 1000);
}

// How long the stream's frames usually last, in its time base: the median
// of the intervals between them (of at most about 4096 of them, evenly
// spread, so that a long stream costs nothing); 0 for a lone frame. A last
// frame after a long pause lasts this long, not as long as the pause.
int64_t UsualFrameLength(const std::vector<int64_t>& Pts) {
    if (Pts.size() < 2) {
        return 0;
    }
    constexpr size_t MostSampled = 4096;
    const size_t Step = (Pts.size() - 1) / MostSampled + 1;
    std::vector<int64_t> Intervals;
    for (size_t Index = 1; Index < Pts.size(); Index += Step) {
        Intervals.push_back(static_cast<int64_t>(
            std::min<__int128>(static_cast<__int128>(Pts[Index]) - Pts[Index - 1], INT64_MAX)));
    }
    const auto Middle = Intervals.begin() + static_cast<ptrdiff_t>((Intervals.size() - 1) / 2);
    std::nth_element(Intervals.begin(), Middle, Intervals.end());
    return *Middle;
}

// The display size by the stream's parameters; none when they tell no
// size.
std::optional<TDisplaySize> ShownSizeOf(TMediaInput& Input, int Stream, int Rotation) {
    const auto [Width, Height] = Input.StatedSize(Stream);
    if (Width <= 0 || Height <= 0) {
        return std::nullopt;
    }
    AVStream& Video = *Input.Format().streams[Stream];
    return DisplaySizeOf(Width, Height,
                         av_guess_sample_aspect_ratio(&Input.Format(), &Video, nullptr), Rotation);
}

}  // namespace

TMediaFile::~TMediaFile() = default;

std::unique_ptr<TMediaFile> TMediaFile::Open(const std::string& FileName, int LargestSide,
                                             TMediaOpenFailure& Failure) {
    // As for AVI files: FFmpeg's notes on odd but readable files (an MJPEG
    // stream's "deprecated pixel format") would only clutter the front
    // end's standard error; its errors still show.
    av_log_set_level(AV_LOG_ERROR);
    Failure = {};
    std::error_code Error;
    auto File = std::make_shared<TFile>(TFile::OpenRegularFile(FileName, Error));
    if (Error) {
        Failure.Error = TMediaOpenError::Unreadable;
        return nullptr;
    }
    // No decoder makes a picture of more pixels than can be shown.
    const TMediaFileReadings Readings(File, int64_t{LargestSide} * LargestSide);
    std::unique_ptr<TMediaFile> Media(new TMediaFile());
    if (!Media->ReadTimes(Readings, LargestSide, Failure)) {
        return nullptr;
    }
    Media->TimeFrames();
    if (!Media->OpenPictures(Readings, LargestSide, Failure)) {
        return nullptr;
    }
    Media->OpenSound(Readings);
    return Media;
}

// The first reading: the streams, the pictures' size, every video packet's
// time, and how the sound starts.
bool TMediaFile::ReadTimes(const TMediaFileReadings& Readings, int LargestSide,
                           TMediaOpenFailure& Failure) {
    TMediaInputError InputError = TMediaInputError::None;
    std::unique_ptr<TMediaInput> Input = Readings.Open(InputError);
    if (!Input) {
        Failure.Error = InputError == TMediaInputError::Unreadable ? TMediaOpenError::Unreadable
                                                                   : TMediaOpenError::NotAVideoFile;
        return false;
    }
    VideoStream = FirstVideoStream(Input->Format());
    if (VideoStream < 0) {
        Failure.Error = TMediaOpenError::NoVideo;
        return false;
    }
    AVStream& Video = *Input->Format().streams[VideoStream];
    FVideo.Codec = CodecNameOf(Video.codecpar->codec_id);
    FVideo.Rotation = RotationOf(Video);
    if (const std::optional<TDisplaySize> Size = ShownSizeOf(*Input, VideoStream, FVideo.Rotation);
        Size && (Size->Width > LargestSide || Size->Height > LargestSide)) {
        Failure = {TMediaOpenError::TooLarge, Size->Width, Size->Height};
        return false;
    }
    const std::unique_ptr<TMediaAudioProbe> Probe = DescribeAudio(*Input);
    TRestartPointFinder Restarts(*Video.codecpar);
    const std::vector<TPacketTime> Times =
        ReadPacketTimes(*Input, VideoStream, AudioStream, Probe.get(), Restarts, FFramesGoingBack);
    RestartPoints = Restarts.Found();
    if (Times.empty()) {
        Failure.Error = TMediaOpenError::NoFirstFrame;
        return false;
    }
    DescribeRate(Video, Times, FVideo);
    TimeBaseNumerator = Video.time_base.num;
    TimeBaseDenominator = Video.time_base.den;
    FramePts.resize(Times.size());
    std::transform(Times.begin(), Times.end(), FramePts.begin(),
                   [](const TPacketTime& Time) { return Time.Pts; });
    LastDuration = Times.back().Duration;
    if (const std::optional<TMediaAudioStart> Start = Probe ? Probe->Finish() : std::nullopt) {
        SoundStart = std::make_unique<TMediaAudioStart>(*Start);
        FAudio->Decodable = true;
        FAudio->Rate = Start->Rate;
        FAudio->Channels = Start->Channels;
    }
    return true;
}

// The chosen audio stream as its parameters tell it, and what finds out how
// its sound starts.
std::unique_ptr<TMediaAudioProbe> TMediaFile::DescribeAudio(TMediaInput& Input) {
    const TAudioChoice Choice = DefaultAudioStream(Input.Format());
    if (Choice.Stream < 0) {
        return nullptr;
    }
    AudioStream = Choice.Stream;
    const AVCodecParameters& Parameters = *Input.Format().streams[Choice.Stream]->codecpar;
    TMediaAudio Audio;
    Audio.Codec = CodecNameOf(Parameters.codec_id);
    Audio.Track = Choice.Track;
    Audio.Tracks = Choice.Tracks;
    Audio.Rate = static_cast<uint32_t>(std::max(Parameters.sample_rate, 0));
    Audio.Channels = static_cast<uint16_t>(std::clamp(Parameters.ch_layout.nb_channels, 0, 65535));
    if (IsPcm(Parameters.codec_id)) {
        Audio.BitsPerSample = static_cast<uint16_t>(std::max(
            av_get_bits_per_sample(Parameters.codec_id), Parameters.bits_per_coded_sample));
    }
    FAudio = Audio;
    return TMediaAudioProbe::Open(Input, Choice.Stream);
}

// Everything counts from the earliest start; frames at or past the latest
// time 32 bits of milliseconds hold are left out (the first frame is kept:
// sound that starts that long before it is what gives way). The last frame
// lasts as its packet says, but no longer than the stream's usual frame
// length; a lone frame whose packet tells nothing lasts 40 ms.
void TMediaFile::TimeFrames() {
    const AVRational TimeBase{TimeBaseNumerator, TimeBaseDenominator};
    const TMicroseconds VideoStart = MicrosecondsOf(FramePts.front(), TimeBase);
    ZeroMicroseconds = VideoStart;
    if (SoundStart) {
        const TMicroseconds SoundFirst =
            MicrosecondsOf(SoundStart->FirstTime, SoundStart->TimeBase);
        if (RoundedMs(VideoStart - SoundFirst) < LatestFrameTime) {
            ZeroMicroseconds = std::min(VideoStart, SoundFirst);
        }
    }
    const auto Ms = [&](TMicroseconds Time) { return RoundedMs(Time - ZeroMicroseconds); };
    FFrameTimes.clear();
    FramePictures.clear();
    size_t Timed = 0;  // pictures before the latest time
    for (; Timed < FramePts.size(); ++Timed) {
        const TMicroseconds Time = Ms(MicrosecondsOf(FramePts[Timed], TimeBase));
        if (Time >= LatestFrameTime) {
            break;
        }
        // Pictures of one millisecond are one frame, and a player shows the
        // last of them.
        if (!FFrameTimes.empty() && FFrameTimes.back() == Time) {
            FramePictures.back() = Timed;
        } else {
            FFrameTimes.push_back(static_cast<int32_t>(Time));
            FramePictures.push_back(Timed);
        }
    }
    FFramesPastTimeLimit = FramePts.size() - Timed;
    FramePts.resize(Timed);
    const int64_t Usual = UsualFrameLength(FramePts);
    int64_t Last = LastDuration > 0 && FFramesPastTimeLimit == 0 ? LastDuration : Usual;
    if (Usual > 0) {
        Last = std::min(Last, Usual);
    } else if (Last <= 0) {
        Last = av_rescale_q(DefaultFrameMicroseconds, Microseconds, TimeBase);
    }
    const TMicroseconds End =
        Ms(MicrosecondsOf(TMicroseconds{FramePts.back()} + std::max<int64_t>(Last, 1), TimeBase));
    FEndTime = static_cast<int32_t>(
        std::clamp<TMicroseconds>(End, FFrameTimes.back() + 1, LatestFrameTime));
}

// The second reading: the pictures, from the first one on. A first picture
// shown larger than allowed is refused before it is converted, as the
// parameters would have refused it had they told its size.
bool TMediaFile::OpenPictures(const TMediaFileReadings& Readings, int LargestSide,
                              TMediaOpenFailure& Failure) {
    Decoder = TMediaFrameDecoder::Open(Readings, VideoStream, std::move(FramePts),
                                       std::move(RestartPoints), FVideo.Rotation, LargestSide);
    if (!Decoder) {
        Failure.Error = TMediaOpenError::NoDecoder;
        return false;
    }
    const TPicture First = Decoder->Picture(0);
    if (!First) {
        const std::optional<TDisplaySize>& Refused = Decoder->RefusedSize();
        Failure =
            Refused ? TMediaOpenFailure{TMediaOpenError::TooLarge, Refused->Width, Refused->Height}
                    : TMediaOpenFailure{TMediaOpenError::NoFirstFrame};
        return false;
    }
    FVideo.Width = First.Width;
    FVideo.Height = First.Height;
    FVideo.Hdr = Decoder->Hdr();
    return true;
}

// The sound gets a reading of its own when it is first read; the pictures'
// reading is closed then, to be opened again when the next picture is
// asked for.
void TMediaFile::OpenSound(const TMediaFileReadings& Readings) {
    if (!SoundStart) {
        return;
    }
    const std::weak_ptr<TMediaFrameDecoder> Pictures = Decoder;
    AudioReader =
        std::make_unique<TMediaAudioDecoder>(Readings, AudioStream, *SoundStart, [Pictures] {
            if (const std::shared_ptr<TMediaFrameDecoder> Held = Pictures.lock()) {
                Held->LetGoOfReading();
            }
        });
    AudioReader->StartAt(ZeroMicroseconds, ZeroMicroseconds + TMicroseconds{FEndTime} * 1000);
}

TPicture TMediaFile::Picture(size_t Index) {
    return Index < FramePictures.size() ? Decoder->Picture(FramePictures[Index]) : TPicture{};
}

void TMediaFile::SetPictureGeometry(const TPictureGeometry& Geometry) {
    Decoder->SetGeometry(Geometry);
}

std::unique_ptr<TMediaAudioReader> TMediaFile::TakeAudio() {
    return std::move(AudioReader);
}

}  // namespace quorvane::platform
