// What must still happen to the files being written when the process is
// killed: temporary files are removed. The records are plain values in fixed slots, so that a signal
// handler can read them.
#pragma once

#include <string>

namespace quorvane {

// Returns a slot, or -1 when every slot is taken: the file is then only
// looked after by its owner.
int RegisterTemporaryFile(const std::string& Name);
// Before the file is renamed or removed by its owner.
void Unregister(int Slot);

// Async-signal-safe, for the handler of a signal that ends the process.
void RemoveTemporaryFilesNow();

}  // namespace quorvane
