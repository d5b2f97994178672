// The transcoding chain, chunk by chunk: what a chunk holds comes out as MP3
// with that chunk, whatever the stored header says of its byte rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "job/AudioTranscoder.h"
#include "platform/audio/Mp3EncoderDriver.h"

namespace quorvane {
namespace {

using namespace platform;
using Bytes = std::vector<uint8_t>;

Bytes RecordOf(const WAVEFORMATEX& Format) {
    const auto* First = reinterpret_cast<const uint8_t*>(&Format);
    return Bytes(First, First + sizeof Format);
}

struct ChunkCase {
    std::string Name;
    uint16_t Channels;
    uint32_t Rate;
    uint32_t ClaimedBytesPerSecond;  // as the stored header says
};

void PrintTo(const ChunkCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class AudioTranscoderChunks : public ::testing::TestWithParam<ChunkCase> {
protected:
    WAVEFORMATEX StoredFormat() const {
        WAVEFORMATEX Format{};
        Format.wFormatTag = WAVE_FORMAT_PCM;
        Format.nChannels = GetParam().Channels;
        Format.nSamplesPerSec = GetParam().Rate;
        Format.nBlockAlign = static_cast<uint16_t>(GetParam().Channels * 2);
        Format.nAvgBytesPerSec = GetParam().ClaimedBytesPerSecond;
        Format.wBitsPerSample = 16;
        return Format;
    }

    // Fills the chunk buffer with a 1 kHz sine; returns its seconds.
    double FillChunk(std::span<uint8_t> Chunk, size_t& Frame) const {
        const WAVEFORMATEX Stored = StoredFormat();
        const size_t Frames = Chunk.size() / Stored.nBlockAlign;
        for (size_t Index = 0; Index < Frames; ++Index, ++Frame) {
            const auto Value = static_cast<int16_t>(
                8000 *
                std::sin(2 * M_PI * 1000.0 * static_cast<double>(Frame) / Stored.nSamplesPerSec));
            for (uint16_t Channel = 0; Channel < Stored.nChannels; ++Channel) {
                std::memcpy(&Chunk[(Index * Stored.nChannels + Channel) * 2], &Value, 2);
            }
        }
        return static_cast<double>(Frames) / Stored.nSamplesPerSec;
    }
};

// 128 kbit/s: 16000 bytes a second. The encoder may hold back its
// look-ahead and the frame it is filling, well under 0.1 s.
TEST_P(AudioTranscoderChunks, EachChunkComesOutWithIt) {
    const Bytes Mp3 = Mp3EncoderFormatTags()[1].Formats[0].Record;
    const Bytes Mp3Input =
        RecordOf(Mp3EncoderInput(*reinterpret_cast<const WAVEFORMATEX*>(Mp3.data())));
    const WAVEFORMATEX Stored = StoredFormat();
    WAVEFORMATEX Decoded{};
    Decoded.wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(
        acmFormatSuggest(nullptr, &Stored, &Decoded, sizeof Decoded, ACM_FORMATSUGGESTF_WFORMATTAG),
        MMSYSERR_NOERROR);
    TAudioTranscoder Transcoder;
    ASSERT_TRUE(Transcoder.Prepare(RecordOf(Stored), RecordOf(Decoded), Mp3, Mp3Input));

    size_t Frame = 0;
    double Seconds = 0;
    size_t Made = 0;
    for (int Chunk = 0; Chunk < 4; ++Chunk) {
        Seconds += FillChunk(Transcoder.ChunkBuffer(), Frame);
        const TTranscodeResult Result =
            Transcoder.ConvertChunk(static_cast<uint32_t>(Transcoder.ChunkBuffer().size()));
        ASSERT_EQ(Result.FailedStage, TTranscodeStage::None);
        Made += Result.Mp3.size();
        EXPECT_GE(static_cast<double>(Made), (Seconds - 0.1) * 16000) << "chunk " << Chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(, AudioTranscoderChunks,
                         ::testing::Values(ChunkCase{"StereoAt44100", 2, 44100, 176400},
                                           // Chunks of six seconds, a second per channel.
                                           ChunkCase{"SixChannelsAt48000", 6, 48000, 576000},
                                           // Chunks of four seconds where the header says one.
                                           ChunkCase{"HeaderClaimingFourTimesItsByteRate", 1, 11025,
                                                     88200}),
                         [](const auto& Info) { return Info.param.Name; });

// The bytes read at a time: a second per channel of what the header claims,
// in whole blocks, from 4 KiB (or one block) to 4 MiB whatever it claims. A
// header claiming no bytes a second must not have the pass read a sample at
// a time (220500 reads for five seconds of stereo at 44100 Hz).
TEST(AudioTranscoderChunkSize, IsWholeBlocksWithinItsBounds) {
    struct Row {
        const char* Name;
        uint32_t ClaimedBytesPerSecond;
        uint16_t Channels;
        uint16_t BlockAlign;
        uint32_t Expected;
    };
    const Row Rows[] = {
        {"TwoSecondsOfStereo", 176400, 2, 4, 352800},
        {"NoBytesASecond", 0, 2, 4, MinChunkBytes},
        {"NoBytesASecondInBlocksOf1000", 0, 1, 1000, 4000},
        {"ABlockLargerThanTheLeast", 0, 1, 6000, 6000},
        {"FarMoreThanTheMost", 0xFFFFFFFF, 6, 12, 4194300},  // 4 MiB less 4
    };
    for (const Row& Case : Rows) {
        WAVEFORMATEX Format{};
        Format.nAvgBytesPerSec = Case.ClaimedBytesPerSecond;
        Format.nChannels = Case.Channels;
        Format.nBlockAlign = Case.BlockAlign;
        EXPECT_EQ(ChunkSizeFor(Format), Case.Expected) << Case.Name;
    }
}

}  // namespace
}  // namespace quorvane
