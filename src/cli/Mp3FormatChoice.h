// The MP3 format of the command line: the offer listed, one item chosen.
#pragma once

#include <optional>
#include <string>

#include "job/JobSettings.h"
#include "job/Mp3Formats.h"

namespace quorvane::cli {

// Why the video file's own audio can't be used when no MP3 format is offered.
extern const char* const NoMp3FormatText;

// One line per item: its index, ": " and the codec's description.
std::string Mp3FormatListing(const TMp3FormatOffer& Offer);

// Puts item Index (item 0 when none is given) of the offer into the MP3
// format pair of Audio, which stays empty when the offer is. Throws
// EUsageError for an index the offer does not have.
void ChooseMp3Format(const TMp3FormatOffer& Offer, const std::optional<std::string>& Index,
                     TAudioSettings& Audio);

}  // namespace quorvane::cli
