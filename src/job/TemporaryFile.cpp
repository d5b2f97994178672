#include "job/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "encoder/FilesOnKill.h"
#include "job/JobErrors.h"

namespace quorvane {

namespace {

constexpr int MaxAttempts = 1000;

}  // namespace

TTemporaryFile::TTemporaryFile(const std::string& Base) {
    for (int Attempt = 1; Attempt <= MaxAttempts && Descriptor < 0; ++Attempt) {
        FileName = Attempt == 1 ? Base : Base + "-" + std::to_string(Attempt);
        Descriptor = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Descriptor < 0 && errno != EEXIST) {
            break;
        }
    }
    if (Descriptor < 0) {
        throw EJobFailure("Impossible to create the temporary audio file " + FileName + " (" +
                          std::strerror(errno) + ").");
    }
    Slot = RegisterTemporaryFile(FileName);
}

TTemporaryFile::~TTemporaryFile() {
    Close();
    Unregister(Slot);
    ::unlink(FileName.c_str());
}

void TTemporaryFile::Write(const uint8_t* Data, size_t Bytes) {
    while (Bytes > 0) {
        const ssize_t Done = ::write(Descriptor, Data, Bytes);
        if (Done < 0 && errno == EINTR) {
            continue;
        }
        if (Done <= 0) {
            throw EJobFailure("The temporary audio file " + FileName + " could not be written (" +
                              std::strerror(Done < 0 ? errno : ENOSPC) + ").");
        }
        Data += Done;
        Bytes -= static_cast<size_t>(Done);
        Written += static_cast<uint64_t>(Done);
    }
}

void TTemporaryFile::Close() {
    if (Descriptor >= 0) {
        ::close(Descriptor);
        Descriptor = -1;
    }
}

}  // namespace quorvane
