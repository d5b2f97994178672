// One conversion of one AVI file into one FLV file, run on a worker thread.
//
// The front end creates a job per chosen input file, calls LoadVideoFile and
// PrepareEncoding on its main thread, then Resume. The job reports through
// IJobFrontEnd only, and (with FreeOnTerminate) deletes itself after its
// OnTerminate event.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobFrontEnd.h"
#include "platform/AviFile.h"
#include "platform/Thread.h"

namespace quorvane {

// Job states.
enum JobStates : uint8_t { NoSourceOpen = 0, SourceOpen = 1, EncodingPrepared = 2, Running = 3 };

// An edit's text is not a whole number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

    uint8_t State() const { return FState; }
    bool VideoFound() const { return FVideoFound; }
    bool AudioUsable() const { return FAudioUsable; }
    const std::string& ErrorText() const { return FErrorText; }
    const std::string& VideoDescription() const { return FVideoDescription; }
    const std::string& AudioDescription() const { return FAudioDescription; }
    const FrameFormat& GetFrameFormat() const { return FFrameFormat; }
    const void* CurrentFrame() const { return FCurrentFrame; }

    const std::string& StepText() const { return FStepText; }
    const TProgressReport& Progress() const { return FProgress; }
    // Whether the run failed (output file or audio); StepText says how.
    bool RunFailed() const { return FRunFailed; }

protected:
    void Execute() override;

private:
    // Video source (LoadVideoFile's helpers).
    void AbandonLoad(const std::string& Reason);
    void TakeFrameFormat();
    void DescribeVideo();
    void ProbeAudio();
    bool ReadSourceAudioFormat();
    void DescribeAudio();

    // Conversion.
    void ReadSettings(const TJobControls& Controls);
    void RunVideoPhase();
    void FinishRun();

    // MP3 audio source.
    void OpenExternalAudio(const std::string& FileName);
    void SkipID3v2Tag();
    void ReadMP3Frame();
    void WriteAudioBefore(int32_t Position);
    void CloseAudioSource();

    // Reports, run on the main thread.
    void ShowStatus();
    void ShowProgress();
    void ShowPreview();

    IJobFrontEnd& FrontEnd;
    TJobControls Controls;  // copied when encoding is prepared

    // Source.
    std::string InputFileName;
    uint8_t FState = NoSourceOpen;
    bool FVideoFound = false;
    bool FAudioUsable = false;
    std::string FErrorText;
    std::string FVideoDescription;
    std::string FAudioDescription;
    platform::PAVIFILE AviFile = nullptr;
    platform::PAVISTREAM VideoStream = nullptr;
    platform::PAVISTREAM AudioStream = nullptr;
    platform::PGETFRAME FrameDecoder = nullptr;
    const void* FCurrentFrame = nullptr;
    FrameFormat FFrameFormat;
    std::vector<uint8_t> SourceAudioFormat;
    std::vector<uint8_t> DecodedAudioFormat;

    // Conversion.
    std::string OutputFileName;
    int32_t KeyFrameInterval = 0;
    uint8_t FrameRateLimit = 0;
    EncoderParameters Settings;
    std::unique_ptr<TScreenVideoEncoder> Encoder;
    int32_t EndPosition = 0;

    // Audio source.
    std::FILE* AudioSource = nullptr;
    bool AudioMuted = false;
    uint32_t AudioTime = 0;

    // Reports.
    std::string FStepText;
    TProgressReport FProgress;
    bool FRunFailed = false;
};

}  // namespace quorvane
