// The job's temporary audio file: created beside the output under a name
// nobody else uses, and removed when the object goes, or by
// LeaveFilesWholeNow when the process is being killed.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

class TTemporaryFile {
public:
    // Creates Base, or Base-2, Base-3, ... when the name is taken: a file
    // this job did not create is never replaced. Throws EJobFailure.
    explicit TTemporaryFile(const std::string& Base);
    ~TTemporaryFile();
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    const std::string& Name() const { return FileName; }
    uint64_t Size() const { return Written; }
    // Throws EJobFailure when the bytes can't all be written.
    void Write(const uint8_t* Data, size_t Bytes);
    // Ends the writing (the file stays until the object goes).
    void Close();

private:
    std::string FileName;
    int Descriptor = -1;
    int Slot = -1;
    uint64_t Written = 0;
};

}  // namespace quorvane
