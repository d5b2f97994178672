// The parts of an MPEG audio frame header that copying MP3 frames into FLV
// audio tags needs.
#pragma once

#include <cstdint>

namespace quorvane {

struct TMp3FrameHeader {
    enum class Kind {
        Frame,           // a frame of FrameLength bytes
        NotAFrame,       // no sync word, or no Layer III: the audio ends here
        NoFixedLength,   // free-format or invalid bitrate, reserved rate
        UnsupportedRate  // a rate FLV cannot carry (48000, 32000, 24000...);
                         // FrameLength is still its length (0 in free format)
    };
    Kind Type = Kind::NotAFrame;
    uint32_t FrameLength = 0;    // bytes, header included
    uint8_t SoundRateIndex = 0;  // FLV rate code: 1 = 11 kHz, 2 = 22 kHz, 3 = 44 kHz
    uint8_t StereoFlag = 0;      // 0 mono, 1 stereo
    // What the frame lasts: 1152 samples at 44100 Hz, 576 at 22050 or 11025 Hz.
    uint32_t SamplesPerFrame = 0;
    uint32_t SampleRate = 0;
};

// Reads the four header bytes at a frame boundary.
TMp3FrameHeader ParseMp3FrameHeader(const uint8_t Header[4]);

// The size of an ID3v2 tag's body from its four size bytes, each taken whole.
uint32_t Id3v2TagBodySize(const uint8_t SizeBytes[4]);

}  // namespace quorvane
