// Prints, in one run, every performance figure of Quorvane against the
// ffmpeg tools' Screen Video encoder, and whether each goal is met:
//   quorvane-bench [--frames N] [--cli PATH] [--only PART]
// The test sources are made with ffmpeg at run time.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/CoreBench.h"
#include "bench/Processes.h"
#include "encoder/WorkerPool.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;
namespace fs = std::filesystem;

constexpr int Sizes[][2] = {{1280, 720}, {1920, 1080}};
constexpr int CoreRepeats = 2;  // alternated; the fastest of each counts
constexpr int EndToEndRepeats = 2;
constexpr int ContainerRepeats = 3;  // the two paths differ by little: more runs
constexpr int RangeRepeats = 2;

struct Options {
    int Frames = 30;
    fs::path Cli;
    std::string Only;  // one part of the run, by name; every part when empty
};

const char* Verdict(bool Met) {
    return Met ? "MET" : "NOT MET";
}

double Ratio(double Ours, double Theirs) {
    return Theirs > 0 ? Ours / Theirs : 0;
}

bool SameFileBytes(const fs::path& Left, const fs::path& Right) {
    std::ifstream A(Left, std::ios::binary);
    std::ifstream B(Right, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(A), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(B), std::istreambuf_iterator<char>());
}

void PrintCoreRow(const char* Name, int Frames, const Figures& Ours, const Figures* Theirs) {
    std::printf("  %-38s %7.2f fps %10llu bytes", Name, Frames / Ours.Seconds,
                static_cast<unsigned long long>(Ours.Bytes));
    if (Theirs != nullptr) {
        std::printf(" %6.2fx fps %6.3fx bytes", Ratio(Theirs->Seconds, Ours.Seconds),
                    Ratio(Ours.Bytes, Theirs->Bytes));
    }
    std::printf("\n");
}

struct CoreEntry {
    const char* Name;
    EncoderEngine Engine;
    Figures Best;
};

// The entries of MeasureCore, in their order.
enum CoreEntryIndex : size_t {
    ZlibOneThread,
    ZlibThreads,
    LibdeflateThreads,
    SmallestOneThread,
    SmallestTwoThreads
};

fs::path CoreOutput(const fs::path& Folder, size_t Index) {
    return Folder / ("core-" + std::to_string(Index) + ".flv");
}

// Lossless 64x64 blocks, every engine; the fastest of the alternated runs
// counts. Entry Index is written to CoreOutput(Folder, Index).
std::vector<CoreEntry> MeasureCore(const Workload& Source, Figures& Theirs, int Frames,
                                   const fs::path& Folder) {
    std::vector<CoreEntry> Entries = {
        {"quorvane zlib, 1 thread", {1, DeflateEngine::Zlib}, {}},
        {"quorvane zlib, default threads", {0, DeflateEngine::Zlib}, {}},
        {"quorvane libdeflate, default threads", {0, DeflateEngine::Libdeflate}, {}},
        {"quorvane smallest, 1 thread", {1, DeflateEngine::Smallest}, {}},
        {"quorvane smallest, 2 threads", {2, DeflateEngine::Smallest}, {}},
    };
    const auto Keep = [](Figures& Best, const Figures& Next) {
        Best = Next.Seconds < Best.Seconds ? Next : Best;
    };
    Theirs.Seconds = 1e30;
    for (CoreEntry& Entry : Entries) {
        Entry.Best.Seconds = 1e30;
    }
    for (int Repeat = 0; Repeat < CoreRepeats; ++Repeat) {
        Keep(Theirs, EncodeWithTheirs(Source, Frames));
        for (size_t Index = 0; Index < Entries.size(); ++Index) {
            Keep(Entries[Index].Best, EncodeWithOurs({LosslessMode, 64, 64, Entries[Index].Engine},
                                                     Source, Frames, CoreOutput(Folder, Index)));
        }
    }
    PrintCoreRow("libavcodec flashsv (1 thread)", Frames, Theirs, nullptr);
    for (const CoreEntry& Entry : Entries) {
        PrintCoreRow(Entry.Name, Frames, Entry.Best, &Theirs);
    }
    return Entries;
}

bool SameCoreBytes(const fs::path& Folder, CoreEntryIndex Left, CoreEntryIndex Right) {
    return SameFileBytes(CoreOutput(Folder, Left), CoreOutput(Folder, Right));
}

const char* IdenticalText(bool Identical) {
    return Identical ? "identical" : "DIFFERENT";
}

// The smallest setting against flashsv: its bytes, its speed on 2 threads
// beside them, whether 1 and 2 threads wrote the same bytes, and with a
// MaxBytes ratio, whether its goal is met.
void PrintSmallest(const char* Label, const std::vector<CoreEntry>& Entries, const Figures& Theirs,
                   int Frames, const fs::path& Folder, std::optional<double> MaxBytes) {
    const Figures& Smallest = Entries[SmallestTwoThreads].Best;
    const double Bytes = Ratio(Smallest.Bytes, Theirs.Bytes);
    const bool Identical = SameCoreBytes(Folder, SmallestOneThread, SmallestTwoThreads);
    std::printf(
        "  %s: smallest %.3fx flashsv's bytes; on 2 threads %.2f fps, %.2fx flashsv's; "
        "bytes identical to 1 thread (%s)",
        Label, Bytes, Frames / Smallest.Seconds, Ratio(Theirs.Seconds, Smallest.Seconds),
        IdenticalText(Identical));
    if (MaxBytes) {
        std::printf(": %s", Verdict(Bytes <= *MaxBytes && Identical));
    }
    std::printf("\n");
}

// Goals 1, 2 and 7: the encoder alone on screen frames.
void BenchmarkCore(int Width, int Height, const Options& Settings, const fs::path& Folder) {
    const int Frames = Settings.Frames;
    std::printf(
        "\nEncoder core, %dx%d, %d generated screen frames, lossless 64x64, fastest of %d "
        "alternated runs\n",
        Width, Height, Frames, CoreRepeats);
    Figures Theirs;
    const std::vector<CoreEntry> Entries =
        MeasureCore(ScreenWorkload(Width, Height), Theirs, Frames, Folder);
    const double ZlibRatio = Ratio(Theirs.Seconds, Entries[ZlibThreads].Best.Seconds);
    const bool Identical = SameCoreBytes(Folder, ZlibOneThread, ZlibThreads);
    std::printf(
        "  goal 1: zlib >= 1.9x flashsv fps (%.2fx), bytes identical to 1 thread (%s): %s\n",
        ZlibRatio, IdenticalText(Identical), Verdict(ZlibRatio >= 1.9 && Identical));
    const Figures& Fast = Entries[LibdeflateThreads].Best;
    const double FastRatio = Ratio(Theirs.Seconds, Fast.Seconds);
    const double FastBytes = Ratio(Fast.Bytes, Theirs.Bytes);
    std::printf("  goal 2: libdeflate >= 6x flashsv fps (%.2fx), bytes <= flashsv's (%.3fx): %s\n",
                FastRatio, FastBytes, Verdict(FastRatio >= 6 && FastBytes <= 1.0));
    PrintSmallest("goal 7, <= 0.95x", Entries, Theirs, Frames, Folder, 0.95);
}

// The same engines on camera-like frames, where every block changes in
// every frame: figures only, no goal.
void BenchmarkCameraCore(const Options& Settings, const fs::path& Folder) {
    constexpr int Width = 1280;
    constexpr int Height = 720;
    const int Frames = Settings.Frames;
    std::printf(
        "\nEncoder core, %dx%d, %d camera-like frames (ffmpeg's mandelbrot), lossless "
        "64x64, fastest of %d alternated runs\n",
        Width, Height, Frames, CoreRepeats);
    Figures Theirs;
    const std::vector<CoreEntry> Entries =
        MeasureCore(CameraWorkload(Folder, Width, Height, Frames), Theirs, Frames, Folder);
    PrintSmallest("camera", Entries, Theirs, Frames, Folder, std::nullopt);
}

// Goal 5: the lossy modes, the same bytes with one thread and with many.
void BenchmarkLossyModes(const Options& Settings, const fs::path& Folder) {
    struct ModeRun {
        const char* Name;
        CompressionModes Mode;
        uint32_t Block;
    };
    const ModeRun Runs[] = {{"bitrate 16x16", BitrateMode, 16}, {"quality 64x64", QualityMode, 64}};
    std::printf(
        "\nLossy modes, 1920x1080, %d generated frames (bitrate %d kbit/s; quality "
        "tolerances %d, block %d %%), zlib\n",
        Settings.Frames, CoreBitRateKilobits, CoreQualityTolerance, CoreQualityBlockTolerance);
    const Workload Screen = ScreenWorkload(1920, 1080);
    for (const ModeRun& Run : Runs) {
        const fs::path Single = Folder / "mode-1.flv";
        const fs::path Many = Folder / "mode-n.flv";
        const Figures One =
            EncodeWithOurs({Run.Mode, Run.Block, Run.Block, {1, DeflateEngine::Zlib}}, Screen,
                           Settings.Frames, Single);
        const Figures All =
            EncodeWithOurs({Run.Mode, Run.Block, Run.Block, {0, DeflateEngine::Zlib}}, Screen,
                           Settings.Frames, Many);
        const bool Identical = SameFileBytes(Single, Many);
        std::printf("  %-14s 1 thread %8.2f fps, default threads %8.2f fps, %llu bytes, %s\n",
                    Run.Name, Settings.Frames / One.Seconds, Settings.Frames / All.Seconds,
                    static_cast<unsigned long long>(All.Bytes), IdenticalText(Identical));
        std::printf("  goal 5 (%s): the same bytes whatever the threads: %s\n", Run.Name,
                    Verdict(Identical));
    }
}

struct EndToEndRun {
    const char* Name;
    std::vector<std::string> Arguments;  // before the input and output
    ProcessFigures Best{1e30, 0};
    uint64_t Bytes = 0;
    double Psnr = 0;
};

std::vector<EndToEndRun> EndToEndRuns(const Options& Settings) {
    const std::string Cli = Settings.Cli.string();
    return {
        {"ffmpeg -c:v flashsv -g 100000 -an", {"ffmpeg", "-nostdin", "-y", "-v", "error", "-i"}},
        {"quorvane-cli --block 64x64", {Cli, "--quiet", "--yes", "--block", "64x64"}},
        {"quorvane-cli --block 64x64 --deflate libdeflate",
         {Cli, "--quiet", "--yes", "--block", "64x64", "--deflate", "libdeflate"}},
    };
}

ProcessFigures RunConversion(const EndToEndRun& Run, const fs::path& Input,
                             const fs::path& Output) {
    std::vector<std::string> Arguments = Run.Arguments;
    Arguments.push_back(Input.string());
    if (Arguments.front() == "ffmpeg") {
        Arguments.insert(Arguments.end(), {"-c:v", "flashsv", "-g", "100000", "-an"});
    }
    Arguments.push_back(Output.string());
    return RunProcess(Arguments);
}

// Goal 3: the whole conversion of an MJPEG AVI, against the ffmpeg command.
void BenchmarkEndToEnd(int Width, int Height, const Options& Settings, const fs::path& Folder) {
    const fs::path Input = TestSource(Folder, Width, Height, 25, 10);
    std::printf("\nEnd to end, %dx%d 25 fps 10 s MJPEG (testsrc2), best of %d alternated runs\n",
                Width, Height, EndToEndRepeats);
    std::vector<EndToEndRun> Runs = EndToEndRuns(Settings);
    for (int Repeat = 0; Repeat < EndToEndRepeats; ++Repeat) {
        for (size_t Index = 0; Index < Runs.size(); ++Index) {
            const fs::path Output = Folder / ("e2e-" + std::to_string(Index) + ".flv");
            const ProcessFigures Figures = RunConversion(Runs[Index], Input, Output);
            if (Figures.Seconds < Runs[Index].Best.Seconds) {
                Runs[Index].Best = Figures;
            }
            Runs[Index].Bytes = fs::file_size(Output);
        }
    }
    for (size_t Index = 0; Index < Runs.size(); ++Index) {
        Runs[Index].Psnr =
            PsnrAgainstFullPrecision(Folder / ("e2e-" + std::to_string(Index) + ".flv"), Input);
    }
    const EndToEndRun& Theirs = Runs[0];
    // Cores: the run's processor time over its wall time, what the machine
    // gave it.
    for (const EndToEndRun& Run : Runs) {
        std::printf(
            "  %-48s %6.2f s %4.2f cores %5.3fx time %10llu bytes %5.3fx bytes %6.2f dB "
            "%4ld MB peak\n",
            Run.Name, Run.Best.Seconds, Ratio(Run.Best.CpuSeconds, Run.Best.Seconds),
            Ratio(Run.Best.Seconds, Theirs.Best.Seconds),
            static_cast<unsigned long long>(Run.Bytes), Ratio(Run.Bytes, Theirs.Bytes), Run.Psnr,
            Run.Best.PeakKilobytes / 1024);
    }
    const double Limits[] = {0, 0.5, 0.35};
    for (size_t Index = 1; Index < Runs.size(); ++Index) {
        const double Time = Ratio(Runs[Index].Best.Seconds, Theirs.Best.Seconds);
        const double Bytes = Ratio(Runs[Index].Bytes, Theirs.Bytes);
        std::printf(
            "  goal 3 (%s): time <= %.2fx (%.3fx), bytes <= 1.02x (%.3fx), PSNR >= "
            "ffmpeg's (%.2f vs %.2f dB): %s\n",
            Index == 1 ? "zlib" : "libdeflate", Limits[Index], Time, Bytes, Runs[Index].Psnr,
            Theirs.Psnr,
            Verdict(Time <= Limits[Index] && Bytes <= 1.02 && Runs[Index].Psnr >= Theirs.Psnr));
    }
}

// The same video in another container: the AVI's stream copied into an MP4,
// made once beside it.
fs::path RemuxedSource(const fs::path& Avi, const std::string& Extension) {
    const fs::path Path = fs::path(Avi).replace_extension(Extension);
    if (!fs::exists(Path)) {
        const fs::path Partial = Path.string() + ".partial" + Extension;
        RunProcess({"ffmpeg", "-nostdin", "-y", "-v", "error", "-i", Avi.string(), "-c", "copy",
                    Partial.string()});
        fs::rename(Partial, Path);
    }
    return Path;
}

// Goal 6: a video file read through libavformat converts as fast as the
// same pictures read from an AVI file (the encoder left the largest share
// with libdeflate).
void BenchmarkContainers(const Options& Settings, const fs::path& Folder) {
    const fs::path Avi = TestSource(Folder, 1920, 1080, 25, 10);
    const fs::path Mp4 = RemuxedSource(Avi, ".mp4");
    std::printf(
        "\nContainers, 1920x1080 25 fps 10 s MJPEG, the same stream in AVI and MP4, "
        "quorvane-cli --block 64x64 --deflate libdeflate, best of %d alternated runs\n",
        ContainerRepeats);
    const fs::path Sources[] = {Avi, Mp4};
    ProcessFigures Best[std::size(Sources)] = {{1e30, 0}, {1e30, 0}};
    for (int Repeat = 0; Repeat < ContainerRepeats; ++Repeat) {
        for (size_t Index = 0; Index < std::size(Sources); ++Index) {
            const fs::path Output = Folder / ("container-" + std::to_string(Index) + ".flv");
            const ProcessFigures Figures =
                RunProcess({Settings.Cli.string(), "--quiet", "--yes", "--block", "64x64",
                            "--deflate", "libdeflate", Sources[Index].string(), Output.string()});
            Best[Index] = Figures.Seconds < Best[Index].Seconds ? Figures : Best[Index];
        }
    }
    for (size_t Index = 0; Index < std::size(Sources); ++Index) {
        std::printf("  %-4s %6.2f s %4.2f cores %4ld MB peak\n", Index == 0 ? "AVI" : "MP4",
                    Best[Index].Seconds, Ratio(Best[Index].CpuSeconds, Best[Index].Seconds),
                    Best[Index].PeakKilobytes / 1024);
    }
    const double Time = Ratio(Best[1].Seconds, Best[0].Seconds);
    const bool Identical = SameFileBytes(Folder / "container-0.flv", Folder / "container-1.flv");
    // Processor time shows the work done when other processes share the machine.
    std::printf(
        "  goal 6: MP4 time / AVI time <= 1.05 (%.3fx; processor time %.3fx), the same "
        "FLV bytes (%s): %s\n",
        Time, Ratio(Best[1].CpuSeconds, Best[0].CpuSeconds), IdenticalText(Identical),
        Verdict(Time <= 1.05));
}

// A minute of 1920x1080 60 fps H.264 (x264's own key-frame interval, 250
// pictures) with AAC sound, made once.
fs::path H264Source(const fs::path& Folder) {
    const fs::path Path = Folder / "range-1080p60.mp4";
    if (!fs::exists(Path)) {
        const fs::path Partial = Folder / "range-1080p60.partial.mp4";
        const std::string Pictures = "testsrc2=size=1920x1080:rate=60:duration=60";
        const std::string Sound = "sine=frequency=440:sample_rate=48000:duration=60";
        RunProcess({"ffmpeg",   "-nostdin",
                    "-y",       "-v",
                    "error",    "-f",
                    "lavfi",    "-i",
                    Pictures,   "-f",
                    "lavfi",    "-i",
                    Sound,      "-c:v",
                    "libx264",  "-preset",
                    "veryfast", "-c:a",
                    "aac",      "-pix_fmt",
                    "yuv420p",  Partial.string()});
        fs::rename(Partial, Path);
    }
    return Path;
}

// The last 5 seconds of a video file cost about what its first 5 do: the
// pictures are decoded from the last key frame before the start, not from
// the file's start.
void BenchmarkLateStart(const Options& Settings, const fs::path& Folder) {
    const fs::path Source = H264Source(Folder);
    std::printf(
        "\nA range of 5 s, 1920x1080 60 fps 60 s H.264 and AAC in MP4, quorvane-cli --block "
        "64x64 --deflate libdeflate, best of %d alternated runs\n",
        RangeRepeats);
    const std::vector<std::string> Ranges[] = {{"--end", "5"}, {"--start", "55"}};
    ProcessFigures Best[std::size(Ranges)] = {{1e30, 0}, {1e30, 0}};
    for (int Repeat = 0; Repeat < RangeRepeats; ++Repeat) {
        for (size_t Index = 0; Index < std::size(Ranges); ++Index) {
            std::vector<std::string> Arguments = {
                Settings.Cli.string(), "--quiet",   "--yes", "--block", "64x64",
                "--deflate",           "libdeflate"};
            Arguments.insert(Arguments.end(), Ranges[Index].begin(), Ranges[Index].end());
            Arguments.push_back(Source.string());
            Arguments.push_back((Folder / "range.flv").string());
            const ProcessFigures Figures = RunProcess(Arguments);
            Best[Index] = Figures.Seconds < Best[Index].Seconds ? Figures : Best[Index];
        }
    }
    for (size_t Index = 0; Index < std::size(Ranges); ++Index) {
        std::printf("  %-12s %6.2f s %4.2f cores %4ld MB peak\n",
                    Index == 0 ? "0 s to 5 s" : "55 s to end", Best[Index].Seconds,
                    Ratio(Best[Index].CpuSeconds, Best[Index].Seconds),
                    Best[Index].PeakKilobytes / 1024);
    }
    std::printf("  late / early: %.3fx time, %.3fx processor time\n",
                Ratio(Best[1].Seconds, Best[0].Seconds),
                Ratio(Best[1].CpuSeconds, Best[0].CpuSeconds));
}

// Goal 4: peak memory, a 1-minute input against a 10-minute one, at
// 1920x1080, and an hour to show it stays flat; 2 frames per second keeps
// the run short, the length is what counts.
void BenchmarkMemory(const Options& Settings, const fs::path& Folder) {
    std::printf(
        "\nPeak memory, quorvane-cli --block 64x64 --deflate libdeflate, 1920x1080 MJPEG "
        "at 2 fps\n");
    const int Lengths[] = {60, 600, 3600};
    long Peaks[std::size(Lengths)] = {};
    for (size_t Index = 0; Index < std::size(Lengths); ++Index) {
        const fs::path Input = TestSource(Folder, 1920, 1080, 2, Lengths[Index]);
        const ProcessFigures Figures =
            RunProcess({Settings.Cli.string(), "--quiet", "--yes", "--block", "64x64", "--deflate",
                        "libdeflate", Input.string(), (Folder / "memory.flv").string()});
        Peaks[Index] = Figures.PeakKilobytes;
        std::printf("  %4d s input: %6.1f MB peak resident, %.1f s\n", Lengths[Index],
                    Figures.PeakKilobytes / 1024.0, Figures.Seconds);
    }
    const double Growth = Ratio(Peaks[1], Peaks[0]);
    std::printf(
        "  goal 4: 10-minute peak within 10 %% of 1-minute (%.3fx), under 200 MB "
        "(%.1f MB): %s\n",
        Growth, Peaks[1] / 1024.0, Verdict(Growth <= 1.10 && Peaks[1] < 200 * 1024));
    std::printf("  an hour: peak %.3fx the 1-minute one\n", Ratio(Peaks[2], Peaks[0]));
}

fs::path CliNextTo(const char* Program) {
    std::error_code Error;
    const fs::path Self = fs::read_symlink("/proc/self/exe", Error);
    return (Error ? fs::path(Program).parent_path() : Self.parent_path()) / ".." / "src" / "cli" /
           "quorvane-cli";
}

Options ParseOptions(int argc, char** argv) {
    Options Settings;
    Settings.Cli = CliNextTo(argv[0]);
    for (int Index = 1; Index + 1 < argc; Index += 2) {
        if (std::strcmp(argv[Index], "--frames") == 0) {
            Settings.Frames = std::atoi(argv[Index + 1]);
        } else if (std::strcmp(argv[Index], "--cli") == 0) {
            Settings.Cli = argv[Index + 1];
        } else if (std::strcmp(argv[Index], "--only") == 0) {
            Settings.Only = argv[Index + 1];
        } else {
            throw std::invalid_argument(argv[Index]);
        }
    }
    const std::string Parts[] = {"",           "core",   "camera",     "lossy",
                                 "end-to-end", "memory", "containers", "late-start"};
    if (argc % 2 == 0 || Settings.Frames < 2 ||
        std::find(std::begin(Parts), std::end(Parts), Settings.Only) == std::end(Parts)) {
        throw std::invalid_argument("arguments");
    }
    return Settings;
}

void RunAll(const Options& Settings, const fs::path& Folder) {
    std::printf(
        "Quorvane performance, %u processors; ratios against ffmpeg's flashsv encoder "
        "(libavcodec %s)\n",
        ProcessorCount(), "via its API for the core, the ffmpeg command end to end");
    const auto Wanted = [&](const char* Part) {
        return Settings.Only.empty() || Settings.Only == Part;
    };
    for (const auto& Size : Sizes) {
        if (Wanted("core")) {
            BenchmarkCore(Size[0], Size[1], Settings, Folder);
        }
    }
    if (Wanted("camera")) {
        BenchmarkCameraCore(Settings, Folder);
    }
    if (Wanted("lossy")) {
        BenchmarkLossyModes(Settings, Folder);
    }
    for (const auto& Size : Sizes) {
        if (Wanted("end-to-end")) {
            BenchmarkEndToEnd(Size[0], Size[1], Settings, Folder);
        }
    }
    if (Wanted("memory")) {
        BenchmarkMemory(Settings, Folder);
    }
    if (Wanted("containers")) {
        BenchmarkContainers(Settings, Folder);
    }
    if (Wanted("late-start")) {
        BenchmarkLateStart(Settings, Folder);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures show as they come
    Options Settings;
    try {
        Settings = ParseOptions(argc, argv);
    } catch (const std::exception&) {
        std::fprintf(stderr,
                     "usage: quorvane-bench [--frames N (>= 2, default 30)] "
                     "[--cli PATH-TO-quorvane-cli] "
                     "[--only core|camera|lossy|end-to-end|memory|containers|late-start]\n");
        return 2;
    }
    const fs::path Folder = fs::temp_directory_path() / "quorvane-bench";
    fs::create_directories(Folder);
    try {
        RunAll(Settings, Folder);
    } catch (const std::exception& Failure) {
        std::fprintf(stderr, "benchmark failed: %s\n", Failure.what());
        return 1;
    }
    return 0;
}
