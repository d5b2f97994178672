// Audio codec services: which stored audio formats can be decoded, the
// names of format tags, and (later) the MP3 encoder and conversion streams.
// Every call returns MMSYSERR_NOERROR (0) on success.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

namespace quorvane::platform {

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;

struct AcmDriver;
using HACMDRIVER = AcmDriver*;

constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATTAGDETAILSF_INDEX = 0;
constexpr uint32_t ACM_FORMATTAGDETAILSF_FORMATTAG = 1;

constexpr int ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;

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

// Without a driver: Destination (Size bytes, wFormatTag preset to
// WAVE_FORMAT_PCM) receives the 16-bit PCM format, at the source's rate and
// channel count, to which Source can be decoded. Source must be followed by
// the cbSize extra bytes it announces; for PCM a 16-byte record without
// cbSize will do. Fails with ACMERR_NOTPOSSIBLE when no decoder knows Source.
MMRESULT acmFormatSuggest(HACMDRIVER Driver, const WAVEFORMATEX* Source, WAVEFORMATEX* Destination,
                          uint32_t Size, uint32_t Flags);

// Without a driver and ACM_FORMATTAGDETAILSF_FORMATTAG: the details of
// Details->dwFormatTag (cbStruct set), for the tags that can be decoded;
// ACMERR_NOTPOSSIBLE for others.
MMRESULT acmFormatTagDetailsA(HACMDRIVER Driver, ACMFORMATTAGDETAILSA* Details, uint32_t Flags);

}  // namespace quorvane::platform
