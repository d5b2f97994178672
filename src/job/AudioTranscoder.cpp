#include "job/AudioTranscoder.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

using namespace platform;

namespace {

const WAVEFORMATEX* AsFormat(const std::vector<uint8_t>& Record) {
    return reinterpret_cast<const WAVEFORMATEX*>(Record.data());
}

WAVEFORMATEX HeaderOf(const std::vector<uint8_t>& Record) {
    WAVEFORMATEX Header{};
    std::memcpy(&Header, Record.data(), std::min(Record.size(), sizeof Header));
    return Header;
}

constexpr TTranscodeStage StageNames[] = {
    TTranscodeStage::Decompression, TTranscodeStage::Conversion, TTranscodeStage::Compression};

}  // namespace

uint32_t ChunkSizeFor(const WAVEFORMATEX& Source) {
    const uint32_t Block = std::max<uint32_t>(Source.nBlockAlign, 1);
    const uint64_t Wanted = static_cast<uint64_t>(Source.nAvgBytesPerSec) * Source.nChannels;
    const uint64_t Bounded = std::clamp<uint64_t>(Wanted, MinChunkBytes, MaxChunkBytes);
    return static_cast<uint32_t>(std::max<uint64_t>(Bounded - Bounded % Block, Block));
}

TAudioTranscoder::~TAudioTranscoder() {
    for (TStage& Stage : Stages) {
        if (Stage.Stream) {
            acmStreamClose(Stage.Stream, 0);
        }
    }
}

bool TAudioTranscoder::Prepare(const std::vector<uint8_t>& SourceFormat,
                               const std::vector<uint8_t>& DecodedFormat,
                               const std::vector<uint8_t>& Mp3Format,
                               const std::vector<uint8_t>& Mp3InputFormat) {
    for (const std::vector<uint8_t>* Record :
         {&SourceFormat, &DecodedFormat, &Mp3Format, &Mp3InputFormat}) {
        if (Record->size() < sizeof(WAVEFORMATEX) - sizeof(uint16_t)) {
            return false;
        }
    }
    SourceBuffer.assign(ChunkSizeFor(HeaderOf(SourceFormat)), 0);
    Mp3Input = HeaderOf(Mp3InputFormat);
    Decoded = HeaderOf(DecodedFormat);
    const uint64_t SecondOfDecoded =
        static_cast<uint64_t>(Decoded.nAvgBytesPerSec) * Decoded.nChannels;
    return OpenStage(Stages[0], SourceFormat, DecodedFormat,
                     static_cast<uint32_t>(SourceBuffer.size())) &&
           OpenStage(Stages[1], DecodedFormat, Mp3InputFormat,
                     static_cast<uint32_t>(std::min<uint64_t>(SecondOfDecoded, MaxChunkBytes))) &&
           OpenStage(Stages[2], Mp3InputFormat, Mp3Format,
                     static_cast<uint32_t>(Stages[1].Output.size()));
}

// Opens the stream, sizes its output for InputBytes and presets its header;
// the previous stage's output (or the chunk buffer) is its input.
bool TAudioTranscoder::OpenStage(TStage& Stage, const std::vector<uint8_t>& From,
                                 const std::vector<uint8_t>& To, uint32_t InputBytes) {
    uint32_t OutputBytes = 0;
    if (acmStreamOpen(&Stage.Stream, nullptr, AsFormat(From), AsFormat(To), nullptr, 0, 0, 0) !=
            MMSYSERR_NOERROR ||
        acmStreamSize(Stage.Stream, InputBytes, &OutputBytes, ACM_STREAMSIZEF_SOURCE) !=
            MMSYSERR_NOERROR ||
        OutputBytes == 0) {
        return false;
    }
    Stage.Output.assign(OutputBytes, 0);
    Stage.Header = {};
    Stage.Header.cbStruct = sizeof(ACMSTREAMHEADER);
    Stage.Header.pbDst = Stage.Output.data();
    Stage.Header.cbDstLength = OutputBytes;
    return true;
}

std::span<uint8_t> TAudioTranscoder::ChunkBuffer() {
    return SourceBuffer;
}

bool TAudioTranscoder::RunStage(TStage& Stage, uint8_t* Input, uint32_t Bytes, uint32_t Flags) {
    Stage.Header.pbSrc = Input;
    Stage.Header.cbSrcLength = Bytes;
    Stage.Header.cbDstLengthUsed = 0;
    if (acmStreamPrepareHeader(Stage.Stream, &Stage.Header, 0) != MMSYSERR_NOERROR) {
        return false;
    }
    const bool Converted = acmStreamConvert(Stage.Stream, &Stage.Header, Flags) == MMSYSERR_NOERROR;
    acmStreamUnprepareHeader(Stage.Stream, &Stage.Header, 0);
    return Converted;
}

void TAudioTranscoder::KeepDecoded(uint64_t First, uint64_t Last) {
    KeptFirst = First;
    KeptLast = std::max(First, Last);
}

void TAudioTranscoder::PassOverDecoded(uint64_t Frames) {
    DecodedFrames += std::min(Frames, UINT64_MAX - DecodedFrames);
}

// What the decompression stage gave that lies in the part kept.
std::span<uint8_t> TAudioTranscoder::KeptOf(std::span<uint8_t> DecodedPcm) {
    const uint64_t FrameBytes = std::max<uint16_t>(Decoded.nBlockAlign, 1);
    const uint64_t Frames = DecodedPcm.size() / FrameBytes;
    const uint64_t Before = DecodedFrames;
    DecodedFrames += Frames;
    const uint64_t From = std::clamp(KeptFirst, Before, DecodedFrames) - Before;
    const uint64_t To = std::clamp(KeptLast, Before, DecodedFrames) - Before;
    return DecodedPcm.subspan(From * FrameBytes, (To - From) * FrameBytes);
}

// Stage First gets Input with Flags; the stages after it get its output.
TTranscodeResult TAudioTranscoder::RunFrom(size_t First, uint8_t* Input, uint32_t Bytes,
                                           uint32_t Flags) {
    for (size_t Index = First; Index < std::size(Stages); ++Index) {
        TStage& Stage = Stages[Index];
        if (!RunStage(Stage, Input, Bytes, Index == First ? Flags : 0)) {
            return {StageNames[Index], {}};
        }
        std::span<uint8_t> Made(Stage.Output.data(), Stage.Header.cbDstLengthUsed);
        if (Index == 0) {
            Made = KeptOf(Made);
        }
        Input = Made.data();
        Bytes = static_cast<uint32_t>(Made.size());
    }
    return {TTranscodeStage::None, std::span<const uint8_t>(Input, Bytes)};
}

TTranscodeResult TAudioTranscoder::ConvertChunk(uint32_t Bytes) {
    Made.clear();
    TTranscodeResult Result =
        RunFrom(0, SourceBuffer.data(), std::min<uint32_t>(Bytes, SourceBuffer.size()), 0);
    if (Result.FailedStage != TTranscodeStage::None) {
        Result.ChunkLost = true;
        return Result;
    }
    Made.assign(Result.Mp3.begin(), Result.Mp3.end());
    return PassOnHeld(0);
}

// The conversion stage's buffer, zeroed, is the silence: it is refilled by
// the next chunk anyway.
TTranscodeResult TAudioTranscoder::ConvertSilence(uint64_t& Frames) {
    std::vector<uint8_t>& Silence = Stages[1].Output;
    const uint32_t FrameBytes = std::max<uint32_t>(Mp3Input.nBlockAlign, 1);
    const uint64_t Taken = std::min<uint64_t>(Frames, Silence.size() / FrameBytes);
    Frames = Taken == 0 ? 0 : Frames - Taken;
    const auto Bytes = static_cast<uint32_t>(Taken * FrameBytes);
    std::fill_n(Silence.begin(), Bytes, 0);
    return RunFrom(2, Silence.data(), Bytes, 0);
}

// Each stage in turn is told that its input has ended, as often as it has
// output, and what it gives goes through the stages after it.
TTranscodeResult TAudioTranscoder::Flush() {
    Made.clear();
    return PassOnHeld(ACM_STREAMCONVERTF_END);
}

// Without the end flag: a stage that filled its buffer may hold more (a
// chunk can hold more sound than its header's byte rate says, and buffers
// are sized by that rate); it is handed on now, so that nothing piles up
// from chunk to chunk. With it: each stage gives all it holds. A failure
// loses what one stage held, not what the later ones hold (LAME's last
// frames after a damaged last packet).
TTranscodeResult TAudioTranscoder::PassOnHeld(uint32_t Flags) {
    const bool End = (Flags & ACM_STREAMCONVERTF_END) != 0;
    TTranscodeStage Failed = TTranscodeStage::None;
    for (size_t First = 0; First < std::size(Stages); ++First) {
        const TStage& Stage = Stages[First];
        for (bool More = End || Stage.Header.cbDstLengthUsed == Stage.Output.size(); More;) {
            const TTranscodeResult Result = RunFrom(First, nullptr, 0, Flags);
            if (Result.FailedStage != TTranscodeStage::None) {
                Failed = Failed == TTranscodeStage::None ? Result.FailedStage : Failed;
                break;
            }
            Made.insert(Made.end(), Result.Mp3.begin(), Result.Mp3.end());
            More = End ? Stage.Header.cbDstLengthUsed != 0
                       : Stage.Header.cbDstLengthUsed == Stage.Output.size();
        }
    }
    return {Failed, Made};
}

}  // namespace quorvane
