// Random-access reading of a file by absolute 64-bit offsets, safe to share
// between threads (no file position is kept).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/File.h"

namespace quorvane::platform {

class FileReader {
public:
    // Opens a regular file for reading; false when it cannot be opened.
    bool Open(const std::string& FileName);
    int64_t Size() const { return FileSize; }
    // Reads exactly Count bytes at Offset; false on any shortfall or error.
    bool ReadAt(int64_t Offset, void* Buffer, size_t Count) const;
    // Whether [Offset, Offset + Count) lies inside the file.
    bool Contains(int64_t Offset, int64_t Count) const {
        return Offset >= 0 && Count >= 0 && Offset <= FileSize && Count <= FileSize - Offset;
    }

private:
    TFile File;
    int64_t FileSize = 0;
};

// The same reading interface over bytes already in memory (a header list).
class MemoryReader {
public:
    explicit MemoryReader(const std::vector<uint8_t>& Bytes) : Data(Bytes) {}
    int64_t Size() const { return static_cast<int64_t>(Data.size()); }
    bool ReadAt(int64_t Offset, void* Buffer, size_t Count) const;

private:
    const std::vector<uint8_t>& Data;
};

}  // namespace quorvane::platform
