#include "encoder/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "encoder/FilesOnKill.h"

namespace quorvane {

namespace {

// Large enough that a frame of a big screen reaches the file in few calls.
constexpr size_t BufferCapacity = 256 * 1024;

std::error_code LastSystemError() {
    return {errno, std::system_category()};
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& Path, std::error_code& Error) {
    // Write-only: holding a pipe's read end too, the program would never
    // learn that its reader left, and would wait for ever once it is full.
    int Descriptor = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (Descriptor < 0) {
        Error = LastSystemError();
        return nullptr;
    }
    Error.clear();
    return std::unique_ptr<OutputFile>(new OutputFile(Descriptor));
}

OutputFile::OutputFile(int FileDescriptor)
    : Descriptor(FileDescriptor),
      Buffer(BufferCapacity),
      KillSlot(RegisterOutputFile(FileDescriptor)) {}

OutputFile::~OutputFile() {
    Close();
}

void OutputFile::Write(const uint8_t* Data, size_t Size) {
    if (FirstError) {
        return;
    }
    if (Buffered + Size > Buffer.size()) {
        Flush();
    }
    if (Size >= Buffer.size()) {
        WriteThrough(Data, Size);
        return;
    }
    std::memcpy(Buffer.data() + Buffered, Data, Size);
    Buffered += Size;
}

void OutputFile::MarkWhole() {
    if (!FirstError) {
        WholeEnds.push_back(BytesInFile + Buffered);
        if (Buffered == 0) {
            PublishWholeBytes(BytesInFile);
        }
    }
}

void OutputFile::Flush() {
    WriteThrough(Buffer.data(), Buffered);
    Buffered = 0;
    if (!FirstError) {
        WholeEnds.erase(WholeEnds.begin(), WholeEnds.end() - 1);
        PublishWholeBytes(WholeEnds.back());
    }
}

void OutputFile::PublishWholeBytes(uint64_t Bytes) {
    SetOutputWholeBytes(KillSlot, Bytes);
}

// A regular file may accept fewer bytes than asked (a full disk, a size
// limit); the rest is offered again until the system reports why it stops.
void OutputFile::WriteThrough(const uint8_t* Data, size_t Size) {
    while (Size > 0 && !FirstError) {
        ssize_t Written = write(Descriptor, Data, Size);
        if (Written < 0 && errno == EINTR) {
            continue;
        }
        if (Written < 0) {
            Fail(LastSystemError());
        } else if (Written == 0) {
            Fail(std::make_error_code(std::errc::io_error));
        } else {
            Data += Written;
            Size -= static_cast<size_t>(Written);
            BytesInFile += static_cast<uint64_t>(Written);
        }
    }
}

std::error_code OutputFile::Close() {
    if (Descriptor < 0) {
        return FirstError;
    }
    Flush();
    if (FirstError) {
        CutBackToLastWhole();
    }
    Unregister(KillSlot);
    KillSlot = -1;
    if (close(Descriptor) != 0) {
        Fail(LastSystemError());
    }
    Descriptor = -1;
    return FirstError;
}

// A partial unit would make the whole file unreadable to strict readers.
void OutputFile::CutBackToLastWhole() {
    auto Whole = std::find_if(WholeEnds.rbegin(), WholeEnds.rend(),
                              [this](uint64_t End) { return End <= BytesInFile; });
    const uint64_t Keep = Whole == WholeEnds.rend() ? 0 : *Whole;
    if (BytesInFile > Keep && ftruncate(Descriptor, static_cast<off_t>(Keep)) == 0) {
        BytesInFile = Keep;
    }
}

void OutputFile::Fail(std::error_code Error) {
    if (!FirstError) {
        FirstError = Error;
    }
}

}  // namespace quorvane
