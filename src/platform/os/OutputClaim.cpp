#include "platform/os/OutputClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/os/ProcessSignals.h"

namespace quorvane::platform {

namespace {

// A name renamed over between the opening and the lock is opened again; a
// file replaced that often is not one to write.
constexpr int MaxAttempts = 16;

std::error_code LockExclusively(const TFile& File) {
    return ::flock(File.Descriptor(), LOCK_EX | LOCK_NB) == 0 ? std::error_code()
                                                              : LastSystemError();
}

}  // namespace

TOutputClaim::TOutputClaim(const std::string& FileName, std::error_code& Error) : Name(FileName) {
    for (int Attempt = 0; Attempt < MaxAttempts; ++Attempt) {
        Open(Name, Error);
        if (Error || !Status.Regular) {
            return;
        }
        if ((Error = LockExclusively(File))) {
            File.Close();
            return;
        }
        // The lock is of the file opened; the name must still stand for it
        // (a run ending with its metadata pass puts a new file there).
        TFileStatus Named;
        if (!StatusOfName(Name, Named) && Named.Identity == Status.Identity) {
            return;
        }
        File.Close();
    }
    Error = std::make_error_code(std::errc::resource_unavailable_try_again);
}

TOutputClaim::~TOutputClaim() {
    BeginWriting();
}

// Opened as the writer would open it, so a pipe waits for its reader here;
// created exclusively first, to know whether the claim made the file.
void TOutputClaim::Open(const std::string& FileName, std::error_code& Error) {
    BeginWriting();
    bool Known = false;
    {
        const TSignalsHeld Held;
        KillSlot = RegisterTemporaryFile(FileName);
        File = TFile::Open(FileName, O_WRONLY | O_CREAT | O_EXCL, Error);
        Created = File.IsOpen();
        Known = Created && !File.Status(Status);
        SettleTemporaryFile(KillSlot, Known ? &Status.Identity : nullptr);
    }
    if (!Known) {
        BeginWriting();
    }
    if (Error == std::errc::file_exists) {
        // Through a symbolic link whose target is missing too, as the
        // writer would.
        File = TFile::Open(FileName, O_WRONLY | O_CREAT, Error);
    }
    if (!Error) {
        Error = File.Status(Status);
    }
    if (Error) {
        File.Close();
    }
}

TFile TOutputClaim::Duplicate(std::error_code& Error) const {
    TFile Copy(::fcntl(File.Descriptor(), F_DUPFD_CLOEXEC, 0));
    Error = Copy.IsOpen() ? std::error_code() : LastSystemError();
    return Copy;
}

void TOutputClaim::BeginWriting() {
    Unregister(KillSlot);
    KillSlot = -1;
}

void TOutputClaim::Withdraw() {
    BeginWriting();
    TFileStatus Named;
    if (Created && !StatusOfName(Name, Named, false) && Named.Identity == Status.Identity) {
        ::unlink(Name.c_str());
    }
    Created = false;
    File.Close();
}

}  // namespace quorvane::platform
