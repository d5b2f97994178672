// Video files of the containers libavformat reads (MP4, MOV, Matroska, WebM,
// MPEG-TS, Ogg and others): the first video stream frame by frame at its
// own presentation times, and the default audio stream decoded to PCM in
// step with them.
//
// Times are milliseconds from the file's start: the earliest start of the
// two streams, so that a stream that starts later keeps its offset. Each
// frame's time is its presentation time rounded to the nearest millisecond
// (halves up); frames are in presentation order, and pictures of one
// millisecond are one frame that shows the last of them, as a player does:
// the times always go forward.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/types/Picture.h"

namespace quorvane::platform {

struct TMediaVideo {
    std::string Codec;  // "H.264", "VP9", ...; empty when unknown
    // The size of the pictures given: as they are shown, turned by the
    // rotation the file asks for and with pixels made square.
    int Width = 0;
    int Height = 0;
    int Rotation = 0;  // degrees clockwise, a multiple of 90
    bool Hdr = false;  // PQ or HLG pictures, tone-mapped to SDR
    // The stream's own frame rate when it has a constant one (0/0 otherwise),
    // and the average over its frames.
    uint32_t RateNumerator = 0;
    uint32_t RateDenominator = 0;
    double AverageRate = 0;
    bool VariableRate = false;
};

struct TMediaAudio {
    std::string Codec;       // "AAC", "Opus", "PCM", ...; empty when unknown
    bool Decodable = false;  // a decoder opened and gave sound
    uint32_t Rate = 0;       // of the PCM given
    uint16_t Channels = 0;
    uint16_t BitsPerSample = 0;  // of PCM as stored; 0 for other codecs
    int Track = 1;               // which audio stream of the file, from 1
    int Tracks = 1;              // how many the file has
};

enum class TMediaOpenError : uint8_t {
    None,
    NotAVideoFile,  // no container read here, or a damaged one
    Unreadable,     // reading the file failed
    NoVideo,        // no video stream
    NoDecoder,      // no decoder for the video stream
    NoFirstFrame,   // the first frame can't be decoded
    TooLarge        // the pictures are shown larger than asked for
};

struct TMediaOpenFailure {
    TMediaOpenError Error = TMediaOpenError::None;
    // TooLarge: the size the pictures are shown at.
    int Width = 0;
    int Height = 0;
};

// Frame times are milliseconds in 32 bits: a frame at or past this is left out.
constexpr int32_t LatestFrameTime = INT32_MAX;

class TMediaAudioDecoder;
class TMediaAudioProbe;
class TMediaAudioReader;
class TMediaFrameDecoder;
class TMediaFileReadings;
class TMediaInput;
struct TMediaAudioStart;
struct TRestartPoint;

class TMediaFile {
public:
    // Reads the file's headers and every video packet's time, and decodes
    // the first picture. Null, with Failure set, when it holds no video that
    // can be converted, or its pictures are shown wider or higher than
    // LargestSide (told from the stream's parameters before any is decoded,
    // or else from the first picture before it is converted). The file is
    // read through one reading at a time: a crafted index can cost
    // gigabytes each.
    static std::unique_ptr<TMediaFile> Open(const std::string& FileName, int LargestSide,
                                            TMediaOpenFailure& Failure);
    ~TMediaFile();
    TMediaFile(const TMediaFile&) = delete;
    TMediaFile& operator=(const TMediaFile&) = delete;

    const TMediaVideo& Video() const { return FVideo; }
    // The time of each frame, in presentation order.
    const std::vector<int32_t>& FrameTimes() const { return FFrameTimes; }
    // Where the last frame ends: after it by the stream's usual frame
    // length, however long the gap before it.
    int32_t EndTime() const { return FEndTime; }
    // Frames timed at or past LatestFrameTime, left out.
    size_t FramesPastTimeLimit() const { return FFramesPastTimeLimit; }
    // Frames left out because their time went back.
    size_t FramesGoingBack() const { return FFramesGoingBack; }
    // Frame Index as 24-bit bottom-up rows, valid until the next call; a
    // frame the decoder never gives shows the one before it; none when it
    // failed to decode. Fastest in increasing order: the next picture is
    // decoded while the caller works.
    TPicture Picture(size_t Index);
    // From the next picture on: the part of each picture converted, given
    // in the picture as shown (Video()'s size), and the size it is scaled to
    // (both sides given, or neither), scaled once from the decoded picture.
    void SetPictureGeometry(const TPictureGeometry& Geometry);

    // The default audio stream (the first when none is marked default), if any.
    const std::optional<TMediaAudio>& Audio() const { return FAudio; }
    // Its sound, read once from the start; null when it can't be decoded.
    // The file keeps it until it is taken.
    std::unique_ptr<TMediaAudioReader> TakeAudio();

private:
    TMediaFile() = default;
    bool ReadTimes(const TMediaFileReadings& Readings, int LargestSide, TMediaOpenFailure& Failure);
    std::unique_ptr<TMediaAudioProbe> DescribeAudio(TMediaInput& Input);
    void TimeFrames();
    bool OpenPictures(const TMediaFileReadings& Readings, int LargestSide,
                      TMediaOpenFailure& Failure);
    void OpenSound(const TMediaFileReadings& Readings);

    TMediaVideo FVideo;
    std::vector<int32_t> FFrameTimes;
    int32_t FEndTime = 0;
    size_t FFramesPastTimeLimit = 0;
    size_t FFramesGoingBack = 0;
    std::optional<TMediaAudio> FAudio;
    std::shared_ptr<TMediaFrameDecoder> Decoder;
    std::unique_ptr<TMediaAudioDecoder> AudioReader;
    // From the reading of the times until the decoders are opened.
    int VideoStream = -1;
    int AudioStream = -1;
    std::unique_ptr<TMediaAudioStart> SoundStart;  // when the sound can be converted
    // The pictures' presentation times in the video stream's time base,
    // each once; the decoder places pictures by them.
    std::vector<int64_t> FramePts;
    // Which of those pictures each frame shows.
    std::vector<size_t> FramePictures;
    // The key frames the pictures can be decoded from, until the decoder
    // takes them.
    std::vector<TRestartPoint> RestartPoints;
    int TimeBaseNumerator = 1;
    int TimeBaseDenominator = 1;
    int64_t LastDuration = 0;       // of the last frame, 0 when its packet tells none
    __int128 ZeroMicroseconds = 0;  // the file's start, exactly
};

// Sound as 16-bit interleaved PCM at Audio().Rate with Audio().Channels,
// sample frame n playing at n / Rate seconds from the file's start. Where
// the stream's timestamps leave a gap (a lost packet, a pause) silence fills
// it; where they overlap, the sound already given stands.
class TMediaAudioReader {
public:
    virtual ~TMediaAudioReader() = default;
    // The sample frame at which the sound starts.
    virtual int64_t Start() const = 0;
    // Where it ends by the file's headers, a guess until the end is read.
    virtual int64_t EstimatedEnd() const = 0;
    // The next sample frame Read gives.
    virtual int64_t Position() const = 0;
    // Up to Frames sample frames into Samples (Frames x channels values);
    // how many were given, 0 at the end.
    virtual size_t Read(int16_t* Samples, size_t Frames) = 0;
};

}  // namespace quorvane::platform
