// Failures a job reports to its user.
#pragma once

#include <stdexcept>

namespace quorvane {

// An edit's text is not a whole number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure that ends a run; its message is written for the user.
class EJobFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvane
