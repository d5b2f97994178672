#include "support/Fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "support/Process.h"
#include "support/TestPaths.h"

namespace quorvane::test {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& Path) {
    std::string Text = "'";
    Text += Path.string();
    Text += '\'';
    return Text;
}

// Unique within the process and across processes.
fs::path TemporaryPathFor(const fs::path& Final) {
    static std::atomic<int> Counter{0};
    return Final.parent_path() / (Final.stem().string() + ".tmp" + std::to_string(getpid()) + "-" +
                                  std::to_string(Counter++) + Final.extension().string());
}

}  // namespace

void RunFfmpeg(const std::string& Arguments) {
    std::string Command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + Arguments;
    if (std::system(Command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed: " + Command);
    }
}

fs::path CachedFile(const std::string& Name, const std::function<void(const fs::path&)>& Make) {
    fs::path Dir = WorkDir() / "fixtures";
    fs::create_directories(Dir);
    fs::path Final = Dir / Name;
    if (fs::exists(Final)) {
        return Final;
    }
    fs::path Temporary = TemporaryPathFor(Final);
    try {
        Make(Temporary);
    } catch (...) {
        fs::remove(Temporary);
        throw;
    }
    fs::rename(Temporary, Final);
    return Final;
}

fs::path Fixture(const std::string& Name, const std::string& Arguments) {
    return CachedFile(Name,
                      [&](const fs::path& Output) { RunFfmpeg(Arguments + " " + Quoted(Output)); });
}

fs::path DerivedFixture(
    const std::string& Name, const fs::path& Source,
    const std::function<std::vector<uint8_t>(std::vector<uint8_t>)>& Transform) {
    return CachedFile(Name, [&](const fs::path& Output) {
        WriteFileBytes(Output, Transform(ReadFileBytes(Source)));
    });
}

std::vector<uint8_t> ReadFileBytes(const fs::path& File) {
    std::ifstream In(File, std::ios::binary);
    if (!In) {
        throw std::runtime_error("cannot read " + File.string());
    }
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const fs::path& File, const std::vector<uint8_t>& Bytes) {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    if (!Out) {
        throw std::runtime_error("cannot write " + File.string());
    }
}

std::vector<uint8_t> DecodeWithFfmpeg(const fs::path& File, const std::string& PixelFormat,
                                      const std::string& ExtraArguments) {
    fs::path Output = TemporaryPathFor(WorkDir() / "decoded.raw");
    RunFfmpeg("-i " + Quoted(File) + " -map 0:v:0 -fps_mode passthrough " + ExtraArguments +
              " -f rawvideo -pix_fmt " + PixelFormat + " " + Quoted(Output));
    std::vector<uint8_t> Pixels = ReadFileBytes(Output);
    fs::remove(Output);
    return Pixels;
}

std::vector<uint8_t> TopDownPixels(const platform::TPicture& Picture) {
    const size_t RowBytes = static_cast<size_t>(Picture.Width) * Picture.BytesPerPixel;
    std::vector<uint8_t> Pixels;
    for (int32_t Row = Picture.Height - 1; Row >= 0; --Row) {
        Pixels.insert(Pixels.end(), Picture.Row(Row), Picture.Row(Row) + RowBytes);
    }
    return Pixels;
}

size_t Id3v2TagSize(const std::vector<uint8_t>& Mp3) {
    if (Mp3.size() < 10 || Mp3[0] != 'I' || Mp3[1] != 'D' || Mp3[2] != '3') {
        return 0;
    }
    return 10 + (Mp3[6] << 21) + (Mp3[7] << 14) + (Mp3[8] << 7) + Mp3[9];
}

std::vector<size_t> Mp3PacketPositions(const fs::path& Mp3) {
    const TProcessResult Probe = RunProcess(
        "ffprobe", {"-v", "error", "-show_entries", "packet=pos", "-of", "csv=p=0", Mp3.string()});
    std::vector<size_t> Positions;
    std::istringstream Lines(Probe.Output);
    // Lines read "pos" or "pos,side_data,"; side data adds blank lines.
    for (std::string Line; std::getline(Lines, Line);) {
        if (!Line.empty()) {
            Positions.push_back(std::stoul(Line.substr(0, Line.find(','))));
        }
    }
    return Positions;
}

double DecodedSoundSeconds(const fs::path& File) {
    constexpr int Rate = 44100;
    const TProcessResult Decoded =
        RunProcess("ffmpeg", {"-v", "error", "-nostdin", "-i", File.string(), "-vn", "-ac", "1",
                              "-ar", std::to_string(Rate), "-f", "s16le", "-"});
    return static_cast<double>(Decoded.Output.size()) / 2 / Rate;
}

std::string TestNameOf(std::string FileName) {
    std::replace_if(
        FileName.begin(), FileName.end(), [](char C) { return !std::isalnum(C); }, '_');
    return FileName;
}

}  // namespace quorvane::test
