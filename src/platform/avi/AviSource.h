// What the handles of the AVI file services point to. An open file's
// contents are shared by its handle, its stream handles and their frame
// decoders; the file stays open until the last of them is released.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avi/AviFile.h"
#include "platform/avi/AviParser.h"
#include "platform/avi/AviSampleTable.h"
#include "platform/avi/FileReader.h"

namespace quorvane::platform {

struct AviSource {
    FileReader Reader;
    AviContents Contents;
    std::vector<AviSampleTable> Samples;  // one per stream, over Contents
};

struct AviFile {
    uint32_t References = 1;
    std::shared_ptr<const AviSource> Source;
};

struct AviStream {
    uint32_t References = 1;
    std::shared_ptr<const AviSource> Source;
    size_t Index = 0;

    const AviStreamContents& Contents() const { return Source->Contents.Streams[Index]; }
    const AviSampleTable& Samples() const { return Source->Samples[Index]; }
};

}  // namespace quorvane::platform
