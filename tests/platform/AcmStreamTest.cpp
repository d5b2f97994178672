// Conversion streams of the audio codec services: stored audio to PCM, PCM
// to PCM and PCM to MP3, fed in pieces of any size and drained to the end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio/AudioCompressionManager.h"
#include "platform/audio/Mp3EncoderDriver.h"

namespace quorvane::platform {
namespace {

using Bytes = std::vector<uint8_t>;

WAVEFORMATEX Format(uint16_t Tag, uint16_t Channels, uint32_t Rate, uint16_t Bits) {
    WAVEFORMATEX Result{};
    Result.wFormatTag = Tag;
    Result.nChannels = Channels;
    Result.nSamplesPerSec = Rate;
    Result.nBlockAlign = static_cast<uint16_t>(Channels * Bits / 8);
    Result.nAvgBytesPerSec = Rate * Result.nBlockAlign;
    Result.wBitsPerSample = Bits;
    return Result;
}

// The offered MP3 record whose description is Text.
Bytes Mp3Format(const std::string& Text) {
    for (const AcmFormatEntry& Entry : Mp3EncoderFormatTags()[1].Formats) {
        if (Entry.Description == Text) {
            return Entry.Record;
        }
    }
    ADD_FAILURE() << "no MP3 format " << Text;
    return {};
}

// Frames of a 1 kHz sine in the source's layout, Seconds long.
Bytes Sine(const WAVEFORMATEX& Source, double Seconds) {
    const auto Frames = static_cast<size_t>(Source.nSamplesPerSec * Seconds);
    const int Width = Source.wBitsPerSample / 8;
    Bytes Result;
    for (size_t Frame = 0; Frame < Frames; ++Frame) {
        const double Value = 0.5 * std::sin(2 * M_PI * 1000.0 * Frame / Source.nSamplesPerSec);
        for (int Channel = 0; Channel < Source.nChannels; ++Channel) {
            uint8_t Sample[4];
            if (Source.wFormatTag == 3) {
                const auto Float = static_cast<float>(Value);
                std::memcpy(Sample, &Float, 4);
            } else if (Width == 1) {
                Sample[0] = static_cast<uint8_t>(128 + Value * 127);
            } else {
                const auto Integer = static_cast<int32_t>(Value * 2147483647.0);
                for (int Byte = 0; Byte < Width; ++Byte) {
                    Sample[Byte] = static_cast<uint8_t>(Integer >> (8 * (4 - Width + Byte)));
                }
            }
            Result.insert(Result.end(), Sample, Sample + Width);
        }
    }
    return Result;
}

struct StreamCase {
    std::string Name;
    WAVEFORMATEX Source;
    std::function<Bytes()> Destination;  // the whole record
};

void PrintTo(const StreamCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class AcmStreamKinds : public ::testing::TestWithParam<StreamCase> {
protected:
    void SetUp() override {
        Destination = GetParam().Destination();
        Open();
    }
    void TearDown() override { EXPECT_EQ(acmStreamClose(Stream, 0), MMSYSERR_NOERROR); }

    void Open() {
        ASSERT_EQ(acmStreamOpen(&Stream, nullptr, &GetParam().Source,
                                reinterpret_cast<const WAVEFORMATEX*>(Destination.data()), nullptr,
                                0, 0, 0),
                  MMSYSERR_NOERROR);
    }

    // One conversion; returns its output.
    Bytes Convert(Bytes Input, uint32_t Room, uint32_t Flags) {
        Bytes Output(Room);
        ACMSTREAMHEADER Header{};
        Header.cbStruct = sizeof Header;
        Header.pbSrc = Input.data();
        Header.cbSrcLength = static_cast<uint32_t>(Input.size());
        Header.pbDst = Output.data();
        Header.cbDstLength = Room;
        EXPECT_EQ(acmStreamPrepareHeader(Stream, &Header, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamConvert(Stream, &Header, Flags), MMSYSERR_NOERROR);
        EXPECT_EQ(Header.cbSrcLengthUsed, Input.size());
        EXPECT_EQ(acmStreamUnprepareHeader(Stream, &Header, 0), MMSYSERR_NOERROR);
        Output.resize(Header.cbDstLengthUsed);
        return Output;
    }

    // On a fresh stream: Input cut at Cuts (offsets), each piece converted
    // into Room bytes at most, then the end converted as often as it gives
    // output.
    Bytes ConvertAll(const Bytes& Input, std::vector<size_t> Cuts, uint32_t Room) {
        TearDown();
        Open();
        Cuts.push_back(Input.size());
        Bytes Output;
        size_t From = 0;
        for (size_t Cut : Cuts) {
            const Bytes Piece = Convert(Bytes(Input.begin() + From, Input.begin() + Cut), Room, 0);
            Output.insert(Output.end(), Piece.begin(), Piece.end());
            From = Cut;
        }
        for (Bytes Tail = Convert({}, Room, ACM_STREAMCONVERTF_END); !Tail.empty();
             Tail = Convert({}, Room, ACM_STREAMCONVERTF_END)) {
            Output.insert(Output.end(), Tail.begin(), Tail.end());
        }
        return Output;
    }

    uint32_t SizeFor(uint32_t Input) {
        uint32_t Output = 0;
        EXPECT_EQ(acmStreamSize(Stream, Input, &Output, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
        return Output;
    }

    HACMSTREAM Stream = nullptr;
    Bytes Destination;
};

// Pieces that split sample frames and blocks, and a destination too small
// for one call's output, change nothing: what a call can't use or give out
// waits for the next one, and the end gives out the rest.
TEST_P(AcmStreamKinds, PiecesAndSmallBuffersGiveTheSameOutput) {
    const Bytes Input = Sine(GetParam().Source, 1.0);
    const uint32_t Whole = static_cast<uint32_t>(Input.size());
    const Bytes Reference = ConvertAll(Input, {}, SizeFor(Whole));
    ASSERT_FALSE(Reference.empty());
    EXPECT_EQ(ConvertAll(Input, {1, 8, 1001, Whole / 3 + 1, Whole / 2 + 3}, SizeFor(Whole)),
              Reference);
    EXPECT_EQ(ConvertAll(Input, {Whole / 2 + 1}, 97), Reference);
}

// The output lasts as long as the input: nothing is lost at the end and no
// silence is added beyond what the format needs.
TEST_P(AcmStreamKinds, OutputLastsAsLongAsTheInput) {
    const WAVEFORMATEX& Source = GetParam().Source;
    const auto* Target = reinterpret_cast<const WAVEFORMATEX*>(Destination.data());
    const Bytes Output = ConvertAll(Sine(Source, 1.0), {}, 1 << 20);
    if (Target->wFormatTag == WAVE_FORMAT_PCM) {
        EXPECT_NEAR(static_cast<double>(Output.size() / Target->nBlockAlign),
                    Target->nSamplesPerSec, 2.0);
        return;
    }
    // Constant bit rate MP3: the frames hold the samples and the encoder's
    // delay, and at most one frame more.
    const double Frames = static_cast<double>(Output.size()) / Target->nAvgBytesPerSec *
                          Target->nSamplesPerSec / 1152;
    EXPECT_GE(Frames * 1152, Target->nSamplesPerSec + 576 - 1152 * 0.01);
    EXPECT_LE(Frames * 1152, Target->nSamplesPerSec + Mp3StreamDelay + 1152 * 1.01);
}

INSTANTIATE_TEST_SUITE_P(
    , AcmStreamKinds,
    ::testing::Values(StreamCase{"FloatToPcm", Format(3, 2, 44100, 32),
                                 [] {
                                     const WAVEFORMATEX Pcm = Format(1, 2, 44100, 16);
                                     return Bytes(
                                         reinterpret_cast<const uint8_t*>(&Pcm),
                                         reinterpret_cast<const uint8_t*>(&Pcm) + sizeof Pcm);
                                 }},
                      StreamCase{"Pcm8At8000To16At11025", Format(1, 1, 8000, 8),
                                 [] {
                                     const WAVEFORMATEX Pcm = Format(1, 1, 11025, 16);
                                     return Bytes(
                                         reinterpret_cast<const uint8_t*>(&Pcm),
                                         reinterpret_cast<const uint8_t*>(&Pcm) + sizeof Pcm);
                                 }},
                      StreamCase{"Pcm24StereoAt96000ToMonoAt44100", Format(1, 2, 96000, 24),
                                 [] {
                                     const WAVEFORMATEX Pcm = Format(1, 1, 44100, 16);
                                     return Bytes(
                                         reinterpret_cast<const uint8_t*>(&Pcm),
                                         reinterpret_cast<const uint8_t*>(&Pcm) + sizeof Pcm);
                                 }},
                      StreamCase{"PcmToMp3", Format(1, 2, 44100, 16),
                                 [] { return Mp3Format("128 kBit/s, 44,100 Hz, Stereo"); }}),
    [](const auto& Info) { return Info.param.Name; });

// One conversion of Input (all of it taken) on Stream; returns its output.
Bytes ConvertOnce(HACMSTREAM Stream, Bytes Input, uint32_t Flags) {
    Bytes Output(1 << 20);
    ACMSTREAMHEADER Header{};
    Header.cbStruct = sizeof Header;
    Header.pbSrc = Input.data();
    Header.cbSrcLength = static_cast<uint32_t>(Input.size());
    Header.pbDst = Output.data();
    Header.cbDstLength = static_cast<uint32_t>(Output.size());
    EXPECT_EQ(acmStreamPrepareHeader(Stream, &Header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(Stream, &Header, Flags), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(Stream, &Header, 0), MMSYSERR_NOERROR);
    Output.resize(Header.cbDstLengthUsed);
    return Output;
}

// The MP3 stream is bare frames: it starts with a frame header, and holds no
// ID3 tag and no Xing/LAME header frame.
TEST(AcmMp3Stream, WritesBareFrames) {
    const WAVEFORMATEX Pcm = Format(1, 1, 22050, 16);
    const Bytes Mp3 = Mp3Format("64 kBit/s, 22,050 Hz, Mono");
    HACMSTREAM Stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&Stream, nullptr, &Pcm,
                            reinterpret_cast<const WAVEFORMATEX*>(Mp3.data()), nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    const Bytes Output = ConvertOnce(Stream, Sine(Pcm, 0.5), ACM_STREAMCONVERTF_END);
    EXPECT_EQ(acmStreamClose(Stream, 0), MMSYSERR_NOERROR);
    ASSERT_GT(Output.size(), 4u);
    EXPECT_EQ(Output[0], 0xFF);
    EXPECT_EQ(Output[1] & 0xE0, 0xE0);
    const std::string Text(Output.begin(), Output.end());
    for (const char* Marker : {"ID3", "TAG", "Xing", "Info"}) {
        EXPECT_EQ(Text.find(Marker), std::string::npos) << Marker;
    }
}

// MP3 cut in the middle of a frame, decoded with a call without input
// between the two halves (as made to collect held output): that call is no
// end of the stream, the cut frame is decoded whole.
TEST(AcmMp3Decoding, ACallWithoutInputCutsNoFrame) {
    const WAVEFORMATEX Pcm = Format(1, 2, 44100, 16);
    const Bytes Mp3Record = Mp3Format("128 kBit/s, 44,100 Hz, Stereo");
    WAVEFORMATEX Mp3 = *reinterpret_cast<const WAVEFORMATEX*>(Mp3Record.data());
    Mp3.cbSize = 0;  // the decoder needs none of the extra bytes
    HACMSTREAM Encoder = nullptr;
    ASSERT_EQ(
        acmStreamOpen(&Encoder, nullptr, &Pcm,
                      reinterpret_cast<const WAVEFORMATEX*>(Mp3Record.data()), nullptr, 0, 0, 0),
        MMSYSERR_NOERROR);
    const Bytes Encoded = ConvertOnce(Encoder, Sine(Pcm, 1.0), ACM_STREAMCONVERTF_END);
    EXPECT_EQ(acmStreamClose(Encoder, 0), MMSYSERR_NOERROR);
    // Inside the tenth frame, whichever of the 417 and 418 byte frames come first.
    constexpr std::ptrdiff_t Cut = 10 * 418 - 200;
    ASSERT_GT(Encoded.size(), 2u * Cut);
    Bytes Decoded[2];
    for (const bool Interrupted : {false, true}) {
        HACMSTREAM Decoder = nullptr;
        ASSERT_EQ(acmStreamOpen(&Decoder, nullptr, &Mp3, &Pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
        Bytes& Output = Decoded[Interrupted];
        const auto Append = [&Output](const Bytes& More) {
            Output.insert(Output.end(), More.begin(), More.end());
        };
        Append(ConvertOnce(Decoder, Bytes(Encoded.begin(), Encoded.begin() + Cut), 0));
        if (Interrupted) {
            Append(ConvertOnce(Decoder, {}, 0));
        }
        Append(ConvertOnce(Decoder, Bytes(Encoded.begin() + Cut, Encoded.end()),
                           ACM_STREAMCONVERTF_END));
        EXPECT_EQ(acmStreamClose(Decoder, 0), MMSYSERR_NOERROR);
    }
    ASSERT_FALSE(Decoded[0].empty());
    EXPECT_EQ(Decoded[1], Decoded[0]);
}

// A stored format that states no byte rate gets an output size like that of
// a stated one, not the most a call may ever hand out (64 MiB); what a call
// makes beyond it is held for the next ones.
TEST(AcmStreamSize, StaysSmallWithoutAByteRate) {
    const WAVEFORMATEX Pcm = Format(1, 2, 44100, 16);
    const Bytes Mp3Record = Mp3Format("128 kBit/s, 44,100 Hz, Stereo");
    WAVEFORMATEX Mp3 = *reinterpret_cast<const WAVEFORMATEX*>(Mp3Record.data());
    Mp3.cbSize = 0;
    Mp3.nAvgBytesPerSec = 0;
    HACMSTREAM Decoder = nullptr;
    ASSERT_EQ(acmStreamOpen(&Decoder, nullptr, &Mp3, &Pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    uint32_t Output = 0;
    EXPECT_EQ(acmStreamSize(Decoder, 4096, &Output, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GT(Output, 0u);
    EXPECT_LT(Output, 1u << 20);
    EXPECT_EQ(acmStreamClose(Decoder, 0), MMSYSERR_NOERROR);
}

// Conversions no stream does are refused when the stream is opened.
TEST(AcmStreamOpen, RefusesWhatNoStreamConverts) {
    const WAVEFORMATEX Stereo44 = Format(1, 2, 44100, 16);
    const Bytes Mp3 = Mp3Format("128 kBit/s, 44,100 Hz, Stereo");
    const auto* Mp3Record = reinterpret_cast<const WAVEFORMATEX*>(Mp3.data());
    Bytes Unoffered = Mp3;
    reinterpret_cast<WAVEFORMATEX*>(Unoffered.data())->nAvgBytesPerSec = 12345;
    const WAVEFORMATEX Mono22 = Format(1, 1, 22050, 16);
    WAVEFORMATEX Inconsistent = Stereo44;
    Inconsistent.nBlockAlign = 3;
    const WAVEFORMATEX UnknownTag = Format(0xBEEF, 2, 44100, 16);
    const struct {
        const WAVEFORMATEX* Source;
        const WAVEFORMATEX* Destination;
        MMRESULT Expected;
    } Cases[] = {
        {&Mono22, Mp3Record, ACMERR_NOTPOSSIBLE},  // not the PCM the encoder takes
        {&Stereo44, reinterpret_cast<const WAVEFORMATEX*>(Unoffered.data()), ACMERR_NOTPOSSIBLE},
        {&Inconsistent, &Mono22, ACMERR_NOTPOSSIBLE},
        {&UnknownTag, &Stereo44, ACMERR_NOTPOSSIBLE},
        {Mp3Record, &Stereo44, MMSYSERR_NOERROR},  // MP3 decodes like any stored audio
    };
    for (const auto& Case : Cases) {
        HACMSTREAM Stream = nullptr;
        EXPECT_EQ(acmStreamOpen(&Stream, nullptr, Case.Source, Case.Destination, nullptr, 0, 0, 0),
                  Case.Expected);
        if (Case.Expected == MMSYSERR_NOERROR) {
            EXPECT_EQ(acmStreamClose(Stream, 0), MMSYSERR_NOERROR);
        }
    }
    HACMSTREAM Unused = nullptr;
    int Filter = 0;
    EXPECT_EQ(acmStreamOpen(&Unused, nullptr, &Stereo44, &Mono22, &Filter, 0, 0, 0),
              MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(acmStreamClose(reinterpret_cast<HACMSTREAM>(&Filter), 0), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace quorvane::platform
