// The signals that end the process, and what must still happen to the files
// being written when one does: temporary files are removed, outputs cut
// back to their last whole tag. The records are plain values in fixed
// slots, so that a signal handler can read them.
#pragma once

#include <signal.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/os/File.h"

namespace quorvane::platform {

// Each returns a slot, or -1 when every slot is taken: the file is then
// only looked after by its owner.
//
// A temporary file is registered before it is created and settled right
// after, so that no moment passes in which it exists unknown to the
// handler: the handler waits for a file being created, and removes it only
// when it was, and while the name still stands for it (a name that was
// taken, or that another file took since, is another's file). The creating
// thread holds its signals off meanwhile (TSignalsHeld), so that the
// handler does not run there and wait for itself.
int RegisterTemporaryFile(const std::string& Name);
// Created: the file made under the name, or null when none was.
void SettleTemporaryFile(int Slot, const TFileIdentity* Created);
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

// While it lives, signals sent to this thread wait; those sent to the
// process go to another thread.
class TSignalsHeld {
public:
    TSignalsHeld();
    ~TSignalsHeld();
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
    sigset_t Saved;
};

// Has Handler (a function, SIG_IGN or SIG_DFL) take each of Signals.
void HandleSignals(void (*Handler)(int), std::initializer_list<int> Signals);
// Has Handler take the signals that end a run from outside: SIGTERM (a
// kill), SIGINT (Ctrl-C) and SIGHUP (the terminal closed, a logout). One
// the process was started with ignored (nohup, a background job of a
// script) stays ignored.
void HandleEndingSignals(void (*Handler)(int));

}  // namespace quorvane::platform
