// EncodeFrame: the block pass, compression of the blocks to send and the
// assembly of one Screen Video packet.
#include <algorithm>

#include "encoder/BitrateBudget.h"
#include "encoder/BlockPixels.h"
#include "encoder/CompressBuffer.h"
#include "encoder/FlvLayout.h"
#include "encoder/FlvWriter.h"
#include "encoder/ScreenVideoEncoder.h"
#include "encoder/WorkerPool.h"

namespace quorvane {

using namespace flv;

namespace {

void ResetForFrame(TImageBlock& Block) {
    Block.Changed = false;
    Block.Difference = 0;
    Block.CompressedSize = 0;
}

std::string BlockTooLargeMessage(const EncoderParameters& Parameters, int32_t CompressedSize) {
    return "A " + std::to_string(Parameters.BlockWidth) + "x" +
           std::to_string(Parameters.BlockHeight) + " block compressed to " +
           std::to_string(CompressedSize) + " bytes, more than the " +
           std::to_string(LargestBlockStream) +
           " a Screen Video block can hold; choose a smaller block size.";
}

std::string PacketTooLargeMessage(uint64_t PacketSize) {
    return "A frame compressed to " + std::to_string(PacketSize) + " bytes, more than the " +
           std::to_string(LargestTagDataSize) +
           " an FLV tag can hold; choose a smaller frame size or colour reduction.";
}

}  // namespace

int32_t TScreenVideoEncoder::EncodeFrame(const platform::TPicture& Frame, int32_t Timestamp,
                                         int32_t PreviousTimestamp, bool KeyFrame) {
    RequireOpen("EncodeFrame");
    const FrameFormat Format{FrameWidth, FrameHeight, BytesPerPixel};
    if (!Format.Describes(Frame)) {
        throw std::invalid_argument("EncodeFrame was given no picture of the frame size.");
    }
    RunBlockPass(Frame, KeyFrame);
    const std::vector<TImageBlock*>& List = BlocksToSend();
    CompressListed(List, 0, List.size());
    if (Parameters.CompressionMode == BitrateMode && !KeyFrame) {
        SelectBlocksWithinBudget(FrameBudget(Parameters.BitRate, Timestamp, PreviousTimestamp));
    }
    const uint32_t BodySize = CheckPacketFits();
    const int32_t SentCount = WriteVideoTag(BodySize, Timestamp);
    return SentCount * 100 / (BlockColumns * BlockRows);
}

// Blocks share nothing in this pass, so they are shared out between threads.
void TScreenVideoEncoder::RunBlockPass(const platform::TPicture& Frame, bool KeyFrame) {
    Pool->Run(Blocks.size(),
              [&](size_t Index, unsigned /*Slot*/) { PassBlock(Frame, Index, KeyFrame); });
}

void TScreenVideoEncoder::PassBlock(const platform::TPicture& Frame, size_t Index, bool KeyFrame) {
    const auto Row = static_cast<uint32_t>(Index / BlockColumns);
    const auto Column = static_cast<uint32_t>(Index % BlockColumns);
    const BlockArea Area = GridBlockArea(Row, Column, Parameters.BlockWidth, Parameters.BlockHeight,
                                         FrameWidth, FrameHeight);
    TImageBlock& Block = Blocks[Index];
    Block.Pixels.resize(Area.PixelCount() * 3);
    CopyBlockPixels(Frame.Rows, Frame.Stride, BytesPerPixel, Area, Parameters.ColorShift,
                    Block.Pixels.data());
    ResetForFrame(Block);
    DecideBlock(Block, Area.PixelCount(), KeyFrame);
}

// Marks the block Changed when it must be sent; in bitrate mode only scores
// it, and the selection decides.
void TScreenVideoEncoder::DecideBlock(TImageBlock& Block, size_t PixelCount, bool KeyFrame) const {
    // A block the decoder has never received cannot be compared with
    // anything, so it is sent whatever the mode.
    if (KeyFrame || Block.PreviousPixels.empty()) {
        Block.Changed = true;
        return;
    }
    const uint8_t* Current = Block.Pixels.data();
    const uint8_t* Previous = Block.PreviousPixels.data();
    switch (Parameters.CompressionMode) {
        case LosslessMode:
            Block.Changed = Block.Pixels != Block.PreviousPixels;
            break;
        case QualityMode: {
            // More than BlockTolerance percent of the pixels must count.
            const auto Allowed =
                static_cast<uint32_t>(uint64_t{Parameters.BlockTolerance} * PixelCount / 100);
            const ChannelTolerances Tolerances{Parameters.BlueTolerance, Parameters.GreenTolerance,
                                               Parameters.RedTolerance};
            Block.Difference =
                CountPixelsBeyondTolerance(Current, Previous, PixelCount, Tolerances, Allowed);
            Block.Changed = Block.Difference > Allowed;
            break;
        }
        case BitrateMode:
            Block.Difference = SumOfAbsoluteDifferences(Current, Previous, Block.Pixels.size());
            break;
        default:
            break;
    }
}

const std::vector<TImageBlock*>& TScreenVideoEncoder::BlocksToSend() {
    SendList.clear();
    for (TImageBlock& Block : Blocks) {
        if (Block.Changed) {
            SendList.push_back(&Block);
        }
    }
    return SendList;
}

// Each stream depends on its block alone and lands in the block's own
// buffer, so the bytes are the same whichever thread makes them.
void TScreenVideoEncoder::CompressListed(const std::vector<TImageBlock*>& List, size_t Begin,
                                         size_t End) {
    Pool->Run(End - Begin, [&](size_t Index, unsigned Slot) {
        CompressBlock(*List[Begin + Index], *Deflaters[Slot]);
    });
}

// Everything is checked before the first byte of the tag is written, so a
// frame the format cannot describe leaves the file as it was.
uint32_t TScreenVideoEncoder::CheckPacketFits() const {
    uint64_t BodySize = 0;
    for (const TImageBlock& Block : Blocks) {
        if (Block.Changed && static_cast<uint32_t>(Block.CompressedSize) > LargestBlockStream) {
            throw EBlockTooLarge(BlockTooLargeMessage(Parameters, Block.CompressedSize));
        }
        BodySize += BlockEntryHeaderSize + static_cast<uint32_t>(Block.CompressedSize);
    }
    if (BodySize + PacketHeaderSize > LargestTagDataSize) {
        throw EBlockTooLarge(PacketTooLargeMessage(BodySize + PacketHeaderSize));
    }
    return static_cast<uint32_t>(BodySize);
}

// Writes the packet when any block is sent, and keeps each sent block's
// pixels as the version the decoder now shows. Returns the blocks sent.
int32_t TScreenVideoEncoder::WriteVideoTag(uint32_t BodySize, int32_t Timestamp) {
    const auto SentCount = static_cast<int32_t>(std::count_if(
        Blocks.begin(), Blocks.end(), [](const auto& Block) { return Block.Changed; }));
    if (SentCount == 0) {
        return 0;
    }
    const uint32_t DataSize = BodySize + PacketHeaderSize;
    // The frame type says what the packet holds: a key frame sends every
    // block, and a packet that sends every block is a key frame, also when
    // the job asked for an inter frame. Decoders that check the type against
    // the content (Ruffle's) drop a whole-picture inter frame and keep
    // showing the old picture.
    const bool EveryBlock = static_cast<size_t>(SentCount) == Blocks.size();
    WritePacketStart(EveryBlock ? KeyFrameByte : InterFrameByte, DataSize, Timestamp);
    for (TImageBlock& Block : Blocks) {
        Writer->WriteUInt16BE(static_cast<uint16_t>(Block.CompressedSize));
        if (Block.Changed) {
            Writer->WriteBytes(Block.CompressedData.data(),
                               static_cast<size_t>(Block.CompressedSize));
            // Pixels is refilled before it is read again.
            std::swap(Block.PreviousPixels, Block.Pixels);
        }
    }
    Writer->EndTag();
    return SentCount;
}

void TScreenVideoEncoder::EndVideoAt(int32_t Timestamp) {
    RequireOpen("EndVideoAt");
    if (!VideoTagWritten || static_cast<uint32_t>(Timestamp) <= LastVideoTagTime) {
        return;
    }
    const uint32_t DataSize =
        PacketHeaderSize + BlockEntryHeaderSize * static_cast<uint32_t>(Blocks.size());
    WritePacketStart(InterFrameByte, DataSize, Timestamp);
    for (size_t Block = 0; Block < Blocks.size(); ++Block) {
        Writer->WriteUInt16BE(0);
    }
    Writer->EndTag();
}

void TScreenVideoEncoder::WritePacketStart(uint8_t FrameByte, uint32_t DataSize,
                                           int32_t Timestamp) {
    Writer->BeginTag(VideoTagType, DataSize, static_cast<uint32_t>(Timestamp));
    Writer->WriteUInt8(FrameByte);
    Writer->WriteUInt32BE(HeaderWord);
    VideoTagWritten = true;
    LastVideoTagTime = static_cast<uint32_t>(Timestamp);
}

}  // namespace quorvane
