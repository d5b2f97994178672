// The three kinds of conversion stream behind the audio codec services:
// stored audio to PCM (libavcodec), PCM to PCM (libswresample) and PCM to
// MP3 (LAME). Each takes whatever bytes it is given, keeps what it cannot
// use yet (a partial block or frame) for the next call, and gives all it
// still holds when told that the input has ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types/WinTypes.h"

namespace quorvane::platform {

// What any one conversion call may hand out at most, so that a hostile
// header can't ask for gigabytes of buffer.
constexpr size_t MaxStreamOutput = size_t{64} << 20;

class IAudioStream {
public:
    virtual ~IAudioStream() = default;
    // The most output that InputBytes of input can give, for buffer sizes.
    virtual size_t MaxOutput(size_t InputBytes) const = 0;
    // Appends the output of Input (and, when End is set, of everything held
    // back) to Output. False when the data can not be converted.
    virtual bool Convert(const uint8_t* Input, size_t InputBytes, bool End,
                         std::vector<uint8_t>& Output) = 0;
};

// Formats are whole records (WAVEFORMATEX and its cbSize extra bytes).
// Nothing when no stream of these kinds converts Source to Destination.
std::unique_ptr<IAudioStream> OpenDecodingStream(const WAVEFORMATEX& Source,
                                                 const WAVEFORMATEX& Destination);
std::unique_ptr<IAudioStream> OpenPcmConversionStream(const WAVEFORMATEX& Source,
                                                      const WAVEFORMATEX& Destination);
std::unique_ptr<IAudioStream> OpenMp3EncodingStream(const WAVEFORMATEX& Source,
                                                    const WAVEFORMATEX& Destination);

// Holds back the bytes of a partial block (a sample frame of PCM, a block of
// ADPCM) until the rest arrives.
class TBlockCarry {
public:
    explicit TBlockCarry(size_t BlockBytes) : Block(BlockBytes == 0 ? 1 : BlockBytes) {}
    // Input joined to what was held back, cut to whole blocks; the rest is
    // held back. Valid until the next call.
    const std::vector<uint8_t>& WholeBlocks(const uint8_t* Input, size_t InputBytes);

private:
    size_t Block;
    std::vector<uint8_t> Held;
    std::vector<uint8_t> Whole;
};

}  // namespace quorvane::platform
