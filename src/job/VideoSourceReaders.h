// The two readers of input files behind TVideoSource, and what their
// loading shares: the texts told to the user and how numbers read in them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "job/VideoSource.h"

namespace quorvane {

extern const char* const CannotOpenText;
extern const char* const NoVideoText;
extern const char* const NoDecoderText;
extern const char* const NoFirstFrameText;
extern const char* const UnknownAudioText;
extern const char* const UndecodableAudioText;

// Up to three decimals, cut rather than rounded, without trailing zeros:
// 30000/1001 gives "29.97 fps."; "unknown frame rate." without a rate.
std::string FrameRateText(uint32_t Rate, uint32_t Scale);
// "Mono ", "Stereo ", "6 channels "; nothing for none.
std::string ChannelsText(uint16_t Channels);

// An AVI file, through the AVI file services.
std::unique_ptr<TVideoSource> OpenAviVideoSource(const std::string& FileName,
                                                 TLoadFailure& Failure);
// Any other video file (MP4, Matroska, ...), through the media file services.
std::unique_ptr<TVideoSource> OpenMediaVideoSource(const std::string& FileName,
                                                   TLoadFailure& Failure);

}  // namespace quorvane
