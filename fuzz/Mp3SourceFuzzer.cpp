// The MP3 source over arbitrary bytes: tags are skipped, frames are read,
// and what is no frame is passed over, until the reader says the audio ends.
#include "FuzzInput.h"
#include "job/Mp3FrameReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const quorvane::fuzz::TMemoryFile File(Data, Size);
    for (const bool ExternalFile : {true, false}) {
        quorvane::TMp3FrameReader Reader(File.Name(), ExternalFile);
        uint64_t Taken = 0;
        while (Reader.Next().Type == quorvane::TMp3FrameHeader::Kind::Frame) {
            if (Reader.Frame().size() < 4) {
                __builtin_trap();  // a frame must hold its header at least
            }
            Taken += Reader.Frame().size();
        }
        // A byte is taken, passed over, or part of a tag: never two of these.
        if (Taken + Reader.SkippedBytes() > Size) {
            __builtin_trap();
        }
    }
    return 0;
}
