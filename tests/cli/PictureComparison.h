// Reading a source file with FFmpeg's own tools, and walking its pictures
// beside those of our FLV file, at their times.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::test {

using std::filesystem::path;

using Fields = std::map<std::string, std::string>;

// ffprobe's compact output for Entries: one section a line, its kind
// ("stream", "packet", "frame") and its fields.
std::vector<std::pair<std::string, Fields>> Probe(const path& File, const std::string& Entries);
// A field as a whole number; 0 when missing or "N/A".
int64_t Number(const Fields& Values, const std::string& Key);

// Infinity when equal.
double Psnr(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B);
// "exact", or "47.3 dB".
std::string PsnrText(double Psnr);

struct TPictureComparison {
    int64_t FirstFlvFrameMs = 0;
    size_t FlvFrames = 0;
    double WorstPsnr = INFINITY;
    int64_t WorstAtMs = 0;
    int64_t LastFlvFrameMs = 0;
};

// Walks both files' pictures in time order: at every time one of them
// changes picture, the FLV must show what FFmpeg shows then. FFmpeg's
// pictures are those of Source's first video stream as the ffmpeg tool
// turns them into BGR (turned upright, after the filters of Arguments,
// "-vf ..."), Width x Height, the n-th at PictureTimesMs[n]; before its
// first picture (a capture that dropped its first frames) that first
// picture counts.
TPictureComparison ComparePictures(const path& Source, const std::vector<int64_t>& PictureTimesMs,
                                   int Width, int Height, const path& Flv,
                                   const std::string& Arguments = "");

}  // namespace quorvane::test
