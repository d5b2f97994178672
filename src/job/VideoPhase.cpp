#include "job/VideoPhase.h"

#include <algorithm>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"
#include "job/Mp3Interleaver.h"
#include "job/VideoSource.h"
#include "platform/WinTypes.h"

namespace quorvane {

using platform::BITMAPINFOHEADER;

TVideoPhase::TVideoPhase(TVideoSource& Source, TScreenVideoEncoder& Encoder,
                         const TJobSettings& Settings, IRunHost& Host, TMp3Interleaver* Audio)
    : Source(Source),
      Encoder(Encoder),
      KeyFrameInterval(Settings.KeyFrameInterval),
      FrameRateLimit(Settings.FrameRateLimit),
      Host(Host),
      Audio(Audio),
      StartPosition(Source.Start()),
      EndPosition(Source.End()),
      CurrentPosition(StartPosition) {}

// A video stream that starts after sample 0 has its first frame after time
// 0; the sound before it goes first, so that the tags' times never go back.
void TVideoPhase::Begin() {
    StartTime = Source.TimeOf(StartPosition);
    EndTime = Source.TimeOf(EndPosition);
    // By stream time: a variable frame rate sends frames unevenly.
    Progress.Begin(StartTime, EndTime);
    if (EndPosition > StartPosition) {
        WriteAudioBefore(StartPosition);
    }
}

int32_t TVideoPhase::ReachedTime() const {
    return Source.TimeOf(std::min(CurrentPosition, EndPosition));
}

void TVideoPhase::EncodeNext() {
    const int32_t Time = Source.TimeOf(CurrentPosition);
    EncodeFrameAt(Time);
    AdvancePosition(Time);
    // Audio follows the video up to the stream's end, even when the
    // frame-rate limit stepped past it.
    WriteAudioBefore(std::min(CurrentPosition, EndPosition));
}

void TVideoPhase::EncodeFrameAt(int32_t Time) {
    const void* Frame = Source.DecodeAt(CurrentPosition);
    if (!IsFrameOfTheFormat(Frame)) {
        ++FramesLeftOut;
        return;
    }
    const bool KeyFrame = IsKeyFrame(Time);
    const auto* Pixels = static_cast<const uint8_t*>(Frame) + sizeof(BITMAPINFOHEADER);
    Encoder.EncodeFrame(Pixels, Time, PreviousTimestamp, KeyFrame);
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

// A picture of another size than the first one (a stream that changes its
// size midway) can't go into the same grid; it is skipped like a frame that
// can't be decoded.
bool TVideoPhase::IsFrameOfTheFormat(const void* Frame) const {
    const auto* Header = static_cast<const BITMAPINFOHEADER*>(Frame);
    const FrameFormat& Format = Source.Format();
    return Header && Header->biWidth == Format.Width && Header->biHeight == Format.Height &&
           Header->biBitCount == Format.BytesPerPixel * 8;
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

// Sample times saturate at the largest time; the next one can't lie beyond.
void TVideoPhase::AdvancePosition(int32_t Time) {
    const auto NextTime = [&] {
        return static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(Time) + 1000 / FrameRateLimit, INT32_MAX));
    };
    const int32_t Next =
        FrameRateLimit != 0 ? Source.PositionAt(NextTime()) : Source.NextPosition(CurrentPosition);
    CurrentPosition = (Next == -1 || Next <= CurrentPosition) ? CurrentPosition + 1 : Next;
}

// A No to the question whether to go on without the audio ends the video.
void TVideoPhase::WriteAudioBefore(int32_t Position) {
    if (Audio &&
        !Audio->WriteBefore(static_cast<uint32_t>(Source.TimeOf(Position)), Encoder, Host)) {
        CurrentPosition = EndPosition;
        CutShort = true;
    }
}

}  // namespace quorvane
