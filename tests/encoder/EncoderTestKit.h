// Shared set-up of the encoder tests: a started encoder on a fresh file, and
// frames made to order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/ScreenFrames.h"
#include "encoder/ScreenVideoEncoder.h"
#include "support/FlvReader.h"
#include "support/FlvmetaCheck.h"

namespace quorvane::test {

EncoderParameters ParametersFor(CompressionModes Mode, uint32_t BlockWidth, uint32_t BlockHeight);

// A file name in a fresh folder named after the running test.
std::filesystem::path OutputPathForTest(const char* FileName = "out.flv");

// An encoder that has been started on OutputPathForTest(); throws when Start
// does not return 0.
class EncoderSession {
public:
    EncoderSession(const EncoderParameters& Parameters, int Width, int Height, int BytesPerPixel,
                   bool HasAudio = false, const EncoderEngine& Engine = {});

    TScreenVideoEncoder& Encoder() { return *Object; }
    const std::filesystem::path& Path() const { return FilePath; }

    // Passes the previous call's timestamp (0 before the first) along.
    int32_t Encode(const bench::FrameBuffer& Frame, int32_t Timestamp, bool KeyFrame);

    // Finishes the file and reads it back, checking that Finish reported its
    // true size, that no write failed and, when the file has tags, that
    // flvmeta accepts it with no warning beyond the Expected ones.
    FlvFile Finish(const std::vector<std::string>& ExpectedWarnings = {});

private:
    std::filesystem::path FilePath;
    std::unique_ptr<TScreenVideoEncoder> Object;
    int32_t PreviousTimestamp = 0;
};

bench::FrameBuffer SolidFrame(int Width, int Height, int BytesPerPixel, bench::Bgr Colour);
// Every byte, the unused fourth ones included, from a seeded generator.
bench::FrameBuffer NoiseFrame(int Width, int Height, int BytesPerPixel, uint32_t Seed);

// The zlib stream inflated; fails the test when it is not a whole stream.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& Stream, size_t ExpectedSize);

}  // namespace quorvane::test
