// The MP3 formats the installed audio codecs can make for an FLV file, each
// with the PCM format its codec makes it from. Free of any toolkit: the
// window shows their captions in its list, the command line prints them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// One MP3 format offered for the video file's own audio.
struct TMp3Format {
    std::vector<uint8_t> Format;       // the WAVE_FORMAT_MPEGLAYER3 record, whole
    std::vector<uint8_t> InputFormat;  // the PCM record its codec makes it from
    std::string Caption;               // the codec's description of it
};

// The formats offered, in the order the audio codec layer lists them.
using TMp3FormatOffer = std::vector<TMp3Format>;

// Asks every enabled codec driver for its MP3 formats at 11025, 22050 and
// 44100 Hz, the rates an FLV file can carry.
TMp3FormatOffer EnumerateMP3Formats();

}  // namespace quorvane
