// The video phase of a run: each selected sample of the stream decoded and
// encoded into a video tag, followed by the audio that falls before the
// next one. The job steps it one position at a time, so that it looks at
// the stop request between frames. With a range, the picture shown at its
// start is the first frame, at time 0, and every time of the output (the
// tags', the key-frame interval's, the frame-rate limit's, the progress's)
// counts from there.
#pragma once

#include <cstdint>

#include "job/JobSettings.h"
#include "job/ProgressMeter.h"
#include "job/RunHost.h"

namespace quorvane {

class TMp3Interleaver;
class TScreenVideoEncoder;
class TVideoSource;

class TVideoPhase {
public:
    // Audio: the audio source of the run, or null.
    TVideoPhase(TVideoSource& Source, TScreenVideoEncoder& Encoder, const TJobSettings& Settings,
                IRunHost& Host, TMp3Interleaver* Audio);

    // Starts the phase's clock and writes the sound before the first frame.
    void Begin();
    bool Ended() const { return EndPosition <= CurrentPosition; }
    // The frame at the current position, then the audio before the next.
    void EncodeNext();
    void Finish() { Progress.Finish(); }

    // Where the video ended, in the output's time: the time of the position
    // reached, or the end when the last frame was encoded (or the
    // frame-rate limit stepped past it).
    int32_t ReachedTime() const;
    // The duration converted, in milliseconds.
    int64_t Duration() const { return static_cast<int64_t>(EndTime) - StartTime; }
    bool AnyFrameEncoded() const { return FramesEncoded; }
    uint32_t FramesNotDecoded() const { return FramesLeftOut; }
    // Whether the user's answer to a question ended the video early.
    bool CutShortByAnswer() const { return CutShort; }

private:
    int32_t OutputTime(int32_t Position) const;
    void EncodeFrameAt(int32_t Time);
    bool IsKeyFrame(int32_t Time) const;
    void AdvancePosition(int32_t Time);
    int32_t NextLimitedPosition(int32_t Time);
    int32_t SlotTime() const;
    void WriteAudioBefore(int32_t Position);

    TVideoSource& Source;
    TScreenVideoEncoder& Encoder;
    const int32_t KeyFrameInterval;
    const uint8_t FrameRateLimit;
    IRunHost& Host;
    TMp3Interleaver* const Audio;
    // The range in the source's time: its start is the output's time 0.
    const int32_t RangeStart;
    const int32_t RangeEnd;
    int32_t StartPosition = 0;
    int32_t EndPosition = 0;
    int32_t CurrentPosition = 0;
    int32_t StartTime = 0;  // of the first frame, in the output's time
    int32_t EndTime = 0;
    int32_t PreviousTimestamp = 0;  // of the last frame encoded; 0 before the first
    uint32_t LastKeyFrameTime = 0;
    // The frame-rate limit's slots: the Slot-th after the time SlotBase.
    int64_t SlotBase = 0;
    int64_t Slot = 0;
    bool FramesEncoded = false;
    uint32_t FramesLeftOut = 0;
    bool CutShort = false;
    TProgressMeter Progress;
};

}  // namespace quorvane
