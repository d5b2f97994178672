#include "support/FlvmetaCheck.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <stdexcept>

#include "support/Process.h"

namespace quorvane::test {

namespace {

const std::vector<std::string> MissingMetadataWarnings = {
    "W70060",  // onMetaData event not found
    "W60079",  // unable to determine video resolution
};

// Every packet that sends the whole grid is a key frame, so a file whose
// pictures change everywhere holds only key frames; flvmeta's note that this
// compresses poorly says nothing about the file.
const std::string OnlyKeyFrames = "W60057";

std::string ShellQuoted(const std::string& Text) {
    std::string Quoted = "'";
    for (char Character : Text) {
        Quoted += Character == '\'' ? std::string("'\\''") : std::string(1, Character);
    }
    return Quoted + "'";
}

std::vector<std::string> MessageCodesIn(const std::string& Output) {
    static const std::regex Message(R"((info|warning|error|fatal) ([A-Z][0-9]+):)");
    std::vector<std::string> Codes;
    for (std::sregex_iterator Match(Output.begin(), Output.end(), Message), End; Match != End;
         ++Match) {
        Codes.push_back((*Match)[2]);
    }
    return Codes;
}

}  // namespace

FlvmetaReport RunFlvmetaCheck(const std::filesystem::path& Path) {
    FlvmetaReport Report;
    const std::string Command = "flvmeta --check " + ShellQuoted(Path.string()) + " 2>&1";
    FILE* Pipe = popen(Command.c_str(), "r");
    if (Pipe == nullptr) {
        Report.Output = "cannot run flvmeta";
        return Report;
    }
    char Chunk[4096];
    size_t Read;
    while ((Read = fread(Chunk, 1, sizeof Chunk, Pipe)) > 0) {
        Report.Output.append(Chunk, Read);
    }
    const int Status = pclose(Pipe);
    Report.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Report.MessageCodes = MessageCodesIn(Report.Output);
    return Report;
}

::testing::AssertionResult FlvmetaAccepts(const std::filesystem::path& Path,
                                          const std::vector<std::string>& Expected) {
    const FlvmetaReport Report = RunFlvmetaCheck(Path);
    const auto Listed = [](const std::vector<std::string>& Codes, const std::string& Code) {
        return std::find(Codes.begin(), Codes.end(), Code) != Codes.end();
    };
    const bool OnlyAllowed =
        std::all_of(Report.MessageCodes.begin(), Report.MessageCodes.end(), [&](const auto& Code) {
            return Code[0] == 'W' && (Listed(MissingMetadataWarnings, Code) ||
                                      Code == OnlyKeyFrames || Listed(Expected, Code));
        });
    if (Report.ExitCode == 0 && OnlyAllowed) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "flvmeta --check " << Path << " exited with " << Report.ExitCode << ":\n"
           << Report.Output;
}

::testing::AssertionResult FlvmetaFindsNoProblem(const std::filesystem::path& Path) {
    const FlvmetaReport Report = RunFlvmetaCheck(Path);
    const bool NoProblem =
        std::all_of(Report.MessageCodes.begin(), Report.MessageCodes.end(),
                    [](const std::string& Code) { return Code == OnlyKeyFrames; });
    if (Report.ExitCode == 0 && NoProblem) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "flvmeta --check " << Path << " exited with " << Report.ExitCode << ":\n"
           << Report.Output;
}

FlvmetaMetadata::FlvmetaMetadata(const std::filesystem::path& Path) {
    const TProcessResult Dump = RunProcess("flvmeta", {"--dump", "--json", Path.string()});
    if (Dump.ExitStatus != 0) {
        throw std::runtime_error("flvmeta --dump failed: " + Dump.Errors);
    }
    Json = Dump.Output;
}

bool FlvmetaMetadata::Has(const std::string& Key) const {
    return Json.find("\"" + Key + "\":") != std::string::npos;
}

double FlvmetaMetadata::Number(const std::string& Key) const {
    std::smatch Match;
    if (!std::regex_search(Json, Match, std::regex("\"" + Key + "\":(-?[0-9.eE+-]+)"))) {
        throw std::runtime_error("no number " + Key + " in " + Json);
    }
    return std::stod(Match[1]);
}

std::vector<double> FlvmetaMetadata::Numbers(const std::string& Key) const {
    std::smatch Match;
    if (!std::regex_search(Json, Match, std::regex("\"" + Key + "\":\\[([^\\]]*)\\]"))) {
        throw std::runtime_error("no array " + Key + " in " + Json);
    }
    std::vector<double> Values;
    const std::string Items = Match[1];
    for (size_t Start = 0; Start < Items.size();) {
        size_t End = Items.find(',', Start);
        End = End == std::string::npos ? Items.size() : End;
        Values.push_back(std::stod(Items.substr(Start, End - Start)));
        Start = End + 1;
    }
    return Values;
}

}  // namespace quorvane::test
