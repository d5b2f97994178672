#include "job/Mp3FrameReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "job/FrontEndTexts.h"
#include "job/JobErrors.h"
#include "platform/os/File.h"

namespace quorvane {

namespace {

using Kind = TMp3FrameHeader::Kind;

constexpr size_t ReadAhead = 64 * 1024;
constexpr size_t Id3v2HeaderSize = 10;  // "ID3", version, flags, 4 size bytes
constexpr size_t Id3v2FooterSize = 10;
constexpr uint8_t Id3v2FooterFlag = 0x10;
constexpr size_t Id3v1TagSize = 128;  // "TAG" and fixed fields, at the very end

// Only a regular file is opened: opening a FIFO would wait for a writer,
// and the run with it, for ever.
platform::TFile OpenRegularFile(const std::string& FileName) {
    std::error_code Error;
    platform::TFile File = platform::TFile::OpenRegularFile(FileName, Error);
    if (Error) {
        throw EJobFailure(
            "Impossible to open the audio file " + ShownFileName(FileName) + " (" +
            (Error == std::errc::not_supported ? std::string("not a file") : Error.message()) +
            ").");
    }
    return File;
}

bool Parsed(const TMp3FrameHeader& Header) {
    return Header.Type == Kind::Frame || Header.Type == Kind::UnsupportedRate;
}

// The mark of a frame that describes the stream: "Xing" or "Info" right
// after the side information, whose size depends on the MPEG version and
// the channels, or "VBRI" at a fixed place.
bool DescribesTheStream(const TMp3FrameHeader& Header, const std::vector<uint8_t>& Frame) {
    constexpr size_t HeaderSize = 4;
    constexpr size_t VbriOffset = HeaderSize + 32;
    const bool Mpeg1 = Header.SamplesPerFrame == 1152;
    const size_t SideInfo = Header.StereoFlag ? (Mpeg1 ? 32 : 17) : (Mpeg1 ? 17 : 9);
    const auto MarkAt = [&Frame](size_t Offset, const char* Mark) {
        return Frame.size() >= Offset + 4 && std::memcmp(Frame.data() + Offset, Mark, 4) == 0;
    };
    return MarkAt(HeaderSize + SideInfo, "Xing") || MarkAt(HeaderSize + SideInfo, "Info") ||
           MarkAt(VbriOffset, "VBRI");
}

}  // namespace

TMp3FrameReader::TMp3FrameReader(const std::string& FileName, bool ExternalFile)
    : FileName(FileName), File(OpenRegularFile(FileName)), ExternalFile(ExternalFile) {}

TMp3FrameHeader TMp3FrameReader::Next() {
    while (!Ended) {
        if (SkipTagAt(Position)) {
            continue;
        }
        const uint8_t* HeaderBytes = Peek(Position, 4);
        if (!HeaderBytes) {
            break;
        }
        const TMp3FrameHeader Header = ParseMp3FrameHeader(HeaderBytes);
        if (Id3v1TagAt(Position)) {
            break;
        }
        const bool Accepted =
            Parsed(Header) &&
            (InStep || (Header.FrameLength > 0 && FrameBoundaryAt(Position + Header.FrameLength)));
        if (Accepted && Header.Type == Kind::UnsupportedRate) {
            return Header;
        }
        if (Accepted) {
            const uint8_t* Whole = Peek(Position, Header.FrameLength);
            if (!Whole) {
                break;  // the last frame, cut short
            }
            Bytes.assign(Whole, Whole + Header.FrameLength);
            Position += Header.FrameLength;
            InStep = true;
            const bool First = !std::exchange(TookAFrame, true);
            if (First && ExternalFile && DescribesTheStream(Header, Bytes)) {
                continue;
            }
            return Header;
        }
        InStep = false;
        SkipToNextCandidate();
    }
    Ended = true;
    return {};
}

// An ID3v2 tag (with its footer, when its flags announce one) is passed
// over wherever it stands: files joined one after another each bring their
// own. Its size bytes are taken whole, as the tag's writers of old did.
bool TMp3FrameReader::SkipTagAt(uint64_t Offset) {
    if (!ExternalFile) {
        return false;
    }
    const uint8_t* Tag = Peek(Offset, Id3v2HeaderSize);
    if (!Tag || std::memcmp(Tag, "ID3", 3) != 0) {
        return false;
    }
    const uint64_t Footer = (Tag[5] & Id3v2FooterFlag) ? Id3v2FooterSize : 0;
    Position = Offset + Id3v2HeaderSize + Id3v2TagBodySize(Tag + 6) + Footer;
    return true;
}

bool TMp3FrameReader::Id3v1TagAt(uint64_t Offset) {
    const uint8_t* Tag = Peek(Offset, Id3v1TagSize);
    return Tag && std::memcmp(Tag, "TAG", 3) == 0 && !Peek(Offset + Id3v1TagSize, 1);
}

// Where a frame can end: the end of the file, the header of another frame
// (one of no fixed length too: a header all the same), or a tag.
bool TMp3FrameReader::FrameBoundaryAt(uint64_t Offset) {
    if (!Peek(Offset, 1)) {
        return Peek(Offset - 1, 1) != nullptr;
    }
    const uint8_t* Following = Peek(Offset, 4);
    if (!Following) {
        return false;
    }
    // Read before the next Peek, which may move the window's bytes.
    const bool Header = ParseMp3FrameHeader(Following).Type != Kind::NotAFrame;
    const bool Tag = ExternalFile && std::memcmp(Following, "ID3", 3) == 0;
    return Header || Tag || Id3v1TagAt(Offset);
}

// Passes over the byte at Position and what follows it up to the next
// byte that could start a frame or a tag.
void TMp3FrameReader::SkipToNextCandidate() {
    ++Position;
    ++Skipped;
    while (const uint8_t* Data = Peek(Position, 1)) {
        const size_t Available = WindowStart + Window.size() - Position;
        const uint8_t* Found = std::find_if(Data, Data + Available,
                                            [this](uint8_t Byte) { return IsCandidate(Byte); });
        const auto Passed = static_cast<uint64_t>(Found - Data);
        Position += Passed;
        Skipped += Passed;
        if (Passed < Available) {
            return;
        }
    }
}

bool TMp3FrameReader::IsCandidate(uint8_t Byte) const {
    return Byte == 0xFF || Byte == 'T' || (ExternalFile && Byte == 'I');
}

// Count bytes of the file at Offset (not before Position), or null when
// the file ends before them. Valid until the next Peek.
const uint8_t* TMp3FrameReader::Peek(uint64_t Offset, size_t Count) {
    const uint64_t End = Offset + Count;
    if (End > WindowStart + Window.size()) {
        ReadUpTo(End);
    }
    if (End > WindowStart + Window.size()) {
        return nullptr;
    }
    return Window.data() + (Offset - WindowStart);
}

// Drops what lies before Position, then reads on until the window reaches
// End or the file ends. A read that fails is no end of the audio: the run
// must not go on as if the file held no more.
void TMp3FrameReader::ReadUpTo(uint64_t End) {
    if (Position >= WindowStart + Window.size()) {
        Window.clear();  // past what was read (after a large tag)
    } else {
        Window.erase(Window.begin(), Window.begin() + static_cast<long>(Position - WindowStart));
    }
    WindowStart = Position;
    while (!FileEnded && WindowStart + Window.size() < End) {
        const size_t Had = Window.size();
        Window.resize(Had + ReadAhead);
        size_t Got = 0;
        const std::error_code Error =
            File.ReadAt(WindowStart + Had, Window.data() + Had, ReadAhead, Got);
        Window.resize(Had + Got);
        if (Error) {
            throw EJobFailure("The audio file " + ShownFileName(FileName) + " could not be read (" +
                              Error.message() + ").");
        }
        FileEnded = Got < ReadAhead;
    }
}

}  // namespace quorvane
