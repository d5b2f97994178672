// quorvane-cli: the headless front end of the conversion job.
#include <signal.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <iostream>

#include "cli/CliOptions.h"
#include "cli/ConsoleFrontEnd.h"
#include "cli/Mp3FormatChoice.h"
#include "job/ScreenVideoEncoderThread.h"
#include "platform/EventLoop.h"
#include "platform/ProcessSignals.h"
#include "platform/VersionResource.h"

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

int Fail(const std::string& Text) {
    std::cerr << "Error: " << Text << '\n';
    return ExitFailed;
}

int UsageFailure(const std::string& Text) {
    std::cerr << "quorvane-cli: " << Text << "\nTry 'quorvane-cli --help'.\n";
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
           FrontEnd.AskYesNo("Confirmation", "The file " + FileName +
                                                 " already exists. Do you want to replace it?");
}

struct TRunOutcome {
    bool Ended = false;
    bool Failed = false;
    bool Stopped = false;
    bool CutShort = false;
    std::string StepText;
    TProgressReport Figures;
    std::string AudioNote;
};

TRunOutcome RunJob(TAVIToScreenVideoThread* Job, platform::TEventLoop& Loop) {
    TRunOutcome Outcome;
    // Runs on the main thread just before the job deletes itself.
    Job->OnTerminate = [&Outcome](platform::TThread* Sender) {
        const auto* Ended = static_cast<TAVIToScreenVideoThread*>(Sender);
        Outcome = {true,
                   Ended->RunFailed(),
                   Ended->StoppedByUser(),
                   Ended->CutShortByAnswer(),
                   Ended->StepText(),
                   Ended->Progress(),
                   Ended->AudioNote()};
    };
    Job->Resume();
    bool StopRequested = false;
    Loop.RunUntil([&] {
        if (Interrupted && !StopRequested) {
            Job->Terminate();
            StopRequested = true;
        }
        return Outcome.Ended;
    });
    return Outcome;
}

int Convert(const TCliOptions& Options) {
    platform::TEventLoop Loop;
    platform::SetMainThreadDispatcher(&Loop);
    TConsoleFrontEnd FrontEnd(Options.Settings, Options.Answer, Options.Quiet);

    auto Job = std::make_unique<TAVIToScreenVideoThread>(FrontEnd);
    Job->LoadVideoFile(Options.InputFileName);
    if (Job->State() != SourceOpen) {
        return Fail(Job->ErrorText() +
                    (Job->ErrorReason().empty() ? "" : " " + Job->ErrorReason()));
    }
    if (!Options.Quiet) {
        std::cout << "Video: " << Job->VideoDescription() << '\n'
                  << "Included audio: "
                  << (Job->AudioDescription().empty() ? "none" : Job->AudioDescription()) << '\n';
    }
    if (const std::string Problem =
            AudioChoiceProblem(Options, Job->AudioUsable(), Job->AudioDescription());
        !Problem.empty()) {
        return Fail(Problem);
    }
    if (!MayWriteOutput(Options, FrontEnd)) {
        return Fail("The file " + Options.OutputFileName +
                    " already exists and was left as it was (--yes replaces it).");
    }
    // From here on the run has files of its own to leave whole.
    CatchInterrupts();
    if (!Job->PrepareEncoding(Options.OutputFileName)) {
        return ExitFailed;
    }
    const TRunOutcome Outcome = RunJob(Job.release(), Loop);
    FrontEnd.EndProgressLine();
    // Cut short, the run did not finish what was asked, whatever its step says.
    if (!Options.Quiet && !Outcome.CutShort) {
        std::cout << Outcome.StepText << '\n';
        // After a stop these are the last figures of the run, as the window shows them.
        if (!Outcome.Failed && !Outcome.Figures.SpeedText.empty()) {
            std::cout << Outcome.Figures.SpeedText << " - " << Outcome.Figures.RemainingText
                      << '\n';
        }
    }
    // Even with --quiet: sound lost is worth knowing, though the file is whole.
    if (!Outcome.AudioNote.empty()) {
        std::cerr << "Warning: " << Outcome.AudioNote << '\n';
    }
    if (Outcome.CutShort) {
        return Fail(
            "The conversion was cut short by the answer: only part of the video was converted.");
    }
    return Outcome.Failed ? ExitFailed : Outcome.Stopped ? ExitStopped : ExitDone;
}

int ListMp3Formats(const TMp3FormatOffer& Offer) {
    if (Offer.Items.empty()) {
        return Fail(NoMp3FormatText);
    }
    std::cout << Mp3FormatListing(Offer);
    return ExitDone;
}

int Main(const std::vector<std::string>& Arguments) {
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
    try {
        ChooseMp3Format(Offer, Options.Mp3FormatIndex, Options.Settings.Audio);
    } catch (const EUsageError& Error) {
        return UsageFailure(Error.what());
    }
    return Convert(Options);
}

}  // namespace

}  // namespace quorvane::cli

int main(int argc, char** argv) {
    // Decimal numbers in the job's texts follow the user's locale.
    std::setlocale(LC_ALL, "");
    return quorvane::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
