#include "CliTestKit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/Fixtures.h"

namespace quorvane::test {

TProcessResult RunCli(const std::vector<std::string>& Arguments) {
    return RunProcess(QUORVANE_CLI_PATH, Arguments);
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitized = true;
#else
constexpr bool AddressSanitized = false;
#endif
#else
constexpr bool AddressSanitized = false;
#endif

}  // namespace

TProcessResult RunCliWithinMemory(const std::vector<std::string>& Arguments) {
    const char* const Limit =
        AddressSanitized
            ? "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=2048\"; "
              "export ASAN_OPTIONS; "
            : "ulimit -v 1048576 || exit 125; MALLOC_ARENA_MAX=2; export MALLOC_ARENA_MAX; ";
    std::vector<std::string> Command = {"-c", std::string(Limit) + "exec \"$0\" \"$@\"",
                                        QUORVANE_CLI_PATH, "--threads", "2"};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    return RunProcess("sh", Command);
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

path Mp4ClaimingSamples(uint32_t Count) {
    const path One = Fixture("mpeg4-one-frame.mp4",
                             "-f lavfi -i color=gray:size=16x16:rate=25 -frames:v 1 -c:v mpeg4 "
                             "-use_editlist 0");
    return DerivedFixture(
        "mpeg4-claiming-" + std::to_string(Count) + ".mp4", One,
        [Count](std::vector<uint8_t> File) {
            const auto Box = [&](const char* Type) {
                const auto At = std::search(File.begin(), File.end(), Type, Type + 4);
                return static_cast<size_t>(At - File.begin()) - 4;
            };
            const auto Put = [&](size_t At, uint32_t Value) {
                for (size_t Byte = 0; Byte < 4; ++Byte) {
                    File[At + Byte] = static_cast<uint8_t>(Value >> (24 - 8 * Byte));
                }
            };
            const size_t Sizes = Box("stsz");
            // The one sample's size, from its table, becomes the size of all.
            std::copy_n(File.begin() + static_cast<long>(Sizes + 20), 4,
                        File.begin() + static_cast<long>(Sizes + 12));
            Put(Sizes + 16, Count);
            Put(Box("stts") + 16, Count);
            Put(Box("stsc") + 20, Count);
            return File;
        });
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

std::string BurstSound(int Seconds, double At) {
    char Between[64];
    std::snprintf(Between, sizeof Between, "between(t\\,%.3f\\,%.3f)", At, At + 0.2);
    return "-f lavfi -i aevalsrc='if(" + std::string(Between) +
           "\\,sin(2*PI*1000*t)\\,0)':s=48000:d=" + std::to_string(Seconds) + " ";
}

// Loud enough to be the burst, not the codecs' pre-echo before it.
constexpr float BurstLevel = 0.3f;

double BurstAfterSoundStart(const path& File, const path& Folder) {
    const std::vector<float> Samples = DecodeSound(File, Mp3SoundRate, Folder);
    const auto Loud = std::find_if(Samples.begin(), Samples.end(),
                                   [](float Sample) { return std::fabs(Sample) > BurstLevel; });
    if (Loud == Samples.end()) {
        throw std::runtime_error("no burst in " + File.string());
    }
    return static_cast<double>(Loud - Samples.begin()) / Mp3SoundRate;
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
