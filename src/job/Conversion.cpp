// Preparing and running a conversion: settings, encoder, the video phase
// with its audio interleaving, and the end of the run.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "encoder/MetadataInjection.h"
#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const AudioNotConvertibleText =
    "The audio contained in the video file can not be converted.\r\n"
    "Please choose an external file for the audio or encode video only.";

const char* const NoFrameDecodedText =
    "No frame of the video could be decoded: nothing was converted.";

std::string FramesNotDecodedText(uint32_t Count) {
    return std::to_string(Count) +
           (Count == 1 ? " frame of the video could not be decoded and was left out."
                       : " frames of the video could not be decoded and were left out.");
}

std::string StartFailureText(int32_t Result, const TScreenVideoEncoder& Encoder,
                             const std::string& FileName, const FrameFormat& Format,
                             const EncoderParameters& Parameters) {
    switch (Result) {
        case StartCannotCreateFile:
            return "Impossible to create the output file " + FileName + " (" +
                   Encoder.FileError().message() + ").";
        case StartFrameSizeUnsupported:
            return UnsupportedFrameSizeText(Format.Width, Format.Height);
        case StartBlockSizeUnsupported:
            return "The block size " + std::to_string(Parameters.BlockWidth) + "x" +
                   std::to_string(Parameters.BlockHeight) +
                   " is not possible; blocks are 16 to 256 pixels in steps of 16.";
        case StartPixelFormatUnsupported:
            return "The decoded video has " + std::to_string(Format.BytesPerPixel) +
                   " bytes per pixel; only 3 or 4 can be encoded.";
        default:
            return "The encoder could not be started (code " + std::to_string(Result) + ").";
    }
}

bool SameFile(const std::string& A, const std::string& B) {
    std::error_code Ignored;
    return !A.empty() && !B.empty() && std::filesystem::equivalent(A, B, Ignored);
}

std::string FailureTextOf(const std::exception& Failure) {
    if (dynamic_cast<const EJobFailure*>(&Failure) ||
        dynamic_cast<const EBlockTooLarge*>(&Failure)) {
        return Failure.what();
    }
    if (dynamic_cast<const ECompressionError*>(&Failure)) {
        return "The compression of a video frame failed.";
    }
    if (dynamic_cast<const std::bad_alloc*>(&Failure)) {
        return "There is not enough memory to go on with the conversion.";
    }
    return std::string("The conversion failed: ") + Failure.what();
}

}  // namespace

bool TAVIToScreenVideoThread::PrepareEncoding(const std::string& Name) {
    OutputFileName = Name;
    Controls = FrontEnd.ReadControls();
    PreviewWanted = Controls.PreviewCheckBox;

    if (FAudioUsable && Controls.AVIAudioRadioButton && !PrepareAudioConversion()) {
        if (!Ask("Error", AudioNotConvertibleText)) {
            return false;
        }
        FAudioUsable = false;
    }
    if (!FVideoFound) {
        FStepText = "No video found in the selected file.";
        ShowStatus();
        return false;
    }
    Settings = ReadJobSettings(Controls, Settings);
    if (OutputWouldReplaceAnInput()) {
        Tell("Error", "The output file can not be one of the input files.");
        return false;
    }
    return CreateEncoder();
}

bool TAVIToScreenVideoThread::OutputWouldReplaceAnInput() const {
    return SameFile(OutputFileName, InputFileName) ||
           (Controls.MP3AudioRadioButton && SameFile(OutputFileName, Controls.AudioFileEdit));
}

bool TAVIToScreenVideoThread::CreateEncoder() {
    const bool HasAudio =
        (FAudioUsable && Controls.AVIAudioRadioButton) || Controls.MP3AudioRadioButton;
    Encoder = std::make_unique<TScreenVideoEncoder>(OutputFileName, FVideoFound, HasAudio);
    Encoder->SetParameters(Settings.Encoder);
    Encoder->SetFrameSize(FFrameFormat);
    Encoder->SetEngine(Controls.Engine);

    const auto* Header = static_cast<const BITMAPINFOHEADER*>(CurrentFrame());
    FrontEnd.PreparePreview(Header->biWidth, Header->biHeight);

    FState = EncodingPrepared;
    const int32_t Result = Encoder->Start();
    if (Result != StartSucceeded) {
        Tell("Error",
             StartFailureText(Result, *Encoder, OutputFileName, FFrameFormat, Settings.Encoder));
        return false;
    }
    return true;
}

void TAVIToScreenVideoThread::Execute() {
    FState = Running;
    std::string FailureText;
    try {
        OpenAudioSource();
        RunVideoPhase();
    } catch (const std::exception& Failure) {
        FailureText = FailureTextOf(Failure);
    }
    FinishRun(FailureText);
}

void TAVIToScreenVideoThread::OpenAudioSource() {
    if (Controls.MP3AudioRadioButton) {
        AudioSource = std::make_unique<TMp3FrameReader>(Controls.AudioFileEdit, true);
    } else if (FAudioUsable && Controls.AVIAudioRadioButton) {
        TranscodeAviAudio();
    }
}

void TAVIToScreenVideoThread::RunVideoPhase() {
    AudioTime = 0;
    AudioClock = TAudioClock();
    StartPosition = AVIStreamStart(VideoStream);
    EndPosition = DataEnd();
    FStepText = "Encoding video...";
    ShowStatus();

    StartTime = AVIStreamSampleToTime(VideoStream, StartPosition);
    EndTime = AVIStreamSampleToTime(VideoStream, EndPosition);
    CurrentPosition = StartPosition;
    PreviousTimestamp = 0;
    LastKeyFrameTime = 0;
    VideoProgress.Begin(StartPosition, EndPosition);
    SoundExpected = AudioSource != nullptr;
    WriteAudioBeforeTheVideo();
    while (EndPosition > CurrentPosition && !Terminated()) {
        const int32_t Time = AVIStreamSampleToTime(VideoStream, CurrentPosition);
        EncodeFrameAt(Time);
        AdvancePosition(Time);
        if (AudioSource && !AudioMuted) {
            // Audio follows the video up to the stream's end, even when the
            // frame-rate limit stepped past it.
            WriteAudioBefore(std::min(CurrentPosition, EndPosition));
        }
    }
    FStoppedByUser = EndPosition > CurrentPosition;
    VideoProgress.Finish();
}

// A video stream that starts after sample 0 has its first frame after time
// 0; the sound before it goes first, so that the tags' times never go back.
void TAVIToScreenVideoThread::WriteAudioBeforeTheVideo() {
    if (EndPosition > StartPosition) {
        WriteAudioBefore(StartPosition);
    }
}

// The stream ends with its last sample that holds data, whatever length its
// header claims: past it there is nothing to show.
int32_t TAVIToScreenVideoThread::DataEnd() const {
    const int32_t HeaderEnd = AVIStreamEnd(VideoStream);
    const int32_t LastWithData =
        AVIStreamFindSample(VideoStream, HeaderEnd - 1, FIND_PREV | FIND_ANY);
    return LastWithData < 0 ? AVIStreamStart(VideoStream) : std::min(HeaderEnd, LastWithData + 1);
}

void TAVIToScreenVideoThread::EncodeFrameAt(int32_t Time) {
    FCurrentFrame = AVIStreamGetFrame(FrameDecoder, CurrentPosition);
    if (!IsFrameOfTheFormat(FCurrentFrame)) {
        ++FramesNotDecoded;
        return;
    }
    const bool KeyFrame = IsKeyFrame(Time);
    const auto* Pixels = static_cast<const uint8_t*>(FCurrentFrame) + sizeof(BITMAPINFOHEADER);
    Encoder->EncodeFrame(Pixels, Time, PreviousTimestamp, KeyFrame);
    CheckOutputFile();
    AnyFrameEncoded = true;
    if (KeyFrame) {
        LastKeyFrameTime = static_cast<uint32_t>(Time);
    }
    if (PreviewWanted) {
        ShowPreview();
    }
    FProgress = VideoProgress.Measure(CurrentPosition, static_cast<uint32_t>(Time));
    ShowProgress();
    PreviousTimestamp = Time;
    VideoProgress.MarkUpdated(static_cast<uint32_t>(Time));
}

// A picture of another size than the first one (a stream that changes its
// size midway) can't go into the same grid; it is skipped like a frame that
// can't be decoded.
bool TAVIToScreenVideoThread::IsFrameOfTheFormat(const void* Frame) const {
    const auto* Header = static_cast<const BITMAPINFOHEADER*>(Frame);
    return Header && Header->biWidth == FFrameFormat.Width &&
           Header->biHeight == FFrameFormat.Height &&
           Header->biBitCount == FFrameFormat.BytesPerPixel * 8;
}

// The first frame encoded is a key frame even when the stream's first
// sample could not be decoded: a file must start with one to be playable.
bool TAVIToScreenVideoThread::IsKeyFrame(int32_t Time) const {
    if (CurrentPosition == StartPosition || !AnyFrameEncoded) {
        return true;
    }
    const uint32_t SinceKeyFrame = static_cast<uint32_t>(Time) - LastKeyFrameTime;
    return Settings.KeyFrameInterval != 0 &&
           static_cast<int64_t>(SinceKeyFrame) > static_cast<int64_t>(Settings.KeyFrameInterval);
}

// Sample times saturate at the largest time; the next one can't lie beyond.
void TAVIToScreenVideoThread::AdvancePosition(int32_t Time) {
    const auto NextTime = [&] {
        return static_cast<int32_t>(std::min<int64_t>(
            static_cast<int64_t>(Time) + 1000 / Settings.FrameRateLimit, INT32_MAX));
    };
    const int32_t Next = Settings.FrameRateLimit != 0
                             ? AVIStreamTimeToSample(VideoStream, NextTime())
                             : AVIStreamNextSample(VideoStream, CurrentPosition);
    CurrentPosition = (Next == -1 || Next <= CurrentPosition) ? CurrentPosition + 1 : Next;
}

// A full disk or a vanished folder ends the run at once instead of writing
// a file shorter than its tags claim.
void TAVIToScreenVideoThread::CheckOutputFile() const {
    if (const std::error_code Error = Encoder->FileError()) {
        throw EJobFailure("The output file could not be written (" + Error.message() + ").");
    }
}

void TAVIToScreenVideoThread::FinishRun(const std::string& FailureText) {
    FAudioNote = AudioNoteText();
    VideoProgress.Finish();
    CloseVideoFile();
    CloseAudioSource();
    Transcoder.reset();
    // The temporary audio file goes with the run, also after a stop or a failure.
    AudioFile.reset();
    Encoder->Finish();
    uint64_t Size = Encoder->FinishedSize();

    std::string Failure = FailureText;
    if (Failure.empty() && Encoder->FileError()) {
        Failure = "The output file could not be written (" + Encoder->FileError().message() + ").";
    }
    if (Failure.empty() && !FStoppedByUser && !AnyFrameEncoded) {
        Failure = NoFrameDecodedText;
    }
    // A file cut short by a failure is not indexed.
    const std::string MetadataFailure =
        Failure.empty() && Settings.AddMetadata ? AddMetadata(Size) : std::string();
    if (!Failure.empty()) {
        FRunFailed = true;
        FStepText = "Encoding failed.";
    } else if (!MetadataFailure.empty()) {
        FRunFailed = true;
        FStepText = "Encoding finished without metadata.";
        Failure = MetadataFailure;
    } else if (FStoppedByUser) {
        FStepText = "Encoding stopped by user.";
    } else {
        FStepText = "Encoding finished successfully.";
        FProgress.RemainingText = OutputSizeText(Size);
        FProgress.SpeedText = AverageRateText(Size, static_cast<int64_t>(EndTime) - StartTime);
    }
    ShowStatus();
    ShowProgress();
    if (!Failure.empty()) {
        Tell("Error", Failure);
    } else if (FramesNotDecoded != 0) {
        Tell("Error", FramesNotDecodedText(FramesNotDecoded));
    }
}

// Returns why the metadata could not be added, or nothing; the file is
// complete either way. Rewriting a long recording takes a moment, so it is
// shown as a step of its own.
std::string TAVIToScreenVideoThread::AddMetadata(uint64_t& Size) {
    FStepText = "Adding metadata...";
    ShowStatus();
    try {
        Size = AddOnMetaData(OutputFileName);
        return {};
    } catch (const std::exception& Failure) {
        return "The metadata could not be added to " + OutputFileName + ": " + Failure.what() +
               ". The file is complete without them, but players may not show its duration "
               "or seek in it.";
    }
}

}  // namespace quorvane
