// Texts both front ends show for choices the job leaves to them: the same
// words in the window and on the terminal.
#pragma once

#include <cstdint>
#include <string>

#include "job/RunResult.h"

namespace quorvane {

// Starting with the external audio chosen and no such file.
inline const char* const NoExternalAudioFileText =
    "Please select an external audio file, or choose another source for the audio.";

// After a run that wrote nothing (stopped before its first frame). Kept:
// whether a file of that name was there before, left as it was.
inline std::string NothingWrittenText(const std::string& FileName, bool Kept) {
    return "No frame was encoded: " + FileName +
           (Kept ? " was left as it was." : " was not created.");
}

// The figures of a file written to its end: its size ("1.50 MBytes"), its
// average rate over the video's duration in kilobits of 1024 bits a second
// ("205 kBps"), and the two as a finished run shows them, rate first.
std::string OutputSizeText(uint64_t SizeBytes);
std::string AverageRateText(uint64_t SizeBytes, int64_t DurationMs);
std::string EndFiguresText(const TRunResult& Result);

// A file name as messages show it: as it is, unless it holds characters
// that a terminal would act on (control characters, bytes that are no
// UTF-8 character): then quoted as ls quotes it for the shell, each such
// character escaped, 'a'$'\n''b', so that a name can neither clear the
// screen nor forge a line, and still reads back as the name.
std::string ShownFileName(const std::string& Name);

// Before an existing output is replaced; Break goes between the two
// sentences (a line break in a message box, a space on a terminal).
inline std::string ReplaceQuestionText(const std::string& FileName, const char* Break) {
    return "The file " + ShownFileName(FileName) + " already exists." + Break +
           "Do you want to replace it?";
}

}  // namespace quorvane
