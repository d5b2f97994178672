// The version text of the window's caption.
#pragma once

#include <string>

#include "platform/os/VersionResource.h"

namespace quorvane {

// "Version <major>.<minor> build <build>": the first, second and fourth of
// the four file version numbers (1.0.0.21 gives "Version 1.0 build 21").
std::string FormatVersionString(const platform::VS_FIXEDFILEINFO& Info);

// The running program's version text.
std::string GetVersionString();

}  // namespace quorvane
