#include "cli/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "cli/Mp3FormatChoice.h"
#include "job/FrontEndTexts.h"
#include "job/Mp3FileCheck.h"
#include "job/TimeTexts.h"

namespace quorvane::cli {

namespace {

bool AllDigits(const std::string& Text) {
    return !Text.empty() &&
           std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; });
}

// Like the window's edits, numbers take digits only; they must fit the
// signed 32 bits that the window's conversion of its edits allows.
int32_t NumberValue(const std::string& Option, const std::string& Value) {
    int32_t Number = 0;
    const auto [End, Error] = std::from_chars(Value.data(), Value.data() + Value.size(), Number);
    if (!AllDigits(Value) || Error != std::errc()) {
        throw EUsageError(Option + " takes a whole number from 0 to 2147483647, not '" + Value +
                          "'");
    }
    return Number;
}

std::vector<std::string> Split(const std::string& Text, char Separator) {
    std::vector<std::string> Parts(1);
    for (char C : Text) {
        if (C == Separator) {
            Parts.emplace_back();
        } else {
            Parts.back() += C;
        }
    }
    return Parts;
}

int32_t TimeValue(const std::string& Option, const std::string& Value) {
    const std::optional<int32_t> Time = TimeFromText(Value);
    if (!Time) {
        throw EUsageError(Option + " takes a time in seconds or [HH:]MM:SS[.mmm], not '" + Value +
                          "'");
    }
    return *Time;
}

uint32_t BlockSide(const std::string& Option, const std::string& Text) {
    if (!AllDigits(Text) || Text.size() > 3) {
        throw EUsageError(Option + " takes sizes of 16 to 256 pixels in steps of 16");
    }
    const int Pixels = std::stoi(Text);
    if (Pixels < 16 || Pixels > 256 || Pixels % 16 != 0) {
        throw EUsageError(Option + " takes sizes of 16 to 256 pixels in steps of 16, not " + Text);
    }
    return static_cast<uint32_t>(Pixels);
}

// A side of a picture: 1 to 4095 pixels, the most a picture here can have.
std::optional<int32_t> PictureSide(const std::string& Text) {
    if (!AllDigits(Text) || Text.size() > 4) {
        return std::nullopt;
    }
    const int32_t Pixels = std::stoi(Text);
    return Pixels >= 1 && Pixels <= 4095 ? std::optional(Pixels) : std::nullopt;
}

// W:H:X:Y, as ffmpeg's crop filter counts: a part of at least a pixel that
// could lie within the largest picture read. Whether it fits this file's
// picture, and the FLV's 4095 without a --size, is told once it is loaded.
platform::TPictureRect CropValue(const std::string& Value) {
    const std::vector<std::string> Parts = Split(Value, ':');
    const auto Refused = [&](const std::string& Why) {
        return EUsageError("--crop takes WIDTH:HEIGHT:X:Y in pixels, " + Why + ", not '" + Value +
                           "'");
    };
    if (Parts.size() != 4 || !std::all_of(Parts.begin(), Parts.end(), [](const std::string& Part) {
            return AllDigits(Part) && Part.size() <= 4;
        })) {
        throw Refused("for example 1280:720:0:0 (X, Y from the top left corner)");
    }
    const platform::TPictureRect Crop{std::stoi(Parts[0]), std::stoi(Parts[1]), std::stoi(Parts[2]),
                                      std::stoi(Parts[3])};
    constexpr int32_t Largest = LargestDecodedSide;
    if (Crop.Width < 1 || Crop.Height < 1 || Crop.X + Crop.Width > Largest ||
        Crop.Y + Crop.Height > Largest) {
        throw Refused("within a picture of at most " + std::to_string(Largest) + "x" +
                      std::to_string(Largest));
    }
    return Crop;
}

class TParser {
public:
    explicit TParser(const std::vector<std::string>& Arguments) : Arguments(Arguments) {}

    TCliOptions Parse();

private:
    std::string TakeValue(const std::string& Option);
    void ApplyOption(const std::string& Option);
    void ApplyMode(const std::string& Value);
    void ApplyAudio(const std::string& Value);
    void ApplyColors(const std::string& Value);
    void ApplyBlock(const std::string& Value);
    void ApplyTolerance(const std::string& Value);
    void ApplySize(const std::string& Value);
    void ApplyThreads(const std::string& Value);
    void ApplyDeflate(const std::string& Value);
    void SetModeFromOptions();
    void CheckRange() const;

    const std::vector<std::string>& Arguments;
    size_t Next = 0;
    std::optional<std::string> InlineValue;  // the part after '=' of --option=value
    TCliOptions Result;
    std::optional<std::string> Mode;
    bool BitrateOptionGiven = false;
    bool QualityOptionGiven = false;
};

TCliOptions TParser::Parse() {
    std::vector<std::string> Files;
    bool OptionsEnded = false;
    while (Next < Arguments.size()) {
        std::string Argument = Arguments[Next++];
        if (OptionsEnded || Argument.size() < 2 || Argument.rfind("--", 0) != 0) {
            Files.push_back(Argument);
            continue;
        }
        if (Argument == "--") {
            OptionsEnded = true;
            continue;
        }
        InlineValue.reset();
        if (const auto Equals = Argument.find('='); Equals != std::string::npos) {
            InlineValue = Argument.substr(Equals + 1);
            Argument.resize(Equals);
        }
        ApplyOption(Argument);
    }
    if (Result.ShowHelp || Result.ShowVersion || Result.ListMp3Formats) {
        return Result;
    }
    if (Result.OutputFolder) {
        if (Files.empty()) {
            throw EUsageError("expected the INPUT files to convert into " + *Result.OutputFolder);
        }
        Result.InputFileNames = Files;
    } else if (Files.size() != 2) {
        throw EUsageError("expected INPUT and OUTPUT.flv, or INPUT... --output-dir DIR");
    } else {
        Result.InputFileName = Files[0];
        Result.OutputFileName = Files[1];
    }
    SetModeFromOptions();
    CheckRange();
    return Result;
}

// Whatever the input: a range that ends before it starts holds nothing.
void TParser::CheckRange() const {
    const TRangeSettings& Range = Result.Settings.Range;
    if (Range.End && *Range.End <= Range.Start) {
        throw EUsageError("--end (" + TimeText(*Range.End) + ") must come after --start (" +
                          TimeText(Range.Start) + ")");
    }
}

std::string TParser::TakeValue(const std::string& Option) {
    if (InlineValue) {
        return *InlineValue;
    }
    if (Next >= Arguments.size()) {
        throw EUsageError(Option + " needs a value");
    }
    return Arguments[Next++];
}

void TParser::ApplyOption(const std::string& Option) {
    TJobSettings& Settings = Result.Settings;
    const std::map<std::string, bool*> Switches = {
        {"--help", &Result.ShowHelp},
        {"--version", &Result.ShowVersion},
        {"--list-mp3-formats", &Result.ListMp3Formats},
        {"--quiet", &Result.Quiet},
        {"--metadata", &Settings.AddMetadata},
    };
    if (const auto Switch = Switches.find(Option); Switch != Switches.end()) {
        if (InlineValue) {
            throw EUsageError(Option + " takes no value");
        }
        *Switch->second = true;
    } else if (Option == "--yes" || Option == "--no") {
        if (Result.Answer && *Result.Answer != (Option == "--yes")) {
            throw EUsageError("--yes and --no exclude each other");
        }
        Result.Answer = Option == "--yes";
    } else if (Option == "--mode") {
        ApplyMode(TakeValue(Option));
    } else if (Option == "--bitrate") {
        Settings.Encoder.BitRate = NumberValue(Option, TakeValue(Option));
        BitrateOptionGiven = true;
    } else if (Option == "--tolerance") {
        ApplyTolerance(TakeValue(Option));
    } else if (Option == "--block-tolerance") {
        Settings.Encoder.BlockTolerance = ClampTo8Bits(NumberValue(Option, TakeValue(Option)));
        QualityOptionGiven = true;
    } else if (Option == "--keyframe-interval") {
        Settings.KeyFrameInterval = NumberValue(Option, TakeValue(Option));
    } else if (Option == "--start") {
        Settings.Range.Start = TimeValue(Option, TakeValue(Option));
    } else if (Option == "--end") {
        Settings.Range.End = TimeValue(Option, TakeValue(Option));
    } else if (Option == "--fps-limit") {
        Settings.FrameRateLimit = ClampTo8Bits(NumberValue(Option, TakeValue(Option)));
    } else if (Option == "--colors") {
        ApplyColors(TakeValue(Option));
    } else if (Option == "--block") {
        ApplyBlock(TakeValue(Option));
    } else if (Option == "--crop") {
        Settings.Picture.Crop = CropValue(TakeValue(Option));
    } else if (Option == "--size") {
        ApplySize(TakeValue(Option));
    } else if (Option == "--audio") {
        ApplyAudio(TakeValue(Option));
    } else if (Option == "--output-dir") {
        Result.OutputFolder = TakeValue(Option);
        if (Result.OutputFolder->empty()) {
            throw EUsageError("--output-dir needs a folder");
        }
    } else if (Option == "--deflate") {
        ApplyDeflate(TakeValue(Option));
    } else if (Option == "--threads") {
        ApplyThreads(TakeValue(Option));
    } else if (Option == "--mp3-format") {
        Result.Mp3FormatIndex = TakeValue(Option);
        if (!AllDigits(*Result.Mp3FormatIndex)) {
            throw EUsageError("--mp3-format takes an index of --list-mp3-formats, not '" +
                              *Result.Mp3FormatIndex + "'");
        }
    } else {
        throw EUsageError("unknown option " + Option);
    }
}

void TParser::ApplyMode(const std::string& Value) {
    if (Value != "lossless" && Value != "bitrate" && Value != "quality") {
        throw EUsageError("--mode is lossless, bitrate or quality, not '" + Value + "'");
    }
    Mode = Value;
}

void TParser::ApplyTolerance(const std::string& Value) {
    const std::vector<std::string> Parts = Split(Value, ',');
    if (Parts.size() != 3) {
        throw EUsageError("--tolerance takes three percentages R,G,B, not '" + Value + "'");
    }
    EncoderParameters& Encoder = Result.Settings.Encoder;
    Encoder.RedTolerance = ToleranceFromPercent(NumberValue("--tolerance", Parts[0]));
    Encoder.GreenTolerance = ToleranceFromPercent(NumberValue("--tolerance", Parts[1]));
    Encoder.BlueTolerance = ToleranceFromPercent(NumberValue("--tolerance", Parts[2]));
    QualityOptionGiven = true;
}

void TParser::ApplyColors(const std::string& Value) {
    const std::vector<std::string> Items = {"19k", "2k", "304"};
    const auto Item = std::find(Items.begin(), Items.end(), Value);
    if (Item == Items.end()) {
        throw EUsageError("--colors is 19k, 2k or 304, not '" + Value + "'");
    }
    Result.Settings.Encoder.ColorShift = ColorShifts[Item - Items.begin()];
}

void TParser::ApplyBlock(const std::string& Value) {
    const std::vector<std::string> Sides = Split(Value, 'x');
    if (Sides.size() != 2) {
        throw EUsageError("--block takes WIDTHxHEIGHT, for example 64x32, not '" + Value + "'");
    }
    Result.Settings.Encoder.BlockWidth = BlockSide("--block", Sides[0]);
    Result.Settings.Encoder.BlockHeight = BlockSide("--block", Sides[1]);
}

// WxH, or a side left out to keep the aspect: 1280x, x720.
void TParser::ApplySize(const std::string& Value) {
    const std::vector<std::string> Sides = Split(Value, 'x');
    const auto Side = [](const std::string& Text) {
        return Text.empty() ? std::optional(0) : PictureSide(Text);
    };
    if (Sides.size() != 2 || (Sides[0].empty() && Sides[1].empty()) || !Side(Sides[0]) ||
        !Side(Sides[1])) {
        throw EUsageError(
            "--size takes WIDTHxHEIGHT of 1 to 4095 pixels, a side left out keeping the aspect "
            "(1280x), not '" +
            Value + "'");
    }
    Result.Settings.Picture.Width = *Side(Sides[0]);
    Result.Settings.Picture.Height = *Side(Sides[1]);
}

void TParser::ApplyThreads(const std::string& Value) {
    if (!AllDigits(Value) || Value.size() > 3 || std::stoi(Value) < 1) {
        throw EUsageError("--threads takes a number of threads from 1 to 999, not '" + Value + "'");
    }
    Result.Settings.Engine.Threads = static_cast<unsigned>(std::stoi(Value));
}

void TParser::ApplyDeflate(const std::string& Value) {
    if (Value != "zlib" && Value != "libdeflate" && Value != "smallest") {
        throw EUsageError("--deflate is zlib, libdeflate or smallest, not '" + Value + "'");
    }
    Result.Settings.Engine.Deflate = Value == "zlib"         ? DeflateEngine::Zlib
                                     : Value == "libdeflate" ? DeflateEngine::Libdeflate
                                                             : DeflateEngine::Smallest;
}

void TParser::ApplyAudio(const std::string& Value) {
    TAudioSettings& Audio = Result.Settings.Audio;
    Result.AudioGiven = true;
    Audio.Source = Value == "avi" || Value == "included" ? TAudioSource::AviAudio
                   : Value == "none"                     ? TAudioSource::None
                                                         : TAudioSource::Mp3File;
    Audio.Mp3FileName = Audio.Source == TAudioSource::Mp3File ? Value : "";
}

// Options of one mode choose that mode when --mode is not given.
void TParser::SetModeFromOptions() {
    if (!Mode) {
        if (BitrateOptionGiven && QualityOptionGiven) {
            throw EUsageError("--bitrate and the tolerance options belong to different modes");
        }
        Mode = BitrateOptionGiven ? "bitrate" : QualityOptionGiven ? "quality" : "lossless";
    }
    if ((BitrateOptionGiven && *Mode != "bitrate") || (QualityOptionGiven && *Mode != "quality")) {
        throw EUsageError("an option of another mode was given with --mode " + *Mode);
    }
    Result.Settings.Encoder.CompressionMode = *Mode == "bitrate"   ? BitrateMode
                                              : *Mode == "quality" ? QualityMode
                                                                   : LosslessMode;
}

}  // namespace

TCliOptions ParseCommandLine(const std::vector<std::string>& Arguments) {
    return TParser(Arguments).Parse();
}

std::string UsageText() {
    return R"(Usage: quorvane-cli [options] INPUT OUTPUT.flv
       quorvane-cli [options] INPUT... --output-dir DIR

Converts a video (AVI, MP4, MOV, Matroska, WebM, MPEG-TS, Ogg and others)
into an FLV file with Screen Video and MP3 audio; with --output-dir, each
INPUT in turn into DIR/NAME.flv, and a summary at the end.

Video compression:
  --mode lossless|bitrate|quality   compression mode (lossless)
  --bitrate KBPS                    bitrate mode: kilobits per second, keyframes
                                    excluded (250)
  --tolerance R,G,B                 quality mode: pixel colour tolerance in
                                    percent of each channel (30,15,30)
  --block-tolerance PCT             quality mode: share of a block's pixels that
                                    may change before it is sent (3)
  --keyframe-interval MS            a keyframe every MS milliseconds (off)
  --fps-limit N                     at most N frames per second (off)
  --colors 19k|2k|304               limit the number of colours (off)
  --block WxH                       block size, 16 to 256 in steps of 16 (64x32)

Range:
  --start TIME                      convert from TIME on: the picture shown then
                                    is the first frame, at time 0 (the
                                    beginning)
  --end TIME                        convert up to TIME (the end); TIME is
                                    seconds (90, 12.5) or [HH:]MM:SS[.mmm]

Picture:
  --crop W:H:X:Y                    convert only W x H pixels of the picture as
                                    shown (turned, pixels made square), from X,
                                    Y counted from its top left corner
  --size WxH                        scale the picture (after --crop) to W x H;
                                    a side left out keeps the aspect (1280x)

Audio:
  --audio none|included|avi|FILE.mp3
                                    no audio; the video's own audio transcoded
                                    to MP3 (included, or avi, its older name);
                                    or an MP3 file copied as it is (included
                                    when the video has sound that can be used,
                                    else none); a file called "none",
                                    "included" or "avi" is named ./none and so
                                    on
  --mp3-format INDEX                MP3 format for --audio included, an index
                                    of --list-mp3-formats (0)
  --list-mp3-formats                list the MP3 formats and exit

Output:
  --metadata                        add an onMetaData tag with the duration and a
                                    key frame index, so that players show the
                                    length and can seek (off)
  --output-dir DIR                  convert every INPUT named into DIR (made
                                    when missing), one after the other; a file
                                    that fails does not stop the others

Speed and size:
  --threads N                       threads compressing blocks (one per
                                    processor); the output stays the same
  --deflate zlib|libdeflate|smallest
                                    block compression: zlib level 9;
                                    libdeflate, several times faster and a few
                                    percent larger; or smallest, about 8 %
                                    smaller than zlib on screen content at a
                                    third of its speed (zlib)

Other:
  --yes, --no                       answer the conversion's yes/no questions
                                    (default: ask on a terminal, else no)
  --quiet                           print errors only
  --version, --help

Exit status: 0 done, 1 conversion failed or input unusable (with
--output-dir: any of them), 2 usage error (also a --start at or past the
end of the video, a --crop or --size the picture can't take), 130 stopped
by Ctrl-C (the output then holds what was converted, and is not touched
when no frame was; with --output-dir no file is started after).
)";
}

std::string AudioChoiceProblem(const TCliOptions& Options, bool AudioUsable,
                               const std::string& AudioDescription) {
    const TAudioSettings& Audio = Options.Settings.Audio;
    if (Audio.Source == TAudioSource::AviAudio && Audio.MP3Format.empty()) {
        return NoMp3FormatText;
    }
    if (Audio.Source == TAudioSource::AviAudio && !AudioUsable) {
        return AudioDescription.empty()
                   ? "The video file has no audio track."
                   : "The video file's audio can not be used: " + AudioDescription;
    }
    if (Audio.Source == TAudioSource::Mp3File) {
        return Mp3FileProblem(Audio.Mp3FileName);
    }
    return {};
}

TAudioSource AudioSourceFor(const TCliOptions& Options, bool AudioUsable) {
    if (Options.AudioGiven) {
        return Options.Settings.Audio.Source;
    }
    const bool Convertible = AudioUsable && !Options.Settings.Audio.MP3Format.empty();
    return Convertible ? TAudioSource::AviAudio : TAudioSource::None;
}

}  // namespace quorvane::cli
