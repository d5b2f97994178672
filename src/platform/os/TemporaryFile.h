// A file of the program's own beside the user's files: created under a name
// nobody else uses, and removed when the object goes (or by
// LeaveFilesWholeNow when the process is killed), unless it took another
// file's place. A file that another put under its name meanwhile is not
// its own: it is neither removed nor renamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

#include "platform/os/File.h"

namespace quorvane::platform {

class TTemporaryFile {
public:
    // Creates Base, or Base-2, Base-3, ... when the name is taken: a file
    // the program did not create is never replaced. When none can be
    // created, File() is not open, Error says why and Name() is the last
    // name tried.
    TTemporaryFile(const std::string& Base, std::error_code& Error);
    ~TTemporaryFile();
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    const std::string& Name() const { return FileName; }
    TFile& File() { return Output; }
    // Bytes written so far, those of a write that failed included.
    uint64_t Size() const { return Written; }
    std::error_code Write(const void* Data, size_t Bytes);
    // Ends the writing; the file stays until the object goes.
    std::error_code Close() { return Output.Close(); }
    // The closed file takes Target's place, and is the program's no longer.
    // std::errc::no_such_file_or_directory when its name no longer stands
    // for it.
    std::error_code RenameOver(const std::string& Target);

private:
    bool NameStandsForIt() const;

    std::string FileName;
    TFile Output;
    bool Owned = false;  // created here, and not renamed away
    TFileIdentity Identity;
    int KillSlot = -1;
    uint64_t Written = 0;
};

// The longest name a file may have in the folder of Path (255 bytes on most
// file systems).
size_t LongestNameBeside(const std::string& Path);
// Whether each name TTemporaryFile may try for Base (Base-1000 the longest)
// fits its folder.
bool TemporaryNameFits(const std::string& Base);

// Where a temporary file for Output goes: Output's name with Suffix when
// Output is a regular file or is still to be made; for a device or a pipe,
// its base name with Suffix in $TMPDIR (or /tmp), as nothing may be made
// beside those.
std::string TemporaryFileBaseFor(const std::string& Output, const std::string& Suffix);

}  // namespace quorvane::platform
