// The MP3 audio source: frames copied unchanged into audio tags, each
// written before the first video frame that comes after its time.
#include <cerrno>
#include <cstring>

#include "job/Mp3FrameHeader.h"
#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const UnsupportedRateQuestion =
    "The audio data is not compatible with Flash video.\r\n"
    "(Flash player supports only 11025, 22050 and 44100Hz sampling rates)\r\n\r\n"
    "Do you want to continue the rendering of the video without the audio ?";

}  // namespace

void TAVIToScreenVideoThread::OpenExternalAudio(const std::string& FileName) {
    AudioSource = std::fopen(FileName.c_str(), "rb");
    if (!AudioSource) {
        throw EJobFailure("Impossible to open the audio file " + FileName + " (" +
                          std::strerror(errno) + ").");
    }
    SkipID3v2Tag();
}

void TAVIToScreenVideoThread::SkipID3v2Tag() {
    uint8_t Magic[3];
    uint8_t SizeBytes[4];
    const bool Tagged = std::fread(Magic, 1, 3, AudioSource) == 3 && Magic[0] == 'I' &&
                        Magic[1] == 'D' && Magic[2] == '3';
    // Version and flags (3 bytes) stand between the magic and the size.
    if (Tagged && std::fseek(AudioSource, 3, SEEK_CUR) == 0 &&
        std::fread(SizeBytes, 1, 4, AudioSource) == 4) {
        std::fseek(AudioSource, static_cast<long>(Id3v2TagBodySize(SizeBytes)), SEEK_CUR);
        return;
    }
    std::fseek(AudioSource, 0, SEEK_SET);
}

void TAVIToScreenVideoThread::WriteAudioBefore(int32_t Position) {
    while (AudioSource && !AudioMuted &&
           static_cast<uint32_t>(AVIStreamSampleToTime(VideoStream, Position)) > AudioTime) {
        ReadMP3Frame();
    }
}

void TAVIToScreenVideoThread::ReadMP3Frame() {
    uint8_t Header[4];
    if (std::fread(Header, 1, 4, AudioSource) != 4) {
        CloseAudioSource();
        return;
    }
    const TMp3FrameHeader Frame = ParseMp3FrameHeader(Header);
    if (Frame.Type == TMp3FrameHeader::Kind::UnsupportedRate) {
        AskToContinueWithoutAudio();
        return;
    }
    // Anything but a frame of known length at a frame boundary (an ID3v1
    // tag, padding, damage, a free-format frame) ends the audio there.
    if (Frame.Type != TMp3FrameHeader::Kind::Frame) {
        CloseAudioSource();
        return;
    }
    AudioFrame.resize(Frame.FrameLength);
    std::memcpy(AudioFrame.data(), Header, sizeof Header);
    const size_t Rest = Frame.FrameLength - sizeof Header;
    if (std::fread(AudioFrame.data() + sizeof Header, 1, Rest, AudioSource) != Rest) {
        CloseAudioSource();
        return;
    }
    Encoder->WriteAudioTag(AudioFrame.data(), static_cast<int32_t>(Frame.FrameLength),
                           static_cast<int32_t>(AudioTime), Frame.StereoFlag, Frame.SoundRateIndex);
    CheckOutputFile();
    AudioClock.CountFrame(Frame.SamplesPerFrame, Frame.SampleRate);
    AudioTime = static_cast<uint32_t>(AudioClock.Now());
}

void TAVIToScreenVideoThread::AskToContinueWithoutAudio() {
    AudioTime = static_cast<uint32_t>(AVIStreamSampleToTime(VideoStream, EndPosition));
    AudioMuted = true;
    if (!FrontEnd.AskYesNo("Confirmation", UnsupportedRateQuestion)) {
        CurrentPosition = EndPosition;
    }
}

void TAVIToScreenVideoThread::CloseAudioSource() {
    if (AudioSource) {
        std::fclose(AudioSource);
        AudioSource = nullptr;
    }
}

}  // namespace quorvane
