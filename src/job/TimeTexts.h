// Times as both front ends take and show them: seconds ("90", "12.5") or
// [HH:]MM:SS[.mmm] ("1:30", "01:02:03.250"), to the millisecond.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Milliseconds; none when Text is no time of those forms (the fields after
// the first have two digits and are below 60, at most three decimals), or
// lies past the latest time an FLV file can hold (2^31 - 1 ms).
std::optional<int32_t> TimeFromText(std::string_view Text);

// "0:05.000", "1:02:03.250": minutes and seconds, hours when there are any.
std::string TimeText(int32_t Milliseconds);

// A range whose end does not come after its start, as the window and the
// job say it.
std::string RangeOrderText(int32_t Start, int32_t End);

}  // namespace quorvane
