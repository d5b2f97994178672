#include "encoder/OutputFile.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/os/ProcessSignals.h"

namespace quorvane {

namespace {

// Large enough that a frame of a big screen reaches the file in few calls.
constexpr size_t BufferCapacity = 256 * 1024;

}  // namespace

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& Path, std::error_code& Error) {
    // Write-only: holding a pipe's read end too, the program would never
    // learn that its reader left, and would wait for ever once it is full.
    platform::TFile File = platform::TFile::Open(Path, O_WRONLY | O_CREAT | O_TRUNC, Error);
    if (Error) {
        return nullptr;
    }
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(File)));
}

std::unique_ptr<OutputFile> OutputFile::Adopt(platform::TFile File, std::error_code& Error) {
    platform::TFileStatus Status;
    Error = File.Status(Status);
    if (!Error && Status.Regular) {
        Error = File.Truncate(0);
    }
    if (Error) {
        return nullptr;
    }
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(File)));
}

OutputFile::OutputFile(platform::TFile Created)
    : File(std::move(Created)),
      Buffer(BufferCapacity),
      KillSlot(platform::RegisterOutputFile(File.Descriptor())) {}

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
    platform::SetOutputWholeBytes(KillSlot, Bytes);
}

void OutputFile::WriteThrough(const uint8_t* Data, size_t Size) {
    if (!FirstError) {
        Fail(File.WriteAll(Data, Size, &BytesInFile));
    }
}

std::error_code OutputFile::Close() {
    if (!File.IsOpen()) {
        return FirstError;
    }
    Flush();
    if (FirstError) {
        CutBackToLastWhole();
    }
    platform::Unregister(KillSlot);
    KillSlot = -1;
    Fail(File.Close());
    return FirstError;
}

// A partial unit would make the whole file unreadable to strict readers.
void OutputFile::CutBackToLastWhole() {
    auto Whole = std::find_if(WholeEnds.rbegin(), WholeEnds.rend(),
                              [this](uint64_t End) { return End <= BytesInFile; });
    const uint64_t Keep = Whole == WholeEnds.rend() ? 0 : *Whole;
    if (BytesInFile > Keep && !File.Truncate(Keep)) {
        BytesInFile = Keep;
    }
}

void OutputFile::Fail(std::error_code Error) {
    if (!FirstError) {
        FirstError = Error;
    }
}

}  // namespace quorvane
