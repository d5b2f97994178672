#include "job/FrontEndTexts.h"

#include <cmath>
#include <cstdio>

namespace quorvane {

std::string OutputSizeText(uint64_t SizeBytes) {
    char Text[64];
    std::snprintf(Text, sizeof Text, "%.2f MBytes", static_cast<double>(SizeBytes) / 1048576.0);
    return Text;
}

// Rounded to the nearest whole number, a half going to the even neighbour.
// A stream without duration carries no media: nothing per second.
std::string AverageRateText(uint64_t SizeBytes, int64_t DurationMs) {
    const double Bits = static_cast<double>(SizeBytes) * 8;
    const double Rate =
        DurationMs <= 0
            ? 0
            : std::nearbyint(Bits / (static_cast<double>(DurationMs) / 1000.0) / 1024.0);
    char Text[32];
    std::snprintf(Text, sizeof Text, "%d kBps", static_cast<int>(Rate));
    return Text;
}

std::string EndFiguresText(const TRunResult& Result) {
    return AverageRateText(Result.OutputSize, Result.Duration) + " - " +
           OutputSizeText(Result.OutputSize);
}

namespace {

// The length of the UTF-8 character at Text[At] that a terminal shows as a
// character: no control (C0, DEL, C1) and no malformed sequence; 0 when
// there is none there.
size_t PrintableLength(const std::string& Text, size_t At) {
    const auto Byte = [&](size_t Index) { return static_cast<uint8_t>(Text[Index]); };
    const uint8_t Lead = Byte(At);
    if (Lead < 0x80) {
        return Lead >= 0x20 && Lead != 0x7F ? 1 : 0;
    }
    const size_t Length = Lead >= 0xC2 && Lead < 0xE0   ? 2
                          : Lead >= 0xE0 && Lead < 0xF0 ? 3
                          : Lead >= 0xF0 && Lead < 0xF5 ? 4
                                                        : 0;
    if (Length == 0 || At + Length > Text.size()) {
        return 0;
    }
    uint32_t Code = Lead & (0xFF >> (Length + 1));
    for (size_t Index = At + 1; Index < At + Length; ++Index) {
        if ((Byte(Index) & 0xC0) != 0x80) {
            return 0;
        }
        Code = Code << 6 | (Byte(Index) & 0x3F);
    }
    constexpr uint32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool Valid =
        Code >= Shortest[Length] && Code <= 0x10FFFF && (Code < 0xD800 || Code > 0xDFFF);
    return Valid && Code >= 0xA0 ? Length : 0;
}

// As the shell's $'...' writes it.
std::string Escaped(uint8_t Byte) {
    switch (Byte) {
        case '\a':
            return "\\a";
        case '\b':
            return "\\b";
        case '\t':
            return "\\t";
        case '\n':
            return "\\n";
        case '\v':
            return "\\v";
        case '\f':
            return "\\f";
        case '\r':
            return "\\r";
        default: {
            char Octal[5];
            std::snprintf(Octal, sizeof Octal, "\\%03o", Byte);
            return Octal;
        }
    }
}

}  // namespace

std::string ShownFileName(const std::string& Name) {
    size_t At = 0;
    while (At < Name.size() && PrintableLength(Name, At) != 0) {
        At += PrintableLength(Name, At);
    }
    if (At == Name.size()) {
        return Name;
    }
    // Runs of characters shown as they are go in '...', runs of the others
    // in $'...', side by side: the shell joins them into one word.
    enum class TRun { None, Quoted, Escaped } Run = TRun::None;
    std::string Shown;
    for (At = 0; At < Name.size();) {
        const size_t Length = PrintableLength(Name, At);
        if (Length == 0) {
            Shown += Run == TRun::Escaped ? "" : Run == TRun::Quoted ? "'$'" : "$'";
            Run = TRun::Escaped;
            Shown += Escaped(static_cast<uint8_t>(Name[At]));
            ++At;
            continue;
        }
        Shown += Run == TRun::Quoted ? "" : Run == TRun::Escaped ? "''" : "'";
        Run = TRun::Quoted;
        const std::string Character = Name.substr(At, Length);
        Shown += Character == "'" ? "'\\''" : Character;
        At += Length;
    }
    return Shown + "'";
}

}  // namespace quorvane
