// What the parts of a run ask of the job that runs them: what is shown to
// and asked of the job's user, run on the main thread while the run's
// thread waits, and whether the user asked the run to stop.
#pragma once

#include "job/JobFrontEnd.h"

namespace quorvane {

class IRunHost : public IJobUser {
public:
    // Shown only while the front end wants previews.
    virtual void ShowPreview(const platform::TPicture& Frame) = 0;
    // Any thread.
    virtual bool StopRequested() const = 0;

protected:
    ~IRunHost() = default;
};

}  // namespace quorvane
