// Running the programs under test and the tools that check them.
#pragma once

#include <string>
#include <vector>

namespace quorvane::test {

struct TProcessResult {
    int ExitStatus = -1;  // the exit code, or 128 + signal number
    std::string Output;   // standard output
    std::string Errors;   // standard error
};

// Runs Program (searched in PATH) with Arguments, standard input from
// /dev/null, and waits for it.
TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Arguments);

// A program running in the background, for tests that interrupt it.
class TBackgroundProcess {
public:
    TBackgroundProcess(const std::string& Program, const std::vector<std::string>& Arguments);
    ~TBackgroundProcess();
    TBackgroundProcess(const TBackgroundProcess&) = delete;
    TBackgroundProcess& operator=(const TBackgroundProcess&) = delete;

    void Signal(int Number);
    bool Running();
    int Id() const { return Pid; }
    TProcessResult Wait();

private:
    int Pid = -1;
    int OutputPipe = -1;
    int ErrorPipe = -1;
    bool Reaped = false;
    int Status = 0;
};

}  // namespace quorvane::test
