// The audio compression manager. Without a driver, its services answer for
// every decoder libavcodec has; its one codec driver is the MP3 encoder.
#include "platform/audio/AudioCompressionManager.h"

#include <lame.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/audio/AudioCodecs.h"
#include "platform/audio/AudioStreams.h"
#include "platform/audio/Mp3EncoderDriver.h"

namespace quorvane::platform {

struct AcmDriverId {
    const char* ShortName;
    const std::vector<AcmFormatTagEntry>& (*FormatTags)();
};

struct AcmDriver {
    HACMDRIVERID Id;
};

struct AcmStream {
    std::unique_ptr<IAudioStream> Converter;
    std::vector<uint8_t> Pending;  // output that did not fit a destination yet, from Delivered on
    size_t Delivered = 0;
};

namespace {

// The handles given out and not yet closed, so that a stale or made-up
// handle is refused instead of followed.
template <typename Object>
class HandleRegistry {
public:
    Object* Add(std::unique_ptr<Object> Opened) {
        std::lock_guard<std::mutex> Lock(Mutex);
        Object* Handle = Opened.get();
        Open.emplace(Handle, std::move(Opened));
        return Handle;
    }
    bool Contains(Object* Handle) {
        std::lock_guard<std::mutex> Lock(Mutex);
        return Open.count(Handle) != 0;
    }
    bool Remove(Object* Handle) {
        std::lock_guard<std::mutex> Lock(Mutex);
        return Open.erase(Handle) != 0;
    }

private:
    std::mutex Mutex;
    std::map<Object*, std::unique_ptr<Object>> Open;
};

HandleRegistry<AcmDriver> OpenDrivers;
HandleRegistry<AcmStream> OpenStreams;

const AcmDriverId Mp3Encoder{"MPEG Layer-3 Encoder", Mp3EncoderFormatTags};

constexpr HACMDRIVERID InstalledDrivers[] = {&Mp3Encoder};

constexpr uint32_t AcmVersion = 0x04000000;

// Copies Text into a fixed character field, cut to fit with its closing zero.
template <size_t Size>
void CopyText(char (&Field)[Size], const std::string& Text) {
    std::memset(Field, 0, Size);
    Text.copy(Field, Size - 1);
}

bool IsInstalled(HACMDRIVERID Id) {
    return std::find(std::begin(InstalledDrivers), std::end(InstalledDrivers), Id) !=
           std::end(InstalledDrivers);
}

const AcmFormatTagEntry* FindTag(HACMDRIVER Driver, uint32_t Tag) {
    for (const AcmFormatTagEntry& Entry : Driver->Id->FormatTags()) {
        if (Entry.Tag == Tag) {
            return &Entry;
        }
    }
    return nullptr;
}

void FillTagDetails(const AcmFormatTagEntry& Entry, uint32_t Index, ACMFORMATTAGDETAILSA& Details) {
    Details.dwFormatTagIndex = Index;
    Details.dwFormatTag = Entry.Tag;
    Details.cbFormatSize = Entry.FormatSize;
    Details.fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    Details.cStandardFormats = static_cast<uint32_t>(Entry.Formats.size());
    CopyText(Details.szFormatTag, Entry.Name);
}

MMRESULT DriverTagDetails(HACMDRIVER Driver, ACMFORMATTAGDETAILSA& Details, uint32_t Flags) {
    const std::vector<AcmFormatTagEntry>& Tags = Driver->Id->FormatTags();
    if (Flags == ACM_FORMATTAGDETAILSF_INDEX) {
        if (Details.dwFormatTagIndex >= Tags.size()) {
            return ACMERR_NOTPOSSIBLE;
        }
        FillTagDetails(Tags[Details.dwFormatTagIndex], Details.dwFormatTagIndex, Details);
        return MMSYSERR_NOERROR;
    }
    for (uint32_t Index = 0; Index < Tags.size(); ++Index) {
        if (Tags[Index].Tag == Details.dwFormatTag) {
            FillTagDetails(Tags[Index], Index, Details);
            return MMSYSERR_NOERROR;
        }
    }
    return ACMERR_NOTPOSSIBLE;
}

// The MP3 driver suggests the PCM record it makes Source from.
MMRESULT DriverSuggest(const WAVEFORMATEX& Source, uint32_t SourceSize, WAVEFORMATEX* Destination,
                       uint32_t Size) {
    if (!IsOfferedMp3Format(Source, SourceSize)) {
        return ACMERR_NOTPOSSIBLE;
    }
    const WAVEFORMATEX Pcm = Mp3EncoderInput(Source);
    std::memset(Destination, 0, Size);
    std::memcpy(Destination, &Pcm, sizeof Pcm);
    return MMSYSERR_NOERROR;
}

constexpr uint16_t SuggestedBitsPerSample = 16;

// The 16-bit PCM format at Source's rate and channels, if it can be stated
// and converted.
bool SuggestPcm(const WAVEFORMATEX& Source, WAVEFORMATEX& Suggested) {
    if (!IsConvertibleSound(Source.nSamplesPerSec, Source.nChannels)) {
        return false;
    }
    const uint32_t BlockAlign = Source.nChannels * (SuggestedBitsPerSample / 8);
    const uint64_t BytesPerSecond = static_cast<uint64_t>(Source.nSamplesPerSec) * BlockAlign;
    Suggested = {};
    Suggested.wFormatTag = WAVE_FORMAT_PCM;
    Suggested.nChannels = Source.nChannels;
    Suggested.nSamplesPerSec = Source.nSamplesPerSec;
    Suggested.nAvgBytesPerSec = static_cast<uint32_t>(BytesPerSecond);
    Suggested.nBlockAlign = static_cast<uint16_t>(BlockAlign);
    Suggested.wBitsPerSample = SuggestedBitsPerSample;
    return true;
}

// The PCM record with cbSize cleared (PCM records may come without it).
WAVEFORMATEX WholeRecord(const WAVEFORMATEX& Format) {
    WAVEFORMATEX Record = Format;
    if (Format.wFormatTag == WAVE_FORMAT_PCM) {
        Record.cbSize = 0;
    }
    return Record;
}

std::unique_ptr<IAudioStream> OpenStreamKind(const WAVEFORMATEX& Source,
                                             const WAVEFORMATEX& Destination) {
    if (Destination.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        return Source.wFormatTag == WAVE_FORMAT_PCM
                   ? OpenMp3EncodingStream(WholeRecord(Source), Destination)
                   : nullptr;
    }
    if (Destination.wFormatTag != WAVE_FORMAT_PCM) {
        return nullptr;
    }
    return Source.wFormatTag == WAVE_FORMAT_PCM
               ? OpenPcmConversionStream(WholeRecord(Source), WholeRecord(Destination))
               : OpenDecodingStream(Source, WholeRecord(Destination));
}

bool IsUsableHeader(const ACMSTREAMHEADER* Header) {
    return Header && Header->cbStruct >= sizeof(ACMSTREAMHEADER) &&
           (Header->pbSrc || Header->cbSrcLength == 0) &&
           (Header->pbDst || Header->cbDstLength == 0);
}

// Hands out what fits the destination; the rest waits for the next call.
void DeliverPending(AcmStream& Stream, ACMSTREAMHEADER& Header) {
    std::vector<uint8_t>& Pending = Stream.Pending;
    const size_t Given = std::min<size_t>(Pending.size() - Stream.Delivered, Header.cbDstLength);
    std::copy_n(Pending.begin() + static_cast<std::ptrdiff_t>(Stream.Delivered), Given,
                Header.pbDst);
    Stream.Delivered += Given;
    // Handed-out bytes are dropped only once they are at least half the buffer, so each byte is
    // moved a bounded number of times however small the destinations are.
    if (Stream.Delivered * 2 >= Pending.size()) {
        Pending.erase(Pending.begin(),
                      Pending.begin() + static_cast<std::ptrdiff_t>(Stream.Delivered));
        Stream.Delivered = 0;
    }
    Header.cbDstLengthUsed = static_cast<uint32_t>(Given);
}

}  // namespace

MMRESULT acmDriverEnum(ACMDRIVERENUMCB Callback, uintptr_t Instance, uint32_t Flags) {
    if (!Callback || Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    for (HACMDRIVERID Id : InstalledDrivers) {
        if (!Callback(Id, Instance, ACMDRIVERDETAILS_SUPPORTF_CODEC)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverDetailsA(HACMDRIVERID DriverId, ACMDRIVERDETAILSA* Details, uint32_t Flags) {
    if (!IsInstalled(DriverId)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Details || Details->cbStruct < sizeof(ACMDRIVERDETAILSA) || Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    *Details = {};
    Details->cbStruct = sizeof(ACMDRIVERDETAILSA);
    Details->fccType = mmioFOURCC('a', 'u', 'd', 'c');
    Details->vdwACM = AcmVersion;
    Details->vdwDriver = AcmVersion;
    Details->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    Details->cFormatTags = static_cast<uint32_t>(DriverId->FormatTags().size());
    CopyText(Details->szShortName, DriverId->ShortName);
    CopyText(Details->szLongName,
             std::string(DriverId->ShortName) + " (LAME " + get_lame_short_version() + ")");
    CopyText(Details->szLicensing, "LGPL");
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverOpen(HACMDRIVER* Driver, HACMDRIVERID DriverId, uint32_t Flags) {
    if (!Driver || Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (!IsInstalled(DriverId)) {
        return MMSYSERR_INVALHANDLE;
    }
    *Driver = OpenDrivers.Add(std::make_unique<AcmDriver>(AcmDriver{DriverId}));
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverClose(HACMDRIVER Driver, uint32_t Flags) {
    if (Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    return OpenDrivers.Remove(Driver) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT acmFormatDetailsA(HACMDRIVER Driver, ACMFORMATDETAILSA* Details, uint32_t Flags) {
    if (!OpenDrivers.Contains(Driver)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Details || Details->cbStruct < sizeof(ACMFORMATDETAILSA) || !Details->pwfx) {
        return MMSYSERR_INVALPARAM;
    }
    if (Flags != ACM_FORMATDETAILSF_INDEX) {
        return MMSYSERR_NOTSUPPORTED;
    }
    const AcmFormatTagEntry* Tag = FindTag(Driver, Details->dwFormatTag);
    if (!Tag || Details->dwFormatIndex >= Tag->Formats.size()) {
        return ACMERR_NOTPOSSIBLE;
    }
    if (Details->cbwfx < Tag->FormatSize) {
        return MMSYSERR_INVALPARAM;
    }
    const AcmFormatEntry& Format = Tag->Formats[Details->dwFormatIndex];
    std::memset(Details->pwfx, 0, Details->cbwfx);
    std::memcpy(Details->pwfx, Format.Record.data(), Format.Record.size());
    Details->cbwfx = static_cast<uint32_t>(Format.Record.size());
    Details->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    CopyText(Details->szFormat, Format.Description);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER Driver, const WAVEFORMATEX* Source, WAVEFORMATEX* Destination,
                          uint32_t Size, uint32_t Flags) {
    if (!Source || !Destination || Size < sizeof(WAVEFORMATEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((Flags & ACM_FORMATSUGGESTF_WFORMATTAG) && Destination->wFormatTag != WAVE_FORMAT_PCM) {
        return ACMERR_NOTPOSSIBLE;
    }
    if (Driver) {
        if (!OpenDrivers.Contains(Driver)) {
            return MMSYSERR_INVALHANDLE;
        }
        return DriverSuggest(*Source, sizeof(WAVEFORMATEX) + Source->cbSize, Destination, Size);
    }
    WAVEFORMATEX Suggested;
    if (!CanDecodeAudio(*Source) || !SuggestPcm(*Source, Suggested)) {
        return ACMERR_NOTPOSSIBLE;
    }
    std::memcpy(Destination, &Suggested, sizeof Suggested);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* Stream, HACMDRIVER Driver, const WAVEFORMATEX* Source,
                       const WAVEFORMATEX* Destination, const void* Filter, uintptr_t Callback,
                       uintptr_t, uint32_t Flags) {
    if (!Stream || !Source || !Destination) {
        return MMSYSERR_INVALPARAM;
    }
    if (Driver && !OpenDrivers.Contains(Driver)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (Filter || Callback || Flags != 0) {
        return MMSYSERR_NOTSUPPORTED;
    }
    std::unique_ptr<IAudioStream> Converter = OpenStreamKind(*Source, *Destination);
    if (!Converter) {
        return ACMERR_NOTPOSSIBLE;
    }
    *Stream = OpenStreams.Add(std::make_unique<AcmStream>(AcmStream{std::move(Converter), {}}));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM Stream, uint32_t Flags) {
    if (Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    return OpenStreams.Remove(Stream) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamSize(HACMSTREAM Stream, uint32_t Input, uint32_t* Output, uint32_t Flags) {
    if (!OpenStreams.Contains(Stream)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Output) {
        return MMSYSERR_INVALPARAM;
    }
    if (Flags != ACM_STREAMSIZEF_SOURCE) {
        return MMSYSERR_NOTSUPPORTED;
    }
    *Output = static_cast<uint32_t>(Stream->Converter->MaxOutput(Input));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags) {
    if (!OpenStreams.Contains(Stream)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!IsUsableHeader(Header) || Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    Header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags) {
    if (!OpenStreams.Contains(Stream)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Header || !(Header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) || Flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    Header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags) {
    if (!OpenStreams.Contains(Stream)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!IsUsableHeader(Header) || !(Header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) ||
        (Flags & ~ACM_STREAMCONVERTF_END) != 0) {
        return MMSYSERR_INVALPARAM;
    }
    Header->cbSrcLengthUsed = Header->cbSrcLength;
    Header->cbDstLengthUsed = 0;
    const size_t Before = Stream->Pending.size();
    if (!Stream->Converter->Convert(Header->pbSrc, Header->cbSrcLength,
                                    (Flags & ACM_STREAMCONVERTF_END) != 0, Stream->Pending)) {
        Stream->Pending.resize(Before);
        Header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
        return ACMERR_NOTPOSSIBLE;
    }
    DeliverPending(*Stream, *Header);
    Header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatTagDetailsA(HACMDRIVER Driver, ACMFORMATTAGDETAILSA* Details, uint32_t Flags) {
    if (!Details || Details->cbStruct < sizeof(ACMFORMATTAGDETAILSA)) {
        return MMSYSERR_INVALPARAM;
    }
    if (Driver) {
        if (!OpenDrivers.Contains(Driver)) {
            return MMSYSERR_INVALHANDLE;
        }
        return Flags <= ACM_FORMATTAGDETAILSF_FORMATTAG ? DriverTagDetails(Driver, *Details, Flags)
                                                        : MMSYSERR_NOTSUPPORTED;
    }
    if (Flags != ACM_FORMATTAGDETAILSF_FORMATTAG) {
        return MMSYSERR_NOTSUPPORTED;
    }
    uint32_t Tag = Details->dwFormatTag;
    std::optional<AudioTagDetails> Found =
        Tag <= UINT16_MAX ? DecodableAudioTag(static_cast<uint16_t>(Tag)) : std::nullopt;
    if (!Found) {
        return ACMERR_NOTPOSSIBLE;
    }
    Details->dwFormatTagIndex = 0;
    Details->cbFormatSize = Found->FormatSize;
    Details->fdwSupport = Tag == WAVE_FORMAT_PCM ? ACMDRIVERDETAILS_SUPPORTF_CONVERTER
                                                 : ACMDRIVERDETAILS_SUPPORTF_CODEC;
    Details->cStandardFormats = 0;
    // Cut to fit, with room for the closing zero.
    std::memset(Details->szFormatTag, 0, sizeof Details->szFormatTag);
    Found->Name.copy(Details->szFormatTag, sizeof Details->szFormatTag - 1);
    return MMSYSERR_NOERROR;
}

}  // namespace quorvane::platform
