// Checking FLV files with the flvmeta tool.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::test {

struct FlvmetaReport {
    int ExitCode = -1;  // 0 valid, non-zero when flvmeta found errors
    std::string Output;
    std::vector<std::string> MessageCodes;  // such as "W70060", one per message
};

// Codes of flvmeta warnings that a test may expect of the file it made.
namespace flvmeta {
inline const std::string AudioFormatChanged = "W50026";
inline const std::string NoAudioTag = "W11053";  // the header announces audio
// Sound goes on where the pictures pause (a variable frame rate).
inline const std::string Desynchronized = "W40024";
// flvmeta's duration lasts the last frame as long as the pause before it;
// ours, as long as the stream's frames usually last.
inline const std::string DurationDiffers = "W80062";
// Every block of every picture changed (a small, noisy picture).
inline const std::string OnlyKeyframes = "W60057";
}  // namespace flvmeta

// Runs `flvmeta --check` on the file.
FlvmetaReport RunFlvmetaCheck(const std::filesystem::path& Path);

// Succeeds when flvmeta finds no error and warns only that the file carries
// no onMetaData tag (our files have none by design) and, for that reason,
// that it cannot tell the video resolution, that it holds only key frames,
// or of the Expected warnings.
::testing::AssertionResult FlvmetaAccepts(const std::filesystem::path& Path,
                                          const std::vector<std::string>& Expected = {});

// Succeeds when flvmeta finds neither an error nor a warning, but that the
// file holds only key frames: what a file with an onMetaData tag must give.
::testing::AssertionResult FlvmetaFindsNoProblem(const std::filesystem::path& Path);

// The onMetaData values as flvmeta reads them (`flvmeta --dump --json`).
class FlvmetaMetadata {
public:
    explicit FlvmetaMetadata(const std::filesystem::path& Path);

    bool Has(const std::string& Key) const;
    // Throws std::runtime_error naming Key when it is not there.
    double Number(const std::string& Key) const;
    std::vector<double> Numbers(const std::string& Key) const;  // an array of numbers

    std::string Json;
};

}  // namespace quorvane::test
