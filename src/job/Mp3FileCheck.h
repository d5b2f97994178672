// Whether a file can be the MP3 audio of a conversion, for a front end to
// ask before it starts one.
#pragma once

#include <string>

namespace quorvane {

// Why FileName can't be the MP3 audio of a conversion: it holds no MP3
// frame, or it can't be opened or read. Empty when it can.
std::string Mp3FileProblem(const std::string& FileName);

}  // namespace quorvane
