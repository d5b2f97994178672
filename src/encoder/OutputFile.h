// The encoder's output file: one new file written strictly from start to end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/os/File.h"

namespace quorvane {

// Buffered sequential writer of a new file. The first failure
// (a failed or short write, or a failed close) is kept; every later write is
// dropped. The writer marks where each whole unit (an FLV tag) ends; after a
// failure, Close cuts the file back to the last mark, so that it holds only
// whole units, and Size() says how many bytes those are.
class OutputFile {
public:
    // Creates the file, replacing any file of that name. Returns null and
    // sets Error when the file cannot be created.
    static std::unique_ptr<OutputFile> Create(const std::string& Path, std::error_code& Error);
    // Writes into File, opened for writing by the caller, from its start: a
    // regular file is emptied first. Null, with Error set, when that fails.
    static std::unique_ptr<OutputFile> Adopt(platform::TFile File, std::error_code& Error);

    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const uint8_t* Data, size_t Size);
    // Everything written so far forms whole units.
    void MarkWhole();
    // Hands what is buffered to the file.
    void Flush();

    // Writes what is buffered and closes the file; returns the first error.
    std::error_code Close();

    // Bytes that have reached the file.
    uint64_t Size() const { return BytesInFile; }
    std::error_code Error() const { return FirstError; }

private:
    explicit OutputFile(platform::TFile File);
    void PublishWholeBytes(uint64_t Bytes);
    void WriteThrough(const uint8_t* Data, size_t Size);
    void Fail(std::error_code Error);
    void CutBackToLastWhole();

    platform::TFile File;
    std::vector<uint8_t> Buffer;
    size_t Buffered = 0;
    uint64_t BytesInFile = 0;
    // Where whole units end: the last one known to be in the file, then
    // those still in the buffer.
    std::vector<uint64_t> WholeEnds{0};
    std::error_code FirstError;
    // For a process being killed (platform/os/ProcessSignals.h).
    int KillSlot = -1;
};

}  // namespace quorvane
