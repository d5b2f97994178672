// Stored audio to PCM through libavcodec: a parser cuts the bytes into
// packets where the codec has one (MP3, AC-3, ADTS AAC, ...). Vorbis, and
// AAC stored raw, have no headers to find their packets by: their input is
// taken as whole packets, which the AVI's chunks are when read one at a
// time (the AAC decoder finds the end of each of several frames itself).
// Otherwise whole blocks (nBlockAlign) go to the decoder, a partial block
// waiting for the next call.
#include <algorithm>
#include <cstring>

#include "platform/audio/AudioCodecs.h"
#include "platform/audio/AudioStreams.h"
#include "platform/audio/SampleConverter.h"
#include "platform/ffmpeg/FfmpegPointers.h"

namespace quorvane::platform {

namespace {

struct ParserDeleter {
    void operator()(AVCodecParserContext* Parser) const { av_parser_close(Parser); }
};

enum class TFraming : uint8_t { Parsed, Packets, Blocks, SeenInTheData };

// AAC without its set-up in the extra bytes is ADTS, frames with headers,
// or raw frames, as its data shows.
TFraming FramingOf(AVCodecID Codec, size_t ExtraBytes, bool HasParser) {
    if (Codec == AV_CODEC_ID_VORBIS || (Codec == AV_CODEC_ID_AAC && ExtraBytes > 0)) {
        return TFraming::Packets;
    }
    if (Codec == AV_CODEC_ID_AAC) {
        return TFraming::SeenInTheData;
    }
    return HasParser ? TFraming::Parsed : TFraming::Blocks;
}

bool StartsWithAdtsSync(const uint8_t* Data, size_t Size) {
    return Size >= 2 && Data[0] == 0xFF && (Data[1] & 0xF0) == 0xF0;
}

// The AudioSpecificConfig of AAC LC at Rate with Channels: object type 2,
// the rate's index (or 15 and the rate itself), the channel configuration,
// and a GASpecificConfig of three zero bits (1024-sample frames).
std::vector<uint8_t> LowComplexityAacSetUp(uint32_t Rate, uint16_t Channels) {
    constexpr uint32_t Rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};
    constexpr uint32_t ExplicitRate = 15;
    uint64_t Bits = 0;
    int Count = 0;
    const auto Put = [&](uint64_t Value, int Width) {
        Bits = (Bits << Width) | Value;
        Count += Width;
    };
    Put(2, 5);
    const auto* Index = std::find(std::begin(Rates), std::end(Rates), Rate);
    if (Index != std::end(Rates)) {
        Put(static_cast<uint64_t>(Index - std::begin(Rates)), 4);
    } else {
        Put(ExplicitRate, 4);
        Put(Rate & 0xFFFFFF, 24);
    }
    Put(Channels == 8 ? 7 : (Channels <= 6 ? Channels : 0), 4);
    Put(0, 3);
    std::vector<uint8_t> SetUp(static_cast<size_t>(Count / 8));
    for (size_t I = 0; I < SetUp.size(); ++I) {
        SetUp[I] = static_cast<uint8_t>(Bits >> (8 * (SetUp.size() - 1 - I)));
    }
    return SetUp;
}

class TDecodingStream : public IAudioStream {
public:
    // Source is followed by its cbSize extra bytes, which the copy kept here
    // does not carry: they are copied apart.
    TDecodingStream(const WAVEFORMATEX& Source, const WAVEFORMATEX& Destination)
        : Source(Source),
          ExtraBytes(reinterpret_cast<const uint8_t*>(&Source + 1),
                     reinterpret_cast<const uint8_t*>(&Source + 1) + Source.cbSize),
          Destination(Destination),
          Carry(Source.nBlockAlign) {}

    bool Open(const AVCodec* Decoder);
    size_t MaxOutput(size_t InputBytes) const override;
    bool Convert(const uint8_t* Input, size_t InputBytes, bool End,
                 std::vector<uint8_t>& Output) override;

private:
    bool ParseAndDecode(const uint8_t* Input, size_t InputBytes, std::vector<uint8_t>& Output);
    bool FlushParser(std::vector<uint8_t>& Output);
    bool Decode(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Output);
    bool Receive(std::vector<uint8_t>& Output);
    bool Drain(std::vector<uint8_t>& Output);

    WAVEFORMATEX Source;
    std::vector<uint8_t> ExtraBytes;
    WAVEFORMATEX Destination;
    TBlockCarry Carry;
    CodecContextPtr Context;
    std::unique_ptr<AVCodecParserContext, ParserDeleter> Parser;
    PacketPtr Packet{av_packet_alloc()};
    FramePtr Frame{av_frame_alloc()};
    TSampleConverter Converter;
    // Parsers read up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the end of
    // what they are given, so the input is handed over from this copy.
    std::vector<uint8_t> PaddedInput;
    TFraming Framing = TFraming::Blocks;
    bool Drained = false;
};

bool TDecodingStream::Open(const AVCodec* Decoder) {
    Context.reset(avcodec_alloc_context3(Decoder));
    if (!Context || !Packet || !Frame) {
        return false;
    }
    Context->sample_rate = static_cast<int>(Source.nSamplesPerSec);
    av_channel_layout_default(&Context->ch_layout, Source.nChannels);
    Context->block_align = Source.nBlockAlign;
    Context->bits_per_coded_sample = Source.wBitsPerSample;
    Context->bit_rate = static_cast<int64_t>(Source.nAvgBytesPerSec) * 8;
    // The codec's set-up; AAC without one gets that of the stored format,
    // which ADTS headers, if the data has them, override.
    const std::vector<uint8_t> SetUp =
        Decoder->id == AV_CODEC_ID_AAC && ExtraBytes.empty()
            ? LowComplexityAacSetUp(Source.nSamplesPerSec, Source.nChannels)
            : ExtraBytes;
    if (!SetUp.empty()) {
        Context->extradata =
            static_cast<uint8_t*>(av_mallocz(SetUp.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!Context->extradata) {
            return false;
        }
        std::memcpy(Context->extradata, SetUp.data(), SetUp.size());
        Context->extradata_size = static_cast<int>(SetUp.size());
    }
    if (avcodec_open2(Context.get(), Decoder, nullptr) < 0) {
        return false;
    }
    Parser.reset(av_parser_init(Decoder->id));
    Framing = FramingOf(Decoder->id, ExtraBytes.size(), Parser != nullptr);
    return true;
}

// A second of source gives a second of output; the estimate is doubled for
// variable rates. Output beyond it is held by the caller, not lost. Without
// a byte rate (variable-rate MP3 as FFmpeg stores it) a byte is taken for a
// byte of output: assuming one byte a second asked for the largest buffer.
size_t TDecodingStream::MaxOutput(size_t InputBytes) const {
    const uint64_t Rate = std::max<uint32_t>(
        Source.nAvgBytesPerSec != 0 ? Source.nAvgBytesPerSec : Destination.nAvgBytesPerSec, 1);
    const uint64_t Estimate =
        (static_cast<uint64_t>(InputBytes) * Destination.nAvgBytesPerSec / Rate + 1) * 2 +
        Destination.nBlockAlign * 4096ULL;
    return static_cast<size_t>(std::min<uint64_t>(Estimate, MaxStreamOutput));
}

bool TDecodingStream::Convert(const uint8_t* Input, size_t InputBytes, bool End,
                              std::vector<uint8_t>& Output) {
    if (Drained) {
        return InputBytes == 0;
    }
    if (Framing == TFraming::SeenInTheData && InputBytes > 0) {
        Framing =
            StartsWithAdtsSync(Input, InputBytes) && Parser ? TFraming::Parsed : TFraming::Packets;
    }
    bool Converted = true;
    if (Framing == TFraming::Parsed) {
        // A parser takes no input as the end of the stream.
        Converted = InputBytes == 0 || ParseAndDecode(Input, InputBytes, Output);
    } else if (Framing == TFraming::Packets) {
        Converted = InputBytes == 0 || Decode(Input, InputBytes, Output);
    } else if (Framing == TFraming::Blocks) {
        const std::vector<uint8_t>& Blocks = Carry.WholeBlocks(Input, InputBytes);
        Converted = Blocks.empty() || Decode(Blocks.data(), Blocks.size(), Output);
    }
    if (End) {
        if (Framing == TFraming::Parsed) {
            Converted = FlushParser(Output) && Converted;
        }
        Converted = Drain(Output) && Converted;
    }
    return Converted;
}

bool TDecodingStream::ParseAndDecode(const uint8_t* Chunk, size_t InputBytes,
                                     std::vector<uint8_t>& Output) {
    PaddedInput.assign(Chunk, Chunk + InputBytes);
    PaddedInput.resize(InputBytes + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const uint8_t* Input = PaddedInput.data();
    bool Converted = true;
    do {
        uint8_t* Data = nullptr;
        int Size = 0;
        const int Used =
            av_parser_parse2(Parser.get(), Context.get(), &Data, &Size, Input,
                             static_cast<int>(InputBytes), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (Used < 0) {
            return false;
        }
        Input += Used;
        InputBytes -= static_cast<size_t>(Used);
        if (Size > 0) {
            // A damaged packet is given up; the packets after it still play.
            Converted = Decode(Data, static_cast<size_t>(Size), Output) && Converted;
        } else if (Used == 0) {
            break;
        }
    } while (InputBytes > 0);
    return Converted;
}

// The packets a parser still holds come out of calls without input, one a
// call: FLAC's holds several frames until it has seen the ones after them.
bool TDecodingStream::FlushParser(std::vector<uint8_t>& Output) {
    bool Converted = true;
    for (;;) {
        uint8_t* Data = nullptr;
        int Size = 0;
        av_parser_parse2(Parser.get(), Context.get(), &Data, &Size, nullptr, 0, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        if (Size <= 0) {
            return Converted;
        }
        Converted = Decode(Data, static_cast<size_t>(Size), Output) && Converted;
    }
}

bool TDecodingStream::Decode(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Output) {
    if (av_new_packet(Packet.get(), static_cast<int>(Size)) < 0) {
        return false;
    }
    std::memcpy(Packet->data, Data, Size);
    const int Sent = avcodec_send_packet(Context.get(), Packet.get());
    av_packet_unref(Packet.get());
    return Sent >= 0 && Receive(Output);
}

bool TDecodingStream::Receive(std::vector<uint8_t>& Output) {
    for (;;) {
        const int Result = avcodec_receive_frame(Context.get(), Frame.get());
        if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) {
            return true;
        }
        if (Result < 0) {
            return false;
        }
        if (!Converter.IsOpen() &&
            !Converter.Open(static_cast<AVSampleFormat>(Frame->format),
                            Frame->ch_layout.nb_channels, Frame->sample_rate, Destination.nChannels,
                            static_cast<int>(Destination.nSamplesPerSec))) {
            return false;
        }
        const bool Converted = Converter.Convert(Frame->extended_data, Frame->nb_samples, Output);
        av_frame_unref(Frame.get());
        if (!Converted) {
            return false;
        }
    }
}

bool TDecodingStream::Drain(std::vector<uint8_t>& Output) {
    Drained = true;
    const bool Received = avcodec_send_packet(Context.get(), nullptr) >= 0 && Receive(Output);
    return Received && (!Converter.IsOpen() || Converter.Flush(Output));
}

}  // namespace

std::unique_ptr<IAudioStream> OpenDecodingStream(const WAVEFORMATEX& Source,
                                                 const WAVEFORMATEX& Destination) {
    const AVCodec* Decoder = FindAudioDecoder(Source);
    if (!Decoder || Destination.wFormatTag != WAVE_FORMAT_PCM || Destination.wBitsPerSample != 16 ||
        Destination.nChannels == 0 || Destination.nSamplesPerSec == 0) {
        return nullptr;
    }
    auto Stream = std::make_unique<TDecodingStream>(Source, Destination);
    if (!Stream->Open(Decoder)) {
        return nullptr;
    }
    return Stream;
}

}  // namespace quorvane::platform
