// The job driven directly, through a front end that records what it is told.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "job/Mp3Formats.h"
#include "job/ScreenVideoEncoderThread.h"
#include "platform/os/EventLoop.h"
#include "platform/os/MultimediaTimer.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/FlvReader.h"
#include "support/MediaFixtures.h"
#include "support/TestPaths.h"

namespace quorvane {
namespace {

using test::FlvFile;
using test::ReadFlvFile;

struct TMessage {
    std::string Caption;
    std::string Text;
};

class TRecordingFrontEnd : public IJobFrontEnd {
public:
    TJobSettings ReadSettings() override {
        if (!RefusalText.empty()) {
            throw std::runtime_error(RefusalText);
        }
        return Settings;
    }
    void PreparePreview(int32_t Width, int32_t Height) override {
        PreviewWidth = Width;
        PreviewHeight = Height;
    }
    void ShowStatus(const std::string& StepText) override { Steps.push_back(StepText); }
    void ShowProgress(const TProgressReport& Report) override {
        Reports.push_back(Report);
        ReportSteps.push_back(Steps.empty() ? "" : Steps.back());
        if (OnProgress) {
            OnProgress();
        }
    }
    void ShowPreview(const platform::TPicture& Frame) override {
        Previews.push_back(Frame.Width);
        if (OnPreview) {
            OnPreview();
        }
    }
    void ShowResult(const TRunResult& Result) override { Results.push_back(Result); }
    bool AskYesNo(const std::string& Caption, const std::string& Text) override {
        Messages.push_back({Caption, Text});
        return Answer;
    }
    void ShowMessage(const std::string& Caption, const std::string& Text) override {
        Messages.push_back({Caption, Text});
    }

    TJobSettings Settings;
    std::string RefusalText;  // what ReadSettings throws, if anything
    bool Answer = false;
    int32_t PreviewWidth = 0;
    int32_t PreviewHeight = 0;
    std::vector<std::string> Steps;
    std::vector<TProgressReport> Reports;
    std::vector<std::string> ReportSteps;  // the step shown with each report
    std::vector<int32_t> Previews;
    std::vector<TRunResult> Results;
    std::function<void()> OnPreview;
    std::function<void()> OnProgress;
    std::vector<TMessage> Messages;
};

class JobConversion : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMainThreadDispatcher(&Loop);
        Dir = test::FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        Output = (Dir / "out.flv").string();
    }
    void TearDown() override { platform::SetMainThreadDispatcher(nullptr); }

    // A job with the file loaded; owned by the test until it is resumed.
    TAVIToScreenVideoThread* LoadedJob(const std::filesystem::path& Input) {
        auto* Job = new TAVIToScreenVideoThread(FrontEnd);
        Job->LoadVideoFile(Input.string());
        EXPECT_EQ(Job->State(), SourceOpen) << Job->ErrorText();
        return Job;
    }

    // Runs a prepared job to its end; it deletes itself afterwards.
    void Run(TAVIToScreenVideoThread* Job) {
        bool Ended = false;
        Job->OnTerminate = [&](platform::TThread* Sender) {
            Result = static_cast<TAVIToScreenVideoThread*>(Sender)->Result();
            Ended = true;
        };
        Job->Resume();
        Loop.RunUntil([&] { return Ended; }, std::chrono::milliseconds(5));
    }

    platform::TEventLoop Loop;
    TRecordingFrontEnd FrontEnd;
    std::filesystem::path Dir;
    std::string Output;
    TRunResult Result;  // of the run, once it has ended
};

TEST_F(JobConversion, ReportsEachFrameAndTheEndFigures) {
    FrontEnd.Settings.Preview = true;
    TAVIToScreenVideoThread* Job = LoadedJob(test::AviBgr24());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    EXPECT_EQ(Job->State(), EncodingPrepared);
    EXPECT_EQ(FrontEnd.PreviewWidth, 64);
    EXPECT_EQ(FrontEnd.PreviewHeight, 48);
    Run(Job);

    EXPECT_EQ(Result.Outcome, TRunOutcome::Done);
    EXPECT_EQ(FrontEnd.Steps,
              (std::vector<std::string>{"Encoding video...", "Encoding finished successfully."}));
    EXPECT_EQ(FrontEnd.Previews, std::vector<int32_t>(6, 64));
    // Six frames, then the last figures again with the end step.
    ASSERT_EQ(FrontEnd.Reports.size(), 7u);
    EXPECT_EQ(FrontEnd.Reports[0].ProgressPercent, 0);
    EXPECT_TRUE(FrontEnd.Reports[0].SpeedText.empty());
    EXPECT_TRUE(FrontEnd.Reports[0].RemainingText.empty());
    // By stream time: the sixth frame at 334 ms of 400.
    EXPECT_EQ(FrontEnd.Reports[5].ProgressPercent, 84);
    EXPECT_EQ(FrontEnd.Reports[5].SpeedText.rfind("Speed: ", 0), 0u);
    EXPECT_EQ(FrontEnd.Reports[5].RemainingText.rfind("Remaining time: 00:00:", 0), 0u);

    EXPECT_EQ(FrontEnd.Reports[6].RemainingText, FrontEnd.Reports[5].RemainingText);
    // The end figures are the file's: its size, and six frames at 15 fps
    // last 400 ms.
    ASSERT_EQ(FrontEnd.Results.size(), 1u);
    EXPECT_EQ(FrontEnd.Results[0].OutputSize, std::filesystem::file_size(Output));
    EXPECT_EQ(FrontEnd.Results[0].Duration, 400);
    EXPECT_TRUE(FrontEnd.Messages.empty());
}

TEST_F(JobConversion, ThePreviewSwitchTakesEffectFromTheNextFrame) {
    FrontEnd.Settings.Preview = true;
    TAVIToScreenVideoThread* Job = LoadedJob(test::AviBgr24());
    FrontEnd.OnPreview = [&] {
        if (FrontEnd.Previews.size() == 2) {
            Job->SetPreviewWanted(false);
        }
    };
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    Run(Job);
    EXPECT_EQ(FrontEnd.Previews.size(), 2u);
    EXPECT_EQ(FrontEnd.Reports.size(), 7u);
}

// What the audio file's name stands for when the job opens it; opening a
// FIFO for reading would wait for a writer that never comes. A file that
// can't be opened is refused before the output is emptied. The process's
// own memory file opens, but reading its first page fails (EIO), as a file
// on a failing disk does: that fails the run.
struct UnopenableMp3Case {
    std::string Name;
    std::function<void(const std::filesystem::path&)> Make;
    std::string Message = "Impossible to open the audio file ";
    bool FailsTheRun = false;
    size_t Tags = 0;  // the video tags written before the failure
};

void PrintTo(const UnopenableMp3Case& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class JobUnopenableMp3 : public JobConversion,
                         public ::testing::WithParamInterface<UnopenableMp3Case> {};

TEST_P(JobUnopenableMp3, IsRefusedOrFailsTheRunWithAValidFile) {
    const std::filesystem::path Mp3 = Dir / "audio.mp3";
    GetParam().Make(Mp3);
    const std::vector<uint8_t> Kept = {'k', 'e', 'e', 'p'};
    test::WriteFileBytes(Output, Kept);
    FrontEnd.Settings.Audio.Source = TAudioSource::Mp3File;
    FrontEnd.Settings.Audio.Mp3FileName = Mp3.string();
    TAVIToScreenVideoThread* Job = LoadedJob(test::AviBgr24());
    if (GetParam().FailsTheRun) {
        ASSERT_TRUE(Job->PrepareEncoding(Output));
        Run(Job);
        EXPECT_TRUE(Result.Failed());
        EXPECT_EQ(FrontEnd.Steps.back(), "Encoding failed.");
        const FlvFile File = ReadFlvFile(Output);
        EXPECT_EQ(File.Flags, 0x05);
        EXPECT_EQ(File.Tags.size(), GetParam().Tags);
    } else {
        EXPECT_FALSE(Job->PrepareEncoding(Output));
        delete Job;
        EXPECT_EQ(test::ReadFileBytes(Output), Kept);
    }
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_EQ(FrontEnd.Messages[0].Caption, "Error");
    EXPECT_NE(FrontEnd.Messages[0].Text.find(GetParam().Message + Mp3.string()), std::string::npos)
        << FrontEnd.Messages[0].Text;
}

INSTANTIATE_TEST_SUITE_P(
    Names, JobUnopenableMp3,
    ::testing::Values(
        UnopenableMp3Case{"Vanished", [](const std::filesystem::path&) {}},
        UnopenableMp3Case{
            "Fifo", [](const std::filesystem::path& P) { ASSERT_EQ(mkfifo(P.c_str(), 0600), 0); }},
        UnopenableMp3Case{
            "Folder", [](const std::filesystem::path& P) { std::filesystem::create_directory(P); }},
        UnopenableMp3Case{"Unreadable",
                          [](const std::filesystem::path& P) {
                              std::filesystem::create_symlink("/proc/self/mem", P);
                          },
                          "The audio file ", true, 1}),
    [](const ::testing::TestParamInfo<UnopenableMp3Case>& Info) { return Info.param.Name; });

// The first frame was decoded when the file was loaded, and the second may
// have been decoded ahead before the file was cut; the rest are gone, and
// counted.
TEST_F(JobConversion, AnInputTruncatedDuringTheRunIsReportedFrameByFrame) {
    const std::filesystem::path Input = Dir / "input.avi";
    std::filesystem::copy_file(test::AviBgr24(), Input);
    TAVIToScreenVideoThread* Job = LoadedJob(Input);
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    std::filesystem::resize_file(Input, 0);
    Run(Job);

    EXPECT_FALSE(Result.Failed());
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    const std::string Left = " frames of the video could not be decoded and were left out.";
    EXPECT_TRUE(FrontEnd.Messages[0].Text == "5" + Left || FrontEnd.Messages[0].Text == "4" + Left)
        << FrontEnd.Messages[0].Text;
    // The second frame shows what the first does, and the last frame's tag
    // (sending nothing) keeps it shown to the end.
    EXPECT_EQ(ReadFlvFile(Output).Tags.size(), 2u);
}

// The AVI's own audio, to the first MP3 format offered.
void ChooseAviAudio(TAudioSettings& Audio) {
    const TMp3FormatOffer Offer = EnumerateMP3Formats();
    ASSERT_FALSE(Offer.empty());
    Audio.Source = TAudioSource::AviAudio;
    Audio.MP3Format = Offer[0].Format;
    Audio.MP3InputFormat = Offer[0].InputFormat;
}

std::filesystem::path FiveSecondsOfTone() {
    return test::Fixture("tone-pcm16-stereo-44100-5s.avi",
                         "-f lavfi -i testsrc2=size=32x24:rate=5:duration=5 "
                         "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=5 "
                         "-c:v rawvideo -pix_fmt bgr24 -ac 2 -c:a pcm_s16le");
}

// Five seconds of 16-bit stereo at 44100 Hz: chunks of two seconds, each
// reported from its first sample, so the last one reads below 100 %.
TEST_F(JobConversion, TheAudioPassReportsEachChunk) {
    ChooseAviAudio(FrontEnd.Settings.Audio);
    TAVIToScreenVideoThread* Job = LoadedJob(FiveSecondsOfTone());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    Run(Job);

    ASSERT_FALSE(FrontEnd.Steps.empty());
    EXPECT_EQ(FrontEnd.Steps[0], "Encoding audio...");
    std::vector<int> Percents;
    for (size_t I = 0; I < FrontEnd.Reports.size(); ++I) {
        if (FrontEnd.ReportSteps[I] == "Encoding audio...") {
            Percents.push_back(FrontEnd.Reports[I].ProgressPercent);
        }
    }
    EXPECT_EQ(Percents, (std::vector<int>{0, 40, 80}));
    EXPECT_TRUE(FrontEnd.Reports[0].SpeedText.empty());
    EXPECT_TRUE(FrontEnd.Reports[0].RemainingText.empty());
    EXPECT_EQ(FrontEnd.Reports[1].RemainingText.rfind("Remaining time: ", 0), 0u);
    EXPECT_TRUE(FrontEnd.Messages.empty());
}

// With a range to 2 s, the pass reads to a second past it: the chunks of
// 0 and 2 s, of 3 s.
TEST_F(JobConversion, TheAudioPassOfARangeReportsUpToWhereItReads) {
    ChooseAviAudio(FrontEnd.Settings.Audio);
    FrontEnd.Settings.Range = {1000, 2000};
    TAVIToScreenVideoThread* Job = LoadedJob(FiveSecondsOfTone());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    Run(Job);

    std::vector<int> Percents;
    for (size_t I = 0; I < FrontEnd.Reports.size(); ++I) {
        if (FrontEnd.ReportSteps[I] == "Encoding audio...") {
            Percents.push_back(FrontEnd.Reports[I].ProgressPercent);
        }
    }
    EXPECT_EQ(Percents, (std::vector<int>{0, 67}));
    EXPECT_EQ(Result.Duration, 1000);
}

// Stop asked at the first chunk's report: the pass converts no other chunk,
// no video follows, and neither the output nor the temporary file is left.
TEST_F(JobConversion, AStopEndsTheAudioPassAtTheNextChunk) {
    ChooseAviAudio(FrontEnd.Settings.Audio);
    TAVIToScreenVideoThread* Job = LoadedJob(FiveSecondsOfTone());
    FrontEnd.OnProgress = [&] { Job->Terminate(); };
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    Run(Job);

    EXPECT_FALSE(Result.Failed());
    EXPECT_FALSE(Result.OutputWritten);
    EXPECT_EQ(Result.Outcome, TRunOutcome::Stopped);
    EXPECT_EQ(FrontEnd.Steps,
              (std::vector<std::string>{"Encoding audio...", "Encoding stopped by user."}));
    // The first chunk's report, then the same figures with the end step.
    EXPECT_EQ(FrontEnd.ReportSteps,
              (std::vector<std::string>{"Encoding audio...", "Encoding stopped by user."}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 0);
}

// A wall clock that moves 1 ms a reading, and as much as the test says
// between readings.
std::atomic<uint32_t> ClockTicks{0};

uint32_t TickingClock() {
    return ++ClockTicks;
}

struct ScopedTickingClock {
    ScopedTickingClock() { platform::SetTimeSource(TickingClock); }
    ~ScopedTickingClock() { platform::SetTimeSource(nullptr); }
};

double SpeedOf(const TProgressReport& Report) {
    double Speed = 0;
    EXPECT_EQ(std::sscanf(Report.SpeedText.c_str(), "Speed: %lfX", &Speed), 1) << Report.SpeedText;
    return Speed;
}

// Showing a report takes a second here. The audio pass counts that second in
// its next speed figure (its base is taken before the showing); the video
// phase counts from after the showing.
TEST_F(JobConversion, OnlyTheAudioPassCountsTheShowingOfItsFiguresInItsSpeed) {
    const ScopedTickingClock Clock;
    FrontEnd.OnProgress = [] { ClockTicks += 1000; };
    ChooseAviAudio(FrontEnd.Settings.Audio);
    TAVIToScreenVideoThread* Job = LoadedJob(FiveSecondsOfTone());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    Run(Job);

    ASSERT_FALSE(Result.Failed());
    size_t AudioFigures = 0;
    size_t VideoFigures = 0;
    // The last report repeats the figures before it, with the end step.
    for (size_t I = 0; I + 1 < FrontEnd.Reports.size(); ++I) {
        if (FrontEnd.Reports[I].SpeedText.empty()) {
            continue;
        }
        // Two seconds of sound a chunk, over at least the second of showing.
        if (FrontEnd.ReportSteps[I] == "Encoding audio...") {
            EXPECT_LE(SpeedOf(FrontEnd.Reports[I]), 2.0) << I;
            ++AudioFigures;
        } else {
            EXPECT_GT(SpeedOf(FrontEnd.Reports[I]), 1.0) << I;
            ++VideoFigures;
        }
    }
    EXPECT_EQ(AudioFigures, 2u);
    EXPECT_GT(VideoFigures, 0u);
}

// A full disk while the MP3 is written ends the run; the temporary file goes.
TEST_F(JobConversion, ATemporaryFileThatCannotBeWrittenEndsTheRunAndGoes) {
    ChooseAviAudio(FrontEnd.Settings.Audio);
    TAVIToScreenVideoThread* Job = LoadedJob(FiveSecondsOfTone());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    {
        test::ScopedFileSizeLimit Limit(20000);
        Run(Job);
    }
    EXPECT_TRUE(Result.Failed());
    EXPECT_EQ(FrontEnd.Steps.back(), "Encoding failed.");
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_NE(FrontEnd.Messages[0].Text.find("temporary audio file"), std::string::npos);
    // Nor is the output, which no frame reached, left behind.
    EXPECT_FALSE(Result.OutputWritten);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 0);
}

// A name one byte too long once "audio" is added: the temporary file could
// not be made, so the run is refused, and the existing output is left as it
// was, not emptied first.
TEST_F(JobConversion, AnOutputWithNoRoomForItsTemporaryFileIsLeftAsItWas) {
    ChooseAviAudio(FrontEnd.Settings.Audio);
    const std::string Longest = (Dir / (std::string(NAME_MAX - 4 - 4, 'x') + ".flv")).string();
    const std::vector<uint8_t> Kept = {'k', 'e', 'e', 'p'};
    test::WriteFileBytes(Longest, Kept);
    std::unique_ptr<TAVIToScreenVideoThread> Job(LoadedJob(FiveSecondsOfTone()));
    EXPECT_FALSE(Job->PrepareEncoding(Longest));
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_NE(FrontEnd.Messages[0].Text.find("The output file name is too long"), std::string::npos)
        << FrontEnd.Messages[0].Text;
    EXPECT_EQ(test::ReadFileBytes(Longest), Kept);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 1);
}

// No MP3 format offered (the pair left empty): the AVI's audio can't be
// converted, and the user may go on with the video alone.
TEST_F(JobConversion, WithoutAnMp3FormatTheAviAudioGivesWayToVideoOnly) {
    FrontEnd.Settings.Audio.Source = TAudioSource::AviAudio;
    FrontEnd.Answer = true;
    TAVIToScreenVideoThread* Job = LoadedJob(test::AviPcm16Stereo());
    ASSERT_TRUE(Job->AudioUsable());
    ASSERT_TRUE(Job->PrepareEncoding(Output));
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_EQ(FrontEnd.Messages[0].Text.rfind("The audio contained in the video file can not be "
                                              "converted.",
                                              0),
              0u);
    Run(Job);

    EXPECT_FALSE(Result.Failed());
    const FlvFile File = ReadFlvFile(Output);
    EXPECT_EQ(File.Flags, 0x01);
    EXPECT_FALSE(File.Tags.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 1);
}

// A stop before the first frame writes nothing: no file where there was
// none, and a file that was there stays as it was.
TEST_F(JobConversion, AStopBeforeTheFirstFrameWritesNothing) {
    for (const bool Existed : {false, true}) {
        const std::vector<uint8_t> Kept = {'k', 'e', 'p', 't'};
        if (Existed) {
            test::WriteFileBytes(Output, Kept);
        }
        TAVIToScreenVideoThread* Job = LoadedJob(test::AviBgr24());
        ASSERT_TRUE(Job->PrepareEncoding(Output));
        Job->Terminate();
        Run(Job);

        EXPECT_FALSE(Result.Failed());
        EXPECT_FALSE(Result.OutputWritten);
        EXPECT_EQ(FrontEnd.Steps.back(), "Encoding stopped by user.");
        EXPECT_EQ(std::filesystem::exists(Output), Existed);
        if (Existed) {
            EXPECT_EQ(test::ReadFileBytes(Output), Kept);
        }
    }
}

// A file size limit lets the plain file be written but not its indexed copy.
TEST_F(JobConversion, MetadataThatCannotBeWrittenLeavesThePlainFileWhole) {
    TAVIToScreenVideoThread* Plain = LoadedJob(test::AviBgr24());
    ASSERT_TRUE(Plain->PrepareEncoding(Output));
    Run(Plain);
    const std::vector<uint8_t> PlainBytes = test::ReadFileBytes(Output);

    FrontEnd.Settings.AddMetadata = true;
    const std::filesystem::path Indexed = Dir / "indexed.flv";
    TAVIToScreenVideoThread* Job = LoadedJob(test::AviBgr24());
    ASSERT_TRUE(Job->PrepareEncoding(Indexed.string()));
    {
        test::ScopedFileSizeLimit Limit(PlainBytes.size() + 100);
        Run(Job);
    }
    EXPECT_TRUE(Result.Failed());
    EXPECT_EQ(FrontEnd.Steps.back(), "Encoding finished without metadata.");
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_EQ(FrontEnd.Messages[0].Caption, "Error");
    EXPECT_EQ(FrontEnd.Messages[0].Text.rfind("The metadata could not be added to", 0), 0u);
    EXPECT_NE(FrontEnd.Messages[0].Text.find("File too large"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(Indexed), PlainBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), {}), 2);
}

TEST_F(JobConversion, AnOutputThatCannotBeCreatedIsExplained) {
    std::unique_ptr<TAVIToScreenVideoThread> Job(LoadedJob(test::AviBgr24()));
    EXPECT_FALSE(Job->PrepareEncoding((Dir / "missing" / "out.flv").string()));
    ASSERT_EQ(FrontEnd.Messages.size(), 1u);
    EXPECT_EQ(FrontEnd.Messages[0].Caption, "Error");
    EXPECT_NE(FrontEnd.Messages[0].Text.find("Impossible to create the output file"),
              std::string::npos);
    EXPECT_NE(FrontEnd.Messages[0].Text.find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Dir / "missing"));
}

// A value the front end can't use starts nothing.
TEST_F(JobConversion, SettingsRefusedByTheFrontEndStartNothing) {
    FrontEnd.RefusalText = "'' is not a valid integer value";
    std::unique_ptr<TAVIToScreenVideoThread> Job(LoadedJob(test::AviBgr24()));
    EXPECT_THROW(Job->PrepareEncoding(Output), std::runtime_error);
    EXPECT_EQ(Job->State(), SourceOpen);
    EXPECT_FALSE(std::filesystem::exists(Output));
}

TEST_F(JobConversion, StartOnAJobWhoseFileDidNotOpenSaysNoVideo) {
    std::unique_ptr<TAVIToScreenVideoThread> Job(new TAVIToScreenVideoThread(FrontEnd));
    Job->LoadVideoFile(test::TextFile().string());
    EXPECT_FALSE(Job->PrepareEncoding(Output));
    EXPECT_EQ(FrontEnd.Steps, std::vector<std::string>{"No video found in the selected file."});
    EXPECT_FALSE(std::filesystem::exists(Output));
}

}  // namespace
}  // namespace quorvane
