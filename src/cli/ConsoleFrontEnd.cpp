#include "cli/ConsoleFrontEnd.h"

#include <unistd.h>

#include <iostream>

namespace quorvane::cli {

namespace {

// Redrawing the line for every frame would cost more than it shows.
constexpr std::chrono::milliseconds RedrawInterval(100);

}  // namespace

TConsoleFrontEnd::TConsoleFrontEnd(const TJobSettings& Settings, std::optional<bool> Answer,
                                   bool Quiet)
    : Settings(Settings),
      Answer(Answer),
      Quiet(Quiet),
      ProgressOnTerminal(!Quiet && isatty(STDOUT_FILENO)) {}

void TConsoleFrontEnd::ShowStatus(const std::string& Text) {
    StepText = Text;
    Report = {};
    if (ProgressOnTerminal) {
        DrawProgressLine();
    }
}

void TConsoleFrontEnd::ShowProgress(const TProgressReport& NewReport) {
    Report = NewReport;
    if (ProgressOnTerminal && std::chrono::steady_clock::now() - LastDrawn >= RedrawInterval) {
        DrawProgressLine();
    }
}

void TConsoleFrontEnd::DrawProgressLine() {
    std::cout << "\r\033[K" << StepText << ' ' << static_cast<int>(Report.ProgressPercent) << "% "
              << Report.SpeedText << " - " << Report.RemainingText << std::flush;
    LineShown = true;
    LastDrawn = std::chrono::steady_clock::now();
}

void TConsoleFrontEnd::EndProgressLine() {
    if (LineShown) {
        std::cout << "\r\033[K" << std::flush;
        LineShown = false;
    }
}

bool TConsoleFrontEnd::AskYesNo(const std::string& Caption, const std::string& Text) {
    EndProgressLine();
    const bool OnTerminal = !Answer && isatty(STDIN_FILENO);
    if (Quiet && !OnTerminal) {
        return Answer.value_or(false);
    }
    std::cerr << Caption << ": " << Text << '\n';
    if (Answer) {
        std::cerr << (*Answer ? "Yes (--yes)\n" : "No (--no)\n");
        return *Answer;
    }
    if (!OnTerminal) {
        std::cerr << "No (not asked: no terminal; --yes or --no decide)\n";
        return false;
    }
    return AskOnTerminal();
}

bool TConsoleFrontEnd::AskOnTerminal() {
    std::string Reply;
    std::cerr << "[y/N] " << std::flush;
    if (!std::getline(std::cin, Reply)) {
        return false;
    }
    return Reply == "y" || Reply == "Y" || Reply == "yes" || Reply == "Yes";
}

void TConsoleFrontEnd::ShowMessage(const std::string& Caption, const std::string& Text) {
    EndProgressLine();
    std::cerr << Caption << ": " << Text << '\n';
    if (Caption == "Error" && FFirstError.empty()) {
        FFirstError = Text;
    }
}

}  // namespace quorvane::cli
