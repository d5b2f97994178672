#include "encoder/MetadataInjection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "encoder/FilesOnKill.h"
#include "encoder/FlvFileSummary.h"
#include "encoder/OnMetaData.h"

namespace quorvane {

namespace {

constexpr size_t CopyBufferSize = 1024 * 1024;

[[noreturn]] void FailWithSystemError(const std::string& What) {
    throw EMetadataFailure(What + " (" + std::strerror(errno) + ")");
}

// Closes the descriptor it is given.
class TDescriptor {
public:
    explicit TDescriptor(int Value) : Value(Value) {}
    ~TDescriptor() {
        if (Value >= 0) {
            close(Value);
        }
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;

    int Get() const { return Value; }

private:
    int Value;
};

// The new file under a temporary name beside the file it is to replace;
// removed unless it took that file's place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(const std::filesystem::path& Target)
        : Path(Target.string() + ".metadata-XXXXXX") {
        Descriptor = mkostemp(Path.data(), O_CLOEXEC);
        if (Descriptor < 0) {
            Path.clear();
            FailWithSystemError("a temporary file cannot be created beside it");
        }
        Slot = RegisterTemporaryFile(Path);
    }
    ~TTemporaryFile() {
        Unregister(Slot);
        if (Descriptor >= 0) {
            close(Descriptor);
        }
        if (!Path.empty()) {
            unlink(Path.c_str());
        }
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    int Get() const { return Descriptor; }

    // The data is made durable before it takes the target's place.
    void RenameOver(const std::filesystem::path& Target) {
        const int Closing = Descriptor;
        Descriptor = -1;
        const bool Synced = fsync(Closing) == 0;
        if (close(Closing) != 0 || !Synced) {
            FailWithSystemError("the new file cannot be written");
        }
        if (rename(Path.c_str(), Target.c_str()) != 0) {
            FailWithSystemError("the new file cannot replace it");
        }
        Unregister(Slot);
        Slot = -1;
        Path.clear();
    }

private:
    std::string Path;
    int Descriptor = -1;
    int Slot = -1;
};

void WriteAll(int Descriptor, const uint8_t* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t Written = write(Descriptor, Data, Size);
        if (Written < 0 && errno == EINTR) {
            continue;
        }
        if (Written <= 0) {
            if (Written == 0) {
                errno = EIO;
            }
            FailWithSystemError("the new file cannot be written");
        }
        Data += Written;
        Size -= static_cast<size_t>(Written);
    }
}

// Copies Source from Offset to its end; returns the bytes copied.
uint64_t CopyFrom(int Source, uint64_t Offset, int Target) {
    const uint64_t Start = Offset;
    std::vector<uint8_t> Buffer(CopyBufferSize);
    for (;;) {
        const ssize_t Read =
            pread(Source, Buffer.data(), Buffer.size(), static_cast<off_t>(Offset));
        if (Read < 0 && errno == EINTR) {
            continue;
        }
        if (Read < 0) {
            FailWithSystemError("the file cannot be read");
        }
        if (Read == 0) {
            return Offset - Start;
        }
        WriteAll(Target, Buffer.data(), static_cast<size_t>(Read));
        Offset += static_cast<uint64_t>(Read);
    }
}

// The file a name stands for: the target of a symbolic link is rewritten,
// and the link kept.
std::filesystem::path RealFile(const std::string& FileName) {
    std::error_code Error;
    std::filesystem::path Real = std::filesystem::canonical(FileName, Error);
    if (Error) {
        throw EMetadataFailure("the file cannot be found (" + Error.message() + ")");
    }
    return Real;
}

uint64_t Rewrite(const std::filesystem::path& Target) {
    // Not blocking: opening a pipe would wait for a writer.
    TDescriptor Source(open(Target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (Source.Get() < 0) {
        FailWithSystemError("the file cannot be opened");
    }
    struct stat Status {};
    if (fstat(Source.Get(), &Status) != 0) {
        FailWithSystemError("the file cannot be read");
    }
    // Renaming over a device or a pipe would replace it with a file.
    if (!S_ISREG(Status.st_mode)) {
        throw EMetadataFailure("it is not a regular file");
    }
    const TFlvFileSummary Summary = SummarizeFlvFile(Source.Get());
    if (Summary.Video.Tags + Summary.Audio.Tags == 0) {
        return Summary.FileSize;
    }
    const std::vector<uint8_t> Tag = BuildOnMetaDataTag(Summary);

    TTemporaryFile NewFile(Target);
    if (fchmod(NewFile.Get(), Status.st_mode & 07777) != 0) {
        FailWithSystemError("the new file cannot take the file's permissions");
    }
    uint8_t Header[TFlvFileSummary::HeaderSize];
    if (pread(Source.Get(), Header, sizeof Header, 0) != static_cast<ssize_t>(sizeof Header)) {
        FailWithSystemError("the file cannot be read");
    }
    WriteAll(NewFile.Get(), Header, sizeof Header);
    WriteAll(NewFile.Get(), Tag.data(), Tag.size());
    const uint64_t Copied = CopyFrom(Source.Get(), TFlvFileSummary::HeaderSize, NewFile.Get());
    // The index describes the file as it was read first.
    if (Copied != Summary.FileSize - TFlvFileSummary::HeaderSize) {
        throw EMetadataFailure("the file changed while it was rewritten");
    }
    NewFile.RenameOver(Target);
    return Summary.FileSize + Tag.size();
}

}  // namespace

uint64_t AddOnMetaData(const std::string& FileName) {
    try {
        return Rewrite(RealFile(FileName));
    } catch (const EFlvFileUnreadable& Unreadable) {
        throw EMetadataFailure(Unreadable.what());
    } catch (const std::length_error& TooLong) {
        throw EMetadataFailure(TooLong.what());
    }
}

}  // namespace quorvane
