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

// quorvane-cli within the memory a modest machine can spare, so that a file
// claiming more than it holds fails here instead of taking the machine: an
// address space of at most 1 GiB, two encoder threads and two malloc
// arenas (their reserved space must not grow with the processors). Under
// AddressSanitizer, which reserves terabytes of address space, its own
// resident-memory limit of 2 GiB stands instead.
TProcessResult RunCliWithinMemory(const std::vector<std::string>& Arguments);

// Runs quorvane-cli on a terminal of its own (script(1)) with Typed already
// typed on it; what it prints on either stream comes back as Output.
TProcessResult RunCliOnTerminal(const std::vector<std::string>& Arguments,
                                const std::string& Typed = "");

// Moving pictures (every frame differs), raw so that decoding is exact.
path MovingVideo(const std::string& Rate, const std::string& Duration);

// Ten minutes of a tiny still picture at 1 fps with a tone, mono 22050 Hz:
// its audio pass lasts long enough to be interrupted.
path TenMinutesWithTone();

// Noise compresses slowly and little: runs on it last, and their files are
// large.
path NoiseVideo();

// A one-frame MP4 whose tables claim Count samples of that frame's size in
// one chunk: libavformat's index of it takes 24 bytes a sample in each
// reading of the file, which also makes it slow to open.
path Mp4ClaimingSamples(uint32_t Count);

// 0 while the file does not exist.
uintmax_t FileSize(const path& File);

// A tiny moving picture at 5 fps with Seconds of a 1 kHz sine, stored as
// SoundArguments say (rate, channels, codec).
path AviWithTone(const std::string& Name, double Seconds, const std::string& SoundArguments);
// 3.7 s of it as MP3 at 44100 Hz, stereo, 128 kbit/s, stored frame by frame.
path AviWithMp3Tone();

// The sound of File as FFmpeg decodes it, mixed to mono at Rate.
std::vector<float> DecodeSound(const path& File, uint32_t Rate, const path& Folder);

// The rate of the default MP3 format, and a frame of MP3 at it: how far a
// tone burst may move.
constexpr uint32_t Mp3SoundRate = 44100;
constexpr double Mp3FrameMs = 1152 * 1000.0 / Mp3SoundRate;

// The ffmpeg tool's input of Seconds of sound, silent but for a 1 kHz burst
// of 0.2 s At seconds in.
std::string BurstSound(int Seconds, double At);
// When the burst is first heard in File's sound, as the ffmpeg tool decodes
// it from the sound's own start: seconds after that start.
double BurstAfterSoundStart(const path& File, const path& Folder);

// Whether a file whose name holds Part is in Folder.
bool HoldsFileNamedLike(const path& Folder, const std::string& Part);

// Four seconds of tone; Arguments choose the rate, channels and bit rate.
path Mp3File(const std::string& Name, const std::string& Arguments);

std::vector<uint32_t> Timestamps(const FlvFile& File, uint8_t Type);
std::vector<uint32_t> KeyFrameTimestamps(const FlvFile& File);

// The audio tags' payloads, in order; SoundByte gets the last tag's.
std::vector<uint8_t> AudioPayloads(const FlvFile& File, uint8_t& SoundByte);

}  // namespace quorvane::test
