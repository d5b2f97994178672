// Where tests keep the files they make.
#pragma once

#include <filesystem>
#include <string>

namespace quorvane::test {

// A folder under the build tree shared by every test run (fixtures made by
// the ffmpeg tool are cached there).
std::filesystem::path WorkDir();

// A fresh, empty folder for one test, named after it.
std::filesystem::path FreshDir(const std::string& Name);

}  // namespace quorvane::test
