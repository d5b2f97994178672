// The one interface through which a conversion job meets its front end (the
// window or the command line). The job holds no toolkit type.
#pragma once

#include <cstdint>
#include <string>

#include "job/JobSettings.h"
#include "job/RunResult.h"
#include "platform/types/Picture.h"

namespace quorvane {

// What the job reports after each unit of work.
struct TProgressReport {
    uint8_t ProgressPercent = 0;
    std::string SpeedText;
    std::string RemainingText;
};

// What a run shows its user and asks them, on the main thread: the front
// end does it; the parts of a run ask it of the job (IRunHost), which has
// its front end do it through Synchronize while the run waits. Questions
// and messages are modal: they block the run until answered.
class IJobUser {
public:
    virtual void ShowStatus(const std::string& StepText) = 0;
    virtual void ShowProgress(const TProgressReport& Report) = 0;
    virtual bool AskYesNo(const std::string& Caption, const std::string& Text) = 0;
    virtual void ShowMessage(const std::string& Caption, const std::string& Text) = 0;

protected:
    ~IJobUser() = default;
};

class IJobFrontEnd : public IJobUser {
public:
    virtual ~IJobFrontEnd() = default;

    // Main thread, when encoding is prepared: the settings of the run, of
    // which the job keeps a copy. A front end that finds a value unusable
    // throws; nothing is started then.
    virtual TJobSettings ReadSettings() = 0;
    // Main thread: make room for previews of frames of this size.
    virtual void PreparePreview(int32_t Width, int32_t Height) = 0;

    // Main thread (the job runs it through Synchronize). Frame: valid for
    // the length of the call.
    virtual void ShowPreview(const platform::TPicture& Frame) = 0;
    // Main thread (through Synchronize), at the end of a run, after its last
    // step and progress and before its closing message: how it ended.
    virtual void ShowResult(const TRunResult& Result) = 0;
};

}  // namespace quorvane
