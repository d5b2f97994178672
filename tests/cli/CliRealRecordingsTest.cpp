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
#include "PictureComparison.h"
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

    const TPictureComparison Pictures = ComparePictures(
        Avi, Reading.PictureTimesMs, Reading.Video.Width, Reading.Video.Height, Flv);
    // AVI chunks carry no times: the first picture starts the FLV.
    EXPECT_EQ(Pictures.FirstFlvFrameMs, 0);
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
