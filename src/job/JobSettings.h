// Turning the front end's controls into the encoder's settings.
#pragma once

#include <cstdint>
#include <string>

#include "encoder/ScreenVideoEncoder.h"
#include "job/JobErrors.h"
#include "job/JobFrontEnd.h"

namespace quorvane {

// A whole number in signed 32 bits, optionally signed; anything else throws
// EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& Text);

struct TJobSettings {
    EncoderParameters Encoder;
    int32_t KeyFrameInterval = 0;  // milliseconds; 0 = only the first frame
    uint8_t FrameRateLimit = 0;    // frames per second; 0 = no limit
    bool AddMetadata = false;      // the onMetaData tag, added to the finished file
};

// Reads only the edits the chosen settings use, so an empty edit of an
// unused setting is no error. Fields of a mode not chosen keep Previous.
TJobSettings ReadJobSettings(const TJobControls& Controls, const TJobSettings& Previous);

}  // namespace quorvane
