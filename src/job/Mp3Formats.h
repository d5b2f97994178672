// The MP3 formats the installed audio codecs can make for an FLV file, each
// with the PCM format its codec makes it from. Free of any toolkit: the
// window shows the items in its list, the command line prints them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The MP3 formats offered for the AVI audio, in the order the audio codec
// layer lists them; the three lists run parallel.
struct TMp3FormatOffer {
    std::vector<std::vector<uint8_t>> MP3FormatList;       // WAVE_FORMAT_MPEGLAYER3 records, whole
    std::vector<std::vector<uint8_t>> MP3InputFormatList;  // the PCM record each one is made from
    std::vector<std::string> Items;                        // the codec's description of each
};

// Asks every enabled codec driver for its MP3 formats at 11025, 22050 and
// 44100 Hz, the rates an FLV file can carry.
TMp3FormatOffer EnumerateMP3Formats();

}  // namespace quorvane
