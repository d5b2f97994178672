// Which stored audio formats can be decoded to PCM, and the names of their
// format tags.
#include "platform/audio/AudioCompressionManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/avi/AviFile.h"
#include "support/MediaFixtures.h"

namespace quorvane::platform {
namespace {

// The audio format stored in File, with its extra bytes.
std::vector<uint8_t> StoredAudioFormat(const test::path& File) {
    PAVIFILE Avi = nullptr;
    PAVISTREAM Audio = nullptr;
    EXPECT_EQ(AVIFileOpenA(&Avi, File.c_str(), OF_READ, nullptr), AVIERR_OK);
    EXPECT_EQ(AVIFileGetStream(Avi, &Audio, streamtypeAUDIO, 0), AVIERR_OK);
    int32_t Size = 0;
    AVIStreamReadFormat(Audio, 0, nullptr, &Size);
    std::vector<uint8_t> Format(static_cast<size_t>(Size));
    AVIStreamReadFormat(Audio, 0, Format.data(), &Size);
    AVIStreamRelease(Audio);
    AVIFileRelease(Avi);
    return Format;
}

// PCM formats may be stored as 16-byte records, without cbSize.
WAVEFORMATEX Header(const std::vector<uint8_t>& Format) {
    WAVEFORMATEX Header{};
    std::memcpy(&Header, Format.data(), std::min(Format.size(), sizeof Header));
    return Header;
}

// What the job does: a PCM destination, suggested without a driver.
MMRESULT Suggest(const void* Source, WAVEFORMATEX& Suggested) {
    Suggested = {};
    Suggested.wFormatTag = WAVE_FORMAT_PCM;
    return acmFormatSuggest(nullptr, static_cast<const WAVEFORMATEX*>(Source), &Suggested,
                            sizeof Suggested, ACM_FORMATSUGGESTF_WFORMATTAG);
}

WAVEFORMATEX Pcm(uint16_t Tag, uint16_t Channels, uint32_t Rate, uint16_t Bits) {
    WAVEFORMATEX Format{};
    Format.wFormatTag = Tag;
    Format.nChannels = Channels;
    Format.nSamplesPerSec = Rate;
    Format.wBitsPerSample = Bits;
    Format.nBlockAlign = static_cast<uint16_t>(Channels * Bits / 8);
    Format.nAvgBytesPerSec = Rate * Format.nBlockAlign;
    return Format;
}

TEST(AcmFormatSuggest, GivesSixteenBitPcmAtTheSourceRateAndChannels) {
    for (const test::path& File :
         {test::AviPcm16Stereo(), test::AviPcm8Mono(), test::AviMp3(), test::AviImaAdpcm(),
          test::AviSixChannels(), test::AviAdtsAac(), test::AviRawAac(), test::AviVorbis()}) {
        std::vector<uint8_t> Source = StoredAudioFormat(File);
        WAVEFORMATEX Suggested;
        ASSERT_EQ(Suggest(Source.data(), Suggested), MMSYSERR_NOERROR) << File;
        WAVEFORMATEX Stored = Header(Source);
        EXPECT_EQ(Suggested.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(Suggested.nChannels, Stored.nChannels);
        EXPECT_EQ(Suggested.nSamplesPerSec, Stored.nSamplesPerSec);
        EXPECT_EQ(Suggested.wBitsPerSample, 16);
        EXPECT_EQ(Suggested.nBlockAlign, Stored.nChannels * 2);
        EXPECT_EQ(Suggested.nAvgBytesPerSec, Stored.nSamplesPerSec * Stored.nChannels * 2);
        EXPECT_EQ(Suggested.cbSize, 0);
    }
}

TEST(AcmFormatSuggest, KnowsPcmWidthsAndFloat) {
    WAVEFORMATEX Suggested;
    for (uint16_t Bits : {8, 16, 24, 32}) {
        WAVEFORMATEX Source = Pcm(WAVE_FORMAT_PCM, 2, 48000, Bits);
        EXPECT_EQ(Suggest(&Source, Suggested), MMSYSERR_NOERROR) << Bits;
    }
    WAVEFORMATEX Float = Pcm(3, 1, 22050, 32);
    EXPECT_EQ(Suggest(&Float, Suggested), MMSYSERR_NOERROR);
    WAVEFORMATEX TwelveBits = Pcm(WAVE_FORMAT_PCM, 2, 48000, 12);
    EXPECT_EQ(Suggest(&TwelveBits, Suggested), ACMERR_NOTPOSSIBLE);
}

TEST(AcmFormatSuggest, RefusesFormatsNoDecoderKnows) {
    WAVEFORMATEX Suggested;
    EXPECT_EQ(Suggest(StoredAudioFormat(test::AviUnknownAudioTag()).data(), Suggested),
              ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX Silent = Pcm(WAVE_FORMAT_PCM, 0, 44100, 16);
    EXPECT_EQ(Suggest(&Silent, Suggested), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX Rateless = Pcm(WAVE_FORMAT_PCM, 2, 0, 16);
    EXPECT_EQ(Suggest(&Rateless, Suggested), ACMERR_NOTPOSSIBLE);
}

// Vorbis can't be decoded without the header packets its extra bytes hold.
TEST(AcmFormatSuggest, RefusesVorbisWithoutItsSetUp) {
    std::vector<uint8_t> Vorbis = StoredAudioFormat(test::AviVorbis());
    WAVEFORMATEX Suggested;
    ASSERT_EQ(Suggest(Vorbis.data(), Suggested), MMSYSERR_NOERROR);
    Vorbis[16] = Vorbis[17] = 0;  // cbSize
    EXPECT_EQ(Suggest(Vorbis.data(), Suggested), ACMERR_NOTPOSSIBLE);
}

TEST(AcmFormatSuggest, ReadsTheTagOfExtensibleFormatsFromTheirSubFormat) {
    std::vector<uint8_t> Extensible = StoredAudioFormat(test::AviSixChannels());
    ASSERT_EQ(Header(Extensible).wFormatTag, 0xFFFE);
    ASSERT_EQ(Extensible.size(), 40u);
    WAVEFORMATEX Suggested;
    // SubFormat, at byte 24, starts with the tag.
    Extensible[24] = 0xEF;
    Extensible[25] = 0xBE;
    EXPECT_EQ(Suggest(Extensible.data(), Suggested), ACMERR_NOTPOSSIBLE);
    Extensible[24] = 1;
    Extensible[25] = 0;
    Extensible[39] = 0;  // no longer a tag GUID
    EXPECT_EQ(Suggest(Extensible.data(), Suggested), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX Short = Header(Extensible);
    Short.cbSize = 0;
    EXPECT_EQ(Suggest(&Short, Suggested), ACMERR_NOTPOSSIBLE);
}

TEST(AcmFormatSuggest, ChecksItsArguments) {
    WAVEFORMATEX Source = Pcm(WAVE_FORMAT_PCM, 2, 44100, 16);
    WAVEFORMATEX Suggested{};
    Suggested.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    EXPECT_EQ(acmFormatSuggest(nullptr, &Source, &Suggested, sizeof Suggested,
                               ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    Suggested.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(nullptr, &Source, &Suggested, 16, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmFormatSuggest(reinterpret_cast<HACMDRIVER>(8), &Source, &Suggested,
                               sizeof Suggested, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_INVALHANDLE);
}

std::string TagName(uint32_t Tag, MMRESULT Expected = MMSYSERR_NOERROR) {
    ACMFORMATTAGDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    Details.dwFormatTag = Tag;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_FORMATTAG), Expected)
        << Tag;
    EXPECT_EQ(Details.dwFormatTag, Tag);
    return std::string(Details.szFormatTag,
                       strnlen(Details.szFormatTag, sizeof Details.szFormatTag));
}

TEST(AcmFormatTagDetails, NamesTheCommonTagsTheCustomaryWay) {
    EXPECT_EQ(TagName(1), "PCM");
    EXPECT_EQ(TagName(2), "Microsoft ADPCM");
    EXPECT_EQ(TagName(3), "IEEE Float");
    EXPECT_EQ(TagName(6), "A-Law");
    EXPECT_EQ(TagName(7), "u-Law");
    EXPECT_EQ(TagName(0x11), "IMA ADPCM");
    EXPECT_EQ(TagName(0x31), "GSM 6.10");
    EXPECT_EQ(TagName(0x50), "MPEG");
    EXPECT_EQ(TagName(0x55), "MPEG Layer-3");
}

TEST(AcmFormatTagDetails, NamesOtherDecodableTagsAfterTheirDecoder) {
    EXPECT_EQ(TagName(0x161), "Windows Media Audio 2");
    EXPECT_EQ(TagName(0x2000), "ATSC A/52A (AC-3)");
}

TEST(AcmFormatTagDetails, FailsForTagsNoDecoderKnows) {
    EXPECT_EQ(TagName(0xBEEF, ACMERR_NOTPOSSIBLE), "");
    EXPECT_EQ(TagName(0xFFFE, ACMERR_NOTPOSSIBLE), "");  // the real tag is in each format
    EXPECT_EQ(TagName(0x10001, ACMERR_NOTPOSSIBLE), "");
}

TEST(AcmFormatTagDetails, FillsTheFieldsCallersRead) {
    ACMFORMATTAGDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    Details.dwFormatTag = WAVE_FORMAT_MPEGLAYER3;
    ASSERT_EQ(acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_FORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(Details.cbFormatSize, 30u);  // MPEGLAYER3WAVEFORMAT
    EXPECT_EQ(Details.fdwSupport, ACMDRIVERDETAILS_SUPPORTF_CODEC);
    EXPECT_EQ(Details.cStandardFormats, 0u);
    Details.dwFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_FORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(Details.cbFormatSize, 16u);
    EXPECT_EQ(Details.fdwSupport, ACMDRIVERDETAILS_SUPPORTF_CONVERTER);
}

TEST(AcmFormatTagDetails, ChecksItsArguments) {
    ACMFORMATTAGDETAILSA Details{};
    Details.dwFormatTag = WAVE_FORMAT_PCM;
    Details.cbStruct = sizeof Details - 1;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_FORMATTAG),
              MMSYSERR_INVALPARAM);
    Details.cbStruct = sizeof Details;
    EXPECT_EQ(acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_INDEX),
              MMSYSERR_NOTSUPPORTED);
}

}  // namespace
}  // namespace quorvane::platform
