#include "CliTestKit.h"

#include "support/Fixtures.h"

namespace quorvane::test {

TProcessResult RunCli(const std::vector<std::string>& Arguments) {
    return RunProcess(QUORVANE_CLI_PATH, Arguments);
}

namespace {

std::string ShellQuoted(const std::string& Word) {
    std::string Quoted = "'";
    for (const char C : Word) {
        Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
    }
    return Quoted + "'";
}

}  // namespace

TProcessResult RunCliOnTerminal(const std::vector<std::string>& Arguments,
                                const std::string& Typed) {
    std::string Command = ShellQuoted(QUORVANE_CLI_PATH);
    for (const std::string& Argument : Arguments) {
        Command += ' ' + ShellQuoted(Argument);
    }
    // script passes what it reads to the terminal, where it waits for the program.
    return RunProcess(
        "sh", {"-c", "printf %s \"$1\" | script -qec \"$2\" /dev/null", "sh", Typed, Command});
}

path MovingVideo(const std::string& Rate, const std::string& Duration) {
    return Fixture("moving-" + Rate + "fps-" + Duration + "s.avi",
                   "-f lavfi -i testsrc2=size=200x150:rate=" + Rate + ":duration=" + Duration +
                       " -c:v rawvideo -pix_fmt bgr24");
}

path NoiseVideo() {
    return Fixture("noise-640x480.avi",
                   "-f lavfi -i color=gray:size=640x480:rate=25:duration=8 "
                   "-vf noise=alls=100:allf=t -c:v mjpeg -q:v 2");
}

uintmax_t FileSize(const path& File) {
    std::error_code Missing;
    const uintmax_t Size = std::filesystem::file_size(File, Missing);
    return Missing ? 0 : Size;
}

path Mp3File(const std::string& Name, const std::string& Arguments) {
    return Fixture(Name,
                   "-f lavfi -i sine=frequency=440:duration=4 " + Arguments + " -c:a libmp3lame");
}

std::vector<uint32_t> Timestamps(const FlvFile& File, uint8_t Type) {
    std::vector<uint32_t> Result;
    for (const FlvTag& Tag : File.Tags) {
        if (Tag.Type == Type) {
            Result.push_back(Tag.Timestamp);
        }
    }
    return Result;
}

std::vector<uint32_t> KeyFrameTimestamps(const FlvFile& File) {
    std::vector<uint32_t> Result;
    for (const FlvTag& Tag : File.Tags) {
        if (Tag.Type == VideoTag && Tag.FirstDataByte == KeyFrameByte) {
            Result.push_back(Tag.Timestamp);
        }
    }
    return Result;
}

std::vector<uint8_t> AudioPayloads(const FlvFile& File, uint8_t& SoundByte) {
    std::vector<uint8_t> Bytes;
    for (const FlvTag& Tag : File.Tags) {
        if (Tag.Type == AudioTag) {
            SoundByte = Tag.FirstDataByte;
            Bytes.insert(Bytes.end(), Tag.Payload.begin(), Tag.Payload.end());
        }
    }
    return Bytes;
}

}  // namespace quorvane::test
