// The chain that turns a video file's stored audio into MP3 bytes:
// decompression to PCM, conversion to the PCM the MP3 encoder takes, and
// compression, each an audio codec stream with its own buffer allocated
// once.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/audio/AudioCompressionManager.h"

namespace quorvane {

enum class TTranscodeStage : uint8_t { None, Decompression, Conversion, Compression };

struct TTranscodeResult {
    TTranscodeStage FailedStage = TTranscodeStage::None;  // None: converted
    std::span<const uint8_t> Mp3;  // the MP3 bytes made; valid until the next call
    bool ChunkLost = false;        // nothing of the chunk's sound went on
};

// The chunk for a stored format: nAvgBytesPerSec x nChannels bytes (two
// seconds of 16-bit stereo), kept to whole blocks between MinChunkBytes (or
// one block when that is larger) and MaxChunkBytes, whatever the header
// claims: a header claiming no bytes a second would otherwise have the pass
// read a sample at a time.
constexpr uint32_t MinChunkBytes = 4096;
constexpr uint32_t MaxChunkBytes = 4u << 20;
uint32_t ChunkSizeFor(const platform::WAVEFORMATEX& Source);

class TAudioTranscoder {
public:
    TAudioTranscoder() = default;
    ~TAudioTranscoder();
    TAudioTranscoder(const TAudioTranscoder&) = delete;
    TAudioTranscoder& operator=(const TAudioTranscoder&) = delete;

    // Whole format records: the stored format, the PCM it decodes to, the
    // MP3 format and the PCM its encoder takes. False at the first stream
    // that can't be opened; the streams opened so far go with the object.
    bool Prepare(const std::vector<uint8_t>& SourceFormat,
                 const std::vector<uint8_t>& DecodedFormat, const std::vector<uint8_t>& Mp3Format,
                 const std::vector<uint8_t>& Mp3InputFormat);

    // Where one chunk of stored audio is read to; its size is the chunk size.
    std::span<uint8_t> ChunkBuffer();
    // Runs the first Bytes of ChunkBuffer through the three stages, and what
    // a stage could not hand on in one buffer after it. A stage that fails
    // on the chunk gives it up (ChunkLost): the later stages don't run. One
    // that fails on what it held over gives that up, and the later stages
    // still hand on theirs.
    TTranscodeResult ConvertChunk(uint32_t Bytes);
    // After the last chunk: what the stages still hold (input held back, the
    // resampler's last samples, the encoder's last frames). A stage whose
    // end fails still lets the later ones end.
    TTranscodeResult Flush();

    // Keeps only sample frames First (inclusive) to Last of the decoded
    // sound, counted from its first: what lies outside goes no further than
    // the decompression stage. All of it without a call.
    void KeepDecoded(uint64_t First, uint64_t Last);
    // Counts Frames of decoded sound lost (a chunk that could not be read or
    // decoded) as if they had passed, so that the sound after them keeps its
    // place.
    void PassOverDecoded(uint64_t Frames);
    uint32_t DecodedRate() const { return Decoded.nSamplesPerSec; }

    // Up to a buffer of silence, Frames sample frames of the encoder's input
    // at Mp3InputRate(), through the compression stage alone; Frames is what
    // remains to be made afterwards.
    TTranscodeResult ConvertSilence(uint64_t& Frames);
    uint32_t Mp3InputRate() const { return Mp3Input.nSamplesPerSec; }

private:
    struct TStage {
        platform::HACMSTREAM Stream = nullptr;
        std::vector<uint8_t> Output;
        platform::ACMSTREAMHEADER Header{};
    };
    bool OpenStage(TStage& Stage, const std::vector<uint8_t>& From, const std::vector<uint8_t>& To,
                   uint32_t InputBytes);
    bool RunStage(TStage& Stage, uint8_t* Input, uint32_t Bytes, uint32_t Flags);
    TTranscodeResult RunFrom(size_t First, uint8_t* Input, uint32_t Bytes, uint32_t Flags);
    std::span<uint8_t> KeptOf(std::span<uint8_t> DecodedPcm);
    TTranscodeResult PassOnHeld(uint32_t Flags);

    std::vector<uint8_t> SourceBuffer;
    platform::WAVEFORMATEX Decoded{};
    platform::WAVEFORMATEX Mp3Input{};
    // The part of the decoded sound kept, and the sample frames decoded so far.
    uint64_t KeptFirst = 0;
    uint64_t KeptLast = UINT64_MAX;
    uint64_t DecodedFrames = 0;
    TStage Stages[3];           // decompression, conversion, compression
    std::vector<uint8_t> Made;  // the MP3 bytes of the last call
};

}  // namespace quorvane
