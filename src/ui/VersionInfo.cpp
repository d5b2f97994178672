#include "ui/VersionInfo.h"

namespace quorvane {

std::string FormatVersionString(const platform::VS_FIXEDFILEINFO& Info) {
    const unsigned Major = Info.dwFileVersionMS >> 16;
    const unsigned Minor = Info.dwFileVersionMS & 0xFFFF;
    const unsigned Build = Info.dwFileVersionLS & 0xFFFF;
    return "Version " + std::to_string(Major) + "." + std::to_string(Minor) + " build " +
           std::to_string(Build);
}

std::string GetVersionString() {
    return FormatVersionString(platform::GetFixedFileVersionInfo());
}

}  // namespace quorvane
