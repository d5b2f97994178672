// A stream's samples as an AVI file counts them: numbered from dwStart, one
// per chunk (empty chunks included), or, for audio with a fixed sample size,
// one per dwSampleSize bytes of the stream's data; their times; and reading
// their stored bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/avi/AviParser.h"

namespace quorvane::platform {

class AviSampleTable {
public:
    // Stream must outlive the table.
    AviSampleTable(const AviStreamContents& Stream, uint32_t MicroSecPerFrame);

    int32_t Start() const { return StartSample; }
    int32_t Length() const { return SampleCount; }

    int32_t SampleToTime(int32_t Sample) const;
    int32_t TimeToSample(int32_t Time) const;
    // The first sample at or after Position that has data, -1 when none.
    int32_t FindNextNonEmpty(int32_t Position) const;
    // The last sample at or before Position that has data, -1 when none.
    int32_t FindPreviousNonEmpty(int32_t Position) const;

    HRESULT Read(const FileReader& Reader, int32_t Start, int32_t Samples, void* Buffer,
                 int32_t BufferSize, int32_t& BytesRead, int32_t& SamplesRead) const;

    // Chunk by chunk, for decoding: the indexes into Chunks() of the chunks
    // that hold data, and of those that are also key frames, ascending.
    const std::vector<AviChunk>& Chunks() const { return Stream.Chunks; }
    const std::vector<uint32_t>& NonEmptyChunks() const { return NonEmpty; }
    const std::vector<uint32_t>& KeyChunks() const { return Keys; }

private:
    bool CountsBytes() const { return SampleSize != 0; }
    HRESULT ReadChunks(const FileReader& Reader, int64_t FirstChunk, int32_t Samples,
                       uint8_t* Buffer, int64_t Limit, int32_t& BytesRead,
                       int32_t& SamplesRead) const;
    HRESULT ReadBytes(const FileReader& Reader, int64_t FirstSample, int32_t Samples,
                      uint8_t* Buffer, int64_t Limit, int32_t& BytesRead,
                      int32_t& SamplesRead) const;
    bool CopyStreamBytes(const FileReader& Reader, int64_t First, int64_t Count,
                         uint8_t* Buffer) const;

    const AviStreamContents& Stream;
    uint32_t SampleSize = 0;  // 0: one sample per chunk
    // Timing actually used: samples per second = TimeRate / TimeScale.
    uint64_t TimeScale = 1;
    uint64_t TimeRate = 25;
    int32_t StartSample = 0;
    int32_t SampleCount = 0;
    std::vector<int64_t> ChunkStartBytes;  // of each chunk within the stream, then the total
    std::vector<uint32_t> NonEmpty;
    std::vector<uint32_t> Keys;
};

}  // namespace quorvane::platform
