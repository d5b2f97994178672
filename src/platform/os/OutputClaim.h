// The output file of a run, claimed before anything is written to it, so
// that two runs never write one file: each holds an exclusive advisory lock
// (flock) on it from before it is emptied until the run has ended. A file
// the claim creates is removed if the process is killed before its writer
// begins: a kill then leaves no empty file where there was none.
#pragma once

#include <string>
#include <system_error>

#include "platform/os/File.h"

namespace quorvane::platform {

class TOutputClaim {
public:
    // Opens Name for writing as it stands (created when missing, but not
    // emptied: its writer does that) and locks it when it is a regular file; devices and
    // pipes are not locked. Not claimed afterwards, with Error set, when
    // that fails: std::errc::resource_unavailable_try_again when another
    // process holds the lock.
    TOutputClaim(const std::string& Name, std::error_code& Error);
    ~TOutputClaim();
    TOutputClaim(const TOutputClaim&) = delete;
    TOutputClaim& operator=(const TOutputClaim&) = delete;

    const TFileIdentity& Identity() const { return Status.Identity; }
    bool IsRegularFile() const { return Status.Regular; }
    // Another descriptor of the claimed file, for its writer; the lock
    // holds while this object lives, whatever the writer does with it.
    TFile Duplicate(std::error_code& Error) const;
    // The writer begins to write: from now on a kill leaves the file (the
    // writer cuts it back to what is whole).
    void BeginWriting();
    // Gives the claim up before anything was written: a file the claim
    // created is removed (while it is still that file).
    void Withdraw();

private:
    void Open(const std::string& Name, std::error_code& Error);

    std::string Name;
    TFile File;
    TFileStatus Status;
    bool Created = false;
    int KillSlot = -1;  // the file the claim created, until its writer begins
};

}  // namespace quorvane::platform
