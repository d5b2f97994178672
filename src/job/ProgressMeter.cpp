#include "job/ProgressMeter.h"

#include <cmath>
#include <cstdio>

#include "platform/os/MultimediaTimer.h"

namespace quorvane {

namespace {

// Rounds to the nearest whole number, a half going to the even neighbour.
double RoundHalfEven(double Value) {
    return std::nearbyint(Value);
}

template <typename... Args>
std::string Format(const char* Pattern, Args... Values) {
    char Buffer[128];
    std::snprintf(Buffer, sizeof Buffer, Pattern, Values...);
    return Buffer;
}

}  // namespace

uint8_t ProgressPercentOf(int64_t Position, int64_t Start, int64_t End) {
    if (End <= Start) {
        return 0;
    }
    const double Percent = RoundHalfEven(static_cast<double>(Position - Start) * 100.0 /
                                         static_cast<double>(End - Start));
    return static_cast<uint8_t>(std::fmin(std::fmax(Percent, 0.0), 100.0));
}

std::string RemainingTimeText(uint32_t ElapsedMs, uint8_t Percent) {
    const double Remaining = RoundHalfEven(ElapsedMs * (100.0 / Percent - 1.0));
    const auto Ms = static_cast<uint32_t>(std::fmin(Remaining, 4294967295.0));
    return Format("Remaining time: %2.2d:%2.2d:%2.2d", static_cast<int>(Ms / 3600000),
                  static_cast<int>(Ms % 3600000 / 60000), static_cast<int>(Ms % 60000 / 1000));
}

std::string SpeedText(int64_t MediaDeltaMs, uint32_t WallDeltaMs) {
    const double Speed =
        static_cast<double>(MediaDeltaMs + 1) / (static_cast<double>(WallDeltaMs) + 1.0);
    return Format("Speed: %.2fX", Speed);
}

void TProgressMeter::Begin(int64_t StartUnit, int64_t EndUnit) {
    Start = StartUnit;
    End = EndUnit;
    platform::timeBeginPeriod(1);
    Running = true;
    RunStart = platform::timeGetTime();
    LastUpdate = platform::timeGetTime();
    PreviousMediaTime = 0;
}

void TProgressMeter::Finish() {
    if (Running) {
        platform::timeEndPeriod(1);
        Running = false;
    }
}

TProgressReport TProgressMeter::Measure(int64_t Position, uint32_t MediaTime) {
    TProgressReport Report;
    const uint32_t Now = platform::timeGetTime();
    LastMeasured = Now;
    Report.ProgressPercent = ProgressPercentOf(Position, Start, End);
    if (Report.ProgressPercent == 0) {
        return Report;
    }
    Report.RemainingText = RemainingTimeText(Now - RunStart, Report.ProgressPercent);
    Report.SpeedText =
        SpeedText(static_cast<int64_t>(MediaTime) - PreviousMediaTime, Now - LastUpdate);
    return Report;
}

void TProgressMeter::MarkUpdated(uint32_t MediaTime) {
    PreviousMediaTime = MediaTime;
    LastUpdate = platform::timeGetTime();
}

void TProgressMeter::MarkMeasured(uint32_t MediaTime) {
    PreviousMediaTime = MediaTime;
    LastUpdate = LastMeasured;
}

}  // namespace quorvane
