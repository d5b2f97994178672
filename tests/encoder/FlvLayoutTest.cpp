// The bytes of the FLV file: header, tag headers, audio tags, length fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "EncoderTestKit.h"

namespace quorvane::test {
namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& Path) {
    std::ifstream File(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

// A 128 kbit/s, 44.1 kHz MPEG-1 Layer III frame without padding: 417 bytes.
std::vector<uint8_t> Mp3Frame() {
    std::vector<uint8_t> Frame(417);
    for (size_t Index = 4; Index < Frame.size(); ++Index) {
        Frame[Index] = static_cast<uint8_t>(Index * 31);
    }
    Frame[0] = 0xFF;
    Frame[1] = 0xFB;
    Frame[2] = 0x90;
    Frame[3] = 0x00;
    return Frame;
}

TEST(FlvFileHeader, IsThirteenBytesWithVideoAndAudioFlags) {
    struct Case {
        bool HasVideo, HasAudio;
        uint8_t Flags;
    };
    for (const Case& Expected : {Case{false, false, 0x00}, Case{true, false, 0x01},
                                 Case{false, true, 0x04}, Case{true, true, 0x05}}) {
        const auto Path = OutputPathForTest();
        TScreenVideoEncoder Encoder(Path.string(), Expected.HasVideo, Expected.HasAudio);
        Encoder.SetParameters(ParametersFor(LosslessMode, 64, 64));
        Encoder.SetFrameSize(FrameFormat{64, 64, 3});
        ASSERT_EQ(Encoder.Start(), StartSucceeded);
        // No tag at all still makes a complete file.
        EXPECT_EQ(Encoder.Finish(), 13u);
        const std::vector<uint8_t> Header = {0x46, 0x4C, 0x56, 0x01, Expected.Flags, 0, 0, 0, 0x09,
                                             0,    0,    0,    0};
        EXPECT_EQ(FileBytes(Path), Header) << "flags " << int(Expected.Flags);
    }
}

TEST(FlvAudioTag, CarriesTheMp3FrameWithItsSoundByteAndLengths) {
    EncoderSession Session(ParametersFor(LosslessMode, 64, 64), 64, 64, 3, true);
    const std::vector<uint8_t> Mp3 = Mp3Frame();
    Session.Encode(NoiseFrame(64, 64, 3, 1), 0, true);
    Session.Encoder().WriteAudioTag(Mp3.data(), 417, 26, 1, 3);
    Session.Encoder().WriteAudioTag(Mp3.data(), 417, 52, 0, 0);
    Session.Encode(NoiseFrame(64, 64, 3, 2), 80, false);
    const FlvFile File = Session.Finish({flvmeta::AudioFormatChanged});
    ASSERT_EQ(File.Tags.size(), 4u);
    const FlvTag& Stereo = File.Tags[1];
    EXPECT_EQ(Stereo.Type, 8);
    EXPECT_EQ(Stereo.DataSize, 418u);
    EXPECT_EQ(Stereo.Timestamp, 26u);
    EXPECT_EQ(Stereo.FirstDataByte, 0x2F);  // MP3, 16-bit, 44 kHz, stereo
    EXPECT_EQ(Stereo.Payload, Mp3);
    EXPECT_EQ(File.Tags[2].FirstDataByte, 0x22);  // 5.5 kHz, mono
    const std::vector<uint8_t> Bytes = FileBytes(Session.Path());
    const std::vector<uint8_t> LengthField = {0, 0, 0x01, 0xAD};  // 429
    EXPECT_TRUE(std::equal(LengthField.begin(), LengthField.end(),
                           Bytes.begin() + static_cast<ptrdiff_t>(File.Tags[3].Offset) - 4));
}

TEST(FlvAudioTag, RefusesFramesNoTagCanHoldWithoutWriting) {
    EncoderSession Session(ParametersFor(LosslessMode, 64, 64), 64, 64, 3, true);
    const std::vector<uint8_t> Mp3 = Mp3Frame();
    EXPECT_THROW(Session.Encoder().WriteAudioTag(Mp3.data(), 0, 0, 1, 3), std::invalid_argument);
    EXPECT_THROW(Session.Encoder().WriteAudioTag(nullptr, 417, 0, 1, 3), std::invalid_argument);
    EXPECT_TRUE(Session.Finish().Tags.empty());
}

TEST(FlvTimestamps, KeepBitsAboveTwentyFourInTheExtensionByte) {
    EncoderSession Session(ParametersFor(LosslessMode, 16, 16), 16, 16, 3, true);
    const std::vector<uint8_t> Mp3 = Mp3Frame();
    Session.Encode(NoiseFrame(16, 16, 3, 0), 0, true);
    const int32_t Times[] = {16777215, 16777216, 16777217};
    for (int32_t Time : Times) {
        Session.Encode(NoiseFrame(16, 16, 3, static_cast<uint32_t>(Time)), Time, false);
        Session.Encoder().WriteAudioTag(Mp3.data(), 417, Time, 1, 3);
    }
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 7u);
    const std::vector<uint8_t> Bytes = FileBytes(Session.Path());
    for (size_t Index = 1; Index < File.Tags.size(); ++Index) {
        const auto Time = static_cast<uint32_t>(Times[(Index - 1) / 2]);
        const uint8_t* Header = Bytes.data() + File.Tags[Index].Offset;
        EXPECT_EQ(Header[4] << 16 | Header[5] << 8 | Header[6], Time & 0xFFFFFF);
        EXPECT_EQ(Header[7], Time >> 24);
        EXPECT_EQ(Header[8] | Header[9] | Header[10], 0) << "stream id";
    }
    EXPECT_EQ(File.Tags[1].Timestamp, 16777215u);
    EXPECT_EQ(File.Tags[3].Timestamp, 16777216u);
    EXPECT_EQ(File.Tags[6].Timestamp, 16777217u);
}

TEST(FlvVideoTag, DataSizeCountsEveryBlockEntry) {
    // 640x480 in 64x32 blocks: 150 blocks, one of them changed.
    EncoderSession Session(ParametersFor(LosslessMode, 64, 32), 640, 480, 3);
    bench::FrameBuffer Frame = SolidFrame(640, 480, 3, {10, 20, 30});
    Session.Encode(Frame, 0, true);
    Frame.SetColour(100, 100, {11, 20, 30});
    Session.Encode(Frame, 40, false);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 2u);
    const FlvTag& Inter = File.Tags[1];
    EXPECT_EQ(Inter.Type, 9);
    EXPECT_EQ(Inter.FirstDataByte, 0x23);
    EXPECT_EQ(File.Tags[0].FirstDataByte, 0x13);
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(Inter.Payload);
    size_t Sent = 0;
    size_t StreamBytes = 0;
    for (const auto& Block : Packet.Blocks) {
        Sent += Block.empty() ? 0 : 1;
        StreamBytes += Block.size();
    }
    EXPECT_EQ(Sent, 1u);
    EXPECT_EQ(Inter.DataSize, 5 + 2 * 150 + StreamBytes);
}

// The frame byte says what the packet holds, whatever the caller asked: a
// key frame (0x13) exactly when every block of the grid is sent. Players
// that check it (Ruffle) refuse a whole-picture inter frame. 64x32 in 32x16
// blocks: 4 blocks.
struct FrameByteCase {
    std::string Name;
    CompressionModes Mode;
    int32_t BitRate;
    void (*Change)(bench::FrameBuffer&);
    int32_t Time;
    bool KeyFrame;
    size_t Sent;
    uint8_t FrameByte;
};

void PrintTo(const FrameByteCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

void NoChange(bench::FrameBuffer&) {}
void ChangeOnePixel(bench::FrameBuffer& Frame) {
    Frame.PixelAt(0, 0)[0] ^= 0x80;
}
void ChangeEveryPixel(bench::FrameBuffer& Frame) {
    Frame = NoiseFrame(64, 32, 3, 2);
}

class FrameByte : public ::testing::TestWithParam<FrameByteCase> {};

TEST_P(FrameByte, IsAKeyFrameExactlyWhenEveryBlockIsSent) {
    const FrameByteCase& Case = GetParam();
    EncoderParameters Parameters = ParametersFor(Case.Mode, 32, 16);
    Parameters.BitRate = Case.BitRate;
    EncoderSession Session(Parameters, 64, 32, 3);
    bench::FrameBuffer Frame = NoiseFrame(64, 32, 3, 1);
    Session.Encode(Frame, 0, true);
    Case.Change(Frame);
    Session.Encode(Frame, Case.Time, Case.KeyFrame);
    const FlvFile File = Session.Finish();
    ASSERT_EQ(File.Tags.size(), 2u);
    const ScreenVideoPacket Packet = ParseScreenVideoPacket(File.Tags[1].Payload);
    const auto Sent = std::count_if(Packet.Blocks.begin(), Packet.Blocks.end(),
                                    [](const auto& Block) { return !Block.empty(); });
    EXPECT_EQ(static_cast<size_t>(Sent), Case.Sent);
    EXPECT_EQ(File.Tags[1].FirstDataByte, Case.FrameByte);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameByte,
    ::testing::Values(
        FrameByteCase{"KeyFrameAsked", LosslessMode, 0, NoChange, 40, true, 4, 0x13},
        FrameByteCase{"OneBlockChanged", LosslessMode, 0, ChangeOnePixel, 40, false, 1, 0x23},
        FrameByteCase{"EveryBlockChanged", LosslessMode, 0, ChangeEveryPixel, 40, false, 4, 0x13},
        FrameByteCase{"QualityEveryBlock", QualityMode, 0, ChangeEveryPixel, 40, false, 4, 0x13},
        FrameByteCase{"QualityOneBlock", QualityMode, 0, ChangeOnePixel, 40, false, 1, 0x23},
        // 8 bytes of budget buy one block; 100000 kbit/s all, changed or not.
        FrameByteCase{"BudgetForOneBlock", BitrateMode, 64, ChangeOnePixel, 1, false, 1, 0x23},
        FrameByteCase{"BudgetForAll", BitrateMode, 100000, ChangeOnePixel, 40, false, 4, 0x13}),
    [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::test
