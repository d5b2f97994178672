#include "cli/Batch.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "cli/CliOptions.h"
#include "job/FrontEndTexts.h"

namespace quorvane::cli {

namespace fs = std::filesystem;

std::vector<TBatchItem> BatchItems(const std::vector<std::string>& Inputs,
                                   const std::string& Folder) {
    std::vector<TBatchItem> Items;
    std::map<std::string, std::string> InputOf;
    for (const std::string& Input : Inputs) {
        const std::string Output =
            (fs::path(Folder) / fs::path(Input).stem()).concat(".flv").lexically_normal().string();
        if (const auto Taken = InputOf.find(Output); Taken != InputOf.end()) {
            throw EUsageError(ShownFileName(Taken->second) + " and " + ShownFileName(Input) +
                              " would both be converted into " + ShownFileName(Output));
        }
        InputOf.emplace(Output, Input);
        Items.push_back({Input, Output});
    }
    return Items;
}

namespace {

// One line whatever the names hold: they are shown escaped.
std::string ResultLine(const TBatchItem& Item, const TFileResult& Result) {
    const std::string Input = ShownFileName(Item.Input);
    const std::string Output = ShownFileName(Item.Output);
    switch (Result.Outcome) {
        case TFileOutcome::Done:
            return "  done     " + Input + " -> " + Output + ", " +
                   OutputSizeText(Result.OutputSize);
        case TFileOutcome::Failed:
            return "  failed   " + Input + ": " + Result.Detail;
        case TFileOutcome::Stopped:
            return "  stopped  " + Input +
                   (Result.Detail.empty() ? " -> " + Output + ", holding what was converted"
                                          : ": " + Result.Detail);
        default:
            return "  skipped  " + Input + ": not started after the stop";
    }
}

}  // namespace

std::string BatchSummary(const std::string& Folder, const std::vector<TBatchItem>& Items,
                         const std::vector<TFileResult>& Results) {
    const auto Done = std::count_if(Results.begin(), Results.end(), [](const TFileResult& Result) {
        return Result.Outcome == TFileOutcome::Done;
    });
    std::string Summary = "Summary: " + std::to_string(Done) + " of " +
                          std::to_string(Items.size()) + (Items.size() == 1 ? " file" : " files") +
                          " converted into " + ShownFileName(Folder) + "\n";
    for (size_t Index = 0; Index < Items.size(); ++Index) {
        Summary += ResultLine(Items[Index], Results[Index]) + "\n";
    }
    return Summary;
}

}  // namespace quorvane::cli
