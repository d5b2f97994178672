#include "job/AudioClock.h"

#include <gtest/gtest.h>

#include <ostream>

namespace quorvane {
namespace {

struct FrameTimeCase {
    uint64_t FrameIndex;
    uint32_t SamplesPerFrame;
    uint32_t SampleRate;
    uint64_t Milliseconds;
};

void PrintTo(const FrameTimeCase& Case, std::ostream* Out) {
    *Out << "frame " << Case.FrameIndex << " of " << Case.SamplesPerFrame << " at "
         << Case.SampleRate << " Hz";
}

class AudioFrameTimes : public ::testing::TestWithParam<FrameTimeCase> {};

TEST_P(AudioFrameTimes, AreTheExactStartRoundedDown) {
    const FrameTimeCase& Case = GetParam();
    EXPECT_EQ(AudioFrameTime(Case.FrameIndex, Case.SamplesPerFrame, Case.SampleRate),
              Case.Milliseconds);
}

INSTANTIATE_TEST_SUITE_P(Table, AudioFrameTimes,
                         ::testing::Values(
                             // A 10 fps video: the frames after the video tag at 200 ms.
                             FrameTimeCase{0, 1152, 44100, 0}, FrameTimeCase{4, 1152, 44100, 104},
                             FrameTimeCase{8, 1152, 44100, 208}, FrameTimeCase{9, 1152, 44100, 235},
                             FrameTimeCase{10, 1152, 44100, 261},
                             FrameTimeCase{11, 1152, 44100, 287}, FrameTimeCase{9, 576, 22050, 235},
                             FrameTimeCase{1, 576, 11025, 52}, FrameTimeCase{3, 576, 11025, 156},
                             // An hour in: 26 ms a frame would give 3583112, 16.9 s behind.
                             FrameTimeCase{137812, 1152, 44100, 3599986},
                             // Beyond 32 bits of milliseconds and of samples.
                             FrameTimeCase{10000000000, 1152, 44100, 261224489795}));

// Frames of 1152 samples at 44100 Hz and 576 at 22050 Hz last as long and
// share one count; another duration counts on from the time reached.
TEST(AudioClock, CountsFramesOfOneDurationFromWhereItStarted) {
    TAudioClock Clock;
    EXPECT_EQ(Clock.Now(), 0u);
    Clock.CountFrame(576, 11025);
    Clock.CountFrame(576, 11025);
    EXPECT_EQ(Clock.Now(), 104u);  // 104.5 ms
    for (int Frame = 0; Frame < 9; ++Frame) {
        Clock.CountFrame(1152, 44100);
    }
    Clock.CountFrame(576, 22050);
    EXPECT_EQ(Clock.Now(), 104u + 261u);
    Clock.CountFrame(576, 11025);
    EXPECT_EQ(Clock.Now(), 365u + 52u);
}

}  // namespace
}  // namespace quorvane
