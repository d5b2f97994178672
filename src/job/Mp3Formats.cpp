#include "job/Mp3Formats.h"

#include <cstring>

#include "platform/audio/AudioCompressionManager.h"

namespace quorvane {

using namespace platform;

namespace {

bool IsFlvRate(uint32_t Rate) {
    return Rate == 11025 || Rate == 22050 || Rate == 44100;
}

WAVEFORMATEX* AsFormat(std::vector<uint8_t>& Record) {
    return reinterpret_cast<WAVEFORMATEX*>(Record.data());
}

// Format Index of the driver's MP3 tag, with the PCM format the same driver
// makes it from; nothing when either is not to be had.
void OfferFormat(HACMDRIVER Driver, const ACMFORMATTAGDETAILSA& Tag, uint32_t Index,
                 TMp3FormatOffer& Offer) {
    std::vector<uint8_t> Mp3(Tag.cbFormatSize, 0);
    ACMFORMATDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    Details.dwFormatIndex = Index;
    Details.dwFormatTag = WAVE_FORMAT_MPEGLAYER3;
    Details.pwfx = AsFormat(Mp3);
    Details.cbwfx = Tag.cbFormatSize;
    if (acmFormatDetailsA(Driver, &Details, ACM_FORMATDETAILSF_INDEX) != MMSYSERR_NOERROR ||
        !IsFlvRate(AsFormat(Mp3)->nSamplesPerSec)) {
        return;
    }
    std::vector<uint8_t> Pcm(Mp3.size(), 0);
    AsFormat(Pcm)->wFormatTag = WAVE_FORMAT_PCM;
    AsFormat(Pcm)->cbSize = static_cast<uint16_t>(Pcm.size() - sizeof(WAVEFORMATEX));
    if (acmFormatSuggest(Driver, AsFormat(Mp3), AsFormat(Pcm), static_cast<uint32_t>(Pcm.size()),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        return;
    }
    Offer.push_back(
        {std::move(Mp3), std::move(Pcm),
         std::string(Details.szFormat, strnlen(Details.szFormat, sizeof Details.szFormat))});
}

void OfferDriverFormats(HACMDRIVER Driver, uint32_t FormatTags, TMp3FormatOffer& Offer) {
    for (uint32_t TagIndex = 0; TagIndex < FormatTags; ++TagIndex) {
        ACMFORMATTAGDETAILSA Tag{};
        Tag.cbStruct = sizeof Tag;
        Tag.dwFormatTagIndex = TagIndex;
        if (acmFormatTagDetailsA(Driver, &Tag, ACM_FORMATTAGDETAILSF_INDEX) != MMSYSERR_NOERROR ||
            Tag.dwFormatTag != WAVE_FORMAT_MPEGLAYER3 || Tag.cbFormatSize < sizeof(WAVEFORMATEX)) {
            continue;
        }
        for (uint32_t Index = 0; Index < Tag.cStandardFormats; ++Index) {
            OfferFormat(Driver, Tag, Index, Offer);
        }
    }
}

// Every driver is asked, whatever an earlier one gave.
int OfferFormatsOf(HACMDRIVERID DriverId, uintptr_t Instance, uint32_t) {
    auto& Offer = *reinterpret_cast<TMp3FormatOffer*>(Instance);
    ACMDRIVERDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    HACMDRIVER Driver = nullptr;
    if (acmDriverDetailsA(DriverId, &Details, 0) != MMSYSERR_NOERROR ||
        !(Details.fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC) ||
        acmDriverOpen(&Driver, DriverId, 0) != MMSYSERR_NOERROR) {
        return 1;
    }
    OfferDriverFormats(Driver, Details.cFormatTags, Offer);
    acmDriverClose(Driver, 0);
    return 1;
}

}  // namespace

TMp3FormatOffer EnumerateMP3Formats() {
    TMp3FormatOffer Offer;
    acmDriverEnum(OfferFormatsOf, reinterpret_cast<uintptr_t>(&Offer), 0);
    return Offer;
}

}  // namespace quorvane
