// The job's own loading of a fuzz input, for the targets of file readers:
// whatever the reader lets through, the job must hold or refuse whole.
#pragma once

#include <string>

#include "job/ScreenVideoEncoderThread.h"

namespace quorvane::fuzz {

// A front end the loading never calls.
class TSilentFrontEnd : public IJobFrontEnd {
public:
    TJobSettings ReadSettings() override { return {}; }
    void PreparePreview(int32_t, int32_t) override {}
    void ShowStatus(const std::string&) override {}
    void ShowProgress(const TProgressReport&) override {}
    void ShowPreview(const platform::TPicture&) override {}
    void ShowResult(const TRunResult&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&) override {}
};

inline void LoadInJob(const std::string& FileName) {
    TSilentFrontEnd FrontEnd;
    TAVIToScreenVideoThread Job(FrontEnd);
    Job.LoadVideoFile(FileName);
    if (Job.State() == SourceOpen && !Job.CurrentFrame()) {
        __builtin_trap();  // a loaded file always has its first frame
    }
}

}  // namespace quorvane::fuzz
