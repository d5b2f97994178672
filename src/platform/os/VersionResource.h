// The program's version numbers, taken from the build.
#pragma once

#include <cstdint>

namespace quorvane::platform {

struct VS_FIXEDFILEINFO {
    uint32_t dwFileVersionMS;  // major << 16 | minor
    uint32_t dwFileVersionLS;  // patch << 16 | build
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
};

// Always succeeds: the numbers are compiled in.
VS_FIXEDFILEINFO GetFixedFileVersionInfo();

}  // namespace quorvane::platform
