// The MP3 source over arbitrary bytes: the ID3v2 tag is skipped, then frames
// are read until the reader says the audio ends.
#include "FuzzInput.h"
#include "job/Mp3FrameReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const quorvane::fuzz::TMemoryFile File(Data, Size);
    for (const bool SkipId3v2 : {true, false}) {
        quorvane::TMp3FrameReader Reader(File.Name(), SkipId3v2);
        while (Reader.Next().Type == quorvane::TMp3FrameHeader::Kind::Frame) {
            if (Reader.Frame().empty()) {
                __builtin_trap();  // a frame must hold its header at least
            }
        }
    }
    return 0;
}
