#include "PictureComparison.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "support/FlvDecoding.h"
#include "support/Process.h"

namespace quorvane::test {

// ffprobe's compact output: one section a line, "kind|key=value|...".
Sections Probe(const path& File, const std::string& Entries) {
    const TProcessResult Run = RunProcess(
        "ffprobe", {"-v", "error", "-show_entries", Entries, "-of", "compact", File.string()});
    if (Run.ExitStatus != 0) {
        throw std::runtime_error("ffprobe failed on " + File.string() + ": " + Run.Errors);
    }
    Sections Probed;
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
            Probed.emplace_back(Kind, std::move(Values));
        }
    }
    return Probed;
}

Fields FirstStreamOf(const Sections& Probed, const std::string& Type) {
    for (const auto& [Kind, Values] : Probed) {
        if (Kind == "stream" && Values.count("codec_type") && Values.at("codec_type") == Type) {
            return Values;
        }
    }
    return {};
}

int64_t Number(const Fields& Values, const std::string& Key) {
    const auto Found = Values.find(Key);
    return Found == Values.end() || Found->second == "N/A" ? 0 : std::stoll(Found->second);
}

namespace {

// The filter graph that gives each picture as meant, and below it, where
// that differs, as libswscale's default conversion gives it.
std::string FilterGraph(const TShowing& Showing) {
    if (Showing.DefaultFilters.empty()) {
        return Showing.Filters;
    }
    const auto InBgr = [](const std::string& Filters) {
        return Filters.empty() ? std::string("format=bgr24") : Filters + ",format=bgr24";
    };
    return "split[meant][default];[meant]" + InBgr(Showing.Filters) + "[m];[default]" +
           InBgr(Showing.DefaultFilters) + "[d];[m][d]vstack";
}

// As large as an unprivileged process may make a pipe by default.
constexpr int PipeBytes = 1 << 20;

// The pictures of FFmpeg's decoding of a file, as the ffmpeg tool turns
// them into BGR, one at a time: a long recording's would not fit in memory.
// Each keeps its own time (in the stream's time base: pictures less than a
// frame of the nominal rate apart would otherwise be reported as out of
// order).
class TFfmpegPictures {
public:
    TFfmpegPictures(const path& File, size_t PictureBytes, const TShowing& Showing)
        : PictureBytes(PictureBytes), WithDefault(!Showing.DefaultFilters.empty()) {
        const std::string Graph = FilterGraph(Showing);
        const std::string Command = "ffmpeg -v error -nostdin -i '" + File.string() +
                                    "' -map 0:v:0 -fps_mode passthrough -enc_time_base -1 " +
                                    (Graph.empty() ? "" : "-vf '" + Graph + "' ") +
                                    "-f rawvideo -pix_fmt bgr24 -";
        Pipe = popen(Command.c_str(), "r");
        if (Pipe) {
            // Pictures of several megabytes pass in fewer, larger pieces.
            fcntl(fileno(Pipe), F_SETPIPE_SZ, PipeBytes);
        }
    }
    ~TFfmpegPictures() {
        if (Pipe) {
            pclose(Pipe);
        }
    }
    TFfmpegPictures(const TFfmpegPictures&) = delete;
    TFfmpegPictures& operator=(const TFfmpegPictures&) = delete;

    // Default is left empty without DefaultFilters.
    bool Next(std::vector<uint8_t>& Picture, std::vector<uint8_t>& Default) {
        return Read(Picture) && (!WithDefault || Read(Default));
    }

private:
    bool Read(std::vector<uint8_t>& Picture) {
        Picture.resize(PictureBytes);
        return Pipe && std::fread(Picture.data(), 1, PictureBytes, Pipe) == PictureBytes;
    }

    size_t PictureBytes;
    bool WithDefault;
    FILE* Pipe = nullptr;
};

constexpr const char* HdCodecs[] = {"h264", "hevc", "vp9", "av1", "mpeg2video"};
constexpr int LowestHdHeight = 720;

// ffprobe's names of the matrices, as the scale filter calls them.
const std::map<std::string, std::string> Matrices = {
    {"bt709", "bt709"},         {"smpte170m", "bt601"}, {"bt470bg", "bt601"}, {"fcc", "fcc"},
    {"smpte240m", "smpte240m"}, {"bt2020nc", "bt2020"}, {"bt2020c", "bt2020"}};

std::string Field(const Fields& Values, const std::string& Key) {
    const auto Found = Values.find(Key);
    return Found == Values.end() ? std::string() : Found->second;
}

std::string ScaleFrom(const std::string& Matrix, bool FullRange) {
    return "scale=in_color_matrix=" + Matrix + ":in_range=" + (FullRange ? "pc" : "tv");
}

}  // namespace

TShowing MeantColours(const Sections& Probed) {
    const Fields Stream = FirstStreamOf(Probed, "video");
    Fields Picture;
    for (const auto& [Kind, Values] : Probed) {
        if (Kind == "frame" && Field(Values, "stream_index") == Field(Stream, "index")) {
            Picture = Values;
            break;
        }
    }
    const AVPixFmtDescriptor* Format =
        av_pix_fmt_desc_get(av_get_pix_fmt(Field(Picture, "pix_fmt").c_str()));
    if (!Format || Format->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) {
        return {};
    }
    const bool FullRangeFormat = std::string(Format->name).rfind("yuvj", 0) == 0;
    const auto Tagged = Matrices.find(Field(Picture, "color_space"));
    const bool Hd = std::find(std::begin(HdCodecs), std::end(HdCodecs),
                              Field(Stream, "codec_name")) != std::end(HdCodecs) &&
                    Number(Picture, "height") >= LowestHdHeight;
    const std::string Matrix = Tagged != Matrices.end() ? Tagged->second : Hd ? "bt709" : "bt601";
    const std::string Range = Field(Picture, "color_range");
    const bool FullRange = Range == "pc" || (Range != "tv" && FullRangeFormat);
    TShowing Showing{ScaleFrom(Matrix, FullRange), {}};
    if (Matrix != "bt601" || FullRange != FullRangeFormat) {
        Showing.DefaultFilters = ScaleFrom("bt601", FullRangeFormat);
    }
    return Showing;
}

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

// The walk of ComparePictures, with the default conversion's pictures
// beside the meant ones when Showing has DefaultFilters.
TPictureComparison WalkPictures(const path& Source, const std::vector<int64_t>& Times, int Width,
                                int Height, const path& Flv, const TShowing& Showing) {
    TPictureComparison Result;
    TFfmpegPictures Expected(Source, static_cast<size_t>(Width) * Height * 3, Showing);
    TFlvVideoFrames Converted(Flv);
    std::vector<uint8_t> Picture;
    std::vector<uint8_t> DefaultPicture;
    DecodedFrame Shown;
    if (Times.empty() || !Expected.Next(Picture, DefaultPicture) || !Converted.Next(Shown)) {
        ADD_FAILURE() << "no picture to compare";
        return Result;
    }
    Result.FirstFlvFrameMs = Shown.TimestampMs;
    Result.FlvTimesMs.push_back(Shown.TimestampMs);
    DecodedFrame Coming;
    bool MoreFrames = Converted.Next(Coming);
    size_t Current = 0;
    Result.FlvFrames = 1;
    const auto NextPicture = [&] {
        ++Current;
        if (!Expected.Next(Picture, DefaultPicture)) {
            ADD_FAILURE() << "the ffmpeg tool gave fewer pictures than ffprobe: " << Current;
            return false;
        }
        return true;
    };
    const auto NextFrame = [&] {
        std::swap(Shown, Coming);
        MoreFrames = Converted.Next(Coming);
        ++Result.FlvFrames;
        Result.FlvTimesMs.push_back(Shown.TimestampMs);
    };
    constexpr int64_t Never = std::numeric_limits<int64_t>::max();
    std::optional<size_t> Compared;
    bool CurrentExact = false;
    for (;;) {
        // Of the pictures of one millisecond, a player shows the last.
        while (Current + 1 < Times.size() && Times[Current + 1] == Times[Current]) {
            if (!NextPicture()) {
                return Result;
            }
        }
        while (MoreFrames && Coming.TimestampMs == Shown.TimestampMs) {
            NextFrame();
        }
        const double Quality = Psnr(Shown.Bgr, Picture);
        // A picture is exact when every FLV frame shown beside it is.
        if (Current != Compared) {
            Compared = Current;
            ++Result.ShownPictures;
            ++Result.ExactPictures;
            CurrentExact = true;
        }
        if (CurrentExact && !std::isinf(Quality)) {
            CurrentExact = false;
            --Result.ExactPictures;
        }
        if (Quality < Result.WorstPsnr) {
            Result.WorstPsnr = Quality;
            Result.WorstAtMs = std::max(Shown.TimestampMs, Times[Current]);
        }
        if (!DefaultPicture.empty() && !std::isinf(Quality) &&
            Psnr(Shown.Bgr, DefaultPicture) > Quality) {
            ++Result.DefaultColourPictures;
        }
        Result.LastFlvFrameMs = Shown.TimestampMs;
        const int64_t PictureTime = Current + 1 < Times.size() ? Times[Current + 1] : Never;
        const int64_t FrameTime = MoreFrames ? Coming.TimestampMs : Never;
        if (PictureTime == Never && FrameTime == Never) {
            break;
        }
        if (PictureTime <= FrameTime && !NextPicture()) {
            break;
        }
        if (FrameTime <= PictureTime) {
            NextFrame();
        }
    }
    EXPECT_FALSE(Expected.Next(Picture, DefaultPicture))
        << "the ffmpeg tool gave more pictures than ffprobe";
    return Result;
}

// A picture exactly as meant is not the default conversion's: the pictures
// of the default conversion are made only when some are not exact.
TPictureComparison ComparePictures(const path& Source, const std::vector<int64_t>& Times, int Width,
                                   int Height, const path& Flv, const TShowing& Showing) {
    const TPictureComparison AsMeant =
        WalkPictures(Source, Times, Width, Height, Flv, {Showing.Filters, {}});
    if (Showing.DefaultFilters.empty() || std::isinf(AsMeant.WorstPsnr)) {
        return AsMeant;
    }
    return WalkPictures(Source, Times, Width, Height, Flv, Showing);
}

TProbedTimes ProbeTimes(const path& File) {
    return ProbedTimesOf(Probe(File,
                               "stream=index,codec_type:frame=stream_index,media_type,"
                               "best_effort_timestamp_time"));
}

TProbedTimes ProbedTimesOf(const Sections& Probed) {
    std::optional<int64_t> Video;
    for (const auto& [Kind, Values] : Probed) {
        if (Kind == "stream" && Values.at("codec_type") == "video" && !Video) {
            Video = Number(Values, "index");
        }
    }
    TProbedTimes Times;
    for (const auto& [Kind, Values] : Probed) {
        if (Kind != "frame" || Values.at("best_effort_timestamp_time") == "N/A") {
            continue;
        }
        const double Time = std::stod(Values.at("best_effort_timestamp_time"));
        if (Values.at("media_type") == "video" && Number(Values, "stream_index") == Video) {
            Times.Pictures.push_back(Time);
        } else if (Values.at("media_type") == "audio" && !Times.FirstSound) {
            Times.FirstSound = Time;
        }
    }
    return Times;
}

int64_t RoundedMs(double Seconds, double Start) {
    const int64_t Microseconds = std::llround((Seconds - Start) * 1e6);  // as ffprobe prints them
    return (Microseconds + 500) / 1000;
}

double WorstTimeErrorMs(const std::vector<int64_t>& FlvTimesMs, const TProbedTimes& Probed) {
    std::vector<double> Pictures;
    for (const double Time : Probed.Pictures) {
        Pictures.push_back((Time - Probed.Start()) * 1000);
    }
    std::sort(Pictures.begin(), Pictures.end());
    double Worst = 0;
    for (const int64_t Frame : FlvTimesMs) {
        const auto After = std::lower_bound(Pictures.begin(), Pictures.end(), Frame);
        double Nearest = INFINITY;
        if (After != Pictures.end()) {
            Nearest = *After - Frame;
        }
        if (After != Pictures.begin()) {
            Nearest = std::min(Nearest, Frame - *std::prev(After));
        }
        Worst = std::max(Worst, Nearest);
    }
    return Worst;
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
