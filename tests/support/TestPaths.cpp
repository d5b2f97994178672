#include "support/TestPaths.h"

#include <unistd.h>

namespace quorvane::test {

std::filesystem::path WorkDir() {
    std::filesystem::path Dir(QUORVANE_TEST_WORK_DIR);
    std::filesystem::create_directories(Dir);
    return Dir;
}

std::filesystem::path FreshDir(const std::string& Name) {
    // The process id keeps tests that ctest runs in parallel apart.
    auto Dir = WorkDir() / "runs" / (Name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    return Dir;
}

}  // namespace quorvane::test
