#include "platform/os/VersionResource.h"

#include "VersionNumbers.h"

namespace quorvane::platform {

VS_FIXEDFILEINFO GetFixedFileVersionInfo() {
    constexpr uint32_t Ms = (QUORVANE_VERSION_MAJOR << 16) | QUORVANE_VERSION_MINOR;
    constexpr uint32_t Ls = (QUORVANE_VERSION_PATCH << 16) | (QUORVANE_BUILD_NUMBER & 0xFFFF);
    return {Ms, Ls, Ms, Ls};
}

}  // namespace quorvane::platform
