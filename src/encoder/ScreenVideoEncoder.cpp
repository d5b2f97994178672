#include "encoder/ScreenVideoEncoder.h"

#include "encoder/CompressBuffer.h"
#include "encoder/OutputFile.h"
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
    if (OutputStream) {
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

int32_t TScreenVideoEncoder::Start() {
    // A second start would truncate the file this one created, whose
    // buffered tags the old stream would then write over the new header.
    if (FileCreated) {
        throw std::logic_error("TScreenVideoEncoder::Start runs once; its file already exists");
    }
    if (int32_t Refusal = CheckSettings(); Refusal != StartSucceeded) {
        return Refusal;
    }
    BuildGrid();
    Pool = std::make_unique<WorkerPool>(Engine.Threads);
    Deflaters.clear();
    for (unsigned Slot = 0; Slot < Pool->Size(); ++Slot) {
        Deflaters.push_back(MakeDeflater(Engine.Deflate));
    }
    return CreateOutputFile();
}

// Settings the Screen Video format cannot describe are refused before any
// file exists, so a bad setting never leaves a broken file behind.
int32_t TScreenVideoEncoder::CheckSettings() const {
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

int32_t TScreenVideoEncoder::CreateOutputFile() {
    OutputStream = GivenOutput.IsOpen() ? OutputFile::Adopt(std::move(GivenOutput), FirstFileError)
                                        : OutputFile::Create(FileName, FirstFileError);
    if (!OutputStream) {
        return StartCannotCreateFile;
    }
    const uint8_t Flags = (HasVideo ? 0x01 : 0x00) | (HasAudio ? 0x04 : 0x00);
    const uint8_t Header[13] = {'F', 'L', 'V', 1, Flags, 0, 0, 0, 9, 0, 0, 0, 0};
    WriteBytes(Header, sizeof Header);
    OutputStream->MarkWhole();
    // A process killed before its first frame leaves a valid, empty FLV.
    OutputStream->Flush();
    FileCreated = true;
    return StartSucceeded;
}

uint32_t TScreenVideoEncoder::Finish() {
    RequireOpen("Finish");
    std::error_code CloseError = OutputStream->Close();
    if (!FirstFileError) {
        FirstFileError = CloseError;
    }
    FinalSize = OutputStream->Size();
    OutputStream.reset();
    return static_cast<uint32_t>(FinalSize);
}

void TScreenVideoEncoder::RequireOpen(const char* Operation) const {
    if (!OutputStream) {
        throw std::logic_error(std::string("TScreenVideoEncoder::") + Operation +
                               " needs a successful Start and must come before Finish");
    }
}

}  // namespace quorvane
