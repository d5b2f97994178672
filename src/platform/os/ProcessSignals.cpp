#include "platform/os/ProcessSignals.h"

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace quorvane::platform {

namespace {

// A slot is claimed, filled, then published; the handler reads published
// slots only.
enum SlotState : int { Free, Filling, Published };
enum class TKind { Temporary, Output };
enum Creation : int { Creating, Created, NotCreated };

// How long the handler waits for a temporary file being created: the
// creating thread needs the rest of one open call.
constexpr int MaxCreationWaitMs = 100;

struct TSlot {
    std::atomic<int> State{Free};
    TKind Kind = TKind::Temporary;
    char Name[PATH_MAX] = {};
    int Descriptor = -1;
    std::atomic<uint64_t> WholeBytes{0};
    std::atomic<int> Creation{Creating};  // of a temporary file
    TFileIdentity Created;                // set before Creation becomes Created
};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);

constexpr int SlotCount = 8;
TSlot Slots[SlotCount];

template <typename Fill>
int Claim(Fill FillSlot) {
    for (int Index = 0; Index < SlotCount; ++Index) {
        int Expected = Free;
        if (Slots[Index].State.compare_exchange_strong(Expected, Filling)) {
            FillSlot(Slots[Index]);
            Slots[Index].State = Published;
            return Index;
        }
    }
    return -1;
}

}  // namespace

int RegisterTemporaryFile(const std::string& Name) {
    if (Name.size() >= PATH_MAX) {
        return -1;
    }
    return Claim([&](TSlot& Slot) {
        Slot.Kind = TKind::Temporary;
        Slot.Creation = Creating;
        std::memcpy(Slot.Name, Name.c_str(), Name.size() + 1);
    });
}

void SettleTemporaryFile(int Slot, const TFileIdentity* File) {
    if (Slot >= 0) {
        if (File) {
            Slots[Slot].Created = *File;
        }
        Slots[Slot].Creation = File ? Created : NotCreated;
    }
}

TSignalsHeld::TSignalsHeld() {
    sigset_t All;
    sigfillset(&All);
    pthread_sigmask(SIG_BLOCK, &All, &Saved);
}

TSignalsHeld::~TSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &Saved, nullptr);
}

int RegisterOutputFile(int Descriptor) {
    return Claim([&](TSlot& Slot) {
        Slot.Kind = TKind::Output;
        Slot.Descriptor = Descriptor;
        Slot.WholeBytes = 0;
    });
}

void SetOutputWholeBytes(int Slot, uint64_t Bytes) {
    if (Slot >= 0) {
        Slots[Slot].WholeBytes = Bytes;
    }
}

void Unregister(int Slot) {
    if (Slot >= 0) {
        Slots[Slot].State = Free;
    }
}

void LeaveFilesWholeNow() {
    for (TSlot& Slot : Slots) {
        if (Slot.State.load() != Published) {
            continue;
        }
        if (Slot.Kind == TKind::Temporary) {
            const timespec Millisecond{0, 1000000};
            for (int Waited = 0; Slot.Creation.load() == Creating && Waited < MaxCreationWaitMs;
                 ++Waited) {
                nanosleep(&Millisecond, nullptr);
            }
            struct stat Named {};
            if (Slot.Creation.load() == Created && ::lstat(Slot.Name, &Named) == 0 &&
                Named.st_dev == Slot.Created.Device && Named.st_ino == Slot.Created.Inode) {
                ::unlink(Slot.Name);
            }
        } else {
            // A tag cut in the middle would make the whole file unreadable
            // to strict readers. A failure leaves nothing else to try here.
            [[maybe_unused]] const int Result =
                ::ftruncate(Slot.Descriptor, static_cast<off_t>(Slot.WholeBytes.load()));
        }
    }
}

void EndProcessBySignal(int Signal) {
    LeaveFilesWholeNow();
    ::signal(Signal, SIG_DFL);
    ::raise(Signal);
}

void HandleEndingSignals(void (*Handler)(int)) {
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction Current {};
        if (sigaction(Signal, nullptr, &Current) == 0 && Current.sa_handler != SIG_IGN) {
            HandleSignals(Handler, {Signal});
        }
    }
}

void HandleSignals(void (*Handler)(int), std::initializer_list<int> Signals) {
    struct sigaction Action {};
    Action.sa_handler = Handler;
    sigemptyset(&Action.sa_mask);
    for (const int Signal : Signals) {
        sigaction(Signal, &Action, nullptr);
    }
}

}  // namespace quorvane::platform
