// The video phase on its own, stepped without a thread over a scripted
// source: which samples become frames, at which times, which are key frames.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"
#include "job/VideoPhase.h"
#include "job/VideoSource.h"
#include "support/FlvReader.h"
#include "support/TestPaths.h"

namespace quorvane {
namespace {

// Four blocks of 16x16; each picture changes one of them.
constexpr uint16_t Width = 64;
constexpr uint16_t Height = 16;

struct TSample {
    bool HasData = true;
    bool Decodable = true;
    bool Changes = true;
};

// A stream at 10 frames per second; each picture but a still one differs
// from the one before in its first pixel, so that it gives a video tag and,
// as it sends one block of four, no frame is a key frame of itself.
class TScriptedSource : public TVideoSource {
public:
    explicit TScriptedSource(std::vector<TSample> Script) : Samples(std::move(Script)) {
        FFormat = {Width, Height, 3};
    }

    int32_t Start() const override { return 0; }
    int32_t End() const override {
        int32_t Last = -1;
        for (int32_t Position = 0; Position < Count(); ++Position) {
            Last = Samples[Position].HasData ? Position : Last;
        }
        return Last + 1;
    }
    int32_t TimeOf(int32_t Position) const override { return Position * 100; }
    int32_t PositionAt(int32_t Time) const override { return Time / 100; }
    int32_t NextPosition(int32_t Position) const override {
        for (int32_t Next = Position + 1; Next < Count(); ++Next) {
            if (Samples[Next].HasData) {
                return Next;
            }
        }
        return -1;
    }
    platform::TPicture DecodeAt(int32_t Position) override {
        if (!Samples[Position].Decodable) {
            return {};
        }
        Picture.assign(Width * Height * 3, 0);
        if (Samples[Position].Changes) {
            FirstPixel = static_cast<uint8_t>(Position * 40 + 1);
        }
        Picture[0] = FirstPixel;
        ++PicturesGiven;
        return {Width, Height, 3, Width * 3, Picture.data()};
    }

    int PicturesGiven = 0;

private:
    // The video phase never asks for another geometry.
    void SetGeometry(const platform::TPictureGeometry&) override { ADD_FAILURE(); }
    int32_t Count() const { return static_cast<int32_t>(Samples.size()); }

    std::vector<TSample> Samples;
    std::vector<uint8_t> Picture;
    uint8_t FirstPixel = 0;
};

class TQuietHost : public IRunHost {
public:
    void ShowStatus(const std::string&) override {}
    void ShowProgress(const TProgressReport& Report) override {
        ++Reports;
        LastPercent = Report.ProgressPercent;
    }
    void ShowPreview(const platform::TPicture&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&) override {}
    bool StopRequested() const override { return false; }
    int Reports = 0;
    uint8_t LastPercent = 0;
};

struct PhaseCase {
    std::string Name;
    std::vector<TSample> Samples;
    int32_t KeyFrameInterval;
    uint8_t FrameRateLimit;
    std::vector<uint32_t> Times;     // of the video tags
    std::vector<uint32_t> KeyTimes;  // of the key frames among them
    uint32_t FramesNotDecoded;
    TRangeSettings Range = {};
    std::optional<uint8_t> LastPercent = {};  // of the progress, at the last frame
};

void PrintTo(const PhaseCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class VideoPhase : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(VideoPhase, EncodesTheSelectedSamples) {
    const PhaseCase& Case = GetParam();
    const std::string Output = (test::FreshDir("VideoPhase-" + Case.Name) / "out.flv").string();
    TScriptedSource Source(Case.Samples);
    TScreenVideoEncoder Encoder(Output, true, false);
    TJobSettings Settings;
    Settings.KeyFrameInterval = Case.KeyFrameInterval;
    Settings.FrameRateLimit = Case.FrameRateLimit;
    Settings.Range = Case.Range;
    Settings.Encoder.BlockWidth = 16;
    Settings.Encoder.BlockHeight = 16;
    Encoder.SetParameters(Settings.Encoder);
    Encoder.SetFrameSize(Source.Format());
    ASSERT_EQ(Encoder.Start(), StartSucceeded);
    TQuietHost Host;
    TVideoPhase Phase(Source, Encoder, Settings, Host, nullptr);
    Phase.Begin();
    while (!Phase.Ended()) {
        Phase.EncodeNext();
    }
    Phase.Finish();
    Encoder.Finish();

    std::vector<uint32_t> Times;
    std::vector<uint32_t> KeyTimes;
    for (const test::FlvTag& Tag : test::ReadFlvFile(Output).Tags) {
        Times.push_back(Tag.Timestamp);
        if (Tag.FirstDataByte >> 4 == 1) {
            KeyTimes.push_back(Tag.Timestamp);
        }
    }
    EXPECT_EQ(Times, Case.Times);
    EXPECT_EQ(KeyTimes, Case.KeyTimes);
    EXPECT_EQ(Phase.FramesNotDecoded(), Case.FramesNotDecoded);
    EXPECT_EQ(Host.Reports, Source.PicturesGiven);
    if (Case.LastPercent) {
        EXPECT_EQ(Host.LastPercent, *Case.LastPercent);
    }
}

const std::vector<TSample> FiveSamples(5);
const std::vector<TSample> TenSamples(10);
const TSample Empty{false, false};
const TSample Undecodable{true, false};
const TSample Still{true, true, false};

INSTANTIATE_TEST_SUITE_P(
    , VideoPhase,
    ::testing::Values(
        PhaseCase{"EverySample", FiveSamples, 0, 0, {0, 100, 200, 300, 400}, {0}, 0},
        // Strictly more than the interval since the last key frame.
        PhaseCase{
            "KeyFramesCountStreamTime", FiveSamples, 200, 0, {0, 100, 200, 300, 400}, {0, 300}, 0},
        PhaseCase{
            "EmptySamplesAreSteppedOver", {{}, {}, Empty, Empty, {}}, 0, 0, {0, 100, 400}, {0}, 0},
        // The first sample at or after each slot of 1000/N ms: no more than
        // N a second.
        PhaseCase{"TheRateLimitPicksByTime", TenSamples, 0, 4, {0, 300, 500, 800}, {0}, 0},
        PhaseCase{"SevenOfTen", TenSamples, 0, 7, {0, 200, 300, 500, 600, 800, 900}, {0}, 0},
        PhaseCase{"ALimitAboveTheRateTakesEverySample",
                  FiveSamples,
                  0,
                  25,
                  {0, 100, 200, 300, 400},
                  {0},
                  0},
        // The last frame gets a tag though nothing changed: the file lasts
        // as long as the video.
        PhaseCase{
            "AStillEndKeepsItsLastFrame", {{}, {}, Still, Still}, 0, 0, {0, 100, 300}, {0}, 0},
        PhaseCase{"AStillPicture", {{}, Still, Still, Still, Still}, 0, 0, {0, 400}, {0}, 0},
        PhaseCase{"AnUndecodableStartLeavesTheKeyToTheFirstPicture",
                  {Undecodable, {}, {}},
                  0,
                  0,
                  {100, 200},
                  {100},
                  1},
        // From 250 to 750 ms: the picture shown at 250 (of 200 ms) is the
        // first frame, at 0; the progress runs over those 500 ms.
        PhaseCase{"ARangeStartsWithThePictureShownAtItsStart",
                  TenSamples,
                  0,
                  0,
                  {0, 50, 150, 250, 350, 450},
                  {0},
                  0,
                  {250, 750},
                  90},
        PhaseCase{"KeyFramesCountFromTheRangesStart",
                  TenSamples,
                  200,
                  0,
                  {0, 50, 150, 250, 350, 450},
                  {0, 250},
                  0,
                  {250, 750}},
        // Slots at 250, 500, 750 ms of the output: the samples of 500 and
        // 800 ms of the stream.
        PhaseCase{"TheRateLimitCountsFromTheRangesStart",
                  TenSamples,
                  0,
                  4,
                  {0, 250, 550},
                  {0},
                  0,
                  {250, {}},
                  73},
        // Starting on a sample, ending on one: that sample is not in it.
        PhaseCase{"ARangeOfWholeSamples", TenSamples, 0, 0, {0, 100}, {0}, 0, {300, 500}}),
    [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane
