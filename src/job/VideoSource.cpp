// Opening an input: an AVI file goes to the AVI file services as it always
// has, any other file to the media file services; and what both share.
#include <algorithm>
#include <cstring>

#include "job/JobErrors.h"
#include "job/PictureGeometry.h"
#include "job/VideoSourceReaders.h"
#include "platform/os/File.h"

namespace quorvane {

const char* const CannotOpenText = "Impossible to open this file.";
const char* const NoVideoText = "Impossible to find video data in this file.";
const char* const NoDecoderText =
    "Impossible to read this video. Check that the corresponding codec is installed.";
const char* const NoFirstFrameText = "Impossible to decode the first frame of this video.";
const char* const UnknownAudioText = "The video file includes audio, but its format is unknown.";
const char* const UndecodableAudioText =
    "The video file includes audio, but its format can not be decoded.";

namespace {

bool FitsFrameFormat(int32_t Side) {
    return Side > 0 && Side <= LargestDecodedSide;
}

// A RIFF file of form "AVI ". What can't be opened or read goes to the AVI
// services too, which say why as they always have.
bool IsAviFile(const std::string& FileName) {
    std::error_code Error;
    const platform::TFile File = platform::TFile::OpenRegularFile(FileName, Error);
    char Header[12] = {};
    size_t Read = 0;
    if (Error || File.ReadAt(0, Header, sizeof Header, Read)) {
        return true;
    }
    return Read == sizeof Header && std::memcmp(Header, "RIFF", 4) == 0 &&
           std::memcmp(Header + 8, "AVI ", 4) == 0;
}

}  // namespace

std::string FrameRateText(uint32_t Rate, uint32_t Scale) {
    if (Rate == 0 || Scale == 0) {
        return "unknown frame rate.";
    }
    std::string Text = std::to_string(Rate / Scale);
    if (Rate % Scale != 0) {
        uint64_t Thousandths = static_cast<uint64_t>(Rate % Scale) * 1000 / Scale;
        std::string Digits = std::to_string(1000 + Thousandths).substr(1);
        Digits.erase(Digits.find_last_not_of('0') + 1);
        Text += '.';
        Text += Digits.empty() ? "0" : Digits;
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

// A picture larger than its reader should have let through (a decoder
// making more than its stream stated) is refused here all the same. The
// copy keeps what the front end reads valid whatever the run does with the
// decoder; a larger picture's rows before it are let go.
std::string TVideoSource::TakeFirstFrame(const platform::TPicture& Frame) {
    if (!Frame) {
        // Nothing to take the frame format from.
        return NoFirstFrameText;
    }
    if (!FitsFrameFormat(Frame.Width) || !FitsFrameFormat(Frame.Height)) {
        return UndecodableFrameSizeText(Frame.Width, Frame.Height, LargestDecodedSide);
    }
    FFormat.Width = static_cast<uint16_t>(Frame.Width);
    FFormat.Height = static_cast<uint16_t>(Frame.Height);
    if (FGeometry == platform::TPictureGeometry{}) {
        FShownWidth = Frame.Width;
        FShownHeight = Frame.Height;
    }
    FFormat.BytesPerPixel = Frame.BytesPerPixel;
    FFirstFrameRows.assign(Frame.Rows, Frame.Rows + Frame.Size());
    FFirstFrameRows.shrink_to_fit();
    FFirstFrame = Frame;
    FFirstFrame.Rows = FFirstFrameRows.data();
    return {};
}

std::string TVideoSource::UseGeometry(const platform::TPictureGeometry& Wanted) {
    return UsePictureAt(Wanted, FFirstFramePosition.value_or(Start()));
}

std::string TVideoSource::UsePicture(const platform::TPictureGeometry& Wanted, int32_t RangeStart) {
    return UsePictureAt(Wanted, RangeStartPosition(RangeStart));
}

int32_t TVideoSource::RangeStartPosition(int32_t RangeStart) const {
    if (RangeStart <= 0) {
        return Start();
    }
    return std::clamp(PositionAt(RangeStart), Start(), End());
}

// The decoders keep the picture they decoded last before its conversion: a
// geometry of its own converts it again, without decoding it anew.
std::string TVideoSource::UsePictureAt(const platform::TPictureGeometry& Wanted, int32_t Position) {
    if (std::string Problem = PictureGeometryProblem(Wanted, FShownWidth, FShownHeight);
        !Problem.empty()) {
        return Problem;
    }
    const platform::TPictureGeometry Geometry = ResolvedGeometry(Wanted, FShownWidth, FShownHeight);
    if (Geometry == FGeometry && Position == FFirstFramePosition.value_or(Start())) {
        return {};
    }
    if (Geometry != FGeometry) {
        FGeometry = Geometry;
        SetGeometry(Geometry);
    }
    FFirstFramePosition = Position;
    return TakeFirstFrame(DecodeAt(Position));
}

std::unique_ptr<TVideoSource> OpenVideoSource(const std::string& FileName, TLoadFailure& Failure) {
    Failure = {};
    return IsAviFile(FileName) ? OpenAviVideoSource(FileName, Failure)
                               : OpenMediaVideoSource(FileName, Failure);
}

}  // namespace quorvane
