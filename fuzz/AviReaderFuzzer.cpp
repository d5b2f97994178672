// Arbitrary bytes as an AVI file: the RIFF parser and either index kind,
// every stream's information, format, sample table and reads, the first
// frames decoded, and the job's own loading of the file.
#include <algorithm>
#include <climits>
#include <vector>

#include "FuzzInput.h"
#include "FuzzJob.h"
#include "platform/avi/AviFile.h"

namespace quorvane::fuzz {
namespace {

using namespace platform;

constexpr int32_t MaxStreams = 8;
constexpr int32_t FramesDecoded = 4;
constexpr int32_t ReadBufferSize = 1 << 16;

void ReadFormat(PAVISTREAM Stream) {
    int32_t Size = 0;
    if (AVIStreamReadFormat(Stream, AVIStreamStart(Stream), nullptr, &Size) != AVIERR_OK ||
        Size <= 0) {
        return;
    }
    std::vector<uint8_t> Format(static_cast<size_t>(Size));
    AVIStreamReadFormat(Stream, AVIStreamStart(Stream), Format.data(), &Size);
}

void ReadSamplesAround(PAVISTREAM Stream, int32_t Position, std::vector<uint8_t>& Buffer) {
    int32_t Bytes = 0;
    int32_t Samples = 0;
    AVIStreamRead(Stream, Position, 1, nullptr, 0, &Bytes, &Samples);
    AVIStreamRead(Stream, Position, ReadBufferSize, Buffer.data(), ReadBufferSize, &Bytes,
                  &Samples);
    const int32_t Time = AVIStreamSampleToTime(Stream, Position);
    AVIStreamTimeToSample(Stream, Time);
    AVIStreamFindSample(Stream, Position, FIND_NEXT | FIND_ANY);
    AVIStreamFindSample(Stream, Position, FIND_PREV | FIND_ANY);
}

void DecodeFirstFrames(PAVISTREAM Stream) {
    PGETFRAME Decoder = AVIStreamGetFrameOpen(Stream, nullptr);
    if (!Decoder) {
        return;
    }
    const int32_t Start = AVIStreamStart(Stream);
    const int32_t End = std::min<int64_t>(AVIStreamEnd(Stream), int64_t{Start} + FramesDecoded);
    for (int32_t Position = Start; Position < End; ++Position) {
        AVIStreamGetFrame(Decoder, Position);
    }
    AVIStreamGetFrame(Decoder, Start);  // back to the start: a restart
    AVIStreamGetFrameClose(Decoder);
}

void ExerciseStream(PAVISTREAM Stream) {
    AVISTREAMINFOA Info;
    AVIStreamInfoA(Stream, &Info, sizeof Info);
    ReadFormat(Stream);
    std::vector<uint8_t> Buffer(ReadBufferSize);
    const int64_t Start = AVIStreamStart(Stream);
    const int64_t End = AVIStreamEnd(Stream);
    for (const int64_t Position : {Start, Start + 1, (Start + End) / 2, End - 1, End}) {
        ReadSamplesAround(Stream,
                          static_cast<int32_t>(std::clamp<int64_t>(Position, INT32_MIN, INT32_MAX)),
                          Buffer);
    }
    if (Info.fccType == streamtypeVIDEO) {
        DecodeFirstFrames(Stream);
    }
}

void ExerciseFile(const std::string& Name) {
    PAVIFILE File = nullptr;
    if (AVIFileOpenA(&File, Name.c_str(), OF_READ, nullptr) != AVIERR_OK) {
        return;
    }
    for (int32_t Index = 0; Index < MaxStreams; ++Index) {
        PAVISTREAM Stream = nullptr;
        if (AVIFileGetStream(File, &Stream, 0, Index) != AVIERR_OK) {
            break;
        }
        ExerciseStream(Stream);
        AVIStreamRelease(Stream);
    }
    AVIFileRelease(File);
}

}  // namespace
}  // namespace quorvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace quorvane;
    const fuzz::TMemoryFile File(Data, Size);
    fuzz::ExerciseFile(File.Name());
    fuzz::LoadInJob(File.Name());
    return 0;
}
