// Decoding our FLV files with GStreamer: a demuxer and decoder chain of its
// own (flvdemux, the libav Screen Video decoder).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace quorvane::test {

struct GStreamerOutput {
    // Every decoded picture in BGR, top row first, frame after frame; rows
    // as GStreamer lays them out (padded to 4 bytes).
    std::vector<uint8_t> Bgr;
    // The audio tags' data as flvdemux hands it out (the MP3 frames, back
    // to back); empty without WithAudio.
    std::vector<uint8_t> Audio;
};

// Runs gst-launch-1.0 over File, writing into Folder. A file with audio
// tags needs WithAudio, one without must not have it (the pipeline would
// wait for audio forever). Throws std::runtime_error with GStreamer's
// messages when it fails.
GStreamerOutput DecodeWithGStreamer(const std::filesystem::path& File,
                                    const std::filesystem::path& Folder, bool WithAudio);

}  // namespace quorvane::test
