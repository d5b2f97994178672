#include "platform/os/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quorvane::platform {

namespace {

std::error_code StatusOf(int Descriptor, struct stat& Status) {
    return fstat(Descriptor, &Status) == 0 ? std::error_code() : LastSystemError();
}

TFileStatus StatusFrom(const struct stat& Stat) {
    return {{Stat.st_dev, Stat.st_ino},
            Stat.st_uid,
            Stat.st_gid,
            static_cast<mode_t>(Stat.st_mode & 07777),
            S_ISREG(Stat.st_mode)};
}

}  // namespace

std::error_code LastSystemError() {
    return {errno, std::system_category()};
}

std::error_code StatusOfName(const std::string& Name, TFileStatus& Status, bool FollowLink) {
    struct stat Stat {};
    const int Result = FollowLink ? ::stat(Name.c_str(), &Stat) : ::lstat(Name.c_str(), &Stat);
    if (Result != 0) {
        return LastSystemError();
    }
    Status = StatusFrom(Stat);
    return {};
}

TFile::~TFile() {
    Close();
}

TFile::TFile(TFile&& Other) noexcept : Handle(std::exchange(Other.Handle, -1)) {}

TFile& TFile::operator=(TFile&& Other) noexcept {
    if (this != &Other) {
        Close();
        Handle = std::exchange(Other.Handle, -1);
    }
    return *this;
}

TFile TFile::Open(const std::string& Name, int Flags, std::error_code& Error, mode_t Mode) {
    TFile File(::open(Name.c_str(), Flags | O_CLOEXEC, Mode));
    Error = File.IsOpen() ? std::error_code() : LastSystemError();
    return File;
}

// Without O_NONBLOCK, opening a FIFO would wait for a writer for ever; on a
// regular file it changes nothing.
TFile TFile::OpenRegularFile(const std::string& Name, std::error_code& Error) {
    TFile File = Open(Name, O_RDONLY | O_NONBLOCK, Error);
    struct stat Status {};
    if (!Error) {
        Error = StatusOf(File.Handle, Status);
    }
    if (!Error && !S_ISREG(Status.st_mode)) {
        Error = std::make_error_code(std::errc::not_supported);
    }
    if (Error) {
        File.Close();
    }
    return File;
}

std::error_code TFile::Close() {
    if (Handle < 0) {
        return {};
    }
    const int Closing = std::exchange(Handle, -1);
    return ::close(Closing) == 0 ? std::error_code() : LastSystemError();
}

std::error_code TFile::WriteAll(const void* Data, size_t Size, uint64_t* Written) {
    const auto* Bytes = static_cast<const uint8_t*>(Data);
    while (Size > 0) {
        const ssize_t Done = ::write(Handle, Bytes, Size);
        if (Done < 0 && errno == EINTR) {
            continue;
        }
        if (Done < 0) {
            return LastSystemError();
        }
        if (Done == 0) {
            return std::make_error_code(std::errc::io_error);
        }
        Bytes += Done;
        Size -= static_cast<size_t>(Done);
        if (Written) {
            *Written += static_cast<uint64_t>(Done);
        }
    }
    return {};
}

std::error_code TFile::ReadAt(uint64_t Offset, void* Data, size_t Size, size_t& Read) const {
    auto* Bytes = static_cast<uint8_t*>(Data);
    Read = 0;
    while (Read < Size) {
        const ssize_t Got =
            ::pread(Handle, Bytes + Read, Size - Read, static_cast<off_t>(Offset + Read));
        if (Got < 0 && errno == EINTR) {
            continue;
        }
        if (Got < 0) {
            return LastSystemError();
        }
        if (Got == 0) {
            break;
        }
        Read += static_cast<size_t>(Got);
    }
    return {};
}

std::error_code TFile::Size(uint64_t& Bytes) const {
    struct stat Status {};
    const std::error_code Error = StatusOf(Handle, Status);
    Bytes = Error ? 0 : static_cast<uint64_t>(Status.st_size);
    return Error;
}

std::error_code TFile::Truncate(uint64_t Bytes) {
    return ::ftruncate(Handle, static_cast<off_t>(Bytes)) == 0 ? std::error_code()
                                                               : LastSystemError();
}

std::error_code TFile::Sync() {
    return ::fsync(Handle) == 0 ? std::error_code() : LastSystemError();
}

std::error_code TFile::Status(TFileStatus& Status) const {
    struct stat Stat {};
    const std::error_code Error = StatusOf(Handle, Stat);
    if (!Error) {
        Status = StatusFrom(Stat);
    }
    return Error;
}

std::error_code TFile::SetMode(mode_t Bits) {
    return ::fchmod(Handle, Bits) == 0 ? std::error_code() : LastSystemError();
}

std::error_code TFile::SetOwner(uid_t Owner, gid_t Group) {
    return ::fchown(Handle, Owner, Group) == 0 ? std::error_code() : LastSystemError();
}

}  // namespace quorvane::platform
