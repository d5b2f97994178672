// Making writes fail as on a full disk, without one: a file size limit.
#pragma once

#include <sys/resource.h>

#include <cstdint>

namespace quorvane::test {

// While it lives, no file of this process can grow beyond Bytes: writes past
// the limit fail with EFBIG (SIGXFSZ is ignored meanwhile). Throws
// std::runtime_error when the limit cannot be set.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(uint64_t Bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit Saved{};
    void (*PreviousHandler)(int) = nullptr;
};

}  // namespace quorvane::test
