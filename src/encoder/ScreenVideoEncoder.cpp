#include "encoder/ScreenVideoEncoder.h"

#include "encoder/CompressBuffer.h"
#include "encoder/FlvWriter.h"
#include "encoder/WorkerPool.h"

namespace quorvane {

namespace {

bool IsSupportedBlockSide(uint32_t Side) {
    return Side >= 16 && Side <= 256 && Side % 16 == 0;
}

uint32_t CeilingDivision(uint32_t Value, uint32_t Divisor) {
    return Value / Divisor + (Value % Divisor != 0 ? 1 : 0);
}

}  // namespace

TScreenVideoEncoder::TScreenVideoEncoder(std::string Name, bool Video, bool Audio)
    : FileName(std::move(Name)), HasVideo(Video), HasAudio(Audio) {}

TScreenVideoEncoder::~TScreenVideoEncoder() = default;

// The grid and the header word follow from the settings; changing them while
// the file is open would leave the blocks out of step with the frames.
void TScreenVideoEncoder::RequireNotOpen(const char* Operation) const {
    if (Writer) {
        throw std::logic_error(std::string("TScreenVideoEncoder::") + Operation +
                               " cannot change the settings of an open file");
    }
}

void TScreenVideoEncoder::SetParameters(const EncoderParameters& NewParameters) {
    RequireNotOpen("SetParameters");
    Parameters = NewParameters;
    ParametersSet = true;
}

void TScreenVideoEncoder::SetFrameSize(const FrameFormat& Format) {
    RequireNotOpen("SetFrameSize");
    FrameWidth = Format.Width;
    FrameHeight = Format.Height;
    BytesPerPixel = Format.BytesPerPixel;
    FrameSizeSet = true;
}

void TScreenVideoEncoder::SetEngine(const EncoderEngine& NewEngine) {
    RequireNotOpen("SetEngine");
    Engine = NewEngine;
}

void TScreenVideoEncoder::UseOutputFile(platform::TFile File) {
    RequireNotOpen("UseOutputFile");
    GivenOutput = std::move(File);
}

StartResult TScreenVideoEncoder::Start() {
    // A second start would truncate the file this one created, whose
    // buffered tags the old stream would then write over the new header.
    if (FileCreated) {
        throw std::logic_error("TScreenVideoEncoder::Start runs once; its file already exists");
    }
    if (const StartResult Refusal = CheckSettings(); Refusal != StartSucceeded) {
        return Refusal;
    }
    BuildGrid();
    Pool = std::make_unique<WorkerPool>(Engine.Threads);
    Deflaters.clear();
    for (unsigned Slot = 0; Slot < Pool->Size(); ++Slot) {
        Deflaters.push_back(MakeDeflater(Engine.Deflate));
    }
    return OpenWriter();
}

// Settings the Screen Video format cannot describe are refused before any
// file exists, so a bad setting never leaves a broken file behind.
StartResult TScreenVideoEncoder::CheckSettings() const {
    if (!ParametersSet) {
        return StartWithoutParameters;
    }
    if (!FrameSizeSet) {
        return StartWithoutFrameSize;
    }
    if (FrameWidth == 0 || FrameHeight == 0 || FrameWidth > LargestFrameSide ||
        FrameHeight > LargestFrameSide) {
        return StartFrameSizeUnsupported;
    }
    if (!IsSupportedBlockSide(Parameters.BlockWidth) ||
        !IsSupportedBlockSide(Parameters.BlockHeight)) {
        return StartBlockSizeUnsupported;
    }
    if (BytesPerPixel != 3 && BytesPerPixel != 4) {
        return StartPixelFormatUnsupported;
    }
    return StartSucceeded;
}

void TScreenVideoEncoder::BuildGrid() {
    BlockColumns = static_cast<int32_t>(CeilingDivision(FrameWidth, Parameters.BlockWidth));
    BlockRows = static_cast<int32_t>(CeilingDivision(FrameHeight, Parameters.BlockHeight));
    Blocks.assign(static_cast<size_t>(BlockColumns) * BlockRows, TImageBlock{});
    HeaderWord = ((Parameters.BlockWidth / 16 - 1) << 28) + (uint32_t{FrameWidth} << 16) +
                 ((Parameters.BlockHeight / 16 - 1) << 12) + FrameHeight;
}

StartResult TScreenVideoEncoder::OpenWriter() {
    Writer = TFlvWriter::Open(FileName, std::move(GivenOutput), HasVideo, HasAudio, FirstFileError);
    if (!Writer) {
        return StartCannotCreateFile;
    }
    FileCreated = true;
    return StartSucceeded;
}

uint32_t TScreenVideoEncoder::Finish() {
    RequireOpen("Finish");
    FirstFileError = Writer->Close();
    FinalSize = Writer->Size();
    Writer.reset();
    return static_cast<uint32_t>(FinalSize);
}

std::error_code TScreenVideoEncoder::FileError() const {
    return Writer ? Writer->Error() : FirstFileError;
}

void TScreenVideoEncoder::WriteAudioTag(const uint8_t* Data, int32_t Size, int32_t Timestamp,
                                        uint8_t StereoFlag, uint8_t SoundRateIndex) {
    RequireOpen("WriteAudioTag");
    const size_t Bytes = Data != nullptr && Size > 0 ? static_cast<size_t>(Size) : 0;
    Writer->WriteMp3Tag({Data, Bytes}, static_cast<uint32_t>(Timestamp), StereoFlag != 0,
                        SoundRateIndex);
}

void TScreenVideoEncoder::RequireOpen(const char* Operation) const {
    if (!Writer) {
        throw std::logic_error(std::string("TScreenVideoEncoder::") + Operation +
                               " needs a successful Start and must come before Finish");
    }
}

}  // namespace quorvane
