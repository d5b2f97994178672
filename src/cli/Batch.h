// Many files in one call: where each input is converted to, and the summary
// told at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::cli {

struct TBatchItem {
    std::string Input;
    std::string Output;  // Folder/NAME.flv, NAME the input's name without its extension
};

// Throws EUsageError when two inputs would be converted into one output.
std::vector<TBatchItem> BatchItems(const std::vector<std::string>& Inputs,
                                   const std::string& Folder);

enum class TFileOutcome { Done, Failed, Stopped, NotStarted };

struct TFileResult {
    TFileOutcome Outcome = TFileOutcome::NotStarted;
    uint64_t OutputSize = 0;  // bytes, when done
    // Why when failed; when stopped, why nothing was written, or nothing.
    std::string Detail;
};

// A line for each file after a count of those converted.
std::string BatchSummary(const std::string& Folder, const std::vector<TBatchItem>& Items,
                         const std::vector<TFileResult>& Results);

}  // namespace quorvane::cli
