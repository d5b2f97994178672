// Real recordings made by other tools (screen recorders, cameras, capture
// cards, old Video for Windows codecs; phones, desktops and browsers in
// modern containers), kept beside the checkout: each one converts to an FLV
// file that shows FFmpeg's pictures at their times, in the colours they are
// meant to have, with all of its sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <string_view>

#include "CliTestKit.h"
#include "PictureComparison.h"
#include "platform/audio/Mp3EncoderDriver.h"
#include "support/Fixtures.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

// Of the default MP3 format: its last frame, cut at the video's end, and
// the silence the encoder and a decoder put before the sound.
constexpr double SoundSlackSeconds = (1152.0 + platform::Mp3StreamDelay) / 44100;

const std::string StreamEntries =
    "stream=index,codec_type,codec_name,time_base,sample_rate,width,height";
const std::string FrameEntries = std::string(":frame=") + ColourFrameEntries;

// A time in a stream's time base, in whole milliseconds rounded up, as the
// FLV stores sample times.
int64_t Milliseconds(int64_t Units, int64_t Numerator, int64_t Denominator) {
    const __int128 Scaled = static_cast<__int128>(Units) * Numerator * 1000;
    return static_cast<int64_t>((Scaled + Denominator - 1) / Denominator);
}

// FFmpeg's reading of a recording.
struct TFfmpegReading {
    Fields Video;  // ffprobe's fields of the first video stream
    TShowing Meant;
    bool HasSound = false;
    // The time of each picture FFmpeg's decoder gives, in milliseconds from
    // the file's start.
    std::vector<int64_t> PictureTimesMs;
    // The pictures' own times, where the container has them.
    std::optional<TProbedTimes> Probed;
    int64_t VideoEndMs = 0;   // where the last frame ends
    double SoundSeconds = 0;  // from the start of the file to the last sample

    int Width() const { return static_cast<int>(Number(Video, "width")); }
    int Height() const { return static_cast<int>(Number(Video, "height")); }
};

void TakeStreams(const Sections& Probed, TFfmpegReading& Reading) {
    Reading.Video = FirstStreamOf(Probed, "video");
    Reading.Meant = MeantColours(Probed);
    Reading.HasSound = !FirstStreamOf(Probed, "audio").empty();
}

// AVI chunks carry no times: the pictures, in the order they come out, take
// the times of the chunks that gave one (chunks of screen codecs meaning
// "nothing changed" give none). FFmpeg's own guess from the decoding times
// lags by the decoder's delay where pictures are reordered. The sound lasts
// from its start as long as its samples.
TFfmpegReading ReadAvi(const path& File) {
    const Sections Probed =
        Probe(File, StreamEntries + ":packet=stream_index,pos,dts,duration" + FrameEntries +
                        ",pkt_pos,nb_samples,best_effort_timestamp_time");
    TFfmpegReading Reading;
    TakeStreams(Probed, Reading);
    const Fields Audio = FirstStreamOf(Probed, "audio");
    const int64_t Video = Number(Reading.Video, "index");
    const std::string& TimeBase = Reading.Video.at("time_base");
    const int64_t Numerator = std::stoll(TimeBase.substr(0, TimeBase.find('/')));
    const int64_t Denominator = std::stoll(TimeBase.substr(TimeBase.find('/') + 1));
    std::map<int64_t, int64_t> ChunkTimes;  // by the chunk's position in the file
    std::vector<int64_t> PicturePositions;
    int64_t Samples = 0;
    std::optional<double> SoundStart;
    for (const auto& [Kind, Values] : Probed) {
        const int64_t Stream = Number(Values, "stream_index");
        if (Kind == "packet" && Stream == Video) {
            const int64_t Dts = Number(Values, "dts");
            ChunkTimes[Number(Values, "pos")] = Milliseconds(Dts, Numerator, Denominator);
            Reading.VideoEndMs =
                std::max(Reading.VideoEndMs,
                         Milliseconds(Dts + std::max<int64_t>(Number(Values, "duration"), 1),
                                      Numerator, Denominator));
        } else if (Kind == "frame" && Stream == Video) {
            PicturePositions.push_back(Number(Values, "pkt_pos"));
        } else if (Kind == "frame" && Reading.HasSound && Stream == Number(Audio, "index")) {
            SoundStart = SoundStart.value_or(std::stod(Values.at("best_effort_timestamp_time")));
            Samples += Number(Values, "nb_samples");
        }
    }
    std::sort(PicturePositions.begin(), PicturePositions.end());
    for (const int64_t Position : PicturePositions) {
        Reading.PictureTimesMs.push_back(ChunkTimes.at(Position));
    }
    if (Reading.HasSound) {
        Reading.SoundSeconds =
            SoundStart.value_or(0) + static_cast<double>(Samples) / Number(Audio, "sample_rate");
    }
    return Reading;
}

// Other containers time every picture: their times count from the earlier
// stream's start; the sound lasts to its last frame's end.
TFfmpegReading ReadMediaFile(const path& File) {
    const Sections Probed =
        Probe(File, StreamEntries + ":packet=stream_index,pts_time,duration_time" + FrameEntries +
                        ",media_type,best_effort_timestamp_time,nb_samples");
    TFfmpegReading Reading;
    TakeStreams(Probed, Reading);
    Reading.Probed = ProbedTimesOf(Probed);
    const double Start = Reading.Probed->Start();
    for (const double Time : Reading.Probed->Pictures) {
        Reading.PictureTimesMs.push_back(RoundedMs(Time, Start));
    }
    const auto Seconds = [](const Fields& Values, const std::string& Key) {
        const auto Found = Values.find(Key);
        return Found == Values.end() || Found->second == "N/A" ? 0 : std::stod(Found->second);
    };
    std::map<int64_t, double> Rates;  // of the audio streams
    for (const auto& [Kind, Values] : Probed) {
        if (Kind == "stream" && Values.at("codec_type") == "audio") {
            Rates[Number(Values, "index")] = static_cast<double>(Number(Values, "sample_rate"));
        }
    }
    const int64_t Video = Number(Reading.Video, "index");
    std::optional<int64_t> Sound;  // the first audio stream to give sound
    for (const auto& [Kind, Values] : Probed) {
        const int64_t Stream = Number(Values, "stream_index");
        if (Kind == "packet" && Stream == Video && Values.at("pts_time") != "N/A") {
            const double End = Seconds(Values, "pts_time") + Seconds(Values, "duration_time");
            Reading.VideoEndMs = std::max(Reading.VideoEndMs, RoundedMs(End, Start));
        } else if (Kind == "frame" && Values.at("media_type") == "audio" &&
                   Sound.value_or(Stream) == Stream &&
                   Values.at("best_effort_timestamp_time") != "N/A") {
            Sound = Stream;
            const double End = Seconds(Values, "best_effort_timestamp_time") +
                               static_cast<double>(Number(Values, "nb_samples")) / Rates[Stream];
            Reading.SoundSeconds = std::max(Reading.SoundSeconds, End - Start);
        }
    }
    return Reading;
}

bool IsAvi(const path& File) {
    char Start[12] = {};
    std::ifstream(File, std::ios::binary).read(Start, sizeof Start);
    return std::string_view(Start, 4) == "RIFF" && std::string_view(Start + 8, 4) == "AVI ";
}

void CheckRecording(const path& Recording, const path& Folder) {
    SCOPED_TRACE(Recording.filename().string());
    const TFfmpegReading Reading = IsAvi(Recording) ? ReadAvi(Recording) : ReadMediaFile(Recording);
    const path Flv = Folder / (Recording.filename().string() + ".flv");
    // libdeflate compresses the blocks several times faster; the pictures
    // and their times are the same.
    const TProcessResult Run =
        RunCli({"--quiet", "--yes", "--deflate", "libdeflate", "--audio",
                Reading.HasSound ? "included" : "none", Recording.string(), Flv.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(Run.Errors.find("could not be decoded"), std::string::npos) << Run.Errors;

    const TPictureComparison Pictures = ComparePictures(
        Recording, Reading.PictureTimesMs, Reading.Width(), Reading.Height(), Flv, Reading.Meant);
    // AVI chunks carry no times: the first picture starts the FLV; a stream
    // that starts late keeps its start.
    EXPECT_EQ(Pictures.FirstFlvFrameMs, Reading.Probed ? Reading.PictureTimesMs.front() : 0);
    EXPECT_GE(Pictures.WorstPsnr, Reading.Meant.Filters.empty() ? INFINITY : LowestYuvPsnr)
        << "at " << Pictures.WorstAtMs << " ms";
    EXPECT_EQ(Pictures.DefaultColourPictures, 0u);
    EXPECT_LT(Pictures.LastFlvFrameMs, Reading.VideoEndMs);
    const double TimeError =
        Reading.Probed ? WorstTimeErrorMs(Pictures.FlvTimesMs, *Reading.Probed) : 0;
    EXPECT_LE(TimeError, 1.0);

    const double VideoEnd = static_cast<double>(Reading.VideoEndMs) / 1000;
    const double Sound = DecodedSoundSeconds(Flv);
    EXPECT_NEAR(Sound, std::min(Reading.SoundSeconds, VideoEnd), SoundSlackSeconds);

    std::cout << std::left << std::setw(40) << Recording.filename().string() << std::right
              << std::setw(5) << Reading.PictureTimesMs.size() << " pictures, " << std::setw(5)
              << Pictures.FlvFrames << " FLV frames, " << std::setw(5) << Pictures.ExactPictures
              << " of " << std::setw(5) << Pictures.ShownPictures << " shown exact, worst "
              << std::setw(8) << PsnrText(Pictures.WorstPsnr) << ", times off by " << std::fixed
              << std::setprecision(3) << TimeError << " ms, last FLV frame at " << std::setw(6)
              << Pictures.LastFlvFrameMs << " ms, video ends at " << std::setw(6)
              << Reading.VideoEndMs << " ms, sound " << std::setprecision(2) << Sound
              << " s (source " << Reading.SoundSeconds << " s)\n";
}

// Every file of the folder shared/Name beside the checkout; skipped when
// there is none.
void CheckRecordingsIn(const std::string& Name) {
    const path Corpus = path(QUORVANE_SOURCE_DIR).parent_path() / "shared" / Name;
    if (!fs::is_directory(Corpus)) {
        GTEST_SKIP() << "The real recordings are not at " << Corpus
                     << " (the checkout's parent folder holds shared/" << Name << " on CI).";
    }
    std::vector<path> Files;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Corpus)) {
        if (Entry.is_regular_file() && Entry.path().extension() != ".md") {
            Files.push_back(Entry.path());
        }
    }
    std::sort(Files.begin(), Files.end());
    ASSERT_FALSE(Files.empty()) << Corpus;
    const path Folder = FreshDir("RealRecordings-" + Name);
    for (const path& File : Files) {
        CheckRecording(File, Folder);
    }
}

TEST(CliRealRecordings, AviFilesShowFfmpegsPicturesAtTheirTimesWithAllTheirSound) {
    CheckRecordingsIn("real-avi");
}

TEST(CliRealRecordings, MediaFilesShowFfmpegsPicturesAtTheirTimesInTheirColoursWithTheirSound) {
    CheckRecordingsIn("real-media");
}

}  // namespace
}  // namespace quorvane::test
