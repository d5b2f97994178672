// The audio compression manager. Without a driver, its services answer for
// every decoder libavcodec has.
#include "platform/AudioCompressionManager.h"

#include <cstring>

#include "platform/AudioCodecs.h"

namespace quorvane::platform {

namespace {

constexpr uint16_t SuggestedBitsPerSample = 16;

// The 16-bit PCM format at Source's rate and channels, if it can be stated.
bool SuggestPcm(const WAVEFORMATEX& Source, WAVEFORMATEX& Suggested) {
    uint32_t BlockAlign = Source.nChannels * (SuggestedBitsPerSample / 8);
    uint64_t BytesPerSecond = static_cast<uint64_t>(Source.nSamplesPerSec) * BlockAlign;
    if (Source.nChannels == 0 || Source.nSamplesPerSec == 0 || BlockAlign > UINT16_MAX ||
        BytesPerSecond > UINT32_MAX) {
        return false;
    }
    Suggested = {};
    Suggested.wFormatTag = WAVE_FORMAT_PCM;
    Suggested.nChannels = Source.nChannels;
    Suggested.nSamplesPerSec = Source.nSamplesPerSec;
    Suggested.nAvgBytesPerSec = static_cast<uint32_t>(BytesPerSecond);
    Suggested.nBlockAlign = static_cast<uint16_t>(BlockAlign);
    Suggested.wBitsPerSample = SuggestedBitsPerSample;
    return true;
}

}  // namespace

MMRESULT acmFormatSuggest(HACMDRIVER Driver, const WAVEFORMATEX* Source, WAVEFORMATEX* Destination,
                          uint32_t Size, uint32_t Flags) {
    if (Driver) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Source || !Destination || Size < sizeof(WAVEFORMATEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((Flags & ACM_FORMATSUGGESTF_WFORMATTAG) && Destination->wFormatTag != WAVE_FORMAT_PCM) {
        return ACMERR_NOTPOSSIBLE;
    }
    WAVEFORMATEX Suggested;
    if (!CanDecodeAudio(*Source) || !SuggestPcm(*Source, Suggested)) {
        return ACMERR_NOTPOSSIBLE;
    }
    std::memcpy(Destination, &Suggested, sizeof Suggested);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatTagDetailsA(HACMDRIVER Driver, ACMFORMATTAGDETAILSA* Details, uint32_t Flags) {
    if (Driver) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!Details || Details->cbStruct < sizeof(ACMFORMATTAGDETAILSA)) {
        return MMSYSERR_INVALPARAM;
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
