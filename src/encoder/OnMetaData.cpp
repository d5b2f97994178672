#include "encoder/OnMetaData.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "encoder/Amf0Writer.h"
#include "encoder/FlvLayout.h"

namespace quorvane {

using namespace flv;

namespace {

using TNumberPairs = std::vector<std::pair<const char*, double>>;

// Computed as flvmeta computes them, so that its check and players read the
// same figures: data rates in kilobits of 1024 bits over the tags' data less
// their first byte; the frame rate counts video tags. The duration lasts to
// the end of what is shown last: the last audio frame (its tag's time and
// one frame's length), or the last picture, whose own length only the
// writer knows.
double DurationSeconds(const TFlvFileSummary& Summary, uint32_t VideoEnd) {
    uint64_t End = std::max(Summary.LastTagTime, VideoEnd);
    if (Summary.Audio.Tags > 0) {
        End =
            std::max<uint64_t>(End, uint64_t{Summary.Audio.LastTime} + Summary.Audio.FrameInterval);
    }
    return static_cast<double>(End - Summary.FirstTagTime) / 1000.0;
}

double PerSecond(double Amount, double Seconds) {
    return Seconds > 0 ? Amount / Seconds : 0;
}

double Kilobits(uint64_t Bytes) {
    return static_cast<double>(Bytes) * 8 / 1024;
}

double AudioSampleRate(uint8_t SoundByte) {
    constexpr double Rates[4] = {5512.5, 11025, 22050, 44100};
    return Rates[(SoundByte >> 2) & 0x03];
}

void AppendVideoNumbers(const TFlvFileSummary& Summary, double Duration, TNumberPairs& Pairs) {
    const TFlvStreamSummary& Video = Summary.Video;
    Pairs.insert(Pairs.end(),
                 {{"width", static_cast<double>(Summary.Width)},
                  {"height", static_cast<double>(Summary.Height)},
                  {"framerate", PerSecond(Video.Tags, Duration)},
                  {"videocodecid", static_cast<double>(Video.FirstDataByte & 0x0F)},
                  {"videodatarate", PerSecond(Kilobits(Video.PayloadBytes), Duration)}});
}

void AppendAudioNumbers(const TFlvFileSummary& Summary, double Duration, TNumberPairs& Pairs) {
    const uint8_t SoundByte = Summary.Audio.FirstDataByte;
    Pairs.insert(Pairs.end(),
                 {{"audiocodecid", static_cast<double>(SoundByte >> 4)},
                  {"audiosamplerate", AudioSampleRate(SoundByte)},
                  {"audiosamplesize", (SoundByte & 0x02) != 0 ? 16.0 : 8.0},
                  {"audiodatarate", PerSecond(Kilobits(Summary.Audio.PayloadBytes), Duration)}});
}

// Times in seconds; positions of the tags' first bytes once a tag of
// TagSize bytes stands before them.
void WriteKeyFrames(const TFlvFileSummary& Summary, uint64_t TagSize, TAmf0Writer& Amf) {
    std::vector<double> Times;
    std::vector<double> Positions;
    for (const TFlvKeyFrame& KeyFrame : Summary.KeyFrames) {
        Times.push_back(KeyFrame.Time / 1000.0);
        Positions.push_back(static_cast<double>(KeyFrame.Position + TagSize));
    }
    Amf.Key("keyframes");
    Amf.BeginObject();
    Amf.Key("times");
    Amf.StrictArray(Times);
    Amf.Key("filepositions");
    Amf.StrictArray(Positions);
    Amf.EndObject();
}

// The tag's data: the name and the array, for a tag of TagSize bytes.
std::vector<uint8_t> MetaDataBody(const TFlvFileSummary& Summary, uint32_t VideoEnd,
                                  uint64_t TagSize) {
    const bool HasVideo = Summary.Video.Tags > 0;
    const bool HasAudio = Summary.Audio.Tags > 0;
    const double Duration = DurationSeconds(Summary, VideoEnd);
    TNumberPairs Numbers = {{"duration", Duration}};
    if (HasVideo) {
        AppendVideoNumbers(Summary, Duration, Numbers);
    }
    if (HasAudio) {
        AppendAudioNumbers(Summary, Duration, Numbers);
    }
    Numbers.emplace_back("filesize", static_cast<double>(Summary.FileSize + TagSize));

    TAmf0Writer Amf;
    Amf.String("onMetaData");
    Amf.BeginEcmaArray(static_cast<uint32_t>(Numbers.size()) + HasAudio + HasVideo);
    for (const auto& [Name, Value] : Numbers) {
        Amf.Key(Name);
        Amf.Number(Value);
    }
    if (HasAudio) {
        Amf.Key("stereo");
        Amf.Boolean((Summary.Audio.FirstDataByte & 0x01) != 0);
    }
    if (HasVideo) {
        WriteKeyFrames(Summary, TagSize, Amf);
    }
    Amf.EndObject();
    return Amf.Bytes();
}

}  // namespace

std::vector<uint8_t> BuildOnMetaDataTag(const TFlvFileSummary& Summary, uint32_t VideoEnd) {
    // Every value is a number of fixed size, so the size does not depend on them.
    const uint64_t DataSize = MetaDataBody(Summary, VideoEnd, 0).size();
    if (DataSize > LargestTagDataSize) {
        throw std::length_error("the key frame index does not fit an FLV tag");
    }
    const std::vector<uint8_t> Body =
        MetaDataBody(Summary, VideoEnd, TagHeaderSize + DataSize + TagSizeFieldSize);

    const auto Header = TagHeader(ScriptTagType, static_cast<uint32_t>(DataSize), 0);
    const auto SizeField = TagSizeField(static_cast<uint32_t>(DataSize));
    std::vector<uint8_t> Bytes(Header.size() + Body.size() + SizeField.size());
    const auto BodyStart = std::copy(Header.begin(), Header.end(), Bytes.begin());
    std::copy(SizeField.begin(), SizeField.end(), std::copy(Body.begin(), Body.end(), BodyStart));
    return Bytes;
}

}  // namespace quorvane
