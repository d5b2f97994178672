#include "platform/avi/AviFile.h"

#include <algorithm>
#include <cstring>

#include "platform/avi/AviSource.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quorvane::platform {

// FFmpeg 5 needs no registration. Its notes on odd but readable files would
// only clutter the front end's standard error; its errors still show.
void AVIFileInit() {
    av_log_set_level(AV_LOG_ERROR);
}
void AVIFileExit() {}

namespace {

std::shared_ptr<AviSource> OpenSource(const char* FileName, HRESULT& Result) {
    auto Source = std::make_shared<AviSource>();
    if (!Source->Reader.Open(FileName)) {
        Result = AVIERR_FILEOPEN;
        return nullptr;
    }
    Result = ParseAvi(Source->Reader, Source->Contents);
    if (Result != AVIERR_OK) {
        return nullptr;
    }
    Source->Samples.reserve(Source->Contents.Streams.size());
    for (const AviStreamContents& Stream : Source->Contents.Streams) {
        Source->Samples.emplace_back(Stream, Source->Contents.MicroSecPerFrame);
    }
    return Source;
}

// Drops one reference to a file or stream handle, deleting it with the last.
template <typename Handle>
uint32_t ReleaseReference(Handle* Object) {
    if (!Object) {
        return 0;
    }
    const uint32_t Left = --Object->References;
    if (Left == 0) {
        delete Object;
    }
    return Left;
}

}  // namespace

HRESULT AVIFileOpenA(PAVIFILE* File, const char* FileName, uint32_t Mode, const CLSID*) {
    if (!File || !FileName || Mode != OF_READ) {
        return AVIERR_BADPARAM;
    }
    *File = nullptr;
    HRESULT Result = AVIERR_OK;
    auto Source = OpenSource(FileName, Result);
    if (Source) {
        *File = new AviFile{1, std::move(Source)};
    }
    return Result;
}

uint32_t AVIFileRelease(PAVIFILE File) {
    return ReleaseReference(File);
}

HRESULT AVIFileGetStream(PAVIFILE File, PAVISTREAM* Stream, FOURCC Type, int32_t Index) {
    if (!File || !Stream) {
        return AVIERR_BADPARAM;
    }
    *Stream = nullptr;
    const auto& Streams = File->Source->Contents.Streams;
    for (size_t I = 0; I < Streams.size(); ++I) {
        if ((Type == 0 || Streams[I].Header.fccType == Type) && Index-- == 0) {
            *Stream = new AviStream{1, File->Source, I};
            return AVIERR_OK;
        }
    }
    return AVIERR_NODATA;
}

uint32_t AVIStreamRelease(PAVISTREAM Stream) {
    return ReleaseReference(Stream);
}

int32_t AVIStreamStart(PAVISTREAM Stream) {
    return Stream ? Stream->Samples().Start() : -1;
}

int32_t AVIStreamLength(PAVISTREAM Stream) {
    return Stream ? Stream->Samples().Length() : -1;
}

int32_t SamplesMissingFrom(PAVISTREAM Stream) {
    return Stream ? static_cast<int32_t>(
                        std::min<uint32_t>(Stream->Contents().SamplesMissing, INT32_MAX))
                  : 0;
}

HRESULT AVIStreamInfoA(PAVISTREAM Stream, AVISTREAMINFOA* Info, int32_t Size) {
    if (!Stream || !Info || Size < 0) {
        return AVIERR_BADPARAM;
    }
    const AviStreamContents& Contents = Stream->Contents();
    const AviStreamHeader& Header = Contents.Header;
    AVISTREAMINFOA Full{};
    Full.fccType = Header.fccType;
    Full.fccHandler = Header.fccHandler;
    Full.dwFlags = Header.dwFlags;
    Full.wPriority = Header.wPriority;
    Full.wLanguage = Header.wLanguage;
    Full.dwScale = Header.dwScale;
    Full.dwRate = Header.dwRate;
    Full.dwStart = Header.dwStart;
    Full.dwLength = static_cast<uint32_t>(Stream->Samples().Length());
    Full.dwInitialFrames = Header.dwInitialFrames;
    Full.dwSuggestedBufferSize = Header.dwSuggestedBufferSize;
    Full.dwQuality = Header.dwQuality;
    Full.dwSampleSize = Header.dwSampleSize;
    Full.rcFrame = Header.rcFrame;
    Contents.Name.copy(Full.szName, sizeof Full.szName - 1);
    std::memcpy(Info, &Full, std::min<size_t>(static_cast<size_t>(Size), sizeof Full));
    return AVIERR_OK;
}

HRESULT AVIStreamReadFormat(PAVISTREAM Stream, int32_t, void* Format, int32_t* Size) {
    if (!Stream || !Size) {
        return AVIERR_BADPARAM;
    }
    const std::vector<uint8_t>& Stored = Stream->Contents().Format;
    if (Stored.empty()) {
        return AVIERR_NODATA;
    }
    if (!Format) {
        *Size = static_cast<int32_t>(Stored.size());
        return AVIERR_OK;
    }
    if (*Size < 0) {
        return AVIERR_BADPARAM;
    }
    *Size = std::min(*Size, static_cast<int32_t>(Stored.size()));
    std::memcpy(Format, Stored.data(), static_cast<size_t>(*Size));
    return AVIERR_OK;
}

HRESULT AVIStreamRead(PAVISTREAM Stream, int32_t Start, int32_t Samples, void* Buffer,
                      int32_t BufferSize, int32_t* BytesRead, int32_t* SamplesRead) {
    if (!Stream) {
        return AVIERR_BADPARAM;
    }
    int32_t Bytes = 0;
    int32_t Count = 0;
    HRESULT Result = Stream->Samples().Read(Stream->Source->Reader, Start, Samples, Buffer,
                                            BufferSize, Bytes, Count);
    if (BytesRead) {
        *BytesRead = Bytes;
    }
    if (SamplesRead) {
        *SamplesRead = Count;
    }
    return Result;
}

int32_t AVIStreamSampleToTime(PAVISTREAM Stream, int32_t Sample) {
    return Stream ? Stream->Samples().SampleToTime(Sample) : -1;
}

int32_t AVIStreamTimeToSample(PAVISTREAM Stream, int32_t Time) {
    return Stream ? Stream->Samples().TimeToSample(Time) : -1;
}

int32_t AVIStreamFindSample(PAVISTREAM Stream, int32_t Position, int32_t Flags) {
    // Only searches for any sample with data are offered.
    if (!Stream) {
        return -1;
    }
    if (Flags == (FIND_NEXT | FIND_ANY)) {
        return Stream->Samples().FindNextNonEmpty(Position);
    }
    if (Flags == (FIND_PREV | FIND_ANY)) {
        return Stream->Samples().FindPreviousNonEmpty(Position);
    }
    return -1;
}

}  // namespace quorvane::platform
