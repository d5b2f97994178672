// The encoder on arbitrary settings and frames. The input's first bytes are
// the settings and the frame size, the rest the pixels of the frames. In
// lossless mode every picture decoded back (by FFmpeg's decoder) must equal
// the frame encoded at its timestamp.
#include <cstring>
#include <map>
#include <vector>

#include "FuzzInput.h"
#include "encoder/ScreenVideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace quorvane::fuzz {
namespace {

constexpr int MaxFrames = 4;
constexpr uint32_t MaxSide = 320;
constexpr size_t FlvHeaderSize = 13;
constexpr size_t TagHeaderSize = 11;

struct TSetup {
    EncoderParameters Parameters;
    FrameFormat Format;
    int Frames = 0;
};

TSetup ReadSetup(TInputReader& Input) {
    TSetup Setup;
    EncoderParameters& P = Setup.Parameters;
    P.BlockWidth = (Input.Byte() % 17 + 1) * 16;  // 272 is one step too far
    P.BlockHeight = (Input.Byte() % 17 + 1) * 16;
    P.CompressionMode = static_cast<CompressionModes>(Input.Byte() % 3);
    P.BitRate = static_cast<int32_t>(Input.Word());
    P.RedTolerance = Input.Byte();
    P.GreenTolerance = Input.Byte();
    P.BlueTolerance = Input.Byte();
    P.BlockTolerance = Input.Byte();
    P.ColorShift = Input.Byte() % 6;
    Setup.Format.Width = static_cast<uint16_t>(Input.Word() % (MaxSide + 1));
    Setup.Format.Height = static_cast<uint16_t>(Input.Word() % (MaxSide + 1));
    Setup.Format.BytesPerPixel = Input.Byte() % 6;
    Setup.Frames = Input.Byte() % MaxFrames + 1;
    return Setup;
}

size_t RowBytes(const FrameFormat& Format) {
    return (static_cast<size_t>(Format.Width) * Format.BytesPerPixel + 3) / 4 * 4;
}

// The frame's pixels from the input, repeated as needed; zeros without input.
std::vector<uint8_t> ReadFrame(TInputReader& Input, const FrameFormat& Format) {
    std::vector<uint8_t> Frame(RowBytes(Format) * Format.Height);
    const std::span<const uint8_t> Taken = Input.Bytes(Frame.size());
    for (size_t I = 0; !Taken.empty() && I < Frame.size(); ++I) {
        Frame[I] = Taken[I % Taken.size()];
    }
    return Frame;
}

// Top-down BGR, as FFmpeg's decoder gives it, from a bottom-up frame.
std::vector<uint8_t> TopDownBgr(const std::vector<uint8_t>& Frame, const FrameFormat& Format) {
    std::vector<uint8_t> Bgr;
    for (size_t Row = Format.Height; Row-- > 0;) {
        const uint8_t* Pixel = Frame.data() + Row * RowBytes(Format);
        for (size_t X = 0; X < Format.Width; ++X, Pixel += Format.BytesPerPixel) {
            Bgr.insert(Bgr.end(), Pixel, Pixel + 3);
        }
    }
    return Bgr;
}

uint32_t BigEndian(const uint8_t* Bytes, int Count) {
    uint32_t Value = 0;
    for (int I = 0; I < Count; ++I) {
        Value = Value << 8 | Bytes[I];
    }
    return Value;
}

struct TCodec {
    TCodec() {
        const AVCodec* Decoder = avcodec_find_decoder(AV_CODEC_ID_FLASHSV);
        Context = avcodec_alloc_context3(Decoder);
        avcodec_open2(Context, Decoder, nullptr);
    }
    ~TCodec() {
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Context);
    }
    AVCodecContext* Context = nullptr;
    AVFrame* Frame = av_frame_alloc();
    AVPacket* Packet = av_packet_alloc();
};

std::vector<uint8_t> DecodedBgr(const AVFrame& Frame) {
    std::vector<uint8_t> Bgr;
    for (int Row = 0; Row < Frame.height; ++Row) {
        const uint8_t* Line = Frame.data[0] + static_cast<ptrdiff_t>(Row) * Frame.linesize[0];
        Bgr.insert(Bgr.end(), Line, Line + static_cast<size_t>(Frame.width) * 3);
    }
    return Bgr;
}

// Decodes every video tag of the file and compares it with the frame
// encoded at its timestamp.
void CheckLosslessRoundTrip(const std::string& Name,
                            const std::map<uint32_t, std::vector<uint8_t>>& Expected) {
    std::FILE* File = std::fopen(Name.c_str(), "rb");
    std::vector<uint8_t> Bytes;
    for (int C; (C = std::fgetc(File)) != EOF;) {
        Bytes.push_back(static_cast<uint8_t>(C));
    }
    std::fclose(File);
    TCodec Codec;
    for (size_t At = FlvHeaderSize; At + TagHeaderSize <= Bytes.size();) {
        const uint32_t DataSize = BigEndian(&Bytes[At + 1], 3);
        const uint32_t Time = BigEndian(&Bytes[At + 4], 3) | uint32_t{Bytes[At + 7]} << 24;
        if (At + TagHeaderSize + DataSize + 4 > Bytes.size()) {
            __builtin_trap();  // a tag cut short
        }
        if (Bytes[At] == 9) {
            av_packet_unref(Codec.Packet);
            av_new_packet(Codec.Packet, static_cast<int>(DataSize - 1));
            std::memcpy(Codec.Packet->data, &Bytes[At + TagHeaderSize + 1], DataSize - 1);
            if (avcodec_send_packet(Codec.Context, Codec.Packet) < 0 ||
                avcodec_receive_frame(Codec.Context, Codec.Frame) < 0 ||
                DecodedBgr(*Codec.Frame) != Expected.at(Time)) {
                __builtin_trap();  // lossless video that does not decode to its frame
            }
        }
        At += TagHeaderSize + DataSize + 4;
    }
}

}  // namespace
}  // namespace quorvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace quorvane;
    fuzz::TInputReader Input(Data, Size);
    const fuzz::TSetup Setup = fuzz::ReadSetup(Input);
    const fuzz::TMemoryFile Output(nullptr, 0);
    TScreenVideoEncoder Encoder(Output.Name(), true, false);
    Encoder.SetParameters(Setup.Parameters);
    Encoder.SetFrameSize(Setup.Format);
    if (Encoder.Start() != StartSucceeded) {
        return 0;
    }
    std::map<uint32_t, std::vector<uint8_t>> Encoded;
    int32_t Time = 0;
    int32_t Previous = 0;
    for (int Index = 0; Index < Setup.Frames; ++Index) {
        const std::vector<uint8_t> Frame = fuzz::ReadFrame(Input, Setup.Format);
        // As the job does: the first frame in the file is a key frame.
        const bool KeyFrame = Input.Byte() % 2 != 0 || Encoded.empty();
        try {
            Encoder.EncodeFrame(
                {Setup.Format.Width, Setup.Format.Height, Setup.Format.BytesPerPixel,
                 fuzz::RowBytes(Setup.Format), Frame.data()},
                Time, Previous, KeyFrame);
            Encoded[static_cast<uint32_t>(Time)] = fuzz::TopDownBgr(Frame, Setup.Format);
        } catch (const EBlockTooLarge&) {
            // Refused whole: the file goes on without it.
        }
        Previous = Time;
        Time += 1 + Input.Byte();
    }
    Encoder.Finish();
    if (Setup.Parameters.CompressionMode == LosslessMode && Setup.Parameters.ColorShift == 0) {
        fuzz::CheckLosslessRoundTrip(Output.Name(), Encoded);
    }
    return 0;
}
