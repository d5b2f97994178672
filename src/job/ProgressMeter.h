// Progress of one phase of a job (the video frames, or the audio chunks):
// percentage, speed over the last unit and remaining time, as texts.
#pragma once

#include <cstdint>
#include <string>

#include "job/JobFrontEnd.h"

namespace quorvane {

// (Position - Start) * 100 / (End - Start), rounded half to even.
uint8_t ProgressPercentOf(int64_t Position, int64_t Start, int64_t End);
// "Remaining time: hh:mm:ss" for the time still needed at Percent done.
std::string RemainingTimeText(uint32_t ElapsedMs, uint8_t Percent);
// "Speed: x.xxX": media milliseconds gained per wall-clock millisecond.
std::string SpeedText(int64_t MediaDeltaMs, uint32_t WallDeltaMs);

class TProgressMeter {
public:
    // Starts the phase's clock for units numbered Start (inclusive) to End.
    void Begin(int64_t Start, int64_t End);
    void Finish();

    // The report for the unit at Position (media time MediaTime) just done.
    TProgressReport Measure(int64_t Position, uint32_t MediaTime);
    // After a unit has been reported: its media time and the wall clock
    // become the base of the next speed figure.
    void MarkUpdated(uint32_t MediaTime);
    // The same, taken before the report is shown: the wall clock of the
    // last Measure, so that the showing counts in the next speed figure.
    void MarkMeasured(uint32_t MediaTime);

private:
    int64_t Start = 0;
    int64_t End = 0;
    uint32_t RunStart = 0;
    uint32_t LastUpdate = 0;
    uint32_t PreviousMediaTime = 0;
    uint32_t LastMeasured = 0;
    bool Running = false;
};

}  // namespace quorvane
