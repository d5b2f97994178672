// One conversion of one AVI file into one FLV file, run on a worker thread.
//
// The front end creates a job per chosen input file, calls LoadVideoFile and
// PrepareEncoding on its main thread, then Resume. The job reports through
// IJobFrontEnd only, and (with FreeOnTerminate) deletes itself after its
// OnTerminate event.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"
#include "job/AudioClock.h"
#include "job/AudioTranscoder.h"
#include "job/JobErrors.h"
#include "job/JobFrontEnd.h"
#include "job/JobSettings.h"
#include "job/Mp3FrameReader.h"
#include "job/ProgressMeter.h"
#include "job/TemporaryFile.h"
#include "platform/AviFile.h"
#include "platform/Thread.h"

namespace quorvane {

// Job states.
enum JobStates : uint8_t { NoSourceOpen = 0, SourceOpen = 1, EncodingPrepared = 2, Running = 3 };

class TAVIToScreenVideoThread : public platform::TThread {
public:
    explicit TAVIToScreenVideoThread(IJobFrontEnd& FrontEnd);
    ~TAVIToScreenVideoThread() override;

    // Main thread. Afterwards State() == SourceOpen means success; otherwise
    // ErrorText() says why.
    void LoadVideoFile(const std::string& FileName);
    void CloseVideoFile();

    // Main thread. True when the output file was created and the thread may
    // be resumed. Throws EConvertError for an edit that holds no number.
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
    const FrameFormat& GetFrameFormat() const { return FFrameFormat; }
    // The first frame, as decoded when the file was loaded: a packed DIB
    // owned by the job, null when no file is loaded. Main thread.
    const void* CurrentFrame() const { return FirstFrame.empty() ? nullptr : FirstFrame.data(); }

    const std::string& StepText() const { return FStepText; }
    const TProgressReport& Progress() const { return FProgress; }
    // Whether the run ended on a failure (reported to the front end in a
    // message); the output file then holds what was written before it.
    bool RunFailed() const { return FRunFailed; }
    // Whether the user's answer to a question ended the run before the end
    // of the video.
    bool CutShortByAnswer() const { return FCutShortByAnswer; }
    // Whether a stop request ended the run before the end of the video; one
    // that came later (during the metadata pass) changed nothing.
    bool StoppedByUser() const { return FStoppedByUser; }
    // What the end of the run has to say of the sound, or nothing: bytes of
    // the MP3 audio that were skipped, or sound that ends more than a second
    // before the video.
    const std::string& AudioNote() const { return FAudioNote; }

protected:
    void Execute() override;

private:
    // Video source (LoadVideoFile's helpers).
    void AbandonLoad(const std::string& Reason);
    bool TakeFrameFormat();
    void KeepFirstFrame();
    void DescribeVideo();
    void ProbeAudio();
    bool ReadSourceAudioFormat();
    void DescribeAudio();

    // Conversion.
    bool PrepareAudioConversion();
    bool OutputWouldReplaceAnInput() const;
    bool CreateEncoder();
    void OpenAudioSource();
    void TranscodeAviAudio();
    void WriteLeadingSilence(int32_t Start);
    void TranscodeChunks(int32_t Start, int32_t End);
    void ConvertChunk(int32_t Position, uint32_t Bytes);
    void FlushTranscoder();
    void ShowTranscodingFailure(TTranscodeStage Stage);
    void RunVideoPhase();
    void WriteAudioBeforeTheVideo();
    int32_t DataEnd() const;
    void EncodeFrameAt(int32_t Time);
    bool IsFrameOfTheFormat(const void* Frame) const;
    bool IsKeyFrame(int32_t Time) const;
    void AdvancePosition(int32_t Time);
    void CheckOutputFile() const;
    void FinishRun(const std::string& FailureText);
    std::string AddMetadata(uint64_t& Size);

    // MP3 audio source.
    void ReadMP3Frame();
    void WriteAudioBefore(int32_t Position);
    void AskToContinueWithoutAudio();
    void CloseAudioSource();
    std::string AudioNoteText() const;

    // Reports, questions and messages, run on the main thread.
    void ShowStatus();
    void ShowProgress();
    void ShowPreview();
    bool Ask(const std::string& Caption, const std::string& Text);
    void Tell(const std::string& Caption, const std::string& Text);

    IJobFrontEnd& FrontEnd;
    TJobControls Controls;                   // copied when encoding is prepared
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
    platform::PAVIFILE AviFile = nullptr;
    platform::PAVISTREAM VideoStream = nullptr;
    platform::PAVISTREAM AudioStream = nullptr;
    platform::PGETFRAME FrameDecoder = nullptr;
    const void* FCurrentFrame = nullptr;  // the decoder's, valid until the next decode
    std::vector<uint8_t> FirstFrame;
    FrameFormat FFrameFormat;
    std::vector<uint8_t> SourceAudioFormat;
    std::vector<uint8_t> DecodedAudioFormat;

    // Conversion.
    std::string OutputFileName;
    TJobSettings Settings;
    std::unique_ptr<TScreenVideoEncoder> Encoder;
    int32_t StartPosition = 0;
    int32_t EndPosition = 0;
    int32_t CurrentPosition = 0;
    int32_t StartTime = 0;
    int32_t EndTime = 0;
    int32_t PreviousTimestamp = 0;
    uint32_t LastKeyFrameTime = 0;
    bool AnyFrameEncoded = false;
    uint32_t FramesNotDecoded = 0;
    TProgressMeter VideoProgress;

    // AVI audio transcoding: the chain from PrepareAudioConversion to the
    // end of the pass, and the MP3 file it writes, kept to the end of the run.
    std::unique_ptr<TAudioTranscoder> Transcoder;
    std::unique_ptr<TTemporaryFile> AudioFile;
    TProgressMeter AudioProgress;

    // Audio source.
    std::unique_ptr<TMp3FrameReader> AudioSource;
    bool AudioMuted = false;  // open, but never read again
    uint32_t AudioTime = 0;   // the next frame's timestamp, from AudioClock
    TAudioClock AudioClock;
    std::vector<uint8_t> AudioFrame;

    // What the end of the run says of the sound.
    bool SoundExpected = false;      // the video phase began with an audio source
    uint64_t AudioBytesSkipped = 0;  // by the sources closed so far

    // Reports.
    std::string FStepText;
    TProgressReport FProgress;
    bool FRunFailed = false;
    bool FCutShortByAnswer = false;
    bool FStoppedByUser = false;
    std::string FAudioNote;
};

}  // namespace quorvane
