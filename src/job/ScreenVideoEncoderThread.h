// One conversion of one AVI file into one FLV file, run on a worker thread.
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
#include "platform/Thread.h"

namespace quorvane {

namespace platform {
class TOutputClaim;
}

class TAviAudioPass;
class TMp3Interleaver;
class TScreenVideoEncoder;
class TVideoPhase;
class TVideoSource;
struct TFramesLeftOut;

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

    // Main thread. True when the output file was claimed (created when
    // missing, emptied only when the video begins) and the thread may be
    // resumed. What the front end's ReadSettings throws goes through.
    bool PrepareEncoding(const std::string& OutputFileName);

    // Any thread: turns the preview on or off from the next frame on.
    void SetPreviewWanted(bool Wanted) { PreviewWanted = Wanted; }

    // Any thread.
    uint8_t State() const { return FState; }
    bool VideoFound() const { return FVideoFound; }
    bool AudioUsable() const { return FAudioUsable; }
    const std::string& ErrorText() const { return FErrorText; }
    // Why a file could not be opened at all (it is missing, a folder, no AVI
    // file...); empty for the other failures, whose ErrorText says why.
    const std::string& ErrorReason() const { return FErrorReason; }
    const std::string& VideoDescription() const { return FVideoDescription; }
    const std::string& AudioDescription() const { return FAudioDescription; }
    // Main thread; all zero when no file is loaded.
    const FrameFormat& GetFrameFormat() const;
    // The first frame, as decoded when the file was loaded, owned by the
    // job; none when no file is loaded. Main thread.
    platform::TPicture CurrentFrame() const;

    const std::string& StepText() const { return FStepText; }
    const TProgressReport& Progress() const { return FProgress; }
    // Whether the run ended on a failure (reported to the front end in a
    // message); the output file then holds what was written before it.
    bool RunFailed() const { return FRunFailed; }
    // Whether the user's answer to a question ended the run before the end
    // of the video.
    bool CutShortByAnswer() const;
    // Whether a stop request ended the run before the end of the video; one
    // that came later (during the metadata pass) changed nothing.
    bool StoppedByUser() const { return FStoppedByUser; }
    // Whether the run wrote the output file. A run stopped (or failed)
    // before its first frame did not: a file that was there is left as it
    // was, and none is left where there was none.
    bool OutputWritten() const { return FOutputWritten; }
    // What the end of the run has to say of the sound, or nothing: bytes of
    // the MP3 audio that were skipped, or sound that ends more than a second
    // before the video.
    const std::string& AudioNote() const { return FAudioNote; }

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
    void RunVideoPhase();
    void FinishRun(const std::string& FailureText);
    std::string RunFailureText(const std::string& FailureText) const;
    std::string AudioNoteText() const;
    std::string AddMetadata(uint64_t& Size);
    std::string FramesLeftOutText(const TFramesLeftOut& LeftOut) const;

    // What the video phase did, taken before the source and the audio it
    // refers to go at the end of the run.
    struct TVideoOutcome {
        bool Began = false;
        bool Ended = false;
        bool AnyFrameEncoded = false;
        bool CutShortByAnswer = false;
        uint32_t FramesNotDecoded = 0;
        int32_t ReachedTime = 0;
        int64_t Duration = 0;
    };
    TVideoOutcome TakeVideoOutcome();

    // The parts' reports, questions and messages, run on the main thread.
    IRunHost& Host() { return *this; }
    void ShowStep(const std::string& StepText) override;
    void ShowProgress(const TProgressReport& Report) override;
    void ShowPreview(const platform::TPicture& Frame) override;
    bool Ask(const std::string& Caption, const std::string& Text) override;
    void Tell(const std::string& Caption, const std::string& Text) override;
    bool StopRequested() const override { return Terminated(); }
    void ShowStatus();
    void ShowProgress();

    IJobFrontEnd& FrontEnd;
    TJobSettings Settings;                   // copied when encoding is prepared
    std::atomic<bool> PreviewWanted{false};  // read by the job's thread every frame

    // Source.
    std::string InputFileName;
    std::atomic<uint8_t> FState{NoSourceOpen};
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
    // Of the last run's video phase, taken when the run ends; none when no
    // phase began.
    TVideoOutcome VideoOutcome;

    // Reports.
    std::string FStepText;
    TProgressReport FProgress;
    bool FRunFailed = false;
    bool FStoppedByUser = false;
    bool FOutputWritten = false;
    std::string FAudioNote;
};

}  // namespace quorvane
