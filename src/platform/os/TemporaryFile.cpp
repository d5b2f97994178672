#include "platform/os/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/os/ProcessSignals.h"

namespace quorvane::platform {

namespace {

constexpr int MaxAttempts = 1000;

}  // namespace

size_t LongestNameBeside(const std::string& Path) {
    const std::filesystem::path Folder = std::filesystem::path(Path).parent_path();
    const long Longest = pathconf(Folder.empty() ? "." : Folder.c_str(), _PC_NAME_MAX);
    return Longest > 0 ? static_cast<size_t>(Longest) : NAME_MAX;
}

bool TemporaryNameFits(const std::string& Base) {
    const std::string LongestTried = Base + "-" + std::to_string(MaxAttempts);
    return std::filesystem::path(LongestTried).filename().string().size() <=
           LongestNameBeside(Base);
}

TTemporaryFile::TTemporaryFile(const std::string& Base, std::error_code& Error) {
    for (int Attempt = 1; Attempt <= MaxAttempts; ++Attempt) {
        FileName = Attempt == 1 ? Base : Base + "-" + std::to_string(Attempt);
        {
            const TSignalsHeld Held;
            KillSlot = RegisterTemporaryFile(FileName);
            Output = TFile::Open(FileName, O_WRONLY | O_CREAT | O_EXCL, Error);
            Owned = Output.IsOpen();
            TFileStatus Status;
            if (Owned && !Output.Status(Status)) {
                Identity = Status.Identity;
            }
            SettleTemporaryFile(KillSlot, Owned ? &Identity : nullptr);
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
    if (Owned && NameStandsForIt()) {
        ::unlink(FileName.c_str());
    }
}

bool TTemporaryFile::NameStandsForIt() const {
    TFileStatus Named;
    return !StatusOfName(FileName, Named, false) && Named.Identity == Identity;
}

std::error_code TTemporaryFile::Write(const void* Data, size_t Bytes) {
    return Output.WriteAll(Data, Bytes, &Written);
}

std::error_code TTemporaryFile::RenameOver(const std::string& Target) {
    if (!Owned || !NameStandsForIt()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (std::rename(FileName.c_str(), Target.c_str()) != 0) {
        return LastSystemError();
    }
    Unregister(KillSlot);
    KillSlot = -1;
    Owned = false;
    return {};
}

std::string TemporaryFileBaseFor(const std::string& Output, const std::string& Suffix) {
    TFileStatus Status;
    const std::error_code Missing = StatusOfName(Output, Status);
    if (Missing || Status.Regular) {
        return Output + Suffix;
    }
    const char* Folder = std::getenv("TMPDIR");
    const std::filesystem::path Temporary = Folder && *Folder ? Folder : "/tmp";
    return (Temporary / (std::filesystem::path(Output).filename().string() + Suffix)).string();
}

}  // namespace quorvane::platform
