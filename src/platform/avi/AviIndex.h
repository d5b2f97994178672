// Building each stream's chunk table from whichever index the file offers:
// the OpenDML super index ('indx' with its 'ix##' chunks), the AVI 1.0 index
// ('idx1'), or, failing both, a scan of the 'movi' lists.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/avi/AviParser.h"
#include "platform/avi/RiffReader.h"

namespace quorvane::platform {

struct AviIndexSources {
    std::vector<RiffChunk> MoviLists;  // of every RIFF part, in file order
    std::optional<RiffChunk> Idx1;
    std::vector<std::vector<uint8_t>> SuperIndexes;  // per stream; empty when none
};

void FillChunkTables(const FileReader& Reader, const AviIndexSources& Sources,
                     std::vector<AviStreamContents>& Streams);

}  // namespace quorvane::platform
