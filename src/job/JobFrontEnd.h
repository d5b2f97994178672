// The one interface through which a conversion job meets its front end (the
// window or the command line). The job holds no toolkit type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/ScreenVideoEncoder.h"

namespace quorvane {

// The settings controls as the job reads them when encoding is prepared:
// check states, item indexes and the edits' raw texts (converted by the job).
struct TJobControls {
    bool AVIAudioRadioButton = false;
    bool MP3AudioRadioButton = false;
    std::string AudioFileEdit;
    // The MP3 format pair (from EnumerateMP3Formats) fixed when the input
    // file was opened; empty when no MP3 format is offered.
    std::vector<uint8_t> MP3Format;       // chosen MP3 format record
    std::vector<uint8_t> MP3InputFormat;  // the PCM format its encoder takes

    bool LosslessRadioButton = true;
    bool BitrateCompressionRadioButton = false;
    bool QualityCompressionRadioButton = false;
    std::string BitRateEdit = "250";
    std::string RToleranceEdit = "30";
    std::string GToleranceEdit = "15";
    std::string BToleranceEdit = "30";
    std::string BlockToleranceEdit = "3";

    bool KeyFrameCheckBox = false;
    std::string KeyFrameIntervalEdit = "10000";
    bool FrameRateLimitCheckBox = false;
    std::string FrameRateLimitEdit = "10";
    bool ColorReductionCheckBox = false;
    int ColorLimitComboBox = 0;   // item index: 19k, 2k, 304 colors
    int BlockWidthComboBox = 3;   // item index: (index + 1) * 16 pixels
    int BlockHeightComboBox = 1;  // item index
    // An onMetaData tag with a key frame index, through which players show
    // the duration and seek; added when the file is complete.
    bool MetadataCheckBox = false;

    // How the encoder uses the machine; no window control, the command line
    // may set it.
    EncoderEngine Engine;

    // Whether frames are previewed; during a run the front end changes it
    // through TAVIToScreenVideoThread::SetPreviewWanted.
    bool PreviewCheckBox = false;
};

// What the job reports after each unit of work and at the end.
struct TProgressReport {
    uint8_t ProgressPercent = 0;
    std::string SpeedText;
    std::string RemainingText;
};

class IJobFrontEnd {
public:
    virtual ~IJobFrontEnd() = default;

    // Main thread, when encoding is prepared; the job keeps a copy.
    virtual TJobControls ReadControls() = 0;
    // Main thread: make room for previews of frames of this size.
    virtual void PreparePreview(int32_t Width, int32_t Height) = 0;

    // Main thread (the job runs them through Synchronize).
    virtual void ShowStatus(const std::string& StepText) = 0;
    virtual void ShowProgress(const TProgressReport& Report) = 0;
    // Frame: a packed DIB (40-byte BITMAPINFOHEADER, then bottom-up rows),
    // valid for the length of the call.
    virtual void ShowPreview(const uint8_t* Frame) = 0;

    // Modal questions and messages, main thread (the job's thread asks
    // through Synchronize); they block the job until answered.
    virtual bool AskYesNo(const std::string& Caption, const std::string& Text) = 0;
    virtual void ShowMessage(const std::string& Caption, const std::string& Text) = 0;
};

}  // namespace quorvane
