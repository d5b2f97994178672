// Failures a job reports to its user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quorvane {

// A failure that ends a run; its message is written for the user.
class EJobFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A picture's size as the messages give it: "1280x720".
inline std::string PictureSizeText(int64_t Width, int64_t Height) {
    return std::to_string(Width) + "x" + std::to_string(Height);
}

inline constexpr const char* FlvFrameSizeRule =
    "Flash Screen Video frames are 1 to 4095 pixels wide and high";

// A video whose frames are too small or too large for Screen Video.
inline std::string UnsupportedFrameSizeText(int64_t Width, int64_t Height) {
    return "The video is " + PictureSizeText(Width, Height) + " pixels; " + FlvFrameSizeRule + ".";
}

// A picture larger than any that is decoded (LargestDecodedSide): no size
// or crop can help.
inline std::string UndecodableFrameSizeText(int64_t Width, int64_t Height, int32_t Largest) {
    return "The video is " + PictureSizeText(Width, Height) + " pixels; pictures of at most " +
           std::to_string(Largest) + " pixels wide and high can be converted.";
}

inline std::string OutputNotWrittenText(const std::error_code& Error) {
    return "The output file could not be written (" + Error.message() + ").";
}

// A full disk or a vanished folder ends the run at once instead of writing
// a file shorter than its tags claim. FileError: the encoder's.
inline void CheckOutputFile(const std::error_code& FileError) {
    if (FileError) {
        throw EJobFailure(OutputNotWrittenText(FileError));
    }
}

}  // namespace quorvane
