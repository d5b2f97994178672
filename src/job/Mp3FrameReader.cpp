#include "job/Mp3FrameReader.h"

#include <cerrno>
#include <cstring>

#include "job/JobErrors.h"
#include "platform/File.h"

namespace quorvane {

namespace {

// Only a regular file is opened: opening a FIFO would wait for a writer,
// and the run with it, for ever.
std::FILE* OpenRegularFile(const std::string& FileName) {
    const auto Refuse = [&](const std::string& Reason) {
        return EJobFailure("Impossible to open the audio file " + FileName + " (" + Reason + ").");
    };
    std::error_code Error;
    platform::TFile File = platform::TFile::OpenRegularFile(FileName, Error);
    if (Error) {
        throw Refuse(Error == std::errc::not_supported ? "not a file" : Error.message());
    }
    std::FILE* Stream = fdopen(File.Descriptor(), "rb");
    if (!Stream) {
        throw Refuse(std::strerror(errno));
    }
    File.Release();
    return Stream;
}

}  // namespace

TMp3FrameReader::TMp3FrameReader(const std::string& FileName, bool SkipId3v2)
    : FileName(FileName), File(OpenRegularFile(FileName)) {
    if (SkipId3v2) {
        SkipId3v2Tag();
    }
}

TMp3FrameReader::~TMp3FrameReader() {
    std::fclose(File);
}

void TMp3FrameReader::SkipId3v2Tag() {
    uint8_t Magic[3];
    uint8_t SizeBytes[4];
    const bool Tagged =
        std::fread(Magic, 1, 3, File) == 3 && Magic[0] == 'I' && Magic[1] == 'D' && Magic[2] == '3';
    // Version and flags (3 bytes) stand between the magic and the size.
    if (Tagged && std::fseek(File, 3, SEEK_CUR) == 0 && std::fread(SizeBytes, 1, 4, File) == 4) {
        std::fseek(File, static_cast<long>(Id3v2TagBodySize(SizeBytes)), SEEK_CUR);
        return;
    }
    std::fseek(File, 0, SEEK_SET);
}

// The end of the data ends the frames; a read that fails is no end of the
// audio, and the run must not go on as if the file held no more.
bool TMp3FrameReader::ReadWhole(uint8_t* Into, size_t Count) {
    const bool Whole = std::fread(Into, 1, Count, File) == Count;
    if (std::ferror(File)) {
        throw EJobFailure("The audio file " + FileName + " could not be read (" +
                          std::strerror(errno) + ").");
    }
    return Whole;
}

TMp3FrameHeader TMp3FrameReader::Next() {
    uint8_t Header[4];
    if (Ended || !ReadWhole(Header, sizeof Header)) {
        Ended = true;
        return {};
    }
    const TMp3FrameHeader Frame = ParseMp3FrameHeader(Header);
    if (Frame.Type != TMp3FrameHeader::Kind::Frame) {
        Ended = true;
        return Frame;
    }
    Bytes.resize(Frame.FrameLength);
    std::memcpy(Bytes.data(), Header, sizeof Header);
    const size_t Rest = Frame.FrameLength - sizeof Header;
    if (!ReadWhole(Bytes.data() + sizeof Header, Rest)) {
        Ended = true;
        return {};
    }
    return Frame;
}

}  // namespace quorvane
