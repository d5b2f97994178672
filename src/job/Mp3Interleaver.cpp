#include "job/Mp3Interleaver.h"

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"

namespace quorvane {

namespace {

const char* const UnsupportedRateQuestion =
    "The audio data is not compatible with Flash video.\r\n"
    "(Flash player supports only 11025, 22050 and 44100Hz sampling rates)\r\n\r\n"
    "Do you want to continue the rendering of the video without the audio ?";

}  // namespace

TMp3Interleaver::TMp3Interleaver(const std::string& FileName, bool SkipId3v2)
    : Reader(std::make_unique<TMp3FrameReader>(FileName, SkipId3v2)) {}

bool TMp3Interleaver::WriteBefore(uint32_t Time, TScreenVideoEncoder& Encoder, IRunHost& Host) {
    while (Writing() && Time > NextTime) {
        if (!WriteNextFrame(Encoder, Host)) {
            return false;
        }
    }
    return true;
}

bool TMp3Interleaver::WriteNextFrame(TScreenVideoEncoder& Encoder, IRunHost& Host) {
    const TMp3FrameHeader Frame = Reader->Next();
    if (Frame.Type == TMp3FrameHeader::Kind::UnsupportedRate) {
        Muted = true;
        return Host.Ask("Confirmation", UnsupportedRateQuestion);
    }
    // Anything but a frame of known length at a frame boundary (an ID3v1
    // tag, padding, damage, a free-format frame, the end) ends the audio there.
    if (Frame.Type != TMp3FrameHeader::Kind::Frame) {
        Reader.reset();
        return true;
    }
    const std::vector<uint8_t>& Bytes = Reader->Frame();
    Encoder.WriteAudioTag(Bytes.data(), static_cast<int32_t>(Frame.FrameLength),
                          static_cast<int32_t>(NextTime), Frame.StereoFlag, Frame.SoundRateIndex);
    CheckOutputFile(Encoder.FileError());
    Clock.CountFrame(Frame.SamplesPerFrame, Frame.SampleRate);
    NextTime = static_cast<uint32_t>(Clock.Now());
    return true;
}

}  // namespace quorvane
