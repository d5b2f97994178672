// What the fuzz targets share: the input as a file our readers can open by
// name, and a reader of the input's leading bytes as settings.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace quorvane::fuzz {

// An anonymous in-memory file holding the bytes, opened by name through
// /proc: no disk traffic, nothing left behind.
class TMemoryFile {
public:
    TMemoryFile(const uint8_t* Data, size_t Size)
        : Descriptor(memfd_create("quorvane-fuzz", MFD_CLOEXEC)) {
        for (size_t Done = 0; Descriptor >= 0 && Done < Size;) {
            const ssize_t Written = write(Descriptor, Data + Done, Size - Done);
            if (Written <= 0) {
                break;
            }
            Done += static_cast<size_t>(Written);
        }
    }
    ~TMemoryFile() {
        if (Descriptor >= 0) {
            close(Descriptor);
        }
    }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;

    std::string Name() const { return "/proc/self/fd/" + std::to_string(Descriptor); }

private:
    int Descriptor;
};

// Takes values from the front of the input; zeros once it runs out.
class TInputReader {
public:
    TInputReader(const uint8_t* Data, size_t Size) : Rest(Data, Size) {}

    uint8_t Byte() {
        if (Rest.empty()) {
            return 0;
        }
        const uint8_t Value = Rest.front();
        Rest = Rest.subspan(1);
        return Value;
    }
    uint32_t Word() {
        uint32_t Value = 0;
        for (int I = 0; I < 4; ++I) {
            Value |= static_cast<uint32_t>(Byte()) << (8 * I);
        }
        return Value;
    }
    std::span<const uint8_t> Bytes(size_t Count) {
        const std::span<const uint8_t> Taken = Rest.first(std::min(Count, Rest.size()));
        Rest = Rest.subspan(Taken.size());
        return Taken;
    }
    std::span<const uint8_t> Remaining() const { return Rest; }

private:
    std::span<const uint8_t> Rest;
};

}  // namespace quorvane::fuzz
