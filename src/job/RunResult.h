// How a run of a job ended, as numbers and choices: each front end makes
// its own texts of it where it shows them.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

enum class TRunOutcome : uint8_t {
    Done,      // the video converted to its end
    Stopped,   // ended early by the user's stop request
    CutShort,  // ended early by the user's answer to a question
    Failed,    // ended by a failure, or with no frame to convert
};

struct TRunResult {
    TRunOutcome Outcome = TRunOutcome::Failed;
    // Why the run failed, as told to the user; empty when it did not. A run
    // stopped or cut short may still fail at its end (closing the file,
    // adding the metadata): it keeps its outcome, and this says so.
    std::string Failure;
    // Whether the output file was written. A run stopped or failed before
    // its first frame was not: a file that was there is left as it was, and
    // none is left where there was none.
    bool OutputWritten = false;
    uint64_t OutputSize = 0;  // bytes, of the file written
    int64_t Duration = 0;     // of the video stream, in milliseconds
    // What the end of the run has to say of the sound, or nothing: bytes of
    // the MP3 audio that were skipped, or sound that ends more than a second
    // before the video.
    std::string AudioNote;
    // The frames of the input that were left out, and why; or nothing.
    std::string FramesLeftOut;

    // Whether the run failed, whatever ended it.
    bool Failed() const { return !Failure.empty(); }
    // Whether the run went to its end without failing (an answer may have
    // cut the video short): the figures of the whole file stand.
    bool Finished() const { return !Failed() && Outcome != TRunOutcome::Stopped; }
};

}  // namespace quorvane
