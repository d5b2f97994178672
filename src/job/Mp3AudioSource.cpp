// The MP3 audio source: frames copied unchanged into audio tags, each
// written before the first video frame that comes after its time.
#include <algorithm>
#include <cstdio>

#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const UnsupportedRateQuestion =
    "The audio data is not compatible with Flash video.\r\n"
    "(Flash player supports only 11025, 22050 and 44100Hz sampling rates)\r\n\r\n"
    "Do you want to continue the rendering of the video without the audio ?";

// Sound that ends this much before the video is worth a word: the frames
// that end an MP3 stream short of a second are the encoder's rounding.
constexpr int64_t NotableShortfallMs = 1000;

std::string SecondsText(int64_t Milliseconds) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%.1f s", static_cast<double>(Milliseconds) / 1000.0);
    return Text;
}

}  // namespace

void TAVIToScreenVideoThread::WriteAudioBefore(int32_t Position) {
    while (AudioSource && !AudioMuted &&
           static_cast<uint32_t>(AVIStreamSampleToTime(VideoStream, Position)) > AudioTime) {
        ReadMP3Frame();
    }
}

void TAVIToScreenVideoThread::ReadMP3Frame() {
    const TMp3FrameHeader Frame = AudioSource->Next();
    if (Frame.Type == TMp3FrameHeader::Kind::UnsupportedRate) {
        AskToContinueWithoutAudio();
        return;
    }
    // The reader has passed over what is no frame; what it gives now is the
    // end of the frames.
    if (Frame.Type != TMp3FrameHeader::Kind::Frame) {
        CloseAudioSource();
        return;
    }
    const std::vector<uint8_t>& Bytes = AudioSource->Frame();
    Encoder->WriteAudioTag(Bytes.data(), static_cast<int32_t>(Frame.FrameLength),
                           static_cast<int32_t>(AudioTime), Frame.StereoFlag, Frame.SoundRateIndex);
    CheckOutputFile();
    AudioClock.CountFrame(Frame.SamplesPerFrame, Frame.SampleRate);
    AudioTime = static_cast<uint32_t>(AudioClock.Now());
}

void TAVIToScreenVideoThread::AskToContinueWithoutAudio() {
    AudioTime = static_cast<uint32_t>(AVIStreamSampleToTime(VideoStream, EndPosition));
    AudioMuted = true;
    if (!Ask("Confirmation", UnsupportedRateQuestion)) {
        CurrentPosition = EndPosition;
        FCutShortByAnswer = true;
    }
}

void TAVIToScreenVideoThread::CloseAudioSource() {
    if (AudioSource) {
        AudioBytesSkipped += AudioSource->SkippedBytes();
    }
    AudioSource.reset();
}

// Told after the run, not during it: the file is whole either way, and the
// user decides whether it will do. A muted source was the user's own choice.
std::string TAVIToScreenVideoThread::AudioNoteText() const {
    if (!SoundExpected || AudioMuted) {
        return {};
    }
    std::string Note;
    const uint64_t Skipped = AudioBytesSkipped + (AudioSource ? AudioSource->SkippedBytes() : 0);
    if (Skipped != 0) {
        Note = "The MP3 audio held " + std::to_string(Skipped) +
               (Skipped == 1 ? " byte that is no MP3 frame" : " bytes that are no MP3 frames") +
               " (damaged data or padding); " + (Skipped == 1 ? "it was" : "they were") +
               " skipped.";
    }
    const int64_t VideoEnd =
        AVIStreamSampleToTime(VideoStream, std::min(CurrentPosition, EndPosition));
    if (VideoEnd - static_cast<int64_t>(AudioTime) > NotableShortfallMs) {
        Note += (Note.empty() ? "" : " ") + std::string("The sound ends at ") +
                SecondsText(AudioTime) + ", " + SecondsText(VideoEnd - AudioTime) +
                " before the end of the video.";
    }
    return Note;
}

}  // namespace quorvane
