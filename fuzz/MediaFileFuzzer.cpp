// Arbitrary bytes as a video file of the kinds libavformat reads (the seeds
// are MP4, MOV, Matroska and WebM files): the opening and timing of the
// frames, the first pictures in order, then again from the start, a frame
// near the end, the first second of the sound, and the job's own loading.
#include <algorithm>

#include "FuzzInput.h"
#include "FuzzJob.h"
#include "encoder/ScreenVideoEncoder.h"
#include "platform/media/MediaFile.h"

namespace quorvane::fuzz {
namespace {

using namespace platform;

constexpr size_t PicturesDecoded = 4;
constexpr size_t SoundFramesRead = 48000;

void ReadSound(TMediaAudioReader& Reader, uint16_t Channels) {
    std::vector<int16_t> Samples(size_t{4096} * std::max<uint16_t>(Channels, 1));
    for (size_t Read = 0; Read < SoundFramesRead;) {
        const size_t Given = Reader.Read(Samples.data(), 4096);
        if (Given == 0) {
            return;
        }
        Read += Given;
    }
}

void ExerciseFile(const std::string& Name) {
    TMediaOpenFailure Failure;
    std::unique_ptr<TMediaFile> File = TMediaFile::Open(Name, LargestFrameSide, Failure);
    if (!File) {
        return;
    }
    const size_t Frames = File->FrameTimes().size();
    if (!std::is_sorted(File->FrameTimes().begin(), File->FrameTimes().end()) ||
        File->EndTime() <= File->FrameTimes().back()) {
        __builtin_trap();  // times never go back, and the last frame lasts
    }
    for (size_t Index = 0; Index < std::min(Frames, PicturesDecoded); ++Index) {
        File->Picture(Index);
    }
    File->Picture(Frames - 1);
    File->Picture(0);  // back to the start: a new reading
    const uint16_t Channels = File->Audio() ? File->Audio()->Channels : 0;
    if (std::unique_ptr<TMediaAudioReader> Sound = File->TakeAudio()) {
        ReadSound(*Sound, Channels);
    }
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
