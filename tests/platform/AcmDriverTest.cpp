// The codec drivers of the audio codec services: the MP3 encoder, its
// format tags and formats, and the PCM formats it makes them from.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>

#include "platform/audio/AudioCompressionManager.h"

namespace quorvane::platform {
namespace {

std::vector<HACMDRIVERID> Drivers() {
    std::vector<HACMDRIVERID> Found;
    EXPECT_EQ(acmDriverEnum(
                  [](HACMDRIVERID Id, uintptr_t Instance, uint32_t) {
                      reinterpret_cast<std::vector<HACMDRIVERID>*>(Instance)->push_back(Id);
                      return 1;
                  },
                  reinterpret_cast<uintptr_t>(&Found), 0),
              MMSYSERR_NOERROR);
    return Found;
}

class AcmDriver : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<HACMDRIVERID> Ids = Drivers();
        ASSERT_EQ(Ids.size(), 1u);
        Id = Ids[0];
        ASSERT_EQ(acmDriverOpen(&Driver, Id, 0), MMSYSERR_NOERROR);
    }
    void TearDown() override { EXPECT_EQ(acmDriverClose(Driver, 0), MMSYSERR_NOERROR); }

    ACMFORMATTAGDETAILSA TagAt(uint32_t Index, MMRESULT Expected = MMSYSERR_NOERROR) {
        ACMFORMATTAGDETAILSA Tag{};
        Tag.cbStruct = sizeof Tag;
        Tag.dwFormatTagIndex = Index;
        EXPECT_EQ(acmFormatTagDetailsA(Driver, &Tag, ACM_FORMATTAGDETAILSF_INDEX), Expected);
        return Tag;
    }

    // Format Index of Tag, as a record and its description.
    std::pair<std::vector<uint8_t>, std::string> FormatAt(uint32_t Tag, uint32_t Index) {
        std::vector<uint8_t> Record(30, 0xAA);
        ACMFORMATDETAILSA Details{};
        Details.cbStruct = sizeof Details;
        Details.dwFormatTag = Tag;
        Details.dwFormatIndex = Index;
        Details.pwfx = reinterpret_cast<WAVEFORMATEX*>(Record.data());
        Details.cbwfx = static_cast<uint32_t>(Record.size());
        EXPECT_EQ(acmFormatDetailsA(Driver, &Details, ACM_FORMATDETAILSF_INDEX), MMSYSERR_NOERROR);
        return {Record, Details.szFormat};
    }

    HACMDRIVERID Id = nullptr;
    HACMDRIVER Driver = nullptr;
};

MPEGLAYER3WAVEFORMAT Mp3Record(const std::vector<uint8_t>& Bytes) {
    MPEGLAYER3WAVEFORMAT Format;
    std::memcpy(&Format, Bytes.data(), sizeof Format);
    return Format;
}

// "44,100" and the like (every MPEG rate has four or five digits).
std::string Grouped(uint32_t Rate) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "%u,%03u", Rate / 1000, Rate % 1000);
    return Text;
}

TEST_F(AcmDriver, TheMp3EncoderIsACodecWithPcmAndMp3Tags) {
    ACMDRIVERDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    ASSERT_EQ(acmDriverDetailsA(Id, &Details, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Details.cbStruct, 920u);
    EXPECT_TRUE(Details.fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC);
    EXPECT_EQ(Details.cFormatTags, 2u);
    EXPECT_STREQ(Details.szShortName, "MPEG Layer-3 Encoder");

    const ACMFORMATTAGDETAILSA Pcm = TagAt(0);
    EXPECT_EQ(Pcm.dwFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(Pcm.cbFormatSize, 18u);
    EXPECT_EQ(Pcm.cStandardFormats, 18u);  // 9 rates, mono and stereo
    const ACMFORMATTAGDETAILSA Mp3 = TagAt(1);
    EXPECT_EQ(Mp3.dwFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_STREQ(Mp3.szFormatTag, "MPEG Layer-3");
    EXPECT_EQ(Mp3.cbFormatSize, 30u);
    // 14 bitrates at each MPEG-1 and MPEG-2 rate, 8 at each MPEG-2.5 rate.
    EXPECT_EQ(Mp3.cStandardFormats, (3 * 14 + 3 * 14 + 3 * 8) * 2u);
    TagAt(2, ACMERR_NOTPOSSIBLE);
}

TEST_F(AcmDriver, TheFirstMp3FormatIs128KbitAt44100HzStereo) {
    const auto [Bytes, Description] = FormatAt(WAVE_FORMAT_MPEGLAYER3, 0);
    EXPECT_EQ(Description, "128 kBit/s, 44,100 Hz, Stereo");
    const MPEGLAYER3WAVEFORMAT Format = Mp3Record(Bytes);
    EXPECT_EQ(Format.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(Format.wfx.nChannels, 2);
    EXPECT_EQ(Format.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(Format.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(Format.wfx.nBlockAlign, 1);
    EXPECT_EQ(Format.wfx.wBitsPerSample, 0);
    EXPECT_EQ(Format.wfx.cbSize, 12);
    EXPECT_EQ(Format.wID, MPEGLAYER3_ID_MPEG);
    EXPECT_EQ(Format.fdwFlags, MPEGLAYER3_FLAG_PADDING_ISO);
    EXPECT_EQ(Format.nBlockSize, 417);  // 144 x 128000 / 44100, without padding
    EXPECT_EQ(Format.nFramesPerBlock, 1);
    EXPECT_EQ(Format.nCodecDelay, 1105);
}

// Every format is a distinct Layer III format MPEG allows, described by
// what its record says, and suggests 16-bit PCM at its rate and channels.
TEST_F(AcmDriver, EveryMp3FormatIsDescribedAndMadeFromPcm) {
    const std::set<uint32_t> Mpeg1Kbps = {32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320};
    const std::set<uint32_t> LowRateKbps = {8,  16, 24, 32,  40,  48,  56,
                                            64, 80, 96, 112, 128, 144, 160};
    std::set<std::tuple<uint32_t, uint16_t, uint32_t>> Seen;
    const uint32_t Count = TagAt(1).cStandardFormats;
    for (uint32_t Index = 0; Index < Count; ++Index) {
        const auto [Bytes, Description] = FormatAt(WAVE_FORMAT_MPEGLAYER3, Index);
        const MPEGLAYER3WAVEFORMAT Format = Mp3Record(Bytes);
        const uint32_t Rate = Format.wfx.nSamplesPerSec;
        const uint32_t Kbps = Format.wfx.nAvgBytesPerSec * 8 / 1000;
        SCOPED_TRACE(Description);
        EXPECT_TRUE(Seen.insert({Rate, Format.wfx.nChannels, Kbps}).second);
        if (Rate >= 32000) {
            EXPECT_TRUE(Mpeg1Kbps.count(Kbps));
            EXPECT_EQ(Format.nBlockSize, 144000 * Kbps / Rate);
        } else {
            EXPECT_TRUE(LowRateKbps.count(Kbps) && (Rate >= 16000 || Kbps <= 64));
            EXPECT_EQ(Format.nBlockSize, 72000 * Kbps / Rate);
        }
        EXPECT_EQ(Description, std::to_string(Kbps) + " kBit/s, " + Grouped(Rate) + " Hz, " +
                                   (Format.wfx.nChannels == 1 ? "Mono" : "Stereo"));

        // The suggestion's record keeps the MP3 record's size, zeros after the PCM part.
        std::vector<uint8_t> Pcm(30, 0xAA);
        auto* Suggested = reinterpret_cast<WAVEFORMATEX*>(Pcm.data());
        Suggested->wFormatTag = WAVE_FORMAT_PCM;
        Suggested->cbSize = 12;
        ASSERT_EQ(acmFormatSuggest(Driver, reinterpret_cast<const WAVEFORMATEX*>(Bytes.data()),
                                   Suggested, 30, ACM_FORMATSUGGESTF_WFORMATTAG),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(Suggested->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(Suggested->nChannels, Format.wfx.nChannels);
        EXPECT_EQ(Suggested->nSamplesPerSec, Rate);
        EXPECT_EQ(Suggested->wBitsPerSample, 16);
        EXPECT_EQ(Suggested->nBlockAlign, 2 * Format.wfx.nChannels);
        EXPECT_EQ(Suggested->nAvgBytesPerSec, Rate * 2 * Format.wfx.nChannels);
        EXPECT_EQ(Suggested->cbSize, 0);
        EXPECT_EQ(std::vector<uint8_t>(Pcm.begin() + 18, Pcm.end()), std::vector<uint8_t>(12, 0));
    }
    EXPECT_EQ(Seen.size(), Count);
}

TEST_F(AcmDriver, SuggestsNothingForFormatsItDoesNotMake) {
    auto [Bytes, Description] = FormatAt(WAVE_FORMAT_MPEGLAYER3, 0);
    reinterpret_cast<WAVEFORMATEX*>(Bytes.data())->nAvgBytesPerSec = 17000;  // 136 kbit/s
    WAVEFORMATEX Suggested{};
    Suggested.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(Driver, reinterpret_cast<const WAVEFORMATEX*>(Bytes.data()),
                               &Suggested, sizeof Suggested, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
}

TEST_F(AcmDriver, RefusesBadArgumentsAndHandles) {
    std::vector<uint8_t> Record(29);
    ACMFORMATDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    Details.dwFormatTag = WAVE_FORMAT_MPEGLAYER3;
    Details.pwfx = reinterpret_cast<WAVEFORMATEX*>(Record.data());
    Details.cbwfx = 29;
    EXPECT_EQ(acmFormatDetailsA(Driver, &Details, ACM_FORMATDETAILSF_INDEX), MMSYSERR_INVALPARAM);
    Details.cbwfx = 30;
    Details.dwFormatIndex = TagAt(1).cStandardFormats;
    EXPECT_EQ(acmFormatDetailsA(Driver, &Details, ACM_FORMATDETAILSF_INDEX), ACMERR_NOTPOSSIBLE);
    Details.dwFormatIndex = 0;
    Details.dwFormatTag = 0x11;
    EXPECT_EQ(acmFormatDetailsA(Driver, &Details, ACM_FORMATDETAILSF_INDEX), ACMERR_NOTPOSSIBLE);

    HACMDRIVER Closed = nullptr;
    ASSERT_EQ(acmDriverOpen(&Closed, Id, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmDriverClose(Closed, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmDriverClose(Closed, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmFormatDetailsA(Closed, &Details, ACM_FORMATDETAILSF_INDEX), MMSYSERR_INVALHANDLE);
    ACMFORMATTAGDETAILSA Tag{};
    Tag.cbStruct = sizeof Tag;
    EXPECT_EQ(acmFormatTagDetailsA(Closed, &Tag, ACM_FORMATTAGDETAILSF_INDEX),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverOpen(&Closed, reinterpret_cast<HACMDRIVERID>(&Tag), 0),
              MMSYSERR_INVALHANDLE);
    ACMDRIVERDETAILSA DriverDetails{};
    DriverDetails.cbStruct = sizeof DriverDetails - 1;
    EXPECT_EQ(acmDriverDetailsA(Id, &DriverDetails, 0), MMSYSERR_INVALPARAM);
}

}  // namespace
}  // namespace quorvane::platform
