// What the parts of a run ask of the job that runs them: reports, questions
// and messages for its front end, shown on the main thread while the run's
// thread waits.
#pragma once

#include <string>

#include "job/JobFrontEnd.h"

namespace quorvane {

class IRunHost {
public:
    virtual void ShowStep(const std::string& StepText) = 0;
    virtual void ShowProgress(const TProgressReport& Report) = 0;
    // Shown only while the front end wants previews.
    virtual void ShowPreview(const platform::TPicture& Frame) = 0;
    virtual bool Ask(const std::string& Caption, const std::string& Text) = 0;
    virtual void Tell(const std::string& Caption, const std::string& Text) = 0;
    // Whether the user asked the run to stop; any thread.
    virtual bool StopRequested() const = 0;

protected:
    ~IRunHost() = default;
};

}  // namespace quorvane
