#include "platform/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvane::platform {

FileReader::~FileReader() {
    if (Descriptor >= 0) {
        close(Descriptor);
    }
}

bool FileReader::Open(const std::string& FileName) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever;
    // on a regular file it changes nothing.
    Descriptor = open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Descriptor < 0) {
        return false;
    }
    struct stat Status {};
    if (fstat(Descriptor, &Status) != 0 || !S_ISREG(Status.st_mode)) {
        return false;
    }
    FileSize = Status.st_size;
    return true;
}

bool FileReader::ReadAt(int64_t Offset, void* Buffer, size_t Count) const {
    if (!Contains(Offset, static_cast<int64_t>(Count))) {
        return false;
    }
    auto* Target = static_cast<uint8_t*>(Buffer);
    while (Count > 0) {
        ssize_t Got = pread(Descriptor, Target, Count, Offset);
        if (Got < 0 && errno == EINTR) {
            continue;
        }
        if (Got <= 0) {
            return false;
        }
        Target += Got;
        Offset += Got;
        Count -= static_cast<size_t>(Got);
    }
    return true;
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
