// The AVI file as the input: opened and probed through the AVI file
// services, and the audio codec services for whether its sound decodes.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "job/JobErrors.h"
#include "job/PictureGeometry.h"
#include "job/VideoSourceReaders.h"
#include "platform/audio/AudioCompressionManager.h"
#include "platform/avi/AviFile.h"
#include "platform/os/File.h"

namespace quorvane {

using namespace platform;

namespace {

WAVEFORMATEX FormatHeader(const std::vector<uint8_t>& Format) {
    WAVEFORMATEX Header;
    std::memcpy(&Header, Format.data(), sizeof Header);
    return Header;
}

// Why the AVI services could not open FileName, in the user's words. They
// tell only whether the file could not be opened or read, or is no AVI
// file; why it could not be opened, the system tells.
std::string OpenFailureReason(const std::string& FileName, HRESULT Result) {
    if (Result == AVIERR_BADFORMAT) {
        return "It is not an AVI file, or it is damaged.";
    }
    if (Result == AVIERR_FILEREAD) {
        return "It could not be read.";
    }
    std::error_code Error;
    TFile::OpenRegularFile(FileName, Error);
    if (Error && Error != std::errc::not_supported) {
        return Error.message() + ".";
    }
    std::error_code Ignored;
    return std::filesystem::is_directory(FileName, Ignored) ? "It is a folder."
                                                            : "It is not a regular file.";
}

// The handles of the AVI file services, each released once by its owner.
struct TReleaseFile {
    void operator()(PAVIFILE File) const { AVIFileRelease(File); }
};
struct TReleaseStream {
    void operator()(PAVISTREAM Stream) const { AVIStreamRelease(Stream); }
};
struct TCloseDecoder {
    void operator()(PGETFRAME Decoder) const { AVIStreamGetFrameClose(Decoder); }
};
using TFileHandle = std::unique_ptr<AviFile, TReleaseFile>;
using TStreamHandle = std::unique_ptr<AviStream, TReleaseStream>;
using TDecoderHandle = std::unique_ptr<AviFrameDecoder, TCloseDecoder>;

// Each use of the services is framed by AVIFileInit and AVIFileExit.
class TAviServices {
public:
    TAviServices() { AVIFileInit(); }
    ~TAviServices() { AVIFileExit(); }
    TAviServices(const TAviServices&) = delete;
    TAviServices& operator=(const TAviServices&) = delete;
};

TStreamHandle StreamOf(PAVIFILE File, FOURCC Type) {
    PAVISTREAM Stream = nullptr;
    return TStreamHandle(AVIFileGetStream(File, &Stream, Type, 0) == AVIERR_OK ? Stream : nullptr);
}

class TAviAudioTrack final : public TAudioTrack {
public:
    TAviAudioTrack(TStreamHandle Stream, std::vector<uint8_t> Stored, std::vector<uint8_t> Decoded)
        : Stream(std::move(Stream)), Stored(std::move(Stored)), Decoded(std::move(Decoded)) {}

    const std::vector<uint8_t>& StoredFormat() const override { return Stored; }
    const std::vector<uint8_t>& DecodedFormat() const override { return Decoded; }
    int32_t Start() const override { return AVIStreamStart(Stream.get()); }
    int32_t End() const override { return AVIStreamEnd(Stream.get()); }
    int32_t TimeOf(int32_t Position) const override {
        return AVIStreamSampleToTime(Stream.get(), Position);
    }
    bool Read(int32_t Position, std::span<uint8_t> Buffer, int32_t& Bytes,
              int32_t& Samples) override {
        const auto Size = static_cast<int32_t>(Buffer.size());
        return AVIStreamRead(Stream.get(), Position, SamplesPerRead(Size), Buffer.data(), Size,
                             &Bytes, &Samples) == AVIERR_OK;
    }

private:
    // Samples of no fixed size are the codec's packets, one a chunk; they are
    // read one at a time, as some codecs (Vorbis, raw AAC) can't find where a
    // packet ends in the bytes of several.
    int32_t SamplesPerRead(int32_t BufferSize) const {
        AVISTREAMINFOA Info{};
        return AVIStreamInfoA(Stream.get(), &Info, sizeof Info) == AVIERR_OK &&
                       Info.dwSampleSize == 0
                   ? 1
                   : BufferSize;
    }

    TStreamHandle Stream;
    std::vector<uint8_t> Stored;
    std::vector<uint8_t> Decoded;
};

class TAviVideoSource final : public TVideoSource {
public:
    // Afterwards Failure.Text is empty when the file can be converted.
    TAviVideoSource(const std::string& FileName, TLoadFailure& Failure);

    int32_t Start() const override { return AVIStreamStart(VideoStream.get()); }
    int32_t End() const override { return std::min(DataEnd(), FirstPastTimeLimit()); }
    int32_t TimeOf(int32_t Position) const override {
        return AVIStreamSampleToTime(VideoStream.get(), Position);
    }
    int32_t PositionAt(int32_t Time) const override {
        return AVIStreamTimeToSample(VideoStream.get(), Time);
    }
    int32_t NextPosition(int32_t Position) const override {
        return AVIStreamNextSample(VideoStream.get(), Position);
    }
    TPicture DecodeAt(int32_t Position) override {
        return AVIStreamGetFrame(Decoder.get(), Position);
    }

private:
    void SetGeometry(const TPictureGeometry& Geometry) override {
        AVIStreamSetFrameGeometry(Decoder.get(), Geometry);
    }
    void OpenVideo(const std::string& FileName, TLoadFailure& Failure);
    std::string SizeRefusal() const;
    int32_t DataEnd() const;
    int32_t FirstPastTimeLimit() const;
    uint32_t FramesBetween(int32_t From, int32_t To) const;
    void DescribeVideo();
    void ProbeAudio();
    bool ReadStoredAudioFormat(PAVISTREAM Stream, std::vector<uint8_t>& Stored) const;
    void DescribeAudio(const std::vector<uint8_t>& Stored);

    TAviServices Services;
    TFileHandle File;
    TStreamHandle VideoStream;
    TDecoderHandle Decoder;
    // Sound that can't be decoded is still held, as the file holds it.
    TStreamHandle UnusableAudio;
};

TAviVideoSource::TAviVideoSource(const std::string& FileName, TLoadFailure& Failure) {
    OpenVideo(FileName, Failure);
    if (Failure.Text.empty()) {
        DescribeVideo();
        ProbeAudio();
    }
}

void TAviVideoSource::OpenVideo(const std::string& FileName, TLoadFailure& Failure) {
    PAVIFILE Opened = nullptr;
    if (const HRESULT Result = AVIFileOpenA(&Opened, FileName.c_str(), OF_READ, nullptr);
        Result != AVIERR_OK) {
        Failure = {CannotOpenText, OpenFailureReason(FileName, Result)};
        return;
    }
    File.reset(Opened);
    VideoStream = StreamOf(File.get(), streamtypeVIDEO);
    if (!VideoStream) {
        Failure = {NoVideoText, {}};
        return;
    }
    Decoder.reset(AVIStreamGetFrameOpen(VideoStream.get(), nullptr));
    if (!Decoder) {
        Failure = {NoDecoderText, {}};
        return;
    }
    if (std::string Refusal = SizeRefusal(); !Refusal.empty()) {
        Failure = {std::move(Refusal), {}};
        return;
    }
    Failure = {TakeFirstFrame(DecodeAt(Start())), {}};
    FLeftOut.Missing = static_cast<uint32_t>(SamplesMissingFrom(VideoStream.get()));
    FLeftOut.PastTimeLimit = FramesBetween(FirstPastTimeLimit(), DataEnd());
}

// A picture larger than any that is read is refused by the size its format
// states, before one is decoded: decoding it could take gigabytes.
std::string TAviVideoSource::SizeRefusal() const {
    const int32_t Start = this->Start();
    int32_t Size = 0;
    if (AVIStreamReadFormat(VideoStream.get(), Start, nullptr, &Size) != AVIERR_OK ||
        Size < static_cast<int32_t>(sizeof(BITMAPINFOHEADER))) {
        return {};
    }
    std::vector<uint8_t> Format(static_cast<size_t>(Size));
    if (AVIStreamReadFormat(VideoStream.get(), Start, Format.data(), &Size) != AVIERR_OK) {
        return {};
    }
    BITMAPINFOHEADER Header;
    std::memcpy(&Header, Format.data(), sizeof Header);
    const int64_t Width = Header.biWidth;
    const int64_t Height = std::abs(int64_t{Header.biHeight});  // negative: rows top-down
    return Width > LargestDecodedSide || Height > LargestDecodedSide
               ? UndecodableFrameSizeText(Width, Height, LargestDecodedSide)
               : std::string();
}

int32_t TAviVideoSource::DataEnd() const {
    const int32_t HeaderEnd = AVIStreamEnd(VideoStream.get());
    const int32_t LastWithData =
        AVIStreamFindSample(VideoStream.get(), HeaderEnd - 1, FIND_PREV | FIND_ANY);
    return LastWithData < 0 ? Start() : std::min(HeaderEnd, LastWithData + 1);
}

// Sample times saturate at 2^31 - 1 ms; from the first sample timed there on
// no FLV tag can tell the frames apart. The first sample is always kept.
int32_t TAviVideoSource::FirstPastTimeLimit() const {
    const int64_t LastTimed = AVIStreamTimeToSample(VideoStream.get(), INT32_MAX - 1);
    const int64_t First = std::max(int64_t{Start()}, LastTimed) + 1;
    return static_cast<int32_t>(std::min<int64_t>(First, INT32_MAX));
}

// The samples with data in [From, To).
uint32_t TAviVideoSource::FramesBetween(int32_t From, int32_t To) const {
    uint32_t Count = 0;
    for (int32_t Position = AVIStreamFindSample(VideoStream.get(), From, FIND_NEXT | FIND_ANY);
         Position >= 0 && Position < To;
         Position = AVIStreamFindSample(VideoStream.get(), Position + 1, FIND_NEXT | FIND_ANY)) {
        ++Count;
    }
    return Count;
}

void TAviVideoSource::DescribeVideo() {
    AVISTREAMINFOA Info;
    if (AVIStreamInfoA(VideoStream.get(), &Info, sizeof Info) != AVIERR_OK) {
        return;
    }
    int64_t Width = static_cast<int64_t>(Info.rcFrame.right) - Info.rcFrame.left;
    int64_t Height = static_cast<int64_t>(Info.rcFrame.bottom) - Info.rcFrame.top;
    const RECT NoRect{};
    if (std::memcmp(&Info.rcFrame, &NoRect, sizeof NoRect) == 0) {
        // Some writers leave the frame rectangle empty: the picture tells.
        Width = FFormat.Width;
        Height = FFormat.Height;
    }
    FVideoDescription = std::to_string(Width) + "x" + std::to_string(Height) + ", " +
                        FrameRateText(Info.dwRate, Info.dwScale);
}

void TAviVideoSource::ProbeAudio() {
    TStreamHandle Stream = StreamOf(File.get(), streamtypeAUDIO);
    if (!Stream) {
        return;
    }
    FAudioDescription = UnknownAudioText;
    std::vector<uint8_t> Stored;
    if (!ReadStoredAudioFormat(Stream.get(), Stored)) {
        UnusableAudio = std::move(Stream);
        return;
    }
    FAudioDescription = UndecodableAudioText;
    std::vector<uint8_t> Decoded(sizeof(WAVEFORMATEX), 0);
    auto* DecodedHeader = reinterpret_cast<WAVEFORMATEX*>(Decoded.data());
    DecodedHeader->wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, reinterpret_cast<const WAVEFORMATEX*>(Stored.data()),
                         DecodedHeader, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        UnusableAudio = std::move(Stream);
        return;
    }
    DescribeAudio(Stored);
    FAudio =
        std::make_unique<TAviAudioTrack>(std::move(Stream), std::move(Stored), std::move(Decoded));
}

// The stored record, kept at least as long as a WAVEFORMATEX with the extra
// bytes it announces (zeros where the file stores fewer), so that whoever
// reads it as one stays within it.
bool TAviVideoSource::ReadStoredAudioFormat(PAVISTREAM Stream, std::vector<uint8_t>& Stored) const {
    const int32_t Start = AVIStreamStart(Stream);
    int32_t Size = 0;
    if (AVIStreamReadFormat(Stream, Start, nullptr, &Size) != AVIERR_OK || Size <= 0) {
        return false;
    }
    Stored.assign(static_cast<size_t>(Size), 0);
    if (AVIStreamReadFormat(Stream, Start, Stored.data(), &Size) != AVIERR_OK) {
        return false;
    }
    Stored.resize(std::max(Stored.size(), sizeof(WAVEFORMATEX)), 0);
    const size_t Announced = sizeof(WAVEFORMATEX) + FormatHeader(Stored).cbSize;
    Stored.resize(std::max(Stored.size(), Announced), 0);
    return true;
}

void TAviVideoSource::DescribeAudio(const std::vector<uint8_t>& Stored) {
    const WAVEFORMATEX Source = FormatHeader(Stored);
    FAudioDescription = ChannelsText(Source.nChannels);
    if (Source.wFormatTag == WAVE_FORMAT_PCM) {
        FAudioDescription += std::to_string(Source.wBitsPerSample) + " bits, ";
    }
    FAudioDescription += std::to_string(Source.nSamplesPerSec) + "Hz.";
    ACMFORMATTAGDETAILSA Details{};
    Details.cbStruct = sizeof Details;
    Details.dwFormatTag = Source.wFormatTag;
    if (acmFormatTagDetailsA(nullptr, &Details, ACM_FORMATTAGDETAILSF_FORMATTAG) ==
        MMSYSERR_NOERROR) {
        std::string Name(Details.szFormatTag,
                         strnlen(Details.szFormatTag, sizeof Details.szFormatTag));
        FAudioDescription = Name + ", " + FAudioDescription;
    }
}

}  // namespace

std::unique_ptr<TVideoSource> OpenAviVideoSource(const std::string& FileName,
                                                 TLoadFailure& Failure) {
    auto Source = std::make_unique<TAviVideoSource>(FileName, Failure);
    if (!Failure.Text.empty()) {
        return nullptr;
    }
    return Source;
}

}  // namespace quorvane
