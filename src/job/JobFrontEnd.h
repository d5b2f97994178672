// The one interface through which a conversion job meets its front end (the
// window or the command line). The job holds no toolkit type.
#pragma once

#include <cstdint>
#include <string>

#include "job/JobSettings.h"
#include "platform/Picture.h"

namespace quorvane {

// What the job reports after each unit of work and at the end.
struct TProgressReport {
    uint8_t ProgressPercent = 0;
    std::string SpeedText;
    std::string RemainingText;
};

class IJobFrontEnd {
public:
    virtual ~IJobFrontEnd() = default;

    // Main thread, when encoding is prepared: the settings of the run, of
    // which the job keeps a copy. A front end that finds a value unusable
    // throws; nothing is started then.
    virtual TJobSettings ReadSettings() = 0;
    // Main thread: make room for previews of frames of this size.
    virtual void PreparePreview(int32_t Width, int32_t Height) = 0;

    // Main thread (the job runs them through Synchronize).
    virtual void ShowStatus(const std::string& StepText) = 0;
    virtual void ShowProgress(const TProgressReport& Report) = 0;
    // Frame: valid for the length of the call.
    virtual void ShowPreview(const platform::TPicture& Frame) = 0;

    // Modal questions and messages, main thread (the job's thread asks
    // through Synchronize); they block the job until answered.
    virtual bool AskYesNo(const std::string& Caption, const std::string& Text) = 0;
    virtual void ShowMessage(const std::string& Caption, const std::string& Text) = 0;
};

}  // namespace quorvane
