// The job's front end on a terminal: settings from the command line,
// progress on one updating line, questions answered by option or prompt.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "job/JobFrontEnd.h"

namespace quorvane::cli {

class TConsoleFrontEnd : public IJobFrontEnd {
public:
    // Answer: the reply to every yes/no question, or none to ask. Quiet:
    // questions answered without the user (by Answer, or as there is no
    // terminal) are not printed.
    TConsoleFrontEnd(const TJobSettings& Settings, std::optional<bool> Answer, bool Quiet);

    TJobSettings ReadSettings() override { return Settings; }
    // The audio of the run, once the input is known.
    void SetAudioSource(TAudioSource Source) { Settings.Audio.Source = Source; }
    void PreparePreview(int32_t, int32_t) override {}

    void ShowStatus(const std::string& StepText) override;
    void ShowProgress(const TProgressReport& Report) override;
    void ShowPreview(const platform::TPicture&) override {}
    // The terminal is told how the run ended once it has (quorvane-cli's main).
    void ShowResult(const TRunResult&) override {}

    bool AskYesNo(const std::string& Caption, const std::string& Text) override;
    void ShowMessage(const std::string& Caption, const std::string& Text) override;

    // Ends the progress line, so that what follows starts on a line of its own.
    void EndProgressLine();
    // The first message captioned "Error", or nothing.
    const std::string& FirstError() const { return FFirstError; }

private:
    void DrawProgressLine();
    bool AskOnTerminal();

    TJobSettings Settings;
    std::optional<bool> Answer;
    bool Quiet;
    bool ProgressOnTerminal;
    std::string StepText;
    TProgressReport Report;
    bool LineShown = false;
    std::string FFirstError;
    std::chrono::steady_clock::time_point LastDrawn;
};

}  // namespace quorvane::cli
