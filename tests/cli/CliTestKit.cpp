#include "CliTestKit.h"

#include <cstring>

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

path TenMinutesWithTone() {
    return Fixture("tone-pcm16-mono-22050-600s.avi",
                   "-f lavfi -i color=c=gray:s=16x16:r=1:d=600 "
                   "-f lavfi -i sine=frequency=1000:sample_rate=22050:duration=600 "
                   "-c:v rawvideo -pix_fmt bgr24 -ac 1 -c:a pcm_s16le");
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

path AviWithTone(const std::string& Name, double Seconds, const std::string& SoundArguments) {
    const std::string Length = std::to_string(Seconds);
    return Fixture(Name, "-f lavfi -i testsrc2=size=32x24:rate=5:duration=" + Length +
                             " -f lavfi -i sine=frequency=1000:sample_rate=96000:duration=" +
                             Length + " -c:v rawvideo -pix_fmt bgr24 " + SoundArguments);
}

path AviWithMp3Tone() {
    return AviWithTone("tone-mp3_stereo_44100.avi", 3.7,
                       "-ar 44100 -ac 2 -c:a libmp3lame -b:a 128k");
}

std::vector<float> DecodeSound(const path& File, uint32_t Rate, const path& Folder) {
    const path Raw = Folder / (File.filename().string() + ".f32");
    RunFfmpeg("-i '" + File.string() + "' -vn -ac 1 -ar " + std::to_string(Rate) + " -f f32le '" +
              Raw.string() + "'");
    const std::vector<uint8_t> Bytes = ReadFileBytes(Raw);
    std::vector<float> Samples(Bytes.size() / sizeof(float));
    std::memcpy(Samples.data(), Bytes.data(), Samples.size() * sizeof(float));
    return Samples;
}

bool HoldsFileNamedLike(const path& Folder, const std::string& Part) {
    for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
        if (Entry.path().filename().string().find(Part) != std::string::npos) {
            return true;
        }
    }
    return false;
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
