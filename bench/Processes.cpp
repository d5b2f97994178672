#include "bench/Processes.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace quorvane::bench {

namespace {

std::string CommandText(const std::vector<std::string>& Arguments) {
    std::string Text;
    for (const std::string& Argument : Arguments) {
        Text += (Text.empty() ? "" : " ") + Argument;
    }
    return Text;
}

// In the child: output to /dev/null (or standard error to ErrorFile).
[[noreturn]] void Execute(const std::vector<std::string>& Arguments, int ErrorFile) {
    const int Null = open("/dev/null", O_RDWR);
    dup2(Null, STDIN_FILENO);
    dup2(Null, STDOUT_FILENO);
    dup2(ErrorFile >= 0 ? ErrorFile : Null, STDERR_FILENO);
    std::vector<char*> Pointers;
    for (const std::string& Argument : Arguments) {
        Pointers.push_back(const_cast<char*>(Argument.c_str()));
    }
    Pointers.push_back(nullptr);
    execvp(Pointers[0], Pointers.data());
    _exit(127);
}

ProcessFigures RunWithErrorsTo(const std::vector<std::string>& Arguments, int ErrorFile) {
    const auto Begin = std::chrono::steady_clock::now();
    const pid_t Child = fork();
    if (Child < 0) {
        throw std::runtime_error("cannot start " + Arguments.front());
    }
    if (Child == 0) {
        Execute(Arguments, ErrorFile);
    }
    int Status = 0;
    rusage Usage{};
    if (wait4(Child, &Status, 0, &Usage) != Child || !WIFEXITED(Status) ||
        WEXITSTATUS(Status) != 0) {
        throw std::runtime_error("failed: " + CommandText(Arguments));
    }
    ProcessFigures Figures;
    Figures.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Begin).count();
    Figures.CpuSeconds = Usage.ru_utime.tv_sec + Usage.ru_utime.tv_usec / 1e6 +
                         Usage.ru_stime.tv_sec + Usage.ru_stime.tv_usec / 1e6;
    Figures.PeakKilobytes = Usage.ru_maxrss;
    return Figures;
}

}  // namespace

ProcessFigures RunProcess(const std::vector<std::string>& Arguments) {
    return RunWithErrorsTo(Arguments, -1);
}

std::string ErrorOutputOf(const std::vector<std::string>& Arguments) {
    char Name[] = "/tmp/quorvane-bench-XXXXXX";
    const int File = mkstemp(Name);
    if (File < 0) {
        throw std::runtime_error("cannot make a temporary file");
    }
    unlink(Name);
    RunWithErrorsTo(Arguments, File);
    std::string Text;
    char Buffer[4096];
    for (ssize_t Got;
         (Got = pread(File, Buffer, sizeof Buffer, static_cast<off_t>(Text.size()))) > 0;) {
        Text.append(Buffer, static_cast<size_t>(Got));
    }
    close(File);
    return Text;
}

namespace {

std::string SizeText(int Width, int Height) {
    return std::to_string(Width) + "x" + std::to_string(Height);
}

// Runs ffmpeg with Arguments and then the output's name, unless Path exists.
// Made under another name, so that an interrupted run leaves no partial
// input behind.
std::filesystem::path MadeOnce(const std::filesystem::path& Path,
                               std::vector<std::string> Arguments) {
    if (!std::filesystem::exists(Path)) {
        const std::filesystem::path Partial = Path.string() + ".partial";
        Arguments.insert(Arguments.begin(), {"ffmpeg", "-nostdin", "-y", "-v", "error"});
        Arguments.push_back(Partial.string());
        RunProcess(Arguments);
        std::filesystem::rename(Partial, Path);
    }
    return Path;
}

}  // namespace

std::filesystem::path TestSource(const std::filesystem::path& Folder, int Width, int Height,
                                 int FramesPerSecond, int Seconds) {
    const std::string Size = SizeText(Width, Height);
    return MadeOnce(
        Folder / ("testsrc2-" + Size + "-" + std::to_string(FramesPerSecond) + "fps-" +
                  std::to_string(Seconds) + "s.avi"),
        {"-f", "lavfi", "-i", "testsrc2=size=" + Size + ":rate=" + std::to_string(FramesPerSecond),
         "-t", std::to_string(Seconds), "-c:v", "mjpeg", "-q:v", "3", "-f", "avi"});
}

std::filesystem::path MandelbrotFrames(const std::filesystem::path& Folder, int Width, int Height,
                                       int Frames) {
    const std::string Size = SizeText(Width, Height);
    return MadeOnce(Folder / ("mandelbrot-" + Size + "-" + std::to_string(Frames) + ".bgr"),
                    {"-f", "lavfi", "-i", "mandelbrot=size=" + Size + ":rate=25", "-frames:v",
                     std::to_string(Frames), "-pix_fmt", "bgr24", "-f", "rawvideo"});
}

double PsnrAgainstFullPrecision(const std::filesystem::path& Flv,
                                const std::filesystem::path& Source) {
    const std::string Text = ErrorOutputOf(
        {"ffmpeg", "-nostdin", "-v", "info", "-i", Flv.string(), "-i", Source.string(), "-lavfi",
         "[0:v]format=bgr24[ours];"
         "[1:v]scale=flags=bicubic+full_chroma_int+full_chroma_inp+accurate_rnd,"
         "format=bgr24[reference];[ours][reference]psnr",
         "-f", "null", "-"});
    const size_t At = Text.rfind("average:");
    if (At == std::string::npos) {
        throw std::runtime_error("ffmpeg's psnr filter printed no average for " + Flv.string());
    }
    return std::stod(Text.substr(At + 8));
}

}  // namespace quorvane::bench
