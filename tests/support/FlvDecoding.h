// Decoding our FLV files with FFmpeg's own demuxer and Screen Video decoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace quorvane::test {

struct DecodedFrame {
    int64_t TimestampMs = 0;
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bgr;  // top row first, Width * 3 bytes per row, no padding
};

// Every video frame of the file, in decoding order, through libavformat's FLV
// demuxer and libavcodec's "flashsv" decoder. Throws std::runtime_error with
// FFmpeg's message when opening, demuxing or decoding fails, or when the
// video is not Screen Video.
std::vector<DecodedFrame> DecodeFlvVideo(const std::filesystem::path& Path);

// The same frames one at a time, for files too long to hold decoded.
class TFlvVideoFrames {
public:
    explicit TFlvVideoFrames(const std::filesystem::path& Path);
    ~TFlvVideoFrames();
    TFlvVideoFrames(const TFlvVideoFrames&) = delete;
    TFlvVideoFrames& operator=(const TFlvVideoFrames&) = delete;

    // The next frame; nothing after the last.
    std::optional<DecodedFrame> Next();
    // The same into Frame, whose buffer is used again; false after the last.
    bool Next(DecodedFrame& Frame);

private:
    struct TDecoding;
    std::unique_ptr<TDecoding> Decoding;
};

// What libavformat makes of a file when a player opens it and seeks.
struct FfmpegSeek {
    double DurationSeconds = 0;  // as the demuxer reports it
    // The first video packet after a seek to the last key frame at or before
    // the time asked for.
    int64_t TimestampMs = 0;
    bool KeyFrame = false;
    int64_t Position = 0;  // of its tag in the file
};

// Throws std::runtime_error with FFmpeg's message when opening, seeking or
// reading fails.
FfmpegSeek SeekWithFfmpeg(const std::filesystem::path& Path, double Seconds);

}  // namespace quorvane::test
