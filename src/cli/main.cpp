// quorvane-cli: the headless front end of the conversion job.
#include <signal.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <iostream>
#include <new>

#include "cli/Batch.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleFrontEnd.h"
#include "cli/Mp3FormatChoice.h"
#include "job/FrontEndTexts.h"
#include "job/ScreenVideoEncoderThread.h"
#include "platform/os/EventLoop.h"
#include "platform/os/ProcessSignals.h"
#include "platform/os/VersionResource.h"

namespace quorvane::cli {

namespace {

enum ExitStatus { ExitDone = 0, ExitFailed = 1, ExitUsage = 2, ExitStopped = 130 };

std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Async-signal-safe. The first Ctrl-C asks the job to stop, which leaves a
// valid file; a second one, SIGTERM or SIGHUP (the terminal closed) ends
// the program at once, leaving no temporary file and the output cut back
// to its last whole tag.
void OnInterrupt(int Signal) {
    if (Signal == SIGINT && !Interrupted.exchange(true)) {
        return;
    }
    platform::EndProcessBySignal(Signal);
}

void CatchInterrupts() {
    platform::HandleEndingSignals(OnInterrupt);
    // An output pipe whose reader left is a failed write, told as such and
    // followed by the end steps, not a death that skips them.
    platform::HandleSignals(SIG_IGN, {SIGPIPE});
}

void PrintVersion() {
    const platform::VS_FIXEDFILEINFO Version = platform::GetFixedFileVersionInfo();
    std::cout << "quorvane-cli " << (Version.dwFileVersionMS >> 16) << '.'
              << (Version.dwFileVersionMS & 0xFFFF) << " build "
              << (Version.dwFileVersionLS & 0xFFFF) << '\n';
}

ExitStatus Fail(const std::string& Text) {
    std::cerr << "Error: " << Text << '\n';
    return ExitFailed;
}

// The text may quote what was typed, a name among it.
ExitStatus UsageFailure(const std::string& Text) {
    std::cerr << "quorvane-cli: " << ShownFileName(Text) << "\nTry 'quorvane-cli --help'.\n";
    return ExitUsage;
}

// A user's file is replaced only when they said so: on the terminal, or by
// --yes beforehand. Devices (/dev/full) are not files to lose; an input
// named as the output is refused by the job.
bool MayWriteOutput(const TCliOptions& Options, TConsoleFrontEnd& FrontEnd) {
    const std::string& FileName = Options.OutputFileName;
    std::error_code Ignored;
    return !std::filesystem::is_regular_file(FileName, Ignored) ||
           std::filesystem::equivalent(FileName, Options.InputFileName, Ignored) ||
           FrontEnd.AskYesNo("Confirmation", ReplaceQuestionText(FileName, " "));
}

// What the job had to say when its run ended.
struct TEndedRun {
    TRunResult Result;
    std::string StepText;
    TProgressReport LastProgress;
};

TEndedRun RunJob(TAVIToScreenVideoThread* Job, platform::TEventLoop& Loop) {
    TEndedRun Run;
    bool RunEnded = false;
    // Runs on the main thread just before the job deletes itself.
    Job->OnTerminate = [&](platform::TThread* Sender) {
        const auto* Ended = static_cast<TAVIToScreenVideoThread*>(Sender);
        Run = {Ended->Result(), Ended->StepText(), Ended->Progress()};
        RunEnded = true;
    };
    Job->Resume();
    bool StopRequested = false;
    Loop.RunUntil([&] {
        if (Interrupted && !StopRequested) {
            Job->Terminate();
            StopRequested = true;
        }
        return RunEnded;
    });
    return Run;
}

// What a file's conversion tells the summary of many.
struct TFileReport {
    std::string Failure;   // the first error told
    bool Started = false;  // its run began
    TRunResult Result;     // of the run, once it began
};

// What is printed when the run has ended: the step, then the end figures,
// or after a stop the last ones (as the window shows them), or why nothing
// was written.
void PrintEndOfRun(const TEndedRun& Run, const std::string& OutputFileName) {
    const TRunResult& Result = Run.Result;
    std::cout << Run.StepText << '\n';
    const bool Stopped = Result.Outcome == TRunOutcome::Stopped;
    if (Result.Outcome == TRunOutcome::Done) {
        std::cout << EndFiguresText(Result) << '\n';
    } else if (Stopped && !Result.Failed() && !Run.LastProgress.SpeedText.empty()) {
        std::cout << Run.LastProgress.SpeedText << " - " << Run.LastProgress.RemainingText << '\n';
    }
    if (Stopped && !Result.OutputWritten) {
        std::error_code Ignored;
        std::cout << NothingWrittenText(ShownFileName(OutputFileName),
                                        std::filesystem::exists(OutputFileName, Ignored))
                  << '\n';
    }
}

ExitStatus Convert(const TCliOptions& Options, TFileReport& Report) {
    platform::TEventLoop Loop;
    platform::SetMainThreadDispatcher(&Loop);
    TConsoleFrontEnd FrontEnd(Options.Settings, Options.Answer, Options.Quiet);
    const auto Refuse = [&](const std::string& Text) {
        FrontEnd.ShowMessage("Error", Text);
        Report.Failure = FrontEnd.FirstError();
        return ExitFailed;
    };

    auto Job = std::make_unique<TAVIToScreenVideoThread>(FrontEnd);
    Job->LoadVideoFile(Options.InputFileName);
    // Named, as one of many files may be the one.
    if (Job->State() != SourceOpen) {
        const std::string Why =
            Job->ErrorText() + (Job->ErrorReason().empty() ? "" : " " + Job->ErrorReason());
        Refuse(ShownFileName(Options.InputFileName) + ": " + Why);
        Report.Failure = Why;
        return ExitFailed;
    }
    if (!Options.Quiet) {
        std::cout << "Video: " << Job->VideoDescription() << '\n'
                  << "Included audio: "
                  << (Job->AudioDescription().empty() ? "none" : Job->AudioDescription()) << '\n';
    }
    // A range the file can't hold, or a crop or size its picture can't take,
    // is the command line's fault, not the file's.
    for (const std::string& Problem : {Job->RangeProblem(Options.Settings.Range),
                                       Job->PictureProblem(Options.Settings.Picture)}) {
        if (!Problem.empty()) {
            Refuse(ShownFileName(Options.InputFileName) + ": " + Problem);
            return ExitUsage;
        }
    }
    FrontEnd.SetAudioSource(AudioSourceFor(Options, Job->AudioUsable()));
    if (const std::string Problem =
            AudioChoiceProblem(Options, Job->AudioUsable(), Job->AudioDescription());
        !Problem.empty()) {
        return Refuse(Problem);
    }
    if (!MayWriteOutput(Options, FrontEnd)) {
        return Refuse("The file " + ShownFileName(Options.OutputFileName) +
                      " already exists and was left as it was (--yes replaces it).");
    }
    // A Ctrl-C while a file of many was loaded starts nothing more.
    if (Interrupted) {
        return ExitStopped;
    }
    // From here on the run has files of its own to leave whole.
    CatchInterrupts();
    if (!Job->PrepareEncoding(Options.OutputFileName)) {
        Report.Failure = FrontEnd.FirstError();
        return ExitFailed;
    }
    Report.Started = true;
    const TEndedRun Run = RunJob(Job.release(), Loop);
    const TRunResult& Result = Run.Result;
    Report.Failure = FrontEnd.FirstError();
    Report.Result = Result;
    FrontEnd.EndProgressLine();
    // Cut short, the run did not finish what was asked, whatever its step says.
    const bool CutShort = Result.Outcome == TRunOutcome::CutShort;
    if (!Options.Quiet && !CutShort) {
        PrintEndOfRun(Run, Options.OutputFileName);
    }
    // Even with --quiet: sound lost is worth knowing, though the file is whole.
    if (!Result.AudioNote.empty()) {
        std::cerr << "Warning: " << Result.AudioNote << '\n';
    }
    if (CutShort) {
        return Refuse(
            "The conversion was cut short by the answer: only part of the video was converted.");
    }
    return Result.Failed()                          ? ExitFailed
           : Result.Outcome == TRunOutcome::Stopped ? ExitStopped
                                                    : ExitDone;
}

// Whatever one file does, the others go on: a failure the job could not
// catch (memory running out while the file is opened or prepared) is that
// file's failure.
ExitStatus ConvertOne(const TCliOptions& Options, TFileReport& Report) {
    try {
        return Convert(Options, Report);
    } catch (const std::bad_alloc&) {
        Report.Failure = "There is not enough memory to convert it.";
    } catch (const std::exception& Failure) {
        Report.Failure = std::string("The conversion failed: ") + Failure.what();
    }
    std::cerr << "Error: " << ShownFileName(Options.InputFileName) << ": " << Report.Failure
              << '\n';
    return ExitFailed;
}

// A stop that came while the file was still being opened leaves no output.
TFileResult ResultOf(ExitStatus Status, const TFileReport& Report) {
    switch (Status) {
        case ExitDone:
            return {TFileOutcome::Done, Report.Result.OutputSize, {}};
        case ExitStopped:
            if (!Report.Started) {
                return {TFileOutcome::NotStarted, 0, {}};
            }
            return {TFileOutcome::Stopped, 0,
                    Report.Result.OutputWritten ? "" : "no frame was encoded"};
        default:
            return {TFileOutcome::Failed, 0,
                    Report.Failure.empty() ? "not converted" : Report.Failure};
    }
}

// Each file in turn, whatever became of the ones before; a Ctrl-C stops the
// file being converted, as for one file, and starts no other, and the
// summary still comes: from the first file on, also while one is opened.
ExitStatus ConvertMany(const TCliOptions& Options, const std::vector<TBatchItem>& Items) {
    CatchInterrupts();
    const std::string& Folder = *Options.OutputFolder;
    std::error_code Error;
    std::filesystem::create_directories(Folder, Error);
    if (Error || !std::filesystem::is_directory(Folder)) {
        std::cerr << "Error: The folder " << ShownFileName(Folder) << " can not be made"
                  << (Error ? " (" + Error.message() + ")" : std::string()) << ".\n";
        return ExitFailed;
    }
    std::vector<TFileResult> Results(Items.size());
    for (size_t Index = 0; Index < Items.size() && !Interrupted; ++Index) {
        if (!Options.Quiet) {
            std::cout << "[" << Index + 1 << "/" << Items.size() << "] "
                      << ShownFileName(Items[Index].Input) << " -> "
                      << ShownFileName(Items[Index].Output) << '\n';
        }
        TCliOptions One = Options;
        One.InputFileName = Items[Index].Input;
        One.OutputFileName = Items[Index].Output;
        TFileReport Report;
        Results[Index] = ResultOf(ConvertOne(One, Report), Report);
    }
    if (!Options.Quiet) {
        std::cout << BatchSummary(Folder, Items, Results);
    }
    const auto Any = [&](TFileOutcome Outcome) {
        return std::any_of(Results.begin(), Results.end(),
                           [&](const TFileResult& Result) { return Result.Outcome == Outcome; });
    };
    return Interrupted ? ExitStopped : Any(TFileOutcome::Failed) ? ExitFailed : ExitDone;
}

ExitStatus ListMp3Formats(const TMp3FormatOffer& Offer) {
    if (Offer.empty()) {
        return Fail(NoMp3FormatText);
    }
    std::cout << Mp3FormatListing(Offer);
    return ExitDone;
}

ExitStatus Main(const std::vector<std::string>& Arguments) {
    TCliOptions Options;
    try {
        Options = ParseCommandLine(Arguments);
    } catch (const EUsageError& Error) {
        return UsageFailure(Error.what());
    }
    if (Options.ShowHelp) {
        std::cout << UsageText();
        return ExitDone;
    }
    if (Options.ShowVersion) {
        PrintVersion();
        return ExitDone;
    }
    // The window fixes its format pair when a file is opened; so does this.
    const TMp3FormatOffer Offer = EnumerateMP3Formats();
    if (Options.ListMp3Formats) {
        return ListMp3Formats(Offer);
    }
    std::vector<TBatchItem> Items;
    try {
        ChooseMp3Format(Offer, Options.Mp3FormatIndex, Options.Settings.Audio);
        if (Options.OutputFolder) {
            Items = BatchItems(Options.InputFileNames, *Options.OutputFolder);
        }
    } catch (const EUsageError& Error) {
        return UsageFailure(Error.what());
    }
    if (Options.OutputFolder) {
        return ConvertMany(Options, Items);
    }
    TFileReport Ignored;
    return ConvertOne(Options, Ignored);
}

}  // namespace

}  // namespace quorvane::cli

int main(int argc, char** argv) {
    // Decimal numbers in the job's texts follow the user's locale.
    std::setlocale(LC_ALL, "");
    return quorvane::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
