#include "encoder/FlvWriter.h"

#include <stdexcept>

#include "encoder/FlvLayout.h"
#include "encoder/OutputFile.h"

namespace quorvane {

using namespace flv;

std::unique_ptr<TFlvWriter> TFlvWriter::Open(const std::string& FileName, platform::TFile Given,
                                             bool HasVideo, bool HasAudio, std::error_code& Error) {
    std::unique_ptr<OutputFile> File = Given.IsOpen() ? OutputFile::Adopt(std::move(Given), Error)
                                                      : OutputFile::Create(FileName, Error);
    if (!File) {
        return nullptr;
    }
    std::unique_ptr<TFlvWriter> Writer(new TFlvWriter(std::move(File)));
    const auto Header = FileHeader(HasVideo, HasAudio);
    Writer->WriteBytes(Header.data(), Header.size());
    Writer->File->MarkWhole();
    // A process killed before its first frame leaves a valid, empty FLV.
    Writer->File->Flush();
    return Writer;
}

TFlvWriter::TFlvWriter(std::unique_ptr<OutputFile> Output) : File(std::move(Output)) {}

TFlvWriter::~TFlvWriter() = default;

void TFlvWriter::BeginTag(uint8_t Type, uint32_t DataSize, uint32_t Timestamp) {
    const auto Header = TagHeader(Type, DataSize, Timestamp);
    WriteBytes(Header.data(), Header.size());
    OpenTagDataSize = DataSize;
}

void TFlvWriter::WriteUInt8(uint8_t Value) {
    WriteBytes(&Value, 1);
}

void TFlvWriter::WriteUInt16BE(uint16_t Value) {
    uint8_t Bytes[2];
    PutBigEndian<2>(Bytes, Value);
    WriteBytes(Bytes, sizeof Bytes);
}

void TFlvWriter::WriteUInt32BE(uint32_t Value) {
    uint8_t Bytes[4];
    PutBigEndian<4>(Bytes, Value);
    WriteBytes(Bytes, sizeof Bytes);
}

void TFlvWriter::WriteBytes(const uint8_t* Data, size_t Size) {
    File->Write(Data, Size);
}

void TFlvWriter::EndTag() {
    const auto Field = TagSizeField(OpenTagDataSize);
    WriteBytes(Field.data(), Field.size());
    File->MarkWhole();
}

void TFlvWriter::WriteMp3Tag(std::span<const uint8_t> Frame, uint32_t Timestamp, bool Stereo,
                             uint8_t SoundRateIndex) {
    if (Frame.empty() || Frame.size() >= LargestTagDataSize) {
        throw std::invalid_argument("An MP3 frame of " + std::to_string(Frame.size()) +
                                    " bytes does not fit an FLV audio tag.");
    }
    const auto DataSize = static_cast<uint32_t>(Frame.size()) + 1;
    BeginTag(AudioTagType, DataSize, Timestamp);
    WriteUInt8(static_cast<uint8_t>(Mp3SoundFormat | SixteenBitSamples | (SoundRateIndex << 2) |
                                    (Stereo ? 1 : 0)));
    WriteBytes(Frame.data(), Frame.size());
    EndTag();
}

std::error_code TFlvWriter::Error() const {
    return File->Error();
}

std::error_code TFlvWriter::Close() {
    return File->Close();
}

uint64_t TFlvWriter::Size() const {
    return File->Size();
}

}  // namespace quorvane
