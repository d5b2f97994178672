// The MP3 audio source: frames copied unchanged into audio tags, each
// written before the first video frame that comes after its time.
#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const UnsupportedRateQuestion =
    "The audio data is not compatible with Flash video.\r\n"
    "(Flash player supports only 11025, 22050 and 44100Hz sampling rates)\r\n\r\n"
    "Do you want to continue the rendering of the video without the audio ?";

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
    // Anything but a frame of known length at a frame boundary (an ID3v1
    // tag, padding, damage, a free-format frame, the end) ends the audio there.
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
    AudioSource.reset();
}

}  // namespace quorvane
