// Failures a job reports to its user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvane {

// A failure that ends a run; its message is written for the user.
class EJobFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A video whose frames are too small or too large for Screen Video.
inline std::string UnsupportedFrameSizeText(int64_t Width, int64_t Height) {
    return "The video is " + std::to_string(Width) + "x" + std::to_string(Height) +
           " pixels; Flash Screen Video frames are 1 to 4095 pixels wide and high.";
}

}  // namespace quorvane
