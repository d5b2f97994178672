// The command line of quorvane-cli.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "job/JobSettings.h"

namespace quorvane::cli {

// A command line that can't be used; the message says why.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCliOptions {
    bool ShowHelp = false;
    bool ShowVersion = false;
    bool ListMp3Formats = false;
    std::optional<std::string> Mp3FormatIndex;
    bool Quiet = false;
    std::optional<bool> Answer;  // --yes / --no
    std::string InputFileName;
    std::string OutputFileName;
    // With --output-dir: every file named is an input, each converted into
    // the folder as NAME.flv.
    std::optional<std::string> OutputFolder;
    std::vector<std::string> InputFileNames;
    TJobSettings Settings;
    bool AudioGiven = false;  // --audio; without it the video's own sound when usable
};

// Throws EUsageError, before any file is touched, for an option or a value
// that can't be used.
TCliOptions ParseCommandLine(const std::vector<std::string>& Arguments);

std::string UsageText();

// Why the audio chosen can't be used with the loaded file (AudioUsable and
// AudioDescription are the job's), as the window refuses it when it is
// chosen or before asking for an output name; empty when it can. An MP3
// file is read up to its first frame.
std::string AudioChoiceProblem(const TCliOptions& Options, bool AudioUsable,
                               const std::string& AudioDescription);

// The audio of a run: the one --audio names; without it the video file's
// own sound when it can be used (AudioUsable, an MP3 format offered), else
// none, as users of converters expect the sound to come along.
TAudioSource AudioSourceFor(const TCliOptions& Options, bool AudioUsable);

}  // namespace quorvane::cli
