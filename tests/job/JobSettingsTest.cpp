#include "job/JobSettings.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(StrToInt, AcceptsSignedDecimalsInThirtyTwoBits) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("250"), 250);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("-12"), -12);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
}

TEST(StrToInt, RefusesEverythingElseWithTheEditText) {
    for (const std::string Text : {"", "12a", "a", " 1", "1 ", "2147483648", "1.5", "+"}) {
        try {
            StrToInt(Text);
            ADD_FAILURE() << "accepted '" << Text << "'";
        } catch (const EConvertError& Error) {
            EXPECT_EQ(Error.what(), "'" + Text + "' is not a valid integer value");
        }
    }
}

TEST(ReadJobSettings, DefaultControlsGiveLossless64x32WithoutLimits) {
    const TJobSettings Settings = ReadJobSettings(TJobControls{}, TJobSettings{});
    EXPECT_EQ(Settings.Encoder.CompressionMode, LosslessMode);
    EXPECT_EQ(Settings.Encoder.BlockWidth, 64u);
    EXPECT_EQ(Settings.Encoder.BlockHeight, 32u);
    EXPECT_EQ(Settings.Encoder.ColorShift, 0);
    EXPECT_EQ(Settings.KeyFrameInterval, 0);
    EXPECT_EQ(Settings.FrameRateLimit, 0);
}

TEST(ReadJobSettings, BlockItemsGiveSixteenPixelSteps) {
    TJobControls Controls;
    Controls.BlockWidthComboBox = 15;
    Controls.BlockHeightComboBox = 0;
    const TJobSettings Settings = ReadJobSettings(Controls, TJobSettings{});
    EXPECT_EQ(Settings.Encoder.BlockWidth, 256u);
    EXPECT_EQ(Settings.Encoder.BlockHeight, 16u);
}

TEST(ReadJobSettings, QualityTolerancesScalePercentToColourRange) {
    TJobControls Controls;
    Controls.LosslessRadioButton = false;
    Controls.QualityCompressionRadioButton = true;
    Controls.RToleranceEdit = "30";
    Controls.GToleranceEdit = "15";
    Controls.BToleranceEdit = "100";
    Controls.BlockToleranceEdit = "3";
    const EncoderParameters Encoder = ReadJobSettings(Controls, TJobSettings{}).Encoder;
    EXPECT_EQ(Encoder.CompressionMode, QualityMode);
    EXPECT_EQ(Encoder.RedTolerance, 76);
    EXPECT_EQ(Encoder.GreenTolerance, 38);
    EXPECT_EQ(Encoder.BlueTolerance, 255);
    EXPECT_EQ(Encoder.BlockTolerance, 3);
}

TEST(ReadJobSettings, ValuesBeyondTheirRangeAreClampedNotWrapped) {
    TJobControls Controls;
    Controls.LosslessRadioButton = false;
    Controls.QualityCompressionRadioButton = true;
    Controls.RToleranceEdit = "101";
    Controls.BlockToleranceEdit = "300";
    Controls.FrameRateLimitCheckBox = true;
    Controls.FrameRateLimitEdit = "256";
    const TJobSettings Settings = ReadJobSettings(Controls, TJobSettings{});
    EXPECT_EQ(Settings.Encoder.RedTolerance, 255);
    EXPECT_EQ(Settings.Encoder.BlockTolerance, 255);
    EXPECT_EQ(Settings.FrameRateLimit, 255);
}

TEST(ReadJobSettings, OnlyTheEditsInUseAreRead) {
    TJobControls Controls;
    Controls.BitRateEdit = "";
    Controls.RToleranceEdit = "";
    Controls.KeyFrameIntervalEdit = "";
    Controls.FrameRateLimitEdit = "";
    EXPECT_NO_THROW(ReadJobSettings(Controls, TJobSettings{}));

    Controls.LosslessRadioButton = false;
    Controls.BitrateCompressionRadioButton = true;
    EXPECT_THROW(ReadJobSettings(Controls, TJobSettings{}), EConvertError);
}

TEST(ReadJobSettings, FieldsOfOtherModesKeepTheirEarlierValues) {
    TJobSettings Previous;
    Previous.Encoder.BitRate = 999;
    Previous.Encoder.ColorShift = 4;
    TJobControls Controls;
    Controls.LosslessRadioButton = false;
    Controls.QualityCompressionRadioButton = true;
    Controls.ColorReductionCheckBox = true;
    Controls.ColorLimitComboBox = -1;  // no item picked
    const TJobSettings Settings = ReadJobSettings(Controls, Previous);
    EXPECT_EQ(Settings.Encoder.BitRate, 999);
    EXPECT_EQ(Settings.Encoder.ColorShift, 4);
}

TEST(ReadJobSettings, ColourItemsAndLimitsWhenChecked) {
    TJobControls Controls;
    Controls.ColorReductionCheckBox = true;
    Controls.KeyFrameCheckBox = true;
    Controls.KeyFrameIntervalEdit = "10000";
    Controls.FrameRateLimitCheckBox = true;
    Controls.FrameRateLimitEdit = "0";
    const uint8_t Shifts[] = {3, 4, 5};
    for (int Item = 0; Item < 3; ++Item) {
        Controls.ColorLimitComboBox = Item;
        const TJobSettings Settings = ReadJobSettings(Controls, TJobSettings{});
        EXPECT_EQ(Settings.Encoder.ColorShift, Shifts[Item]);
        EXPECT_EQ(Settings.KeyFrameInterval, 10000);
        EXPECT_EQ(Settings.FrameRateLimit, 0);
    }
}

}  // namespace
}  // namespace quorvane
