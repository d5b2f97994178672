#include "PictureComparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "support/FlvDecoding.h"
#include "support/Process.h"

namespace quorvane::test {

// ffprobe's compact output: one section a line, "kind|key=value|...".
std::vector<std::pair<std::string, Fields>> Probe(const path& File, const std::string& Entries) {
    const TProcessResult Run = RunProcess(
        "ffprobe", {"-v", "error", "-show_entries", Entries, "-of", "compact", File.string()});
    if (Run.ExitStatus != 0) {
        throw std::runtime_error("ffprobe failed on " + File.string() + ": " + Run.Errors);
    }
    std::vector<std::pair<std::string, Fields>> Sections;
    std::istringstream Lines(Run.Output);
    for (std::string Line; std::getline(Lines, Line);) {
        std::istringstream Parts(Line);
        std::string Kind;
        std::getline(Parts, Kind, '|');
        Fields Values;
        for (std::string Part; std::getline(Parts, Part, '|');) {
            const size_t Equals = Part.find('=');
            if (Equals != std::string::npos) {
                Values[Part.substr(0, Equals)] = Part.substr(Equals + 1);
            }
        }
        if (!Values.empty()) {
            Sections.emplace_back(Kind, std::move(Values));
        }
    }
    return Sections;
}

int64_t Number(const Fields& Values, const std::string& Key) {
    const auto Found = Values.find(Key);
    return Found == Values.end() || Found->second == "N/A" ? 0 : std::stoll(Found->second);
}

namespace {

// The pictures of FFmpeg's decoding of a file, as the ffmpeg tool turns
// them into BGR, one at a time: a long recording's would not fit in memory.
class TFfmpegPictures {
public:
    TFfmpegPictures(const path& File, size_t PictureBytes, const std::string& Arguments)
        : PictureBytes(PictureBytes) {
        const std::string Command = "ffmpeg -v error -nostdin -i '" + File.string() +
                                    "' -map 0:v:0 -fps_mode passthrough " + Arguments +
                                    " -f rawvideo -pix_fmt bgr24 -";
        Pipe = popen(Command.c_str(), "r");
    }
    ~TFfmpegPictures() {
        if (Pipe) {
            pclose(Pipe);
        }
    }
    TFfmpegPictures(const TFfmpegPictures&) = delete;
    TFfmpegPictures& operator=(const TFfmpegPictures&) = delete;

    bool Next(std::vector<uint8_t>& Picture) {
        Picture.resize(PictureBytes);
        return Pipe && std::fread(Picture.data(), 1, PictureBytes, Pipe) == PictureBytes;
    }

private:
    size_t PictureBytes;
    FILE* Pipe = nullptr;
};

}  // namespace

double Psnr(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
    if (A == B) {
        return INFINITY;
    }
    if (A.size() != B.size()) {
        return 0;
    }
    double Squares = 0;
    for (size_t I = 0; I < A.size(); ++I) {
        const double Difference = static_cast<double>(A[I]) - B[I];
        Squares += Difference * Difference;
    }
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(A.size()) / Squares);
}

TPictureComparison ComparePictures(const path& Source, const std::vector<int64_t>& Times, int Width,
                                   int Height, const path& Flv, const std::string& Arguments) {
    TPictureComparison Result;
    TFfmpegPictures Expected(Source, static_cast<size_t>(Width) * Height * 3, Arguments);
    TFlvVideoFrames Converted(Flv);
    std::vector<uint8_t> Picture;
    std::optional<DecodedFrame> Shown = Converted.Next();
    if (Times.empty() || !Expected.Next(Picture) || !Shown) {
        ADD_FAILURE() << "no picture to compare";
        return Result;
    }
    Result.FirstFlvFrameMs = Shown->TimestampMs;
    std::optional<DecodedFrame> Coming = Converted.Next();
    size_t Current = 0;
    Result.FlvFrames = 1;
    for (;;) {
        const double Quality = Psnr(Shown->Bgr, Picture);
        if (Quality < Result.WorstPsnr) {
            Result.WorstPsnr = Quality;
            Result.WorstAtMs = std::max(Shown->TimestampMs, Times[Current]);
        }
        Result.LastFlvFrameMs = Shown->TimestampMs;
        const int64_t NextPicture =
            Current + 1 < Times.size() ? Times[Current + 1] : std::numeric_limits<int64_t>::max();
        const int64_t NextFrame =
            Coming ? Coming->TimestampMs : std::numeric_limits<int64_t>::max();
        if (NextPicture == std::numeric_limits<int64_t>::max() &&
            NextFrame == std::numeric_limits<int64_t>::max()) {
            break;
        }
        if (NextPicture <= NextFrame) {
            ++Current;
            if (!Expected.Next(Picture)) {
                ADD_FAILURE() << "the ffmpeg tool gave fewer pictures than ffprobe: " << Current;
                break;
            }
        }
        if (NextFrame <= NextPicture) {
            Shown = std::move(Coming);
            Coming = Converted.Next();
            ++Result.FlvFrames;
        }
    }
    EXPECT_FALSE(Expected.Next(Picture)) << "the ffmpeg tool gave more pictures than ffprobe";
    return Result;
}

std::string PsnrText(double Psnr) {
    if (std::isinf(Psnr)) {
        return "exact";
    }
    std::ostringstream Text;
    Text << std::fixed << std::setprecision(1) << Psnr << " dB";
    return Text.str();
}

}  // namespace quorvane::test
