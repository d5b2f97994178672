// Adding the onMetaData tag to a finished FLV file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/os/File.h"

namespace quorvane {

// The metadata could not be added; the file is as it was. The message says
// why.
class EMetadataFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the writer of a file knows of it that the file does not say.
struct TWrittenFile {
    // Of the file written: the name must still stand for it.
    platform::TFileIdentity Identity;
    // Milliseconds: when the last frame's showing ends, which is when the
    // video ends.
    uint32_t VideoEndTime = 0;
};

// Rewrites the FLV file FileName (a complete file of audio and video tags,
// as the encoder writes it) with an onMetaData tag after its header, and
// returns its new size. The new file is written beside it under a temporary
// name, with the file's owner, group and permissions, and renamed over it
// only when complete, so the file is replaced whole or not at all. A file
// without tags is left alone. Throws EMetadataFailure, also when FileName
// no longer stands for the file Written describes.
uint64_t AddOnMetaData(const std::string& FileName, const TWrittenFile& Written);

// The temporary name of that new file: FileName with ".metadata", or with
// "-2", "-3", ... after it when that is taken.
std::string MetadataCopyBaseFor(const std::string& FileName);

}  // namespace quorvane
