// Preparing and running a conversion: the settings, the encoder and the
// audio chain, the parts of the run in their order, and the end of the run.
#include <filesystem>
#include <new>

#include "encoder/MetadataInjection.h"
#include "encoder/ScreenVideoEncoder.h"
#include "job/AviAudioPass.h"
#include "job/FrontEndTexts.h"
#include "job/JobErrors.h"
#include "job/Mp3Interleaver.h"
#include "job/ScreenVideoEncoderThread.h"
#include "job/TimeTexts.h"
#include "job/VideoPhase.h"
#include "job/VideoSource.h"
#include "platform/os/OutputClaim.h"
#include "platform/os/TemporaryFile.h"

namespace quorvane {

namespace {

const char* const AudioNotConvertibleText =
    "The audio contained in the video file can not be converted.\r\n"
    "Please choose an external file for the audio or encode video only.";

const char* const NoFrameDecodedText =
    "No frame of the video could be decoded: nothing was converted.";

// "1 frame of the video ...", "N frames of the video ...".
std::string FramesText(uint32_t Count, const char* One, const char* Many) {
    return std::to_string(Count) + (Count == 1 ? One : Many);
}

std::string FramesNotDecodedText(uint32_t Count) {
    return FramesText(Count, " frame of the video could not be decoded and was left out.",
                      " frames of the video could not be decoded and were left out.");
}

std::string FramesMissingText(uint32_t Count) {
    return FramesText(Count, " frame of the video is missing from the file and was left out.",
                      " frames of the video are missing from the file and were left out.");
}

std::string FramesGoingBackText(uint32_t Count) {
    return FramesText(Count, " frame of the video goes back in time and was left out.",
                      " frames of the video go back in time and were left out.");
}

// 2^31 - 1 ms, the latest time of an FLV tag.
std::string FramesPastTimeLimitText(uint32_t Count) {
    return FramesText(Count,
                      " frame of the video comes after 596 h 31 min 23 s, the latest time an FLV "
                      "file can hold, and was left out.",
                      " frames of the video come after 596 h 31 min 23 s, the latest time an FLV "
                      "file can hold, and were left out.");
}

// The files written beside the output are named after it, with a suffix,
// and "-2", "-3", ... when the name is taken.
std::string NameTooLongText(const std::string& Beside) {
    return "The output file name is too long: the conversion writes a file beside it named " +
           ShownFileName(Beside) +
           " (or with -2, -3, ... added), and a name there can have at most " +
           std::to_string(platform::LongestNameBeside(Beside)) + " bytes.";
}

std::string CannotCreateText(const std::string& FileName, const std::error_code& Error) {
    return "Impossible to create the output file " + ShownFileName(FileName) + " (" +
           Error.message() + ").";
}

std::string StartFailureText(StartResult Result, const TScreenVideoEncoder& Encoder,
                             const std::string& FileName, const FrameFormat& Format,
                             const EncoderParameters& Parameters) {
    switch (Result) {
        case StartCannotCreateFile:
            return CannotCreateText(FileName, Encoder.FileError());
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
    Settings = FrontEnd.ReadSettings();
    PreviewWanted = Settings.Preview;
    if (const std::string Problem = RangeProblem(Settings.Range); !Problem.empty()) {
        ShowMessage("Error", Problem);
        return false;
    }

    if (AviAudioChosen() && !PrepareAudioConversion()) {
        if (!AskYesNo("Error", AudioNotConvertibleText)) {
            return false;
        }
        FAudioUsable = false;
    }
    if (!FVideoFound) {
        ShowStatus("No video found in the selected file.");
        return false;
    }
    // The picture held stays: the run decodes from the range's start anyway.
    if (const std::string Problem = Source->UseGeometry(Settings.Picture); !Problem.empty()) {
        ShowMessage("Error", Problem);
        return false;
    }
    if (OutputWouldReplaceAnInput()) {
        ShowMessage("Error", "The output file can not be one of the input files.");
        return false;
    }
    if (const std::string TooLong = NameOfTheFilesBesideProblem(); !TooLong.empty()) {
        ShowMessage("Error", TooLong);
        return false;
    }
    // What can fail is tried before Start empties the output.
    if (ClaimOutput() && PrepareAudioSource() && CreateEncoder()) {
        return true;
    }
    GiveUpOutput();
    return false;
}

std::string TAVIToScreenVideoThread::RangeProblem(const TRangeSettings& Range) const {
    if (Range.End && *Range.End <= Range.Start) {
        return RangeOrderText(Range.Start, *Range.End);
    }
    if (Source && Range.Start >= Source->EndTime()) {
        return "The range starts at " + TimeText(Range.Start) + ", but the video ends at " +
               TimeText(Source->EndTime()) + ".";
    }
    return {};
}

// The video file's own audio goes into the file: chosen, and usable (the
// user may have chosen to go on without it when it could not be converted).
bool TAVIToScreenVideoThread::AviAudioChosen() const {
    return FAudioUsable && Settings.Audio.Source == TAudioSource::AviAudio;
}

bool TAVIToScreenVideoThread::PrepareAudioConversion() {
    AudioPass = std::make_unique<TAviAudioPass>();
    return AudioPass->Prepare(*Source->Audio(), Settings.Audio);
}

bool TAVIToScreenVideoThread::OutputWouldReplaceAnInput() const {
    return SameFile(OutputFileName, InputFileName) ||
           (Settings.Audio.Source == TAudioSource::Mp3File &&
            SameFile(OutputFileName, Settings.Audio.Mp3FileName));
}

// A file beside the output that can't be named would fail the run only
// when it is made: the metadata copy after the whole conversion.
std::string TAVIToScreenVideoThread::NameOfTheFilesBesideProblem() const {
    std::vector<std::string> Beside;
    if (AviAudioChosen()) {
        Beside.push_back(platform::TemporaryFileBaseFor(OutputFileName, "audio"));
    }
    if (Settings.AddMetadata) {
        Beside.push_back(MetadataCopyBaseFor(OutputFileName));
    }
    for (const std::string& Name : Beside) {
        if (!platform::TemporaryNameFits(Name)) {
            return NameTooLongText(Name);
        }
    }
    return {};
}

// Another run writing the same file would interleave its tags with this
// one's; the second to come refuses before it touches the file.
bool TAVIToScreenVideoThread::ClaimOutput() {
    GiveUpOutput();
    std::error_code Error;
    OutputClaim = std::make_unique<platform::TOutputClaim>(OutputFileName, Error);
    if (Error == std::errc::resource_unavailable_try_again) {
        OutputClaim.reset();
        ShowMessage("Error", "The file " + ShownFileName(OutputFileName) +
                                 " is being written by another conversion; it was left as it was.");
        return false;
    }
    if (Error) {
        OutputClaim.reset();
        ShowMessage("Error", CannotCreateText(OutputFileName, Error));
        return false;
    }
    return true;
}

// The temporary audio file, or the MP3 file, is opened now: a run that
// could not would otherwise have emptied the output for nothing.
bool TAVIToScreenVideoThread::PrepareAudioSource() {
    try {
        if (AviAudioChosen()) {
            AudioPass->CreateMp3File(platform::TemporaryFileBaseFor(OutputFileName, "audio"));
        } else if (Settings.Audio.Source == TAudioSource::Mp3File) {
            Audio = std::make_unique<TMp3Interleaver>(Settings.Audio.Mp3FileName, true,
                                                      static_cast<uint32_t>(Settings.Range.Start));
        }
        return true;
    } catch (const EJobFailure& Failure) {
        ShowMessage("Error", Failure.what());
        return false;
    }
}

// What a preparation that did not start left: the temporary file goes, and
// an output the claim created.
void TAVIToScreenVideoThread::GiveUpOutput() {
    Audio.reset();
    if (AudioPass) {
        AudioPass->DropMp3File();
    }
    Encoder.reset();
    if (OutputClaim) {
        OutputClaim->Withdraw();
        OutputClaim.reset();
    }
}

bool TAVIToScreenVideoThread::CreateEncoder() {
    const bool HasAudio = AviAudioChosen() || Settings.Audio.Source == TAudioSource::Mp3File;
    const FrameFormat& Format = Source->Format();
    Encoder = std::make_unique<TScreenVideoEncoder>(OutputFileName, FVideoFound, HasAudio);
    Encoder->SetParameters(Settings.Encoder);
    Encoder->SetFrameSize(Format);
    Encoder->SetEngine(Settings.Engine);
    std::error_code Error;
    Encoder->UseOutputFile(OutputClaim->Duplicate(Error));
    if (Error) {
        ShowMessage("Error", CannotCreateText(OutputFileName, Error));
        return false;
    }

    FrontEnd.PreparePreview(Format.Width, Format.Height);

    FState = EncodingPrepared;
    const StartResult Result = Encoder->CheckSettings();
    if (Result != StartSucceeded) {
        ShowMessage("Error",
                    StartFailureText(Result, *Encoder, OutputFileName, Format, Settings.Encoder));
        return false;
    }
    return true;
}

void TAVIToScreenVideoThread::Execute() {
    FState = Running;
    std::string FailureText;
    bool Stopped = false;
    try {
        OpenAudioSource();
        Stopped = Terminated();
        if (!Stopped) {
            StartOutput();
            Stopped = !RunVideoPhase();
        }
    } catch (const std::exception& Failure) {
        FailureText = FailureTextOf(Failure);
    }
    FinishRun(FailureText, Stopped);
}

// A stop request ends the pass early; the run then ends without a frame.
void TAVIToScreenVideoThread::OpenAudioSource() {
    if (AviAudioChosen() &&
        AudioPass->Run(Source->TakeAudio(), Settings.Range, Source->EndTime(), Host())) {
        Audio = std::make_unique<TMp3Interleaver>(AudioPass->Mp3FileName(), false);
    }
}

// The output is emptied only when the video begins: a run stopped or failed
// in the audio pass leaves a file that was there as it was.
void TAVIToScreenVideoThread::StartOutput() {
    const StartResult Result = Encoder->Start();
    if (Result != StartSucceeded) {
        throw EJobFailure(
            StartFailureText(Result, *Encoder, OutputFileName, Source->Format(), Settings.Encoder));
    }
    OutputClaim->BeginWriting();
}

// Once the output is emptied it gets a frame, whatever the stop request: a
// stop never leaves a file without a picture in place of the user's. False
// when a stop ended the video before its end.
bool TAVIToScreenVideoThread::RunVideoPhase() {
    Video = std::make_unique<TVideoPhase>(*Source, *Encoder, Settings, Host(), Audio.get());
    ShowStatus("Encoding video...");
    Video->Begin();
    while (!Video->Ended() && !(Terminated() && Video->AnyFrameEncoded())) {
        Video->EncodeNext();
    }
    return Video->Ended();
}

namespace {

// What the video phase did; nothing when no phase began.
struct TVideoOutcome {
    bool Began = false;
    bool Ended = false;
    bool AnyFrameEncoded = false;
    bool CutShortByAnswer = false;
    uint32_t FramesNotDecoded = 0;
    int32_t ReachedTime = 0;
    int64_t Duration = 0;
};

// The phase, also one a failure ended, is finished once and read before the
// source and the audio it refers to go.
TVideoOutcome TakeVideoOutcome(std::unique_ptr<TVideoPhase>& Video) {
    if (!Video) {
        return {};
    }
    Video->Finish();
    const TVideoOutcome Outcome{true,
                                Video->Ended(),
                                Video->AnyFrameEncoded(),
                                Video->CutShortByAnswer(),
                                Video->FramesNotDecoded(),
                                Video->ReachedTime(),
                                Video->Duration()};
    Video.reset();
    return Outcome;
}

// The frames that could not be decoded or go back in time, and those the
// file lacks or times too late (only a run that reached the video's end has
// come to them all).
std::string FramesLeftOutText(const TVideoOutcome& Phase, const TFramesLeftOut& LeftOut,
                              TRunOutcome Outcome) {
    std::string Text;
    const auto Add = [&](uint32_t Count, std::string (*TextOf)(uint32_t)) {
        if (Count == 0) {
            return;
        }
        if (!Text.empty()) {
            Text += ' ';
        }
        Text += TextOf(Count);
    };
    Add(Phase.FramesNotDecoded, FramesNotDecodedText);
    Add(LeftOut.GoingBack, FramesGoingBackText);
    if (Phase.Ended && Outcome == TRunOutcome::Done) {
        Add(LeftOut.Missing, FramesMissingText);
        Add(LeftOut.PastTimeLimit, FramesPastTimeLimitText);
    }
    return Text;
}

// What failed the run, FailureText first; nothing when it went well.
std::string RunFailureText(const std::string& FailureText, const std::error_code& FileError,
                           const TVideoOutcome& Phase, bool Stopped) {
    if (!FailureText.empty()) {
        return FailureText;
    }
    if (FileError) {
        return OutputNotWrittenText(FileError);
    }
    if (!Stopped && !Phase.AnyFrameEncoded) {
        return NoFrameDecodedText;
    }
    return {};
}

}  // namespace

void TAVIToScreenVideoThread::FinishRun(const std::string& FailureText, bool Stopped) {
    const TVideoOutcome Phase = TakeVideoOutcome(Video);
    FResult.Outcome = Stopped                  ? TRunOutcome::Stopped
                      : Phase.CutShortByAnswer ? TRunOutcome::CutShort
                                               : TRunOutcome::Done;
    FResult.Duration = Phase.Duration;
    // Told after the run, not during it: the file is whole either way, and
    // the user decides whether it will do. Only a run whose video phase
    // began with an audio source has sound to speak of.
    FResult.AudioNote = Audio && Phase.Began ? Audio->EndNote(Phase.ReachedTime) : std::string();
    FResult.FramesLeftOut = FramesLeftOutText(Phase, Source->FramesLeftOut(), FResult.Outcome);
    CloseVideoFile();
    Audio.reset();
    // The temporary audio file goes with the run, also after a stop or a failure.
    AudioPass.reset();
    CloseOutput();

    FResult.Failure = RunFailureText(FailureText, Encoder->FileError(), Phase, Stopped);
    // A file cut short by a failure is not indexed.
    const std::string MetadataFailure =
        FResult.OutputWritten && !FResult.Failed() && Settings.AddMetadata
            ? AddMetadata(Phase.ReachedTime)
            : std::string();
    OutputClaim.reset();
    if (!MetadataFailure.empty()) {
        FResult.Failure = MetadataFailure;
    }
    if (FResult.Failed() && FResult.Outcome == TRunOutcome::Done) {
        FResult.Outcome = TRunOutcome::Failed;
    }
    ShowEndOfRun(!MetadataFailure.empty());
}

// A file the run wrote is finished; one it created and never wrote goes.
void TAVIToScreenVideoThread::CloseOutput() {
    FResult.OutputWritten = Encoder->Started();
    if (FResult.OutputWritten) {
        Encoder->Finish();
        FResult.OutputSize = Encoder->FinishedSize();
    } else {
        OutputClaim->Withdraw();
    }
}

// Returns why the metadata could not be added, or nothing; the file is
// complete either way. Rewriting a long recording takes a moment, so it is
// shown as a step of its own.
std::string TAVIToScreenVideoThread::AddMetadata(int32_t VideoEnd) {
    ShowStatus("Adding metadata...");
    try {
        FResult.OutputSize = AddOnMetaData(
            OutputFileName, {OutputClaim->Identity(), static_cast<uint32_t>(VideoEnd)});
        return {};
    } catch (const std::exception& Failure) {
        return "The metadata could not be added to " + ShownFileName(OutputFileName) + ": " +
               Failure.what() +
               ". The file is complete without them, but players may not show its duration "
               "or seek in it.";
    }
}

// The last step and figures, how the run ended, and the message that goes
// with it: why it failed, or which frames were left out.
void TAVIToScreenVideoThread::ShowEndOfRun(bool MetadataFailed) {
    ShowStatus(MetadataFailed                            ? "Encoding finished without metadata."
               : FResult.Failed()                        ? "Encoding failed."
               : FResult.Outcome == TRunOutcome::Stopped ? "Encoding stopped by user."
                                                         : "Encoding finished successfully.");
    ShowProgress(FProgress);
    Synchronize([this] { FrontEnd.ShowResult(FResult); });
    if (FResult.Failed()) {
        ShowMessage("Error", FResult.Failure);
    } else if (!FResult.FramesLeftOut.empty()) {
        ShowMessage("Error", FResult.FramesLeftOut);
    }
}

}  // namespace quorvane
