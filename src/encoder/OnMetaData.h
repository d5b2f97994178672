// The onMetaData script tag through which players learn an FLV file's
// duration and seek in it.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/FlvFileSummary.h"

namespace quorvane {

// The whole tag (header, AMF0 data, trailing length field) describing the
// file Summary was taken from, for placing right after its FLV header: the
// key frames' positions and the file size count the tag itself. VideoEnd:
// when the last frame's showing ends (ms), which no tag says. Throws
// std::length_error when the key frame index outgrows a tag.
std::vector<uint8_t> BuildOnMetaDataTag(const TFlvFileSummary& Summary, uint32_t VideoEnd);

}  // namespace quorvane
