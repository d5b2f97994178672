// Audio codec services: which stored audio formats can be decoded, the
// names of format tags, the installed codec drivers with the formats they
// offer (an MP3 encoder), and conversion streams between formats.
// Every call returns MMSYSERR_NOERROR (0) on success.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types/WinTypes.h"

namespace quorvane::platform {

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;

struct AcmDriverId;
struct AcmDriver;
struct AcmStream;
using HACMDRIVERID = const AcmDriverId*;
using HACMDRIVER = AcmDriver*;
using HACMSTREAM = AcmStream*;

constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATTAGDETAILSF_INDEX = 0;
constexpr uint32_t ACM_FORMATTAGDETAILSF_FORMATTAG = 1;

constexpr uint32_t ACM_FORMATDETAILSF_INDEX = 0;

constexpr int ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;
constexpr int ACMFORMATDETAILS_FORMAT_CHARS = 128;

// fdwSupport: converts between tags / between formats of one tag.
constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;

struct ACMFORMATTAGDETAILSA {
    uint32_t cbStruct;
    uint32_t dwFormatTagIndex;
    uint32_t dwFormatTag;
    uint32_t cbFormatSize;
    uint32_t fdwSupport;
    uint32_t cStandardFormats;
    char szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};
static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72);

// Records that hold a pointer are larger in a 64-bit process than the
// 32-bit layout; cbStruct is their size here.
struct ACMFORMATDETAILSA {
    uint32_t cbStruct;
    uint32_t dwFormatIndex;
    uint32_t dwFormatTag;
    uint32_t fdwSupport;
    WAVEFORMATEX* pwfx;  // receives the format: cbwfx bytes
    uint32_t cbwfx;
    char szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

struct ACMDRIVERDETAILSA {
    uint32_t cbStruct;
    FOURCC fccType;  // 'audc'
    FOURCC fccComp;
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vdwACM;
    uint32_t vdwDriver;
    uint32_t fdwSupport;
    uint32_t cFormatTags;
    uint32_t cFilterTags;
    uint32_t hicon;
    char szShortName[32];
    char szLongName[128];
    char szCopyright[80];
    char szLicensing[128];
    char szFeatures[512];
};
static_assert(sizeof(ACMDRIVERDETAILSA) == 920);

// The MPEG Layer-3 format record as codecs publish it (30 bytes).
#pragma pack(push, 1)
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;  // cbSize 12
    uint16_t wID;      // MPEGLAYER3_ID_MPEG
    uint32_t fdwFlags;
    uint16_t nBlockSize;  // bytes of a frame without padding
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;  // samples of silence before the sound
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

constexpr uint16_t MPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ISO = 0;

// Called once per enabled driver while it returns nonzero.
using ACMDRIVERENUMCB = int (*)(HACMDRIVERID DriverId, uintptr_t Instance, uint32_t Support);

MMRESULT acmDriverEnum(ACMDRIVERENUMCB Callback, uintptr_t Instance, uint32_t Flags);
MMRESULT acmDriverDetailsA(HACMDRIVERID DriverId, ACMDRIVERDETAILSA* Details, uint32_t Flags);
MMRESULT acmDriverOpen(HACMDRIVER* Driver, HACMDRIVERID DriverId, uint32_t Flags);
MMRESULT acmDriverClose(HACMDRIVER Driver, uint32_t Flags);

// With a driver and ACM_FORMATDETAILSF_INDEX: format dwFormatIndex of tag
// dwFormatTag, copied to pwfx (cbwfx bytes at least the tag's format size),
// with its description in szFormat.
MMRESULT acmFormatDetailsA(HACMDRIVER Driver, ACMFORMATDETAILSA* Details, uint32_t Flags);

// Without a driver: Destination (Size bytes, wFormatTag preset to
// WAVE_FORMAT_PCM) receives the 16-bit PCM format, at the source's rate and
// channel count, to which Source can be decoded. Source must be followed by
// the cbSize extra bytes it announces; for PCM a 16-byte record without
// cbSize will do. Fails with ACMERR_NOTPOSSIBLE when no decoder knows Source.
// With a driver: Source is a format the driver offers, and Destination
// receives the PCM format from which the driver makes it; bytes of
// Destination beyond the PCM record are zeroed.
MMRESULT acmFormatSuggest(HACMDRIVER Driver, const WAVEFORMATEX* Source, WAVEFORMATEX* Destination,
                          uint32_t Size, uint32_t Flags);

// Without a driver and ACM_FORMATTAGDETAILSF_FORMATTAG: the details of
// Details->dwFormatTag (cbStruct set), for the tags that can be decoded;
// ACMERR_NOTPOSSIBLE for others. With a driver: the details of the driver's
// tag dwFormatTagIndex (ACM_FORMATTAGDETAILSF_INDEX) or dwFormatTag.
MMRESULT acmFormatTagDetailsA(HACMDRIVER Driver, ACMFORMATTAGDETAILSA* Details, uint32_t Flags);

constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0;
// acmStreamConvert: the input has ended; everything held back is given out.
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// A header describes one conversion: cbSrcLength bytes at pbSrc into at
// most cbDstLength bytes at pbDst. cbStruct is its size here.
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[10];
};

// Opens a stream from Source to Destination (whole records): stored audio
// to 16-bit PCM, PCM to 16-bit PCM at another rate, channel count or width,
// or 16-bit PCM to one of the offered MP3 formats. Driver may be null (any
// driver); no filter, callback or flags are supported. ACMERR_NOTPOSSIBLE
// when no stream converts Source to Destination.
MMRESULT acmStreamOpen(HACMSTREAM* Stream, HACMDRIVER Driver, const WAVEFORMATEX* Source,
                       const WAVEFORMATEX* Destination, const void* Filter, uintptr_t Callback,
                       uintptr_t Instance, uint32_t Flags);
MMRESULT acmStreamClose(HACMSTREAM Stream, uint32_t Flags);
// With ACM_STREAMSIZEF_SOURCE: the output buffer size that Input bytes need.
MMRESULT acmStreamSize(HACMSTREAM Stream, uint32_t Input, uint32_t* Output, uint32_t Flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags);
// Converts the header's input (flags 0 or ACM_STREAMCONVERTF_END). The whole
// input is always consumed: a stream keeps the bytes it can't use yet for
// the next call, and output that does not fit cbDstLength comes out of the
// next calls (with no input, or with END until cbDstLengthUsed is 0). On
// failure this call's output is dropped and the stream goes on.
MMRESULT acmStreamConvert(HACMSTREAM Stream, ACMSTREAMHEADER* Header, uint32_t Flags);

}  // namespace quorvane::platform
