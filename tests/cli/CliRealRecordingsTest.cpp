// Real recordings made by other tools (screen recorders, cameras, capture
// cards, old Video for Windows codecs), kept beside the checkout: each one
// converts to an FLV file that shows FFmpeg's pictures of the AVI at their
// times, with all of its sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "CliTestKit.h"
#include "support/Fixtures.h"
#include "support/FlvDecoding.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

// Where only the conversion from YUV to RGB differs, pictures come within
// this of FFmpeg's; RGB and palette video must be exact.
constexpr double LowestYuvPsnr = 45;
// The MP3 encoder's delay and its last frame, cut at the video's end.
constexpr double SoundSlackSeconds = 0.1;

using Fields = std::map<std::string, std::string>;

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

// A time in a stream's time base, in whole milliseconds rounded up, as the
// FLV stores sample times.
int64_t Milliseconds(int64_t Units, int64_t Numerator, int64_t Denominator) {
    const __int128 Scaled = static_cast<__int128>(Units) * Numerator * 1000;
    return static_cast<int64_t>((Scaled + Denominator - 1) / Denominator);
}

struct TStreamReading {
    int Index = -1;
    int64_t TimeBaseNumerator = 1;
    int64_t TimeBaseDenominator = 1;
    int Width = 0;
    int Height = 0;
    std::string PixelFormat;
    int64_t SampleRate = 0;
};

// FFmpeg's reading of the first video and audio stream of a file.
struct TFfmpegReading {
    TStreamReading Video;
    std::optional<TStreamReading> Audio;
    // The time of each picture FFmpeg's decoder gives. AVI chunks carry no
    // times: the pictures, in the order they come out, take the times of the
    // chunks that gave one (chunks of screen codecs meaning "nothing
    // changed" give none). FFmpeg's own guess from the decoding times lags
    // by the decoder's delay where pictures are reordered.
    std::vector<int64_t> PictureTimesMs;
    int64_t VideoEndMs = 0;   // where the last chunk's frame ends
    double SoundSeconds = 0;  // from the start of the file to the last sample
};

TStreamReading StreamOf(const Fields& Values) {
    TStreamReading Stream;
    Stream.Index = static_cast<int>(Number(Values, "index"));
    const std::string& TimeBase = Values.at("time_base");
    Stream.TimeBaseNumerator = std::stoll(TimeBase.substr(0, TimeBase.find('/')));
    Stream.TimeBaseDenominator = std::stoll(TimeBase.substr(TimeBase.find('/') + 1));
    Stream.Width = static_cast<int>(Number(Values, "width"));
    Stream.Height = static_cast<int>(Number(Values, "height"));
    Stream.PixelFormat = Values.count("pix_fmt") ? Values.at("pix_fmt") : "";
    Stream.SampleRate = Number(Values, "sample_rate");
    return Stream;
}

// From the start of the file to the last sample of the first audio stream.
double SoundSeconds(const std::vector<std::pair<std::string, Fields>>& Sections,
                    const TStreamReading& Audio) {
    int64_t Samples = 0;
    std::optional<int64_t> Start;
    for (const auto& [Kind, Values] : Sections) {
        if (Kind == "frame" && Number(Values, "stream_index") == Audio.Index) {
            Start = Start.value_or(Number(Values, "best_effort_timestamp"));
            Samples += Number(Values, "nb_samples");
        }
    }
    if (Audio.SampleRate <= 0) {
        return 0;
    }
    return static_cast<double>(Start.value_or(0)) * Audio.TimeBaseNumerator /
               Audio.TimeBaseDenominator +
           static_cast<double>(Samples) / Audio.SampleRate;
}

TFfmpegReading ReadWithFfmpeg(const path& File) {
    const auto Sections = Probe(File,
                                "stream=index,codec_type,time_base,sample_rate,pix_fmt,width,height"
                                ":packet=stream_index,pos,dts,duration"
                                ":frame=stream_index,pkt_pos,best_effort_timestamp,nb_samples");
    TFfmpegReading Reading;
    // ffprobe lists the streams after their packets and frames.
    for (const auto& [Kind, Values] : Sections) {
        if (Kind == "stream" && Values.at("codec_type") == "video" && Reading.Video.Index < 0) {
            Reading.Video = StreamOf(Values);
        } else if (Kind == "stream" && Values.at("codec_type") == "audio" && !Reading.Audio) {
            Reading.Audio = StreamOf(Values);
        }
    }
    const TStreamReading& Video = Reading.Video;
    const auto VideoMs = [&](int64_t Units) {
        return Milliseconds(Units, Video.TimeBaseNumerator, Video.TimeBaseDenominator);
    };
    std::map<int64_t, int64_t> ChunkTimes;  // by the chunk's position in the file
    std::vector<int64_t> PicturePositions;
    for (const auto& [Kind, Values] : Sections) {
        const int64_t Stream = Number(Values, "stream_index");
        if (Kind == "packet" && Stream == Video.Index) {
            ChunkTimes[Number(Values, "pos")] = VideoMs(Number(Values, "dts"));
            Reading.VideoEndMs = std::max(
                Reading.VideoEndMs,
                VideoMs(Number(Values, "dts") + std::max<int64_t>(Number(Values, "duration"), 1)));
        } else if (Kind == "frame" && Stream == Video.Index) {
            PicturePositions.push_back(Number(Values, "pkt_pos"));
        }
    }
    std::sort(PicturePositions.begin(), PicturePositions.end());
    for (const int64_t Position : PicturePositions) {
        Reading.PictureTimesMs.push_back(ChunkTimes.at(Position));
    }
    if (Reading.Audio) {
        Reading.SoundSeconds = SoundSeconds(Sections, *Reading.Audio);
    }
    return Reading;
}

// The pictures of FFmpeg's decoding of the AVI, as the ffmpeg tool turns
// them into BGR, one at a time: a long recording's would not fit in memory.
class TFfmpegPictures {
public:
    TFfmpegPictures(const path& File, size_t PictureBytes) : PictureBytes(PictureBytes) {
        const std::string Command = "ffmpeg -v error -nostdin -i '" + File.string() +
                                    "' -map 0:v:0 -fps_mode passthrough -f rawvideo "
                                    "-pix_fmt bgr24 -";
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

// Infinity when equal.
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

struct TPictureComparison {
    size_t FlvFrames = 0;
    double WorstPsnr = INFINITY;
    int64_t WorstAtMs = 0;
    int64_t LastFlvFrameMs = 0;
};

// Walks both files' pictures in time order: at every time one of them
// changes picture, the FLV must show what FFmpeg shows then. Before FFmpeg's
// first picture (a capture that dropped its first frames) that first picture
// counts.
TPictureComparison ComparePictures(const path& Avi, const TFfmpegReading& Reading,
                                   const path& Flv) {
    TPictureComparison Result;
    const TStreamReading& Video = Reading.Video;
    const std::vector<int64_t>& Times = Reading.PictureTimesMs;
    TFfmpegPictures Expected(Avi, static_cast<size_t>(Video.Width) * Video.Height * 3);
    TFlvVideoFrames Converted(Flv);
    std::vector<uint8_t> Picture;
    std::optional<DecodedFrame> Shown = Converted.Next();
    if (Times.empty() || !Expected.Next(Picture) || !Shown) {
        ADD_FAILURE() << "no picture to compare";
        return Result;
    }
    EXPECT_EQ(Shown->TimestampMs, 0);
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

void CheckRecording(const path& Avi, const path& Folder) {
    SCOPED_TRACE(Avi.filename().string());
    const TFfmpegReading Reading = ReadWithFfmpeg(Avi);
    const path Flv = Folder / (Avi.stem().string() + ".flv");
    // libdeflate compresses the blocks several times faster; the pictures
    // and their times are the same.
    const TProcessResult Run = RunCli({"--quiet", "--yes", "--deflate", "libdeflate", "--audio",
                                       Reading.Audio ? "avi" : "none", Avi.string(), Flv.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(Run.Errors.find("could not be decoded"), std::string::npos) << Run.Errors;

    const TPictureComparison Pictures = ComparePictures(Avi, Reading, Flv);
    const bool Yuv = Reading.Video.PixelFormat.rfind("yuv", 0) == 0;
    EXPECT_GE(Pictures.WorstPsnr, Yuv ? LowestYuvPsnr : INFINITY)
        << "at " << Pictures.WorstAtMs << " ms";
    EXPECT_LT(Pictures.LastFlvFrameMs, Reading.VideoEndMs);

    const double VideoEnd = static_cast<double>(Reading.VideoEndMs) / 1000;
    const double Sound = DecodedSoundSeconds(Flv);
    const double AviSound = Reading.SoundSeconds;
    EXPECT_NEAR(Sound, std::min(AviSound, VideoEnd), SoundSlackSeconds);

    std::cout << std::left << std::setw(36) << Avi.filename().string() << std::right << std::setw(5)
              << Reading.PictureTimesMs.size() << " pictures, " << std::setw(5)
              << Pictures.FlvFrames << " FLV frames, " << std::setw(8)
              << PsnrText(Pictures.WorstPsnr) << ", last FLV frame at " << std::setw(6)
              << Pictures.LastFlvFrameMs << " ms, video ends at " << std::setw(6)
              << Reading.VideoEndMs << " ms, sound " << std::fixed << std::setprecision(2) << Sound
              << " s (AVI " << AviSound << " s)\n";
}

TEST(CliRealRecordings, ShowFfmpegsPicturesAtTheirTimesWithAllTheirSound) {
    const path Corpus = path(QUORVANE_SOURCE_DIR).parent_path() / "shared" / "real-avi";
    if (!fs::is_directory(Corpus)) {
        GTEST_SKIP() << "The real recordings are not at " << Corpus
                     << " (the checkout's parent folder holds shared/real-avi on CI).";
    }
    std::vector<path> Files;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Corpus)) {
        if (Entry.path().extension() == ".avi") {
            Files.push_back(Entry.path());
        }
    }
    std::sort(Files.begin(), Files.end());
    ASSERT_FALSE(Files.empty()) << Corpus;
    const path Folder = FreshDir("RealRecordings");
    for (const path& File : Files) {
        CheckRecording(File, Folder);
    }
}

}  // namespace
}  // namespace quorvane::test
