// Opening and probing the input: the video stream and its first frame, the
// audio stream and whether it can be decoded, and their descriptions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "job/ScreenVideoEncoderThread.h"
#include "platform/AudioCompressionManager.h"

namespace quorvane {

using namespace platform;

namespace {

const char* const CannotOpenText = "Impossible to open this file.";
const char* const NoVideoText = "Impossible to find video data in this file.";
const char* const NoDecoderText =
    "Impossible to read this video. Check that the corresponding codec is installed.";
const char* const NoFirstFrameText = "Impossible to decode the first frame of this video.";
const char* const UnknownAudioText = "The video file includes audio, but its format is unknown.";
const char* const UndecodableAudioText =
    "The video file includes audio, but its format can not be decoded.";

// Up to three decimals, cut rather than rounded, without trailing zeros:
// 30000/1001 gives "29.97 fps.".
std::string FrameRateText(uint32_t Rate, uint32_t Scale) {
    if (Rate == 0 || Scale == 0) {
        return "unknown frame rate.";
    }
    std::string Text = std::to_string(Rate / Scale);
    if (Rate % Scale != 0) {
        uint64_t Thousandths = static_cast<uint64_t>(Rate % Scale) * 1000 / Scale;
        std::string Digits = std::to_string(1000 + Thousandths).substr(1);
        Digits.erase(Digits.find_last_not_of('0') + 1);
        Text += "." + (Digits.empty() ? std::string("0") : Digits);
    }
    return Text + " fps.";
}

std::string ChannelsText(uint16_t Channels) {
    switch (Channels) {
        case 0:
            return "";
        case 1:
            return "Mono ";
        case 2:
            return "Stereo ";
        default:
            return std::to_string(Channels) + " channels ";
    }
}

BITMAPINFOHEADER BitmapHeaderOf(const void* Frame) {
    BITMAPINFOHEADER Header;
    std::memcpy(&Header, Frame, sizeof Header);
    return Header;
}

bool FitsFrameFormat(int32_t Side) {
    return Side > 0 && Side <= UINT16_MAX;
}

std::string FrameSizeText(const void* Frame) {
    const BITMAPINFOHEADER Header = BitmapHeaderOf(Frame);
    return UnsupportedFrameSizeText(Header.biWidth, Header.biHeight);
}

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
    const int Descriptor = open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Descriptor < 0) {
        return std::string(std::strerror(errno)) + ".";
    }
    struct stat Status {};
    const bool Folder = fstat(Descriptor, &Status) == 0 && S_ISDIR(Status.st_mode);
    close(Descriptor);
    return Folder ? "It is a folder." : "It is not a regular file.";
}

}  // namespace

void TAVIToScreenVideoThread::LoadVideoFile(const std::string& FileName) {
    if (FState != NoSourceOpen) {
        CloseVideoFile();
    }
    InputFileName = FileName;
    FVideoFound = false;
    FAudioUsable = false;
    FErrorReason.clear();
    AVIFileInit();
    if (const HRESULT Opened = AVIFileOpenA(&AviFile, FileName.c_str(), OF_READ, nullptr);
        Opened != AVIERR_OK) {
        AbandonLoad(CannotOpenText);
        FErrorReason = OpenFailureReason(FileName, Opened);
        return;
    }
    if (AVIFileGetStream(AviFile, &VideoStream, streamtypeVIDEO, 0) != AVIERR_OK) {
        AbandonLoad(NoVideoText);
        return;
    }
    FrameDecoder = AVIStreamGetFrameOpen(VideoStream, nullptr);
    if (!FrameDecoder) {
        AbandonLoad(NoDecoderText);
        return;
    }
    FCurrentFrame = AVIStreamGetFrame(FrameDecoder, AVIStreamStart(VideoStream));
    if (!FCurrentFrame) {
        // Nothing to take the frame format from.
        AbandonLoad(NoFirstFrameText);
        return;
    }
    if (!TakeFrameFormat()) {
        AbandonLoad(FrameSizeText(FCurrentFrame));
        return;
    }
    KeepFirstFrame();
    FVideoFound = true;
    FState = SourceOpen;
    FVideoDescription.clear();
    DescribeVideo();
    ProbeAudio();
}

// A failed load keeps nothing: whatever was opened so far is released.
void TAVIToScreenVideoThread::AbandonLoad(const std::string& Reason) {
    FErrorText = Reason;
    AVIStreamGetFrameClose(FrameDecoder);
    FrameDecoder = nullptr;
    FCurrentFrame = nullptr;
    FirstFrame.clear();
    AVIStreamRelease(VideoStream);
    VideoStream = nullptr;
    AVIFileRelease(AviFile);
    AviFile = nullptr;
    AVIFileExit();
}

// A side beyond the format's 16 bits would wrap to another size, to which
// no decoded frame would then match.
bool TAVIToScreenVideoThread::TakeFrameFormat() {
    const BITMAPINFOHEADER Header = BitmapHeaderOf(FCurrentFrame);
    if (!FitsFrameFormat(Header.biWidth) || !FitsFrameFormat(Header.biHeight)) {
        return false;
    }
    FFrameFormat.Width = static_cast<uint16_t>(Header.biWidth);
    FFrameFormat.Height = static_cast<uint16_t>(Header.biHeight);
    FFrameFormat.BytesPerPixel = static_cast<uint8_t>(Header.biBitCount / 8);
    return true;
}

// A copy, so that what the front end reads stays valid whatever the run
// does with the decoder.
void TAVIToScreenVideoThread::KeepFirstFrame() {
    const BITMAPINFOHEADER Header = BitmapHeaderOf(FCurrentFrame);
    const size_t RowBytes = (static_cast<size_t>(Header.biWidth) * Header.biBitCount + 31) / 32 * 4;
    const size_t Bytes = sizeof Header + RowBytes * static_cast<size_t>(Header.biHeight);
    const auto* Frame = static_cast<const uint8_t*>(FCurrentFrame);
    FirstFrame.assign(Frame, Frame + Bytes);
}

void TAVIToScreenVideoThread::CloseVideoFile() {
    if (FVideoFound) {
        AVIStreamGetFrameClose(FrameDecoder);
        AVIStreamRelease(VideoStream);
    }
    FrameDecoder = nullptr;
    FCurrentFrame = nullptr;
    VideoStream = nullptr;
    FirstFrame.clear();
    if (AudioStream) {
        AVIStreamRelease(AudioStream);
        AudioStream = nullptr;
    }
    SourceAudioFormat.clear();
    DecodedAudioFormat.clear();
    AVIFileRelease(AviFile);
    AviFile = nullptr;
    AVIFileExit();
    FState = NoSourceOpen;
}

void TAVIToScreenVideoThread::DescribeVideo() {
    AVISTREAMINFOA Info;
    if (AVIStreamInfoA(VideoStream, &Info, sizeof Info) != AVIERR_OK) {
        return;
    }
    int64_t Width = static_cast<int64_t>(Info.rcFrame.right) - Info.rcFrame.left;
    int64_t Height = static_cast<int64_t>(Info.rcFrame.bottom) - Info.rcFrame.top;
    const RECT NoRect{};
    if (std::memcmp(&Info.rcFrame, &NoRect, sizeof NoRect) == 0) {
        // Some writers leave the frame rectangle empty: the picture tells.
        Width = FFrameFormat.Width;
        Height = FFrameFormat.Height;
    }
    FVideoDescription = std::to_string(Width) + "x" + std::to_string(Height) + ", " +
                        FrameRateText(Info.dwRate, Info.dwScale);
}

void TAVIToScreenVideoThread::ProbeAudio() {
    if (AVIFileGetStream(AviFile, &AudioStream, streamtypeAUDIO, 0) != AVIERR_OK) {
        return;
    }
    FAudioDescription = UnknownAudioText;
    if (!ReadSourceAudioFormat()) {
        return;
    }
    FAudioDescription = UndecodableAudioText;
    DecodedAudioFormat.assign(sizeof(WAVEFORMATEX), 0);
    WAVEFORMATEX* Decoded = reinterpret_cast<WAVEFORMATEX*>(DecodedAudioFormat.data());
    Decoded->wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, reinterpret_cast<const WAVEFORMATEX*>(SourceAudioFormat.data()),
                         Decoded, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        return;
    }
    FAudioUsable = true;
    DescribeAudio();
}

// The stored record, kept at least as long as a WAVEFORMATEX with the extra
// bytes it announces (zeros where the file stores fewer), so that whoever
// reads it as one stays within it.
bool TAVIToScreenVideoThread::ReadSourceAudioFormat() {
    int32_t Start = AVIStreamStart(AudioStream);
    int32_t Size = 0;
    if (AVIStreamReadFormat(AudioStream, Start, nullptr, &Size) != AVIERR_OK || Size <= 0) {
        return false;
    }
    SourceAudioFormat.assign(static_cast<size_t>(Size), 0);
    if (AVIStreamReadFormat(AudioStream, Start, SourceAudioFormat.data(), &Size) != AVIERR_OK) {
        return false;
    }
    SourceAudioFormat.resize(std::max(SourceAudioFormat.size(), sizeof(WAVEFORMATEX)), 0);
    size_t Announced = sizeof(WAVEFORMATEX) + FormatHeader(SourceAudioFormat).cbSize;
    SourceAudioFormat.resize(std::max(SourceAudioFormat.size(), Announced), 0);
    return true;
}

void TAVIToScreenVideoThread::DescribeAudio() {
    WAVEFORMATEX Source = FormatHeader(SourceAudioFormat);
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

}  // namespace quorvane
