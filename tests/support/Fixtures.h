// Test files made at test time and cached once per build tree under
// WorkDir()/fixtures, safely when ctest runs tests in parallel processes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/types/Picture.h"

namespace quorvane::test {

// Runs `ffmpeg -hide_banner -loglevel error -nostdin -y <Arguments>`;
// throws std::runtime_error naming the command when it fails.
void RunFfmpeg(const std::string& Arguments);

// The cached file Name; made when missing by Make, which writes it to the
// path it is given. That path is renamed into place only once complete, so
// no test ever sees half a file. It ends like Name (same extension).
std::filesystem::path CachedFile(const std::string& Name,
                                 const std::function<void(const std::filesystem::path&)>& Make);

// A file the ffmpeg tool makes: `ffmpeg ... <Arguments> <output>`, the
// container chosen by Name's extension. Example:
//   Fixture("tone.mp3", "-f lavfi -i sine=duration=1 -c:a libmp3lame")
std::filesystem::path Fixture(const std::string& Name, const std::string& Arguments);

// A fixture's name as a test's name: letters and digits, the rest '_'.
std::string TestNameOf(std::string FileName);

// A file derived from another by Transform(Source bytes) -> new bytes.
std::filesystem::path DerivedFixture(
    const std::string& Name, const std::filesystem::path& Source,
    const std::function<std::vector<uint8_t>(std::vector<uint8_t>)>& Transform);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& File);
void WriteFileBytes(const std::filesystem::path& File, const std::vector<uint8_t>& Bytes);

// The video frames of File as the ffmpeg tool decodes them: raw pixels in
// PixelFormat (e.g. "bgr24"), top row first, rows unpadded, frame after
// frame. ExtraArguments go before the output (e.g. "-sws_flags bilinear").
std::vector<uint8_t> DecodeWithFfmpeg(const std::filesystem::path& File,
                                      const std::string& PixelFormat,
                                      const std::string& ExtraArguments = "");

// The size of the ID3v2 tag an MP3 file starts with (header included), 0
// without one.
size_t Id3v2TagSize(const std::vector<uint8_t>& Mp3);

// Where the frames of an MP3 file start, as FFmpeg's own parser finds them.
std::vector<size_t> Mp3PacketPositions(const std::filesystem::path& Mp3);

// How long the sound of File lasts as FFmpeg decodes it, in seconds: the
// samples it decodes, counted; 0 when the file holds no sound.
double DecodedSoundSeconds(const std::filesystem::path& File);

// The pixels of a picture as top-down unpadded rows, to compare with
// DecodeWithFfmpeg.
std::vector<uint8_t> TopDownPixels(const platform::TPicture& Picture);

}  // namespace quorvane::test
