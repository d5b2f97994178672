#include "platform/avi/FileReader.h"

#include <cstring>

namespace quorvane::platform {

bool FileReader::Open(const std::string& FileName) {
    std::error_code Error;
    File = TFile::OpenRegularFile(FileName, Error);
    uint64_t Bytes = 0;
    if (Error || File.Size(Bytes)) {
        return false;
    }
    FileSize = static_cast<int64_t>(Bytes);
    return true;
}

bool FileReader::ReadAt(int64_t Offset, void* Buffer, size_t Count) const {
    if (!Contains(Offset, static_cast<int64_t>(Count))) {
        return false;
    }
    size_t Read = 0;
    return !File.ReadAt(static_cast<uint64_t>(Offset), Buffer, Count, Read) && Read == Count;
}

bool MemoryReader::ReadAt(int64_t Offset, void* Buffer, size_t Count) const {
    if (Offset < 0 || Offset > Size() || static_cast<int64_t>(Count) > Size() - Offset) {
        return false;
    }
    // Nothing to copy: an empty chunk may come with no buffer at all.
    if (Count != 0) {
        std::memcpy(Buffer, Data.data() + Offset, Count);
    }
    return true;
}

}  // namespace quorvane::platform
