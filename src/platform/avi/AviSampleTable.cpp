#include "platform/avi/AviSampleTable.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace quorvane::platform {

namespace {

// Without a stream rate the main header's frame duration times the stream,
// and without that a common video rate.
constexpr uint64_t MicroSecondsPerSecond = 1000000;
constexpr uint64_t DefaultFramesPerSecond = 25;

int32_t ClampToInt32(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

}  // namespace

AviSampleTable::AviSampleTable(const AviStreamContents& Contents, uint32_t MicroSecPerFrame)
    : Stream(Contents) {
    const AviStreamHeader& Header = Stream.Header;
    if (Header.dwScale != 0 && Header.dwRate != 0) {
        TimeScale = Header.dwScale;
        TimeRate = Header.dwRate;
    } else if (MicroSecPerFrame != 0) {
        TimeScale = MicroSecPerFrame;
        TimeRate = MicroSecondsPerSecond;
    } else {
        TimeScale = 1;
        TimeRate = DefaultFramesPerSecond;
    }
    if (Header.fccType != streamtypeVIDEO) {
        SampleSize = Header.dwSampleSize;
    }
    ChunkStartBytes.reserve(Stream.Chunks.size() + 1);
    int64_t Total = 0;
    for (size_t I = 0; I < Stream.Chunks.size(); ++I) {
        ChunkStartBytes.push_back(Total);
        Total += Stream.Chunks[I].Size;
        if (Stream.Chunks[I].Size != 0) {
            NonEmpty.push_back(static_cast<uint32_t>(I));
            if (Stream.Chunks[I].Key) {
                Keys.push_back(static_cast<uint32_t>(I));
            }
        }
    }
    ChunkStartBytes.push_back(Total);
    int64_t Stored =
        CountsBytes() ? Total / SampleSize : static_cast<int64_t>(Stream.Chunks.size());
    StartSample = ClampToInt32(Header.dwStart);
    SampleCount = ClampToInt32(
        std::min<int64_t>(std::max<int64_t>(Header.dwLength, Stored), INT32_MAX - StartSample));
}

// Rounded up when a sample lasts at least a millisecond, so that the time of
// every sample converts back to that very sample.
int32_t AviSampleTable::SampleToTime(int32_t Sample) const {
    if (Sample < 0) {
        return -1;
    }
    unsigned __int128 Units = static_cast<unsigned __int128>(Sample) * TimeScale * 1000;
    unsigned __int128 Time = Units / TimeRate;
    if (TimeScale * 1000 >= TimeRate && Units % TimeRate != 0) {
        ++Time;
    }
    return Time > INT32_MAX ? INT32_MAX : static_cast<int32_t>(Time);
}

int32_t AviSampleTable::TimeToSample(int32_t Time) const {
    if (Time < 0) {
        return -1;
    }
    unsigned __int128 Sample = static_cast<unsigned __int128>(Time) * TimeRate /
                               (static_cast<unsigned __int128>(TimeScale) * 1000);
    return Sample > INT32_MAX ? INT32_MAX : static_cast<int32_t>(Sample);
}

int32_t AviSampleTable::FindNextNonEmpty(int32_t Position) const {
    int64_t First = std::max<int64_t>(Position, StartSample) - StartSample;
    if (CountsBytes()) {
        return First < ChunkStartBytes.back() / SampleSize ? ClampToInt32(First + StartSample) : -1;
    }
    auto Found = std::lower_bound(NonEmpty.begin(), NonEmpty.end(), First);
    return Found == NonEmpty.end() ? -1 : ClampToInt32(*Found + static_cast<int64_t>(StartSample));
}

int32_t AviSampleTable::FindPreviousNonEmpty(int32_t Position) const {
    const int64_t Last = static_cast<int64_t>(Position) - StartSample;
    if (Last < 0) {
        return -1;
    }
    if (CountsBytes()) {
        const int64_t Stored = ChunkStartBytes.back() / SampleSize;
        return Stored > 0 ? ClampToInt32(std::min(Last, Stored - 1) + StartSample) : -1;
    }
    auto After = std::upper_bound(NonEmpty.begin(), NonEmpty.end(), Last);
    return After == NonEmpty.begin()
               ? -1
               : ClampToInt32(*std::prev(After) + static_cast<int64_t>(StartSample));
}

HRESULT AviSampleTable::Read(const FileReader& Reader, int32_t Start, int32_t Samples, void* Buffer,
                             int32_t BufferSize, int32_t& BytesRead, int32_t& SamplesRead) const {
    BytesRead = 0;
    SamplesRead = 0;
    if (Start < StartSample || Samples < 0 || (Buffer && BufferSize < 0)) {
        return AVIERR_BADPARAM;
    }
    // Without a buffer, the call only tells how much Samples would take.
    int64_t Limit = Buffer ? BufferSize : INT32_MAX;
    auto* Target = static_cast<uint8_t*>(Buffer);
    int64_t First = static_cast<int64_t>(Start) - StartSample;
    return CountsBytes()
               ? ReadBytes(Reader, First, Samples, Target, Limit, BytesRead, SamplesRead)
               : ReadChunks(Reader, First, Samples, Target, Limit, BytesRead, SamplesRead);
}

HRESULT AviSampleTable::ReadChunks(const FileReader& Reader, int64_t FirstChunk, int32_t Samples,
                                   uint8_t* Buffer, int64_t Limit, int32_t& BytesRead,
                                   int32_t& SamplesRead) const {
    int64_t Bytes = 0;
    int64_t Chunk = FirstChunk;
    for (; Chunk - FirstChunk < Samples && Chunk < static_cast<int64_t>(Stream.Chunks.size());
         ++Chunk) {
        const AviChunk& Stored = Stream.Chunks[Chunk];
        if (Bytes + Stored.Size > Limit) {
            break;
        }
        if (Buffer && !Reader.ReadAt(Stored.Offset, Buffer + Bytes, Stored.Size)) {
            return AVIERR_FILEREAD;
        }
        Bytes += Stored.Size;
    }
    BytesRead = static_cast<int32_t>(Bytes);
    SamplesRead = static_cast<int32_t>(Chunk - FirstChunk);
    bool NothingFits =
        SamplesRead == 0 && Samples > 0 && Chunk < static_cast<int64_t>(Stream.Chunks.size());
    return NothingFits ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
}

HRESULT AviSampleTable::ReadBytes(const FileReader& Reader, int64_t FirstSample, int32_t Samples,
                                  uint8_t* Buffer, int64_t Limit, int32_t& BytesRead,
                                  int32_t& SamplesRead) const {
    int64_t Available = ChunkStartBytes.back() / SampleSize - FirstSample;
    int64_t Count = std::min<int64_t>(
        {Samples, std::max<int64_t>(Available, 0), Limit / static_cast<int64_t>(SampleSize)});
    if (Count == 0) {
        return Samples > 0 && Available > 0 ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
    }
    int64_t Bytes = Count * SampleSize;
    if (Buffer && !CopyStreamBytes(Reader, FirstSample * SampleSize, Bytes, Buffer)) {
        return AVIERR_FILEREAD;
    }
    BytesRead = static_cast<int32_t>(Bytes);
    SamplesRead = static_cast<int32_t>(Count);
    return AVIERR_OK;
}

// Count bytes of the stream's concatenated chunk data from First on.
bool AviSampleTable::CopyStreamBytes(const FileReader& Reader, int64_t First, int64_t Count,
                                     uint8_t* Buffer) const {
    size_t Chunk = static_cast<size_t>(
        std::upper_bound(ChunkStartBytes.begin(), ChunkStartBytes.end(), First) -
        ChunkStartBytes.begin() - 1);
    while (Count > 0) {
        const AviChunk& Stored = Stream.Chunks[Chunk];
        int64_t Within = First - ChunkStartBytes[Chunk];
        int64_t Piece = std::min<int64_t>(Count, Stored.Size - Within);
        if (!Reader.ReadAt(Stored.Offset + Within, Buffer, static_cast<size_t>(Piece))) {
            return false;
        }
        Buffer += Piece;
        First += Piece;
        Count -= Piece;
        ++Chunk;
    }
    return true;
}

}  // namespace quorvane::platform
