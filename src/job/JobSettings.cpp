#include "job/JobSettings.h"

#include <algorithm>
#include <charconv>

namespace quorvane {

namespace {

// Values beyond what an 8-bit setting can hold are clamped to its maximum
// rather than wrapped: a frame-rate limit of 300 must not turn into 44.
uint8_t ClampTo8Bits(int32_t Value) {
    return static_cast<uint8_t>(std::clamp(Value, 0, 255));
}

// A tolerance in percent of the colour range, as 0..255.
uint8_t ToleranceFromPercent(const std::string& Text) {
    const int32_t Percent = std::clamp(StrToInt(Text), 0, 100);
    return static_cast<uint8_t>(Percent * 255 / 100);
}

uint8_t ColorShiftFromItem(int ItemIndex, uint8_t Previous) {
    switch (ItemIndex) {
        case 0:
            return 3;  // 19k colors
        case 1:
            return 4;  // 2k colors
        case 2:
            return 5;  // 304 colors
        default:
            return Previous;
    }
}

uint32_t BlockSizeFromItem(int ItemIndex) {
    return static_cast<uint32_t>(ItemIndex + 1) * 16;
}

}  // namespace

int32_t StrToInt(const std::string& Text) {
    const char* First = Text.data();
    const char* Last = First + Text.size();
    if (First != Last && *First == '+') {
        ++First;
    }
    int32_t Value = 0;
    const auto [End, Error] = std::from_chars(First, Last, Value);
    if (Text.empty() || Error != std::errc() || End != Last) {
        throw EConvertError("'" + Text + "' is not a valid integer value");
    }
    return Value;
}

TJobSettings ReadJobSettings(const TJobControls& Controls, const TJobSettings& Previous) {
    TJobSettings Result = Previous;
    EncoderParameters& Encoder = Result.Encoder;

    Result.KeyFrameInterval =
        Controls.KeyFrameCheckBox ? StrToInt(Controls.KeyFrameIntervalEdit) : 0;
    Result.FrameRateLimit =
        Controls.FrameRateLimitCheckBox ? ClampTo8Bits(StrToInt(Controls.FrameRateLimitEdit)) : 0;
    Result.AddMetadata = Controls.MetadataCheckBox;

    if (Controls.LosslessRadioButton) {
        Encoder.CompressionMode = LosslessMode;
    } else if (Controls.BitrateCompressionRadioButton) {
        Encoder.CompressionMode = BitrateMode;
        Encoder.BitRate = StrToInt(Controls.BitRateEdit);
    } else if (Controls.QualityCompressionRadioButton) {
        Encoder.CompressionMode = QualityMode;
        Encoder.RedTolerance = ToleranceFromPercent(Controls.RToleranceEdit);
        Encoder.GreenTolerance = ToleranceFromPercent(Controls.GToleranceEdit);
        Encoder.BlueTolerance = ToleranceFromPercent(Controls.BToleranceEdit);
        Encoder.BlockTolerance = ClampTo8Bits(StrToInt(Controls.BlockToleranceEdit));
    }

    Encoder.ColorShift = Controls.ColorReductionCheckBox
                             ? ColorShiftFromItem(Controls.ColorLimitComboBox, Encoder.ColorShift)
                             : 0;
    Encoder.BlockWidth = BlockSizeFromItem(Controls.BlockWidthComboBox);
    Encoder.BlockHeight = BlockSizeFromItem(Controls.BlockHeightComboBox);
    return Result;
}

}  // namespace quorvane
