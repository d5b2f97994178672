// Running the command-line tools the benchmark compares.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::bench {

struct ProcessFigures {
    double Seconds = 0;      // wall-clock time
    double CpuSeconds = 0;   // processor time, all threads
    long PeakKilobytes = 0;  // peak resident memory
};

// Runs the program with its output discarded; throws unless it exits with 0.
ProcessFigures RunProcess(const std::vector<std::string>& Arguments);

// The text the command (run by the shell) writes to its standard error.
std::string ErrorOutputOf(const std::vector<std::string>& Arguments);

// ffmpeg's testsrc2 as MJPEG in AVI, made once per size, rate and length.
std::filesystem::path TestSource(const std::filesystem::path& Folder, int Width, int Height,
                                 int FramesPerSecond, int Seconds);

// ffmpeg's mandelbrot zoom as raw BGR rows, top row first, made once per
// size and length.
std::filesystem::path MandelbrotFrames(const std::filesystem::path& Folder, int Width, int Height,
                                       int Frames);

// PSNR (dB, all channels) of the FLV's pictures against the source's frames
// converted to BGR at full precision (full chroma interpolation and input,
// exact rounding).
double PsnrAgainstFullPrecision(const std::filesystem::path& Flv,
                                const std::filesystem::path& Source);

}  // namespace quorvane::bench
