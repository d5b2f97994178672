// The command line of quorvane-cli.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "job/JobFrontEnd.h"

namespace quorvane::cli {

// A command line that can't be used; the message says why.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TAudioChoice { None, FromAvi, Mp3File };

struct TCliOptions {
    bool ShowHelp = false;
    bool ShowVersion = false;
    bool ListMp3Formats = false;
    std::optional<std::string> Mp3FormatIndex;
    bool Quiet = false;
    std::optional<bool> Answer;  // --yes / --no
    TAudioChoice Audio = TAudioChoice::None;
    std::string InputFileName;
    std::string OutputFileName;
    TJobControls Controls;  // the settings, as the window's controls hold them
};

// Throws EUsageError.
TCliOptions ParseCommandLine(const std::vector<std::string>& Arguments);

std::string UsageText();

// Why the audio chosen can't be used with the loaded file (AudioUsable and
// AudioDescription are the job's), as the window refuses it when it is
// chosen or before asking for an output name; empty when it can. An MP3
// file is read up to its first frame.
std::string AudioChoiceProblem(const TCliOptions& Options, bool AudioUsable,
                               const std::string& AudioDescription);

}  // namespace quorvane::cli
