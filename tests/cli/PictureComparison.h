// Reading a source file with FFmpeg's own tools, and walking its pictures
// beside those of our FLV file, at their times.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::test {

using std::filesystem::path;

using Fields = std::map<std::string, std::string>;
using Sections = std::vector<std::pair<std::string, Fields>>;

// ffprobe's compact output for Entries: one section a line, its kind
// ("stream", "packet", "frame") and its fields.
Sections Probe(const path& File, const std::string& Entries);
// The fields of the first stream of Type ("video", "audio"); empty when
// there is none.
Fields FirstStreamOf(const Sections& Probed, const std::string& Type);
// A field as a whole number; 0 when missing or "N/A".
int64_t Number(const Fields& Values, const std::string& Key);

// Where only the conversion from YUV to RGB differs (its rounding), our
// pictures come within this of FFmpeg's; RGB and palette video is exact.
constexpr double LowestYuvPsnr = 45;

// Infinity when equal.
double Psnr(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B);
// "exact", or "47.3 dB".
std::string PsnrText(double Psnr);

// How the ffmpeg tool shows a file's pictures: Filters (a chain as for
// "-vf", empty for none) give them as they are meant to look; where
// libswscale's default conversion (BT.601, limited range unless the format
// is a full-range one) gives other colours, DefaultFilters give those.
struct TShowing {
    std::string Filters;
    std::string DefaultFilters;
};

// The colours the pictures of a file's first video stream are meant to
// have, from a probe of its streams (index, codec_type, codec_name) and
// frames (stream_index, pix_fmt, height, color_space, color_range): the
// matrix and range its first picture is tagged with; untagged, BT.709 for
// HD (720 lines and more) H.264, HEVC, VP9, AV1 and MPEG-2, else BT.601;
// limited range unless the format is a full-range one. RGB and palette
// pictures need no filter.
TShowing MeantColours(const Sections& Probed);
constexpr const char* ColourFrameEntries = "stream_index,pix_fmt,height,color_space,color_range";

struct TPictureComparison {
    int64_t FirstFlvFrameMs = 0;
    size_t FlvFrames = 0;
    double WorstPsnr = INFINITY;
    int64_t WorstAtMs = 0;
    int64_t LastFlvFrameMs = 0;
    size_t ShownPictures = 0;  // of FFmpeg's, those shown at some time
    size_t ExactPictures = 0;  // of those, the ones the FLV showed exactly
    // Pictures closer to libswscale's default conversion than to the
    // colours meant (with DefaultFilters only).
    size_t DefaultColourPictures = 0;
    std::vector<int64_t> FlvTimesMs;  // of every FLV frame
};

// Walks both files' pictures in time order: at every time one of them
// changes picture, the FLV must show what FFmpeg shows then; of pictures
// that share a millisecond, the last. FFmpeg's pictures are those of
// Source's first video stream as the ffmpeg tool turns them into BGR
// (turned upright, after Showing's filters), Width x Height, the n-th at
// PictureTimesMs[n]; before its first picture (a capture that dropped its
// first frames) that first picture counts.
TPictureComparison ComparePictures(const path& Source, const std::vector<int64_t>& PictureTimesMs,
                                   int Width, int Height, const path& Flv,
                                   const TShowing& Showing = {});

// What ffprobe reads of a file: the times of its first video stream's
// pictures and of its first audio stream's first sound, in seconds.
struct TProbedTimes {
    std::vector<double> Pictures;
    std::optional<double> FirstSound;
    // Where a conversion's times count from: the earlier stream's start.
    double Start() const { return std::min(Pictures.front(), FirstSound.value_or(INFINITY)); }
};
TProbedTimes ProbeTimes(const path& File);
// The same from a probe whose entries include the streams' index and
// codec_type and the frames' stream_index, media_type and
// best_effort_timestamp_time.
TProbedTimes ProbedTimesOf(const Sections& Probed);

// Milliseconds from Start, rounded half up, as the FLV's timestamps are.
int64_t RoundedMs(double Seconds, double Start);
// How far the FLV frame furthest from any picture's time lies from it, in
// milliseconds.
double WorstTimeErrorMs(const std::vector<int64_t>& FlvTimesMs, const TProbedTimes& Probed);

}  // namespace quorvane::test
