#include "cli/Mp3FormatChoice.h"

#include "cli/CliOptions.h"

namespace quorvane::cli {

const char* const NoMp3FormatText =
    "No installed audio codec makes MP3 at 11025, 22050 or 44100 Hz, so the video file's own "
    "audio can not be converted. Use --audio FILE.mp3 or --audio none.";

std::string Mp3FormatListing(const TMp3FormatOffer& Offer) {
    std::string Listing;
    for (size_t Index = 0; Index < Offer.size(); ++Index) {
        Listing += std::to_string(Index) + ": " + Offer[Index].Caption + "\n";
    }
    return Listing;
}

void ChooseMp3Format(const TMp3FormatOffer& Offer, const std::optional<std::string>& Index,
                     TAudioSettings& Audio) {
    const size_t Count = Offer.size();
    // The digits are checked by the parser; too many of them are out of range anyway.
    const size_t Chosen = !Index ? 0 : Index->size() > 9 ? SIZE_MAX : std::stoul(*Index);
    if (Index && Chosen >= Count) {
        throw EUsageError(Count == 0 ? "--mp3-format: no MP3 format is offered"
                                     : "--mp3-format takes 0 to " + std::to_string(Count - 1) +
                                           " (see --list-mp3-formats), not " + *Index);
    }
    Audio.MP3Format.clear();
    Audio.MP3InputFormat.clear();
    if (Chosen < Count) {
        Audio.MP3Format = Offer[Chosen].Format;
        Audio.MP3InputFormat = Offer[Chosen].InputFormat;
    }
}

}  // namespace quorvane::cli
