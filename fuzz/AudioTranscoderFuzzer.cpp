// The AVI audio transcoding chain on arbitrary audio: the input is read as
// a WAV file whose 'fmt ' record is the stored format and whose 'data' is
// cut into chunks; the MP3 format offered is picked by the input's size.
#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "job/AudioTranscoder.h"
#include "job/Mp3Formats.h"
#include "platform/audio/AudioCompressionManager.h"

namespace quorvane::fuzz {
namespace {

using namespace platform;

constexpr size_t MaxChunks = 64;

struct TWaveParts {
    std::vector<uint8_t> Format;
    std::span<const uint8_t> Audio;
};

uint32_t LE32(const uint8_t* Bytes) {
    uint32_t Value;
    std::memcpy(&Value, Bytes, sizeof Value);
    return Value;
}

TWaveParts SplitWave(std::span<const uint8_t> File) {
    TWaveParts Parts;
    for (size_t At = 12; At + 8 <= File.size();) {
        const size_t Size = std::min<size_t>(LE32(&File[At + 4]), File.size() - At - 8);
        const auto Body = File.subspan(At + 8, Size);
        if (std::memcmp(&File[At], "fmt ", 4) == 0) {
            Parts.Format.assign(Body.begin(), Body.end());
        } else if (std::memcmp(&File[At], "data", 4) == 0) {
            Parts.Audio = Body;
        }
        At += 8 + Size + (Size & 1);
    }
    return Parts;
}

// As the job keeps it: at least a WAVEFORMATEX with the extra bytes it announces.
std::vector<uint8_t> WholeFormat(std::vector<uint8_t> Format) {
    Format.resize(std::max(Format.size(), sizeof(WAVEFORMATEX)), 0);
    WAVEFORMATEX Header;
    std::memcpy(&Header, Format.data(), sizeof Header);
    Format.resize(std::max(Format.size(), sizeof(WAVEFORMATEX) + Header.cbSize), 0);
    return Format;
}

bool SuggestDecodedFormat(const std::vector<uint8_t>& Source, std::vector<uint8_t>& Decoded) {
    Decoded.assign(sizeof(WAVEFORMATEX), 0);
    auto* Pcm = reinterpret_cast<WAVEFORMATEX*>(Decoded.data());
    Pcm->wFormatTag = WAVE_FORMAT_PCM;
    return acmFormatSuggest(nullptr, reinterpret_cast<const WAVEFORMATEX*>(Source.data()), Pcm,
                            sizeof(WAVEFORMATEX),
                            ACM_FORMATSUGGESTF_WFORMATTAG) == MMSYSERR_NOERROR;
}

void Transcode(TAudioTranscoder& Transcoder, std::span<const uint8_t> Audio, size_t Shift) {
    const std::span<uint8_t> Chunk = Transcoder.ChunkBuffer();
    const size_t Piece = std::max<size_t>(1, Chunk.size() >> Shift);
    for (size_t Count = 0; !Audio.empty() && Count < MaxChunks; ++Count) {
        const size_t Bytes = std::min(Piece, Audio.size());
        std::memcpy(Chunk.data(), Audio.data(), Bytes);
        Transcoder.ConvertChunk(static_cast<uint32_t>(Bytes));
        Audio = Audio.subspan(Bytes);
    }
    Transcoder.Flush();
}

}  // namespace
}  // namespace quorvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace quorvane;
    static const TMp3FormatOffer Offer = EnumerateMP3Formats();
    const fuzz::TWaveParts Parts = fuzz::SplitWave({Data, Size});
    if (Parts.Format.empty() || Offer.empty()) {
        return 0;
    }
    const std::vector<uint8_t> Source = fuzz::WholeFormat(Parts.Format);
    std::vector<uint8_t> Decoded;
    if (!fuzz::SuggestDecodedFormat(Source, Decoded)) {
        return 0;
    }
    const TMp3Format& Chosen = Offer[Size % Offer.size()];
    TAudioTranscoder Transcoder;
    if (Transcoder.Prepare(Source, Decoded, Chosen.Format, Chosen.InputFormat)) {
        fuzz::Transcode(Transcoder, Parts.Audio, Size % 7);
    }
    return 0;
}
