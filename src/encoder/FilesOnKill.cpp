#include "encoder/FilesOnKill.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace quorvane {

namespace {

// A slot is claimed, filled, then published; the handler reads published
// slots only.
enum SlotState : int { Free, Filling, Published };

struct TSlot {
    std::atomic<int> State{Free};
    char Name[PATH_MAX] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

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
        std::memcpy(Slot.Name, Name.c_str(), Name.size() + 1);
    });
}

void Unregister(int Slot) {
    if (Slot >= 0) {
        Slots[Slot].State = Free;
    }
}

void RemoveTemporaryFilesNow() {
    for (TSlot& Slot : Slots) {
        if (Slot.State.load() == Published) {
            ::unlink(Slot.Name);
        }
    }
}

}  // namespace quorvane
