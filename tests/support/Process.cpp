#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace quorvane::test {

namespace {

int ExitStatusOf(int Status) {
    if (WIFEXITED(Status)) {
        return WEXITSTATUS(Status);
    }
    return WIFSIGNALED(Status) ? 128 + WTERMSIG(Status) : -1;
}

// Drains both pipes together so that neither fills up and blocks the child.
void ReadBoth(int OutputPipe, int ErrorPipe, std::string& Output, std::string& Errors) {
    pollfd Fds[2] = {{OutputPipe, POLLIN, 0}, {ErrorPipe, POLLIN, 0}};
    std::string* Targets[2] = {&Output, &Errors};
    int Open = 2;
    char Buffer[65536];
    while (Open > 0) {
        if (poll(Fds, 2, -1) < 0) {
            continue;
        }
        for (int I = 0; I < 2; ++I) {
            if (Fds[I].fd >= 0 && (Fds[I].revents & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t Count = read(Fds[I].fd, Buffer, sizeof Buffer);
                if (Count > 0) {
                    Targets[I]->append(Buffer, static_cast<size_t>(Count));
                } else {
                    close(Fds[I].fd);
                    Fds[I].fd = -1;
                    --Open;
                }
            }
        }
    }
}

}  // namespace

TBackgroundProcess::TBackgroundProcess(const std::string& Program,
                                       const std::vector<std::string>& Arguments) {
    int Out[2];
    int Err[2];
    if (pipe2(Out, O_CLOEXEC) != 0 || pipe2(Err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Out[1], 1);
    posix_spawn_file_actions_adddup2(&Actions, Err[1], 2);

    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program.c_str()));
    for (const std::string& Argument : Arguments) {
        Argv.push_back(const_cast<char*>(Argument.c_str()));
    }
    Argv.push_back(nullptr);
    const int Error = posix_spawnp(&Pid, Program.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Out[1]);
    close(Err[1]);
    OutputPipe = Out[0];
    ErrorPipe = Err[0];
    if (Error != 0) {
        close(OutputPipe);
        close(ErrorPipe);
        throw std::runtime_error("cannot start " + Program);
    }
}

TBackgroundProcess::~TBackgroundProcess() {
    if (!Reaped) {
        kill(Pid, SIGKILL);
    }
    if (!Reaped || OutputPipe >= 0) {
        Wait();
    }
}

void TBackgroundProcess::Signal(int Number) {
    kill(Pid, Number);
}

bool TBackgroundProcess::Running() {
    if (!Reaped && waitpid(Pid, &Status, WNOHANG) == Pid) {
        Reaped = true;
    }
    return !Reaped;
}

TProcessResult TBackgroundProcess::Wait() {
    TProcessResult Result;
    if (OutputPipe >= 0) {
        ReadBoth(OutputPipe, ErrorPipe, Result.Output, Result.Errors);
        OutputPipe = ErrorPipe = -1;
    }
    if (!Reaped) {
        waitpid(Pid, &Status, 0);
        Reaped = true;
    }
    Result.ExitStatus = ExitStatusOf(Status);
    return Result;
}

TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Arguments) {
    return TBackgroundProcess(Program, Arguments).Wait();
}

}  // namespace quorvane::test
