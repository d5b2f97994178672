// One conversion of one video file into one FLV file, run on a worker
// thread.
//
// The front end creates a job per chosen input file, calls LoadVideoFile and
// PrepareEncoding on its main thread, then Resume. The job reports through
// IJobFrontEnd only, and (with FreeOnTerminate) deletes itself after its
// OnTerminate event. It sequences the parts of a run (the source, the audio
// pass, the MP3 interleaver, the video phase), keeps its state and reports
// for them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "encoder/EncoderParameters.h"
#include "job/JobFrontEnd.h"
#include "job/JobSettings.h"
#include "job/RunHost.h"
#include "platform/os/Thread.h"

namespace quorvane {

namespace platform {
class TOutputClaim;
}

class TAviAudioPass;
class TMp3Interleaver;
class TScreenVideoEncoder;
class TVideoPhase;
class TVideoSource;

// Job states.
enum JobStates : uint8_t { NoSourceOpen = 0, SourceOpen = 1, EncodingPrepared = 2, Running = 3 };

class TAVIToScreenVideoThread : public platform::TThread, private IRunHost {
public:
    explicit TAVIToScreenVideoThread(IJobFrontEnd& FrontEnd);
    ~TAVIToScreenVideoThread() override;

    // Main thread. Afterwards State() == SourceOpen means success; otherwise
    // ErrorText() says why.
    void LoadVideoFile(const std::string& FileName);
    void CloseVideoFile();

    // Main thread, once a file is loaded: why Range can't be converted from
    // it (it starts at or past the video's end, or ends before it starts);
    // empty when it can. PrepareEncoding refuses such a range too.
    std::string RangeProblem(const TRangeSettings& Range) const;
    // Main thread: why the picture geometry can't be used on the loaded
    // file's picture (a crop reaching beyond it, a size too large), as
    // PrepareEncoding would refuse it; empty when it can, or no file is
    // loaded.
    std::string PictureProblem(const platform::TPictureGeometry& Geometry) const;
    // Main thread: converts the loaded file's pictures by Geometry, and
    // holds the picture shown at RangeStart (the output's first frame), so
    // that CurrentFrame and GetFrameFormat show what the output will hold;
    // the text says why it can't, empty when it can. A new geometry
    // converts the picture held again; only another picture is decoded,
    // which for a late start can take a while (from a key frame before it,
    // or the file's start).
    std::string UsePictureGeometry(const platform::TPictureGeometry& Geometry,
                                   int32_t RangeStart = 0);

    // Main thread. True when the output file was claimed (created when
    // missing, emptied only when the video begins) and the thread may be
    // resumed. What the front end's ReadSettings throws goes through.
    bool PrepareEncoding(const std::string& OutputFileName);

    // Any thread: turns the preview on or off from the next frame on.
    void SetPreviewWanted(bool Wanted) { PreviewWanted = Wanted; }

    // Any thread.
    JobStates State() const { return FState; }
    bool VideoFound() const { return FVideoFound; }
    bool AudioUsable() const { return FAudioUsable; }
    const std::string& ErrorText() const { return FErrorText; }
    // Why a file could not be opened at all (it is missing, a folder, no
    // video file...); empty for the other failures, whose ErrorText says why.
    const std::string& ErrorReason() const { return FErrorReason; }
    const std::string& VideoDescription() const { return FVideoDescription; }
    const std::string& AudioDescription() const { return FAudioDescription; }
    // Main thread; all zero when no file is loaded.
    const FrameFormat& GetFrameFormat() const;
    // The picture held (UsePictureGeometry; at first the first frame),
    // owned by the job; none when no file is loaded. Main thread.
    platform::TPicture CurrentFrame() const;

    const std::string& StepText() const { return FStepText; }
    // The last progress shown.
    const TProgressReport& Progress() const { return FProgress; }
    // How the run ended, once it has. A stop request that came after the
    // video's end (during the metadata pass) changed nothing.
    const TRunResult& Result() const { return FResult; }

protected:
    void Execute() override;

private:
    // Conversion.
    bool AviAudioChosen() const;
    bool PrepareAudioConversion();
    bool OutputWouldReplaceAnInput() const;
    std::string NameOfTheFilesBesideProblem() const;
    bool ClaimOutput();
    bool PrepareAudioSource();
    bool CreateEncoder();
    void GiveUpOutput();
    void OpenAudioSource();
    void StartOutput();
    bool RunVideoPhase();
    void FinishRun(const std::string& FailureText, bool Stopped);
    void CloseOutput();
    std::string AddMetadata(int32_t VideoEnd);
    void ShowEndOfRun(bool MetadataFailed);

    // The parts' reports, questions and messages, run on the main thread.
    IRunHost& Host() { return *this; }
    void ShowStatus(const std::string& StepText) override;
    void ShowProgress(const TProgressReport& Report) override;
    void ShowPreview(const platform::TPicture& Frame) override;
    bool AskYesNo(const std::string& Caption, const std::string& Text) override;
    void ShowMessage(const std::string& Caption, const std::string& Text) override;
    bool StopRequested() const override { return Terminated(); }

    IJobFrontEnd& FrontEnd;
    TJobSettings Settings;                   // copied when encoding is prepared
    std::atomic<bool> PreviewWanted{false};  // read by the job's thread every frame

    // Source.
    std::string InputFileName;
    std::atomic<JobStates> FState{NoSourceOpen};
    bool FVideoFound = false;
    bool FAudioUsable = false;
    std::string FErrorText;
    std::string FErrorReason;
    std::string FVideoDescription;
    std::string FAudioDescription;
    std::unique_ptr<TVideoSource> Source;

    // The parts of a run.
    std::string OutputFileName;
    // From before the output is emptied to the end of the run, metadata
    // pass included: no other run writes it meanwhile.
    std::unique_ptr<platform::TOutputClaim> OutputClaim;
    std::unique_ptr<TScreenVideoEncoder> Encoder;
    // From PrepareAudioConversion to the end of the run, which removes the
    // MP3 file it wrote.
    std::unique_ptr<TAviAudioPass> AudioPass;
    // Opened when encoding is prepared: the MP3 file, or the audio pass's
    // once it is written.
    std::unique_ptr<TMp3Interleaver> Audio;
    std::unique_ptr<TVideoPhase> Video;

    // Reports.
    std::string FStepText;
    TProgressReport FProgress;
    TRunResult FResult;
};

}  // namespace quorvane
