#include "job/Mp3Interleaver.h"

#include <cstdio>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"

namespace quorvane {

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

TMp3Interleaver::TMp3Interleaver(const std::string& FileName, bool ExternalFile, uint32_t Origin)
    : Reader(std::make_unique<TMp3FrameReader>(FileName, ExternalFile)), Origin(Origin) {}

bool TMp3Interleaver::WriteBefore(uint32_t Time, TScreenVideoEncoder& Encoder, IRunHost& Host) {
    while (Writing() && uint64_t{Time} + Origin > NextTime) {
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
        return Host.AskYesNo("Confirmation", UnsupportedRateQuestion);
    }
    // The reader has passed over what is no frame; what it gives now is the
    // end of the frames.
    if (Frame.Type != TMp3FrameHeader::Kind::Frame) {
        EndFrames();
        return true;
    }
    // The file is cut to its frames: one that starts before the origin is
    // passed over whole.
    if (NextTime >= Origin) {
        const std::vector<uint8_t>& Bytes = Reader->Frame();
        Encoder.WriteAudioTag(Bytes.data(), static_cast<int32_t>(Frame.FrameLength),
                              static_cast<int32_t>(NextOutputTime()), Frame.StereoFlag,
                              Frame.SoundRateIndex);
        CheckOutputFile(Encoder.FileError());
    }
    Clock.CountFrame(Frame.SamplesPerFrame, Frame.SampleRate);
    NextTime = static_cast<uint32_t>(Clock.Now());
    return true;
}

void TMp3Interleaver::EndFrames() {
    BytesSkipped += Reader->SkippedBytes();
    Reader.reset();
}

std::string TMp3Interleaver::EndNote(int64_t VideoEnd) const {
    if (Muted) {
        return {};
    }
    std::string Note;
    const uint64_t Skipped = BytesSkipped + (Reader ? Reader->SkippedBytes() : 0);
    if (Skipped != 0) {
        Note = "The MP3 audio held " + std::to_string(Skipped) +
               (Skipped == 1 ? " byte that is no MP3 frame" : " bytes that are no MP3 frames") +
               " (damaged data or padding); " + (Skipped == 1 ? "it was" : "they were") +
               " skipped.";
    }
    const int64_t SoundEnd = NextOutputTime();
    if (VideoEnd - SoundEnd > NotableShortfallMs) {
        Note += (Note.empty() ? "" : " ") + std::string("The sound ends at ") +
                SecondsText(SoundEnd) + ", " + SecondsText(VideoEnd - SoundEnd) +
                " before the end of the video.";
    }
    return Note;
}

}  // namespace quorvane
