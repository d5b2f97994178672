// A video file other than AVI as the input, through the media file
// services: positions are the frames in presentation order, each at its
// own time; the sound is handed to the audio pass as the PCM it decodes to.
#include <algorithm>
#include <cmath>

#include "job/JobErrors.h"
#include "job/PictureGeometry.h"
#include "job/VideoSourceReaders.h"
#include "platform/media/MediaFile.h"
#include "platform/types/WinTypes.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const NotAVideoFileReason = "It is not a video file, or it is damaged.";
const char* const UnreadableReason = "It could not be read.";

int32_t Saturated(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

uint32_t Counted(size_t Count) {
    return static_cast<uint32_t>(std::min<size_t>(Count, UINT32_MAX));
}

TLoadFailure FailureOf(const TMediaOpenFailure& Failure) {
    switch (Failure.Error) {
        case TMediaOpenError::TooLarge:
            return {UndecodableFrameSizeText(Failure.Width, Failure.Height, LargestDecodedSide),
                    {}};
        case TMediaOpenError::NotAVideoFile:
            return {CannotOpenText, NotAVideoFileReason};
        case TMediaOpenError::Unreadable:
            return {CannotOpenText, UnreadableReason};
        case TMediaOpenError::NoVideo:
            return {NoVideoText, {}};
        case TMediaOpenError::NoDecoder:
            return {NoDecoderText, {}};
        default:
            return {NoFirstFrameText, {}};
    }
}

// 16-bit PCM at the sound's own rate and channels.
std::vector<uint8_t> PcmFormat(uint32_t Rate, uint16_t Channels) {
    WAVEFORMATEX Format{};
    Format.wFormatTag = WAVE_FORMAT_PCM;
    Format.nChannels = Channels;
    Format.nSamplesPerSec = Rate;
    Format.wBitsPerSample = 16;
    Format.nBlockAlign = static_cast<uint16_t>(Channels * 2);
    Format.nAvgBytesPerSec = Rate * Format.nBlockAlign;
    const auto* Bytes = reinterpret_cast<const uint8_t*>(&Format);
    return {Bytes, Bytes + sizeof Format};
}

// The sound as decoded PCM, read in order from its first sample frame on.
class TMediaAudioTrack final : public TAudioTrack {
public:
    TMediaAudioTrack(std::unique_ptr<TMediaAudioReader> Sound, const TMediaAudio& Audio)
        : Reader(std::move(Sound)),
          Format(PcmFormat(Audio.Rate, Audio.Channels)),
          Rate(Audio.Rate),
          FrameBytes(size_t{Audio.Channels} * 2) {}

    // The decoding is done by the media file services; the chain's first
    // stage takes PCM as it is.
    const std::vector<uint8_t>& StoredFormat() const override { return Format; }
    const std::vector<uint8_t>& DecodedFormat() const override { return Format; }
    int32_t Start() const override { return Saturated(Reader->Start()); }
    // A guess from the file's headers until the sound's end has been read.
    int32_t End() const override { return Saturated(Reader->EstimatedEnd()); }
    int32_t TimeOf(int32_t Position) const override {
        return Saturated(int64_t{Position} * 1000 / Rate);
    }
    // The sound is read once, in order: only the next position can be read.
    bool Read(int32_t Position, std::span<uint8_t> Buffer, int32_t& Bytes,
              int32_t& Samples) override {
        Bytes = Samples = 0;
        if (Position != Reader->Position()) {
            return false;
        }
        const size_t Frames =
            Reader->Read(reinterpret_cast<int16_t*>(Buffer.data()), Buffer.size() / FrameBytes);
        Samples = static_cast<int32_t>(Frames);
        Bytes = static_cast<int32_t>(Frames * FrameBytes);
        return true;
    }

private:
    std::unique_ptr<TMediaAudioReader> Reader;
    std::vector<uint8_t> Format;
    uint32_t Rate;
    size_t FrameBytes;
};

class TMediaVideoSource final : public TVideoSource {
public:
    // Afterwards Failure.Text is empty when the file can be converted.
    TMediaVideoSource(std::unique_ptr<TMediaFile> File, TLoadFailure& Failure);

    int32_t Start() const override { return 0; }
    int32_t End() const override { return static_cast<int32_t>(Times.size()); }
    int32_t TimeOf(int32_t Position) const override {
        if (Position < 0) {
            return -1;
        }
        return Position < End() ? Times[static_cast<size_t>(Position)] : File->EndTime();
    }
    // The frame shown at Time; past the last one's end, the end.
    int32_t PositionAt(int32_t Time) const override {
        if (Time >= File->EndTime()) {
            return End();
        }
        const auto After = std::upper_bound(Times.begin(), Times.end(), Time);
        return After == Times.begin() ? 0 : static_cast<int32_t>(After - Times.begin() - 1);
    }
    int32_t NextPosition(int32_t Position) const override {
        return Position + 1 < End() ? std::max(Position + 1, 0) : -1;
    }
    TPicture DecodeAt(int32_t Position) override {
        return Position >= 0 && Position < End() ? File->Picture(static_cast<size_t>(Position))
                                                 : TPicture{};
    }

private:
    void SetGeometry(const TPictureGeometry& Geometry) override {
        File->SetPictureGeometry(Geometry);
    }
    void DescribeVideo();
    void DescribeAudio();

    std::unique_ptr<TMediaFile> File;
    const std::vector<int32_t>& Times;
};

TMediaVideoSource::TMediaVideoSource(std::unique_ptr<TMediaFile> Opened, TLoadFailure& Failure)
    : File(std::move(Opened)), Times(File->FrameTimes()) {
    Failure = {TakeFirstFrame(File->Picture(0)), {}};
    FLeftOut.PastTimeLimit = Counted(File->FramesPastTimeLimit());
    FLeftOut.GoingBack = Counted(File->FramesGoingBack());
    if (Failure.Text.empty()) {
        DescribeVideo();
        DescribeAudio();
    }
}

// "H.264, 1920x1080, 30 fps."; a variable rate says so, with its average:
// "VP9, 1280x720, variable frame rate, 12.5 fps on average."; an average
// below a thousandth of a frame a second (a few frames days apart) is not
// told.
void TMediaVideoSource::DescribeVideo() {
    const TMediaVideo& Video = File->Video();
    const auto Average = static_cast<uint32_t>(
        std::lround(std::clamp(Video.AverageRate * 1000, 0.0, double{UINT32_MAX})));
    std::string Rate = Video.RateNumerator != 0 && Video.RateDenominator != 0
                           ? FrameRateText(Video.RateNumerator, Video.RateDenominator)
                           : FrameRateText(Average, 1000);
    if (Video.VariableRate) {
        Rate = "variable frame rate.";
        if (Average != 0) {
            Rate = "variable frame rate, " + FrameRateText(Average, 1000);
            Rate.insert(Rate.size() - 1, " on average");
        }
    }
    FVideoDescription = (Video.Codec.empty() ? "" : Video.Codec + ", ") +
                        std::to_string(Video.Width) + "x" + std::to_string(Video.Height) +
                        (Video.Hdr ? " HDR" : "") + ", " + Rate;
}

// As an AVI file's, "AAC, Stereo 48000Hz.", naming the track when the file
// has several: "Opus, Stereo 48000Hz, track 2 of 3."
void TMediaVideoSource::DescribeAudio() {
    const std::optional<TMediaAudio>& Audio = File->Audio();
    if (!Audio) {
        return;
    }
    if (Audio->Codec.empty()) {
        FAudioDescription = UnknownAudioText;
        return;
    }
    if (!Audio->Decodable) {
        FAudioDescription = UndecodableAudioText;
        return;
    }
    FAudioDescription = Audio->Codec + ", " + ChannelsText(Audio->Channels);
    if (Audio->BitsPerSample != 0) {
        FAudioDescription += std::to_string(Audio->BitsPerSample) + " bits, ";
    }
    FAudioDescription += std::to_string(Audio->Rate) + "Hz";
    if (Audio->Tracks > 1) {
        FAudioDescription +=
            ", track " + std::to_string(Audio->Track) + " of " + std::to_string(Audio->Tracks);
    }
    FAudioDescription += ".";
    FAudio = std::make_unique<TMediaAudioTrack>(File->TakeAudio(), *Audio);
}

}  // namespace

std::unique_ptr<TVideoSource> OpenMediaVideoSource(const std::string& FileName,
                                                   TLoadFailure& Failure) {
    TMediaOpenFailure OpenFailure;
    std::unique_ptr<TMediaFile> File = TMediaFile::Open(FileName, LargestDecodedSide, OpenFailure);
    if (!File) {
        Failure = FailureOf(OpenFailure);
        return nullptr;
    }
    auto Source = std::make_unique<TMediaVideoSource>(std::move(File), Failure);
    if (!Failure.Text.empty()) {
        return nullptr;
    }
    return Source;
}

}  // namespace quorvane
