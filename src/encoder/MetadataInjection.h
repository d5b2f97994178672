// Adding the onMetaData tag to a finished FLV file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvane {

// The metadata could not be added; the file is as it was. The message says
// why.
class EMetadataFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Rewrites the FLV file FileName (a complete file of audio and video tags,
// as the encoder writes it) with an onMetaData tag after its header, and
// returns its new size. The new file is written beside it under a temporary
// name and renamed over it only when complete, so the file is replaced
// whole or not at all. A file without tags is left alone. Throws
// EMetadataFailure.
uint64_t AddOnMetaData(const std::string& FileName);

}  // namespace quorvane
