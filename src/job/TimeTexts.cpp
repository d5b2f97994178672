#include "job/TimeTexts.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quorvane {

namespace {

bool AllDigits(std::string_view Text) {
    for (const char C : Text) {
        if (C < '0' || C > '9') {
            return false;
        }
    }
    return !Text.empty();
}

// Digits of at most 18 characters: no overflow in 64 bits.
std::optional<int64_t> NumberOf(std::string_view Digits) {
    if (!AllDigits(Digits) || Digits.size() > 18) {
        return std::nullopt;
    }
    int64_t Value = 0;
    for (const char C : Digits) {
        Value = Value * 10 + (C - '0');
    }
    return Value;
}

// ".5" is 500 ms, ".25" 250 ms; nothing after the point is no fraction.
std::optional<int64_t> FractionMs(std::string_view Decimals) {
    if (!AllDigits(Decimals) || Decimals.size() > 3) {
        return std::nullopt;
    }
    int64_t Ms = *NumberOf(Decimals);
    for (size_t Digit = Decimals.size(); Digit < 3; ++Digit) {
        Ms *= 10;
    }
    return Ms;
}

std::vector<std::string_view> Fields(std::string_view Text) {
    std::vector<std::string_view> Parts;
    for (size_t Colon; (Colon = Text.find(':')) != std::string_view::npos;) {
        Parts.push_back(Text.substr(0, Colon));
        Text.remove_prefix(Colon + 1);
    }
    Parts.push_back(Text);
    return Parts;
}

}  // namespace

std::optional<int32_t> TimeFromText(std::string_view Text) {
    int64_t Ms = 0;
    if (const size_t Point = Text.find('.'); Point != std::string_view::npos) {
        const std::optional<int64_t> Fraction = FractionMs(Text.substr(Point + 1));
        if (!Fraction) {
            return std::nullopt;
        }
        Ms = *Fraction;
        Text = Text.substr(0, Point);
    }
    const std::vector<std::string_view> Parts = Fields(Text);
    if (Parts.size() > 3) {
        return std::nullopt;
    }
    int64_t Seconds = 0;
    for (size_t Index = 0; Index < Parts.size(); ++Index) {
        const std::optional<int64_t> Value = NumberOf(Parts[Index]);
        const bool Later = Index > 0;
        if (!Value || (Later && (Parts[Index].size() != 2 || *Value >= 60))) {
            return std::nullopt;
        }
        Seconds = Seconds * 60 + *Value;
        if (Seconds > INT32_MAX / 1000) {
            return std::nullopt;
        }
    }
    Ms += Seconds * 1000;
    if (Ms > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(Ms);
}

// Whole numbers only: a decimal point of the user's locale would not read
// back as a time.
std::string TimeText(int32_t Milliseconds) {
    const auto Ms = static_cast<long long>(std::max<int32_t>(Milliseconds, 0));
    const long long Hours = Ms / 3600000;
    const long long Minutes = Ms / 60000 % 60;
    const long long Seconds = Ms / 1000 % 60;
    char Text[40];
    if (Hours > 0) {
        std::snprintf(Text, sizeof Text, "%lld:%02lld:%02lld.%03lld", Hours, Minutes, Seconds,
                      Ms % 1000);
    } else {
        std::snprintf(Text, sizeof Text, "%lld:%02lld.%03lld", Minutes, Seconds, Ms % 1000);
    }
    return Text;
}

std::string RangeOrderText(int32_t Start, int32_t End) {
    return "The end, " + TimeText(End) + ", must come after the start, " + TimeText(Start) + ".";
}

}  // namespace quorvane
