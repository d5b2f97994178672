// The AVI's own audio, transcoded to MP3 by quorvane-cli, checked from the
// outside: FFmpeg decodes the FLV's sound and the source's, flvmeta checks
// the file, and the folder holds nothing but the output afterwards.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include "CliTestKit.h"
#include "platform/audio/Mp3EncoderDriver.h"
#include "support/AviPatches.h"
#include "support/Fixtures.h"
#include "support/FlvmetaCheck.h"
#include "support/TestPaths.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

constexpr double ToneHz = 1000;

// An audio stream that holds no sample.
path AviWithEmptyAudio() {
    return Fixture("avi-audio-empty.avi",
                   "-f lavfi -i testsrc2=size=32x24:rate=5:duration=2 "
                   "-f lavfi -i sine=sample_rate=44100 -af atrim=end_sample=0 "
                   "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le");
}

double ToneEnergy(const std::vector<float>& Samples, double Hz, uint32_t Rate) {
    double Cos = 0;
    double Sin = 0;
    for (size_t N = 0; N < Samples.size(); ++N) {
        const double Phase = 2 * M_PI * Hz * static_cast<double>(N) / Rate;
        Cos += Samples[N] * std::cos(Phase);
        Sin += Samples[N] * std::sin(Phase);
    }
    return Cos * Cos + Sin * Sin;
}

// The frequency, in whole hertz from half to twice Hz, at which the sound's
// spectrum peaks.
double PeakFrequency(const std::vector<float>& Samples, double Hz, uint32_t Rate) {
    double Peak = 0;
    double Best = -1;
    for (double Probe = Hz / 2; Probe <= Hz * 2; Probe += 1) {
        const double Energy = ToneEnergy(Samples, Probe, Rate);
        if (Energy > Best) {
            Best = Energy;
            Peak = Probe;
        }
    }
    return Peak;
}

// The sine of Hz that fits the sound best (least squares, after its mean
// is taken off) against what is left, which is orthogonal to it: the
// signal-to-noise ratio in dB.
double ToneSnrDb(const std::vector<float>& Samples, double Hz, uint32_t Rate) {
    double Mean = 0;
    for (float Sample : Samples) {
        Mean += Sample;
    }
    Mean /= static_cast<double>(Samples.size());
    double CC = 0, SS = 0, CS = 0, XC = 0, XS = 0, XX = 0;
    for (size_t N = 0; N < Samples.size(); ++N) {
        const double Phase = 2 * M_PI * Hz * static_cast<double>(N) / Rate;
        const double C = std::cos(Phase), S = std::sin(Phase), X = Samples[N] - Mean;
        CC += C * C, SS += S * S, CS += C * S, XC += X * C, XS += X * S, XX += X * X;
    }
    const double Determinant = CC * SS - CS * CS;
    const double A = (XC * SS - XS * CS) / Determinant;
    const double B = (XS * CC - XC * CS) / Determinant;
    const double Signal = A * XC + B * XS;  // the fit's energy
    return 10 * std::log10(Signal / (XX - Signal));
}

// The sound without the encoder's lead-in and the last frames.
std::vector<float> Middle(const std::vector<float>& Samples) {
    constexpr size_t Margin = 4096;
    if (Samples.size() <= 2 * Margin) {
        return {};
    }
    return {Samples.begin() + Margin, Samples.end() - Margin};
}

std::set<uint8_t> SoundBytes(const FlvFile& File) {
    std::set<uint8_t> Bytes;
    for (const FlvTag& Tag : File.Tags) {
        if (Tag.Type == AudioTag) {
            Bytes.insert(Tag.FirstDataByte);
        }
    }
    return Bytes;
}

std::vector<std::string> FilesIn(const path& Folder) {
    std::vector<std::string> Names;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder)) {
        Names.push_back(Entry.path().filename().string());
    }
    return Names;
}

// The --mp3-format index of the offered format described as Text.
std::string Mp3FormatIndex(const std::string& Text) {
    std::istringstream Listing(RunCli({"--list-mp3-formats"}).Output);
    for (std::string Line; std::getline(Listing, Line);) {
        const size_t Colon = Line.find(": ");
        if (Line.substr(Colon + 2) == Text) {
            return Line.substr(0, Colon);
        }
    }
    ADD_FAILURE() << "no MP3 format " << Text;
    return "0";
}

const std::string DefaultFormat = "128 kBit/s, 44,100 Hz, Stereo";

struct AviAudioCase {
    std::string Name;
    double Seconds;  // of tone; 0: an audio stream with no sample
    uint32_t SourceRate;
    std::string Stored;     // ffmpeg's arguments for the channels and codec
    std::string Mp3Format;  // as --list-mp3-formats describes it
    uint8_t SoundByte;      // MP3, rate code, 16 bits, stereo flag
    uint32_t TargetRate;
    uint32_t SamplesPerFrame;
    // Measured: about 73 dB from 16-bit PCM or MP3, 55 dB from AAC, 36 dB
    // from Vorbis, 32 dB from 8-bit PCM or IMA ADPCM (their own noise).
    double MinimumSnrDb;
    bool WithoutSetUp = false;  // the format's extra bytes (cbSize) taken off

    path Made() const {
        return Seconds == 0 ? AviWithEmptyAudio()
                            : AviWithTone("tone-" + Name + ".avi", Seconds,
                                          "-ar " + std::to_string(SourceRate) + " " + Stored);
    }
    path Avi() const {
        if (!WithoutSetUp) {
            return Made();
        }
        return DerivedFixture("tone-" + Name + "-no-set-up.avi", Made(),
                              [](std::vector<uint8_t> File) {
                                  PutLE16(File, StreamChunk(File, 1, "strf").DataOffset + 16, 0);
                                  return File;
                              });
    }
};

void PrintTo(const AviAudioCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliAviAudioRun : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Output = Dir / "out.flv";
    }

    path Dir;
    path Output;
};

class CliAviAudio : public CliAviAudioRun, public ::testing::WithParamInterface<AviAudioCase> {};

TEST_P(CliAviAudio, SoundComesBackAtItsFrequencyAndLength) {
    const AviAudioCase& Case = GetParam();
    const path Avi = Case.Avi();
    const TProcessResult Run =
        RunCli({"--audio", "avi", "--mp3-format", Mp3FormatIndex(Case.Mp3Format), Avi.string(),
                Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.flv"});
    const FlvFile File = ReadFlvFile(Output);
    // Audio is announced in the header before the sound is read.
    EXPECT_EQ(File.Flags, 0x05);
    if (Case.Seconds == 0) {
        EXPECT_TRUE(SoundBytes(File).empty());
        EXPECT_TRUE(FlvmetaAccepts(Output, {flvmeta::NoAudioTag}));
        return;
    }
    EXPECT_TRUE(FlvmetaAccepts(Output));
    EXPECT_EQ(SoundBytes(File), std::set<uint8_t>{Case.SoundByte});

    // FFmpeg itself can't decode raw AAC without its set-up.
    const std::vector<float> Source = DecodeSound(Case.Made(), Case.SourceRate, Dir);
    const std::vector<float> Sound = DecodeSound(Output, Case.TargetRate, Dir);
    const double SourceSamples =
        static_cast<double>(Source.size()) * Case.TargetRate / Case.SourceRate;
    const double Excess = static_cast<double>(Sound.size()) - SourceSamples;
    // Decoded, source sample n is sample Mp3StreamDelay + n: every one is
    // there, and at most a frame of silence completes the last frame.
    EXPECT_GE(Excess, platform::Mp3StreamDelay);
    EXPECT_LE(Excess, Case.SamplesPerFrame + platform::Mp3StreamDelay);

    const std::vector<float> Steady = Middle(Sound);
    const double Peak = PeakFrequency(Steady, ToneHz, Case.TargetRate);
    const double Snr = ToneSnrDb(Steady, ToneHz, Case.TargetRate);
    EXPECT_EQ(Peak, ToneHz);
    EXPECT_GE(Snr, Case.MinimumSnrDb);
    std::cout << Case.Name << ": source " << SourceSamples / Case.TargetRate << " s, FLV "
              << static_cast<double>(Sound.size()) / Case.TargetRate << " s (" << Excess
              << " samples more), peak " << Peak << " Hz, SNR " << Snr << " dB\n";
}

const std::string Stereo16 = "-ac 2 -c:a pcm_s16le";
const std::string Mono16 = "-ac 1 -c:a pcm_s16le";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CliAviAudio,
    ::testing::Values(
        // Chunks of 352800 bytes: two seconds each, the last one partly filled.
        AviAudioCase{"pcm16_stereo_44100", 5.3, 44100, Stereo16, DefaultFormat, 0x2F, 44100, 1152,
                     60},
        AviAudioCase{"pcm16_mono_22050", 3.7, 22050, Mono16, "64 kBit/s, 22,050 Hz, Mono", 0x2A,
                     22050, 576, 60},
        AviAudioCase{"pcm8_mono_11025", 3.7, 11025, "-ac 1 -c:a pcm_u8",
                     "32 kBit/s, 11,025 Hz, Mono", 0x26, 11025, 576, 25},
        AviAudioCase{"ima_adpcm_mono_22050", 3.7, 22050, "-ac 1 -c:a adpcm_ima_wav", DefaultFormat,
                     0x2F, 44100, 1152, 25},
        AviAudioCase{"mp3_stereo_44100", 3.7, 44100, "-ac 2 -c:a libmp3lame -b:a 128k",
                     "96 kBit/s, 22,050 Hz, Stereo", 0x2B, 22050, 576, 60},
        // FLAC's parser holds frames until it has seen later ones.
        AviAudioCase{"flac_mono_44100", 3.7, 44100, "-ac 1 -c:a flac", DefaultFormat, 0x2F, 44100,
                     1152, 60},
        // Packets without headers, read a chunk at a time; AAC without its
        // set-up gets one made from the stored rate and channels.
        AviAudioCase{"aac_stereo_44100", 3.7, 44100, "-ac 2 -c:a aac", DefaultFormat, 0x2F, 44100,
                     1152, 50},
        AviAudioCase{"aac_without_set_up", 3.7, 44100, "-ac 2 -c:a aac", DefaultFormat, 0x2F, 44100,
                     1152, 50, true},
        AviAudioCase{"vorbis_stereo_44100", 3.7, 44100, "-ac 2 -c:a libvorbis", DefaultFormat, 0x2F,
                     44100, 1152, 33},
        AviAudioCase{"empty_audio_stream", 0, 44100, Stereo16, DefaultFormat, 0, 44100, 1152, 0},
        // Rates an FLV file can't carry are resampled.
        AviAudioCase{"pcm16_mono_8000", 3.7, 8000, Mono16, "32 kBit/s, 11,025 Hz, Mono", 0x26,
                     11025, 576, 60},
        AviAudioCase{"pcm16_stereo_32000", 3.7, 32000, Stereo16, "64 kBit/s, 22,050 Hz, Stereo",
                     0x2B, 22050, 576, 60},
        AviAudioCase{"pcm16_stereo_48000", 3.7, 48000, Stereo16, DefaultFormat, 0x2F, 44100, 1152,
                     60},
        AviAudioCase{"pcm16_stereo_96000", 3.7, 96000, Stereo16, DefaultFormat, 0x2F, 44100, 1152,
                     60}),
    [](const auto& Info) { return Info.param.Name; });

// The two-second tone (video stream 0 at 5 fps, sound stream 1 at 44100 Hz)
// with one stream's header starting it at sample Start.
path AviWithStreamStartingAt(const std::string& Name, uint32_t Stream, uint32_t Start) {
    const path Avi = AviWithTone("tone-pcm16_stereo_44100-2s.avi", 2, "-ar 44100 " + Stereo16);
    return DerivedFixture(Name, Avi, [Stream, Start](std::vector<uint8_t> File) {
        PutLE32(File, StreamChunk(File, Stream, "strh").DataOffset + StrhStart, Start);
        return File;
    });
}

// The sound is heard from its start time on, after the encoder's delay.
TEST_F(CliAviAudioRun, SoundThatStartsLateKeepsItsPlace) {
    const TProcessResult Run = RunCli(
        {"--audio", "avi", AviWithStreamStartingAt("tone-starting-late.avi", 1, 22050).string(),
         Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const std::vector<float> Sound = DecodeSound(Output, 44100, Dir);
    const auto Heard = std::find_if(Sound.begin(), Sound.end(),
                                    [](float Sample) { return std::fabs(Sample) > 0.05; });
    ASSERT_NE(Heard, Sound.end());
    const double HeardMs = static_cast<double>(Heard - Sound.begin()) * 1000 / 44100;
    EXPECT_NEAR(HeardMs, 500 + platform::Mp3StreamDelay * 1000.0 / 44100, 5);
}

// The sound before the first picture comes before its tag: no tag's time
// is earlier than the one before it.
TEST_F(CliAviAudioRun, TagTimesNeverGoBackWhenThePicturesStartLate) {
    const TProcessResult Run = RunCli(
        {"--audio", "avi", AviWithStreamStartingAt("pictures-starting-late.avi", 0, 5).string(),
         Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const FlvFile File = ReadFlvFile(Output);
    ASSERT_FALSE(File.Tags.empty());
    EXPECT_TRUE(
        std::is_sorted(File.Tags.begin(), File.Tags.end(),
                       [](const FlvTag& A, const FlvTag& B) { return A.Timestamp < B.Timestamp; }));
    EXPECT_EQ(Timestamps(File, VideoTag).front(), 1000u);
    EXPECT_TRUE(FlvmetaAccepts(Output));
}

const std::string TalkFormat = "32 kBit/s, 22,050 Hz, Mono";

// The last audio tag starts one frame before the sound ends, give or take
// the encoder's delay: nothing is lost or added along the way.
TEST_F(CliAviAudioRun, TenMinutesDoNotDrift) {
    const TProcessResult Run = RunCli({"--audio", "avi", "--mp3-format", Mp3FormatIndex(TalkFormat),
                                       TenMinutesWithTone().string(), Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    const std::vector<uint32_t> Audio = Timestamps(ReadFlvFile(Output), AudioTag);
    ASSERT_FALSE(Audio.empty());
    constexpr double FrameMs = 576 * 1000.0 / 22050;
    constexpr double DelayMs = platform::Mp3StreamDelay * 1000.0 / 22050;
    const double SoundEndMs = Audio.back() + FrameMs;
    EXPECT_NEAR(SoundEndMs, 600000, FrameMs + DelayMs);
    std::cout << "10 minutes: " << Audio.size() << " audio tags, the last at " << Audio.back()
              << " ms, its sound ending at " << SoundEndMs << " ms\n";
}

struct InterruptCase {
    std::string Name;
    int Signal;
    int ExitStatus;
};

void PrintTo(const InterruptCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class CliAviAudioInterrupted : public CliAviAudioRun,
                               public ::testing::WithParamInterface<InterruptCase> {};

// Ctrl-C asks for a stop (taken at the pass's next chunk), SIGTERM and
// SIGHUP end the program at once: either way the temporary audio file goes,
// and so does the output, which no frame reached.
TEST_P(CliAviAudioInterrupted, DuringTheAudioPassLeavesNoTemporaryFile) {
    const path Avi = TenMinutesWithTone();
    const path Temporary = Output.string() + "audio";
    TBackgroundProcess Cli(QUORVANE_CLI_PATH, {"--audio", "avi", Avi.string(), Output.string()});
    const auto WrittenSoFar = [&] {
        std::error_code Missing;
        const uintmax_t Size = fs::file_size(Temporary, Missing);
        return Missing ? 0 : Size;
    };
    while (Cli.Running() && WrittenSoFar() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GT(WrittenSoFar(), 0u) << "the audio pass ended before it could be interrupted";
    Cli.Signal(GetParam().Signal);
    const TProcessResult Run = Cli.Wait();
    EXPECT_EQ(Run.ExitStatus, GetParam().ExitStatus) << Run.Errors;
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{});
    if (GetParam().Signal == SIGINT) {
        EXPECT_NE(Run.Output.find("No frame was encoded: " + Output.string() + " was not created."),
                  std::string::npos)
            << Run.Output;
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, CliAviAudioInterrupted,
                         ::testing::Values(InterruptCase{"CtrlC", SIGINT, 130},
                                           InterruptCase{"Terminate", SIGTERM, 128 + SIGTERM},
                                           InterruptCase{"HangUp", SIGHUP, 128 + SIGHUP}),
                         [](const auto& Info) { return Info.param.Name; });

// MP3 stored frame by frame whose index makes the first frame 64000 bytes
// long, more than a chunk (32000 bytes at 128 kbit/s stereo): a read there
// gives no sample.
path AviWhoseReadGivesNoSample() {
    return DerivedFixture(
        "mp3-first-chunk-too-long.avi", AviWithMp3Tone(), [](std::vector<uint8_t> File) {
            const std::vector<RiffEntry> Entries = RiffEntries(File);
            const auto Idx1 =
                std::find_if(Entries.begin(), Entries.end(),
                             [](const RiffEntry& Entry) { return Entry.Id == "idx1"; });
            size_t Entry = Idx1->DataOffset;
            while (std::string(File.begin() + Entry, File.begin() + Entry + 4) != "01wb") {
                Entry += 16;
            }
            PutLE32(File, Entry + 12, 64000);
            return File;
        });
}

TEST_F(CliAviAudioRun, AReadGivingNoSampleEndsTheAudioPass) {
    const TProcessResult Run =
        RunCli({"--audio", "avi", AviWhoseReadGivesNoSample().string(), Output.string()});
    ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
    EXPECT_NE(Run.Errors.find("Error reading audio from the AVI file at sample 0"),
              std::string::npos)
        << Run.Errors;
    EXPECT_TRUE(Timestamps(ReadFlvFile(Output), AudioTag).empty());
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.flv"});
}

}  // namespace
}  // namespace quorvane::test
