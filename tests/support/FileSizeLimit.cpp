#include "support/FileSizeLimit.h"

#include <csignal>
#include <stdexcept>

namespace quorvane::test {

ScopedFileSizeLimit::ScopedFileSizeLimit(uint64_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved);
    rlimit Limited = Saved;
    Limited.rlim_cur = static_cast<rlim_t>(Bytes);
    if (setrlimit(RLIMIT_FSIZE, &Limited) != 0) {
        throw std::runtime_error("the file size limit cannot be set");
    }
    PreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, PreviousHandler);
}

}  // namespace quorvane::test
