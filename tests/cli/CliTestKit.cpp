#include "CliTestKit.h"

#include "support/Fixtures.h"

namespace quorvane::test {

TProcessResult RunCli(const std::vector<std::string>& Arguments) {
    return RunProcess(QUORVANE_CLI_PATH, Arguments);
}

path MovingVideo(const std::string& Rate, const std::string& Duration) {
    return Fixture("moving-" + Rate + "fps-" + Duration + "s.avi",
                   "-f lavfi -i testsrc2=size=200x150:rate=" + Rate + ":duration=" + Duration +
                       " -c:v rawvideo -pix_fmt bgr24");
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
