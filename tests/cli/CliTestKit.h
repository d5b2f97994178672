// What the command-line tests share: running quorvane-cli, the fixtures it
// converts and readings of the files it writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/FlvReader.h"
#include "support/Process.h"

namespace quorvane::test {

using std::filesystem::path;

constexpr uint8_t VideoTag = 9;
constexpr uint8_t AudioTag = 8;
constexpr uint8_t KeyFrameByte = 0x13;

TProcessResult RunCli(const std::vector<std::string>& Arguments);

// Runs quorvane-cli on a terminal of its own (script(1)) with Typed already
// typed on it; what it prints on either stream comes back as Output.
TProcessResult RunCliOnTerminal(const std::vector<std::string>& Arguments,
                                const std::string& Typed = "");

// Moving pictures (every frame differs), raw so that decoding is exact.
path MovingVideo(const std::string& Rate, const std::string& Duration);

// Noise compresses slowly and little: runs on it last, and their files are
// large.
path NoiseVideo();

// 0 while the file does not exist.
uintmax_t FileSize(const path& File);

// Four seconds of tone; Arguments choose the rate, channels and bit rate.
path Mp3File(const std::string& Name, const std::string& Arguments);

std::vector<uint32_t> Timestamps(const FlvFile& File, uint8_t Type);
std::vector<uint32_t> KeyFrameTimestamps(const FlvFile& File);

// The audio tags' payloads, in order; SoundByte gets the last tag's.
std::vector<uint8_t> AudioPayloads(const FlvFile& File, uint8_t& SoundByte);

}  // namespace quorvane::test
