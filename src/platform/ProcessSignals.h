// The signals that end the process, and what must still happen to the files
// being written when one does: temporary files are removed, outputs cut
// back to their last whole tag. The records are plain values in fixed
// slots, so that a signal handler can read them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace quorvane::platform {

// Each returns a slot, or -1 when every slot is taken: the file is then
// only looked after by its owner.
int RegisterTemporaryFile(const std::string& Name);
int RegisterOutputFile(int Descriptor);
// Bytes of the output that form whole tags and are in the file.
void SetOutputWholeBytes(int Slot, uint64_t Bytes);
// Before the file is closed, renamed or removed by its owner.
void Unregister(int Slot);

// Async-signal-safe, for the handler of a signal that ends the process.
void LeaveFilesWholeNow();
// Async-signal-safe: leaves the files whole, then ends the process by
// Signal as if it had not been caught. A signal handler.
void EndProcessBySignal(int Signal);

// Has Handler (a function, SIG_IGN or SIG_DFL) take each of Signals.
void HandleSignals(void (*Handler)(int), std::initializer_list<int> Signals);

}  // namespace quorvane::platform
