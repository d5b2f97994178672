// Screen Video (FLV video codec 3) encoder writing one FLV file.
//
// One object serves one conversion: construct, SetParameters, SetFrameSize,
// Start (creates the file and writes its header), then EncodeFrame and
// WriteAudioTag in the order the file is to have, and Finish once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "encoder/EncoderParameters.h"
#include "platform/os/File.h"

namespace quorvane {

// The header word has 12 bits for each frame dimension.
constexpr uint16_t LargestFrameSide = 4095;

// Results of TScreenVideoEncoder::Start: 32-bit codes, 0 for success.
enum StartResult : int32_t {
    StartSucceeded = 0,
    StartWithoutParameters = 1,
    StartWithoutFrameSize = 2,
    StartCannotCreateFile = 3,
    // The format cannot describe these; refused before any file is created.
    StartFrameSizeUnsupported = 4,   // width or height 0 or above 4095
    StartBlockSizeUnsupported = 5,   // not 16..256 in steps of 16
    StartPixelFormatUnsupported = 6  // bytes per pixel other than 3 or 4
};

// zlib reported a failure while compressing a block.
class ECompressionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A block's zlib stream does not fit the 16-bit size field of a Screen Video
// packet, so a smaller block size is needed; or, with huge frames of nearly
// incompressible content, the whole packet outgrows the 24-bit size of an FLV
// tag.
class EBlockTooLarge : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One block of the grid, kept for the whole conversion.
struct TImageBlock {
    int32_t CompressedSize = 0;
    // The zlib stream in its first CompressedSize bytes; kept for the run.
    std::vector<uint8_t> CompressedData;
    std::vector<uint8_t> Pixels;          // blue, green, red; bottom row first
    std::vector<uint8_t> PreviousPixels;  // as last sent; empty until first sent
    bool Changed = false;
    uint32_t Difference = 0;
};

class TFlvWriter;
class Deflater;
class WorkerPool;

class TScreenVideoEncoder {
public:
    TScreenVideoEncoder(std::string FileName, bool HasVideo, bool HasAudio);
    ~TScreenVideoEncoder();
    TScreenVideoEncoder(const TScreenVideoEncoder&) = delete;
    TScreenVideoEncoder& operator=(const TScreenVideoEncoder&) = delete;

    void SetParameters(const EncoderParameters& Parameters);
    void SetFrameSize(const FrameFormat& Format);
    void SetEngine(const EncoderEngine& Engine);
    // Has Start write into File, opened by the caller (who may hold it
    // claimed), instead of creating the file by its name; Start empties it
    // when it is a regular file.
    void UseOutputFile(platform::TFile File);

    // What Start would give for the settings and frame size set, without
    // touching the file: a caller may check them early and empty the file
    // later.
    StartResult CheckSettings() const;
    // Once it has created the file, a second call throws std::logic_error.
    StartResult Start();
    bool Started() const { return FileCreated; }

    // Frame: a picture of the format given to SetFrameSize (else
    // std::invalid_argument). Returns the percentage of blocks sent. A frame
    // that sends every block is written as a key frame, KeyFrame or not.
    // Throws ECompressionError or EBlockTooLarge; nothing of the frame is
    // written then.
    int32_t EncodeFrame(const platform::TPicture& Frame, int32_t Timestamp,
                        int32_t PreviousTimestamp, bool KeyFrame);

    void WriteAudioTag(const uint8_t* Data, int32_t Size, int32_t Timestamp, uint8_t StereoFlag,
                       uint8_t SoundRateIndex);

    // The video's last frame, at Timestamp, was encoded. When the last
    // frames sent no block, so that no video tag stands there, writes an
    // inter frame in which every block is empty: players then know that the
    // picture lasts to there. Nothing before the first video tag.
    void EndVideoAt(int32_t Timestamp);

    // Closes the file and returns its size in bytes (low 32 bits).
    uint32_t Finish();
    // The file's full size once Finish has run.
    uint64_t FinishedSize() const { return FinalSize; }

    // The first failure of the output file: creating it, writing to it or
    // closing it. Writes are buffered, so a failure may surface only at a
    // later call; after Finish it covers every byte of the file.
    std::error_code FileError() const;

    int32_t GetBlockColumns() const { return BlockColumns; }
    int32_t GetBlockRows() const { return BlockRows; }
    uint32_t GetHeaderWord() const { return HeaderWord; }

private:
    // Throws std::logic_error unless Start succeeded and Finish has not run.
    void RequireOpen(const char* Operation) const;
    void RequireNotOpen(const char* Operation) const;
    void BuildGrid();
    StartResult OpenWriter();

    // The steps of EncodeFrame, in order.
    void RunBlockPass(const platform::TPicture& Frame, bool KeyFrame);
    void PassBlock(const platform::TPicture& Frame, size_t Index, bool KeyFrame);
    void DecideBlock(TImageBlock& Block, size_t PixelCount, bool KeyFrame) const;
    const std::vector<TImageBlock*>& BlocksToSend();
    // Compresses List[Begin..End) on the pool.
    void CompressListed(const std::vector<TImageBlock*>& List, size_t Begin, size_t End);
    void SelectBlocksWithinBudget(uint32_t Budget);
    void RankUnsentBlocks();
    size_t NextBatchEnd(size_t Picks, uint32_t Spent, uint32_t Budget) const;
    uint32_t CheckPacketFits() const;  // returns the size of the block entries
    int32_t WriteVideoTag(uint32_t BodySize, int32_t Timestamp);
    void WritePacketStart(uint8_t FrameByte, uint32_t DataSize, int32_t Timestamp);

    std::string FileName;
    bool HasVideo;
    bool HasAudio;
    bool ParametersSet = false;
    EncoderParameters Parameters;
    bool FrameSizeSet = false;
    uint16_t FrameWidth = 0;
    uint16_t FrameHeight = 0;
    uint8_t BytesPerPixel = 0;
    int32_t BlockColumns = 0;
    int32_t BlockRows = 0;
    std::vector<TImageBlock> Blocks;
    std::vector<TImageBlock*> SendList;  // kept for the run
    std::vector<TImageBlock*> Ranking;   // bitrate mode's order of picks, kept for the run
    uint32_t HeaderWord = 0;
    platform::TFile GivenOutput;  // until Start
    std::unique_ptr<TFlvWriter> Writer;
    bool FileCreated = false;  // stays true after Finish
    EncoderEngine Engine;
    std::unique_ptr<WorkerPool> Pool;
    std::vector<std::unique_ptr<Deflater>> Deflaters;  // one per pool slot
    std::error_code FirstFileError;
    uint64_t FinalSize = 0;
    bool VideoTagWritten = false;
    uint32_t LastVideoTagTime = 0;
};

}  // namespace quorvane
