#include "job/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "job/JobErrors.h"

namespace quorvane {

namespace {

// The names of the files alive, for a signal handler: plain characters in
// fixed slots. A slot is claimed, filled, then published; the handler reads
// published slots only.
enum SlotState : int { Free, Filling, Published };
constexpr int Slots = 8;
char SlotNames[Slots][PATH_MAX];
std::atomic<int> SlotStates[Slots];
static_assert(std::atomic<int>::is_always_lock_free);

// -1 when every slot is taken: the file is then still removed normally.
int Publish(const std::string& Name) {
    if (Name.size() >= PATH_MAX) {
        return -1;
    }
    for (int Slot = 0; Slot < Slots; ++Slot) {
        int Expected = Free;
        if (SlotStates[Slot].compare_exchange_strong(Expected, Filling)) {
            std::memcpy(SlotNames[Slot], Name.c_str(), Name.size() + 1);
            SlotStates[Slot] = Published;
            return Slot;
        }
    }
    return -1;
}

void Withdraw(int Slot) {
    if (Slot >= 0) {
        SlotStates[Slot] = Free;
    }
}

constexpr int MaxAttempts = 1000;

}  // namespace

TTemporaryFile::TTemporaryFile(const std::string& Base) {
    for (int Attempt = 1; Attempt <= MaxAttempts && Descriptor < 0; ++Attempt) {
        FileName = Attempt == 1 ? Base : Base + "-" + std::to_string(Attempt);
        Descriptor = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Descriptor < 0 && errno != EEXIST) {
            break;
        }
    }
    if (Descriptor < 0) {
        throw EJobFailure("Impossible to create the temporary audio file " + FileName + " (" +
                          std::strerror(errno) + ").");
    }
    Slot = Publish(FileName);
}

TTemporaryFile::~TTemporaryFile() {
    Close();
    Withdraw(Slot);
    ::unlink(FileName.c_str());
}

void TTemporaryFile::Write(const uint8_t* Data, size_t Bytes) {
    while (Bytes > 0) {
        const ssize_t Done = ::write(Descriptor, Data, Bytes);
        if (Done < 0 && errno == EINTR) {
            continue;
        }
        if (Done <= 0) {
            throw EJobFailure("The temporary audio file " + FileName + " could not be written (" +
                              std::strerror(Done < 0 ? errno : ENOSPC) + ").");
        }
        Data += Done;
        Bytes -= static_cast<size_t>(Done);
        Written += static_cast<uint64_t>(Done);
    }
}

void TTemporaryFile::Close() {
    if (Descriptor >= 0) {
        ::close(Descriptor);
        Descriptor = -1;
    }
}

void RemoveTemporaryFilesNow() {
    for (int Slot = 0; Slot < Slots; ++Slot) {
        if (SlotStates[Slot].load() == Published) {
            ::unlink(SlotNames[Slot]);
        }
    }
}

}  // namespace quorvane
