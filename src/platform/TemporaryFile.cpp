#include "platform/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/ProcessSignals.h"

namespace quorvane::platform {

namespace {

constexpr int MaxAttempts = 1000;

}  // namespace

TTemporaryFile::TTemporaryFile(const std::string& Base, std::error_code& Error) {
    for (int Attempt = 1; Attempt <= MaxAttempts; ++Attempt) {
        FileName = Attempt == 1 ? Base : Base + "-" + std::to_string(Attempt);
        {
            const TSignalsHeld Held;
            KillSlot = RegisterTemporaryFile(FileName);
            Output = TFile::Open(FileName, O_WRONLY | O_CREAT | O_EXCL, Error);
            Owned = Output.IsOpen();
            SettleTemporaryFile(KillSlot, Owned);
        }
        if (Owned) {
            return;
        }
        Unregister(KillSlot);
        KillSlot = -1;
        if (Error != std::errc::file_exists) {
            return;
        }
    }
}

TTemporaryFile::~TTemporaryFile() {
    Output.Close();
    Unregister(KillSlot);
    if (Owned) {
        ::unlink(FileName.c_str());
    }
}

std::error_code TTemporaryFile::Write(const void* Data, size_t Bytes) {
    return Output.WriteAll(Data, Bytes, &Written);
}

std::error_code TTemporaryFile::RenameOver(const std::string& Target) {
    if (std::rename(FileName.c_str(), Target.c_str()) != 0) {
        return LastSystemError();
    }
    Unregister(KillSlot);
    KillSlot = -1;
    Owned = false;
    return {};
}

}  // namespace quorvane::platform
