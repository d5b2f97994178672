// The MP3 formats offered for a video file's own audio, as the window and
// the command line list them.
#include "job/Mp3Formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/types/WinTypes.h"

namespace quorvane {
namespace {

platform::WAVEFORMATEX Header(const std::vector<uint8_t>& Record) {
    platform::WAVEFORMATEX Format;
    std::memcpy(&Format, Record.data(), sizeof Format);
    return Format;
}

TEST(Mp3Formats, OfferTheFlvRatesWithThePcmEachIsMadeFrom) {
    const TMp3FormatOffer Offer = EnumerateMP3Formats();
    ASSERT_FALSE(Offer.empty());
    EXPECT_EQ(Offer[0].Caption, "128 kBit/s, 44,100 Hz, Stereo");

    std::map<uint32_t, size_t> PerRate;
    for (const TMp3Format& Offered : Offer) {
        SCOPED_TRACE(Offered.Caption);
        ASSERT_EQ(Offered.Format.size(), 30u);
        ASSERT_EQ(Offered.InputFormat.size(), 30u);
        const platform::WAVEFORMATEX Mp3 = Header(Offered.Format);
        const platform::WAVEFORMATEX Pcm = Header(Offered.InputFormat);
        EXPECT_EQ(Mp3.wFormatTag, platform::WAVE_FORMAT_MPEGLAYER3);
        EXPECT_EQ(Pcm.wFormatTag, platform::WAVE_FORMAT_PCM);
        EXPECT_EQ(Pcm.nSamplesPerSec, Mp3.nSamplesPerSec);
        EXPECT_EQ(Pcm.nChannels, Mp3.nChannels);
        EXPECT_EQ(Pcm.wBitsPerSample, 16);
        EXPECT_NE(Offered.Caption.find(Mp3.nChannels == 1 ? "Mono" : "Stereo"), std::string::npos);
        ++PerRate[Mp3.nSamplesPerSec];
    }
    // Mono and stereo: 14 bitrates at 44100 and 22050 Hz, 8 (up to 64 kbit/s) at 11025 Hz.
    EXPECT_EQ(PerRate, (std::map<uint32_t, size_t>{{11025, 16}, {22050, 28}, {44100, 28}}));
}

}  // namespace
}  // namespace quorvane
