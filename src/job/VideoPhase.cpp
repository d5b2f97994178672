#include "job/VideoPhase.h"

#include <algorithm>
#include <optional>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"
#include "job/Mp3Interleaver.h"
#include "job/VideoSource.h"

namespace quorvane {

namespace {

// Just past the range: the first picture shown at or after its end.
int32_t EndPositionOf(const TVideoSource& Source, std::optional<int32_t> RangeEnd) {
    if (!RangeEnd) {
        return Source.End();
    }
    const int32_t At = Source.PositionAt(*RangeEnd);
    const int32_t Past = At != -1 && Source.TimeOf(At) < *RangeEnd ? At + 1 : At;
    return std::clamp(Past, Source.Start(), Source.End());
}

}  // namespace

TVideoPhase::TVideoPhase(TVideoSource& Source, TScreenVideoEncoder& Encoder,
                         const TJobSettings& Settings, IRunHost& Host, TMp3Interleaver* Audio)
    : Source(Source),
      Encoder(Encoder),
      KeyFrameInterval(Settings.KeyFrameInterval),
      FrameRateLimit(Settings.FrameRateLimit),
      Host(Host),
      Audio(Audio),
      RangeStart(std::max(Settings.Range.Start, 0)),
      RangeEnd(std::min(Settings.Range.End.value_or(INT32_MAX), Source.EndTime())),
      StartPosition(Source.RangeStartPosition(RangeStart)),
      EndPosition(EndPositionOf(Source, Settings.Range.End)),
      CurrentPosition(StartPosition) {}

// A video stream that starts after sample 0 has its first frame after time
// 0; the sound before it goes first, so that the tags' times never go back.
void TVideoPhase::Begin() {
    StartTime = OutputTime(StartPosition);
    EndTime = std::max(RangeEnd - RangeStart, StartTime);
    SlotBase = StartTime;
    // By stream time: a variable frame rate sends frames unevenly.
    Progress.Begin(StartTime, EndTime);
    if (EndPosition > StartPosition) {
        WriteAudioBefore(StartPosition);
    }
}

// The picture shown at the range's start is the first frame, at time 0.
int32_t TVideoPhase::OutputTime(int32_t Position) const {
    return std::clamp(Source.TimeOf(Position), RangeStart, std::max(RangeEnd, RangeStart)) -
           RangeStart;
}

int32_t TVideoPhase::ReachedTime() const {
    return CurrentPosition < EndPosition ? OutputTime(CurrentPosition) : EndTime;
}

void TVideoPhase::EncodeNext() {
    const int32_t Time = OutputTime(CurrentPosition);
    EncodeFrameAt(Time);
    AdvancePosition(Time);
    // Without a tag for the last frame, a picture that stopped changing
    // would end the file early.
    if (Ended()) {
        Encoder.EndVideoAt(Time);
        CheckOutputFile(Encoder.FileError());
    }
    // Audio follows the video up to the stream's end, even when the
    // frame-rate limit stepped past it.
    WriteAudioBefore(std::min(CurrentPosition, EndPosition));
}

// A picture of another size than the first one (a stream that changes its
// size midway) can't go into the same grid; it is left out like a frame that
// can't be decoded.
void TVideoPhase::EncodeFrameAt(int32_t Time) {
    const platform::TPicture Frame = Source.DecodeAt(CurrentPosition);
    if (!Source.Format().Describes(Frame)) {
        ++FramesLeftOut;
        return;
    }
    const bool KeyFrame = IsKeyFrame(Time);
    Encoder.EncodeFrame(Frame, Time, PreviousTimestamp, KeyFrame);
    CheckOutputFile(Encoder.FileError());
    FramesEncoded = true;
    if (KeyFrame) {
        LastKeyFrameTime = static_cast<uint32_t>(Time);
    }
    Host.ShowPreview(Frame);
    Host.ShowProgress(Progress.Measure(Time, static_cast<uint32_t>(Time)));
    PreviousTimestamp = Time;
    Progress.MarkUpdated(static_cast<uint32_t>(Time));
}

// The first frame encoded is a key frame even when the stream's first
// sample could not be decoded: a file must start with one to be playable.
bool TVideoPhase::IsKeyFrame(int32_t Time) const {
    if (CurrentPosition == StartPosition || !FramesEncoded) {
        return true;
    }
    const uint32_t SinceKeyFrame = static_cast<uint32_t>(Time) - LastKeyFrameTime;
    return KeyFrameInterval != 0 &&
           static_cast<int64_t>(SinceKeyFrame) > static_cast<int64_t>(KeyFrameInterval);
}

void TVideoPhase::AdvancePosition(int32_t Time) {
    const int32_t Next =
        FrameRateLimit != 0 ? NextLimitedPosition(Time) : Source.NextPosition(CurrentPosition);
    CurrentPosition = (Next == -1 || Next <= CurrentPosition) ? CurrentPosition + 1 : Next;
}

// A limit of N frames a second takes the first sample at or after each of
// the slots 1000/N ms apart, so that no second holds more than N frames. A
// sample that lies at or past the next slot (a source slower than the
// limit, or a gap in it) starts the slots again from its own time: they
// never fall behind the stream, to let a burst of frames through.
int32_t TVideoPhase::NextLimitedPosition(int32_t Time) {
    ++Slot;
    if (Time >= SlotTime()) {
        SlotBase = Time;
        Slot = 1;
    }
    const auto Target =
        static_cast<int32_t>(std::min<int64_t>(int64_t{SlotTime()} + RangeStart, INT32_MAX));
    const int32_t At = Source.PositionAt(Target);
    return At != -1 && Source.TimeOf(At) < Target ? At + 1 : At;
}

// Sample times saturate at the largest time; no slot lies beyond.
int32_t TVideoPhase::SlotTime() const {
    const int64_t Since = (Slot * 1000 + FrameRateLimit - 1) / FrameRateLimit;
    return static_cast<int32_t>(std::min<int64_t>(SlotBase + Since, INT32_MAX));
}

// A No to the question whether to go on without the audio ends the video.
void TVideoPhase::WriteAudioBefore(int32_t Position) {
    if (Audio && !Audio->WriteBefore(static_cast<uint32_t>(OutputTime(Position)), Encoder, Host)) {
        CurrentPosition = EndPosition;
        CutShort = true;
    }
}

}  // namespace quorvane
