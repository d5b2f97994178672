// The codec parameters made from an AVI stream's headers must be those
// libavformat reads from a file with the same headers: every rule of its
// reading that changes what the decoder gets, one row each.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "platform/avi/AviCodecParameters.h"
#include "platform/avi/FileReader.h"
#include "support/AviPatches.h"
#include "support/Fixtures.h"

namespace quorvane::platform {
namespace {

using Bytes = std::vector<uint8_t>;

struct HeaderCase {
    std::string Name;
    std::string Handler;  // the 'strh' fccHandler
    std::string FourCC;   // biCompression; empty for BI_RGB
    int32_t Height = 16;
    uint16_t BitCount = 24;
    Bytes After{};            // 'strf' bytes after the BITMAPINFOHEADER
    uint32_t SizeField = 40;  // biSize
    Bytes HandlerData{};      // 'strd', none when empty
};

void Append(Bytes& To, const Bytes& More) {
    To.insert(To.end(), More.begin(), More.end());
}

Bytes Chunk(const std::string& Id, const Bytes& Data) {
    Bytes Out(8);
    test::PutFourCC(Out, 0, Id);
    test::PutLE32(Out, 4, static_cast<uint32_t>(Data.size()));
    Append(Out, Data);
    if (Data.size() % 2) {
        Out.push_back(0);
    }
    return Out;
}

Bytes List(const std::string& Type, const std::string& Kind, const Bytes& Data) {
    Bytes Body(4);
    test::PutFourCC(Body, 0, Kind);
    Append(Body, Data);
    return Chunk(Type, Body);
}

// One video stream of one 16-byte frame, its headers as Case says.
Bytes AviWith(const HeaderCase& Case) {
    Bytes MainHeader(56);
    test::PutLE32(MainHeader, 24, 1);  // dwStreams
    Bytes StreamHeader(56);
    test::PutFourCC(StreamHeader, 0, "vids");
    test::PutFourCC(StreamHeader, test::StrhHandler, Case.Handler);
    test::PutLE32(StreamHeader, test::StrhScale, 1);
    test::PutLE32(StreamHeader, test::StrhRate, 25);
    test::PutLE32(StreamHeader, test::StrhLength, 1);
    Bytes Format(40);
    test::PutLE32(Format, 0, Case.SizeField);
    test::PutLE32(Format, 4, 16);
    test::PutLE32(Format, 8, static_cast<uint32_t>(Case.Height));
    test::PutLE16(Format, 12, 1);
    test::PutLE16(Format, 14, Case.BitCount);
    if (!Case.FourCC.empty()) {
        test::PutFourCC(Format, 16, Case.FourCC);
    }
    Append(Format, Case.After);
    Bytes StreamList = Chunk("strh", StreamHeader);
    Append(StreamList, Chunk("strf", Format));
    if (!Case.HandlerData.empty()) {
        Append(StreamList, Chunk("strd", Case.HandlerData));
    }
    Bytes Headers = Chunk("avih", MainHeader);
    Append(Headers, List("LIST", "strl", StreamList));
    Bytes Index(16);
    test::PutFourCC(Index, 0, "00dc");
    test::PutLE32(Index, 4, 0x10);  // a key frame
    test::PutLE32(Index, 8, 4);
    test::PutLE32(Index, 12, 16);
    Bytes Body = List("LIST", "hdrl", Headers);
    Append(Body, List("LIST", "movi", Chunk("00dc", Bytes(16))));
    Append(Body, Chunk("idx1", Index));
    return List("RIFF", "AVI ", Body);
}

// What the decoder is opened with, comparable; "none" for no parameters.
std::string Described(const AVCodecParameters* P) {
    if (!P || P->codec_type != AVMEDIA_TYPE_VIDEO) {
        return "none";
    }
    std::string Text = std::string(avcodec_get_name(P->codec_id)) + " tag " +
                       std::to_string(P->codec_tag) + " " + std::to_string(P->width) + "x" +
                       std::to_string(P->height) + " depth " +
                       std::to_string(P->bits_per_coded_sample) + " set-up";
    for (int I = 0; I < P->extradata_size; ++I) {
        Text += " " + std::to_string(P->extradata[I]);
    }
    return Text;
}

std::string OursFrom(const std::filesystem::path& File) {
    FileReader Reader;
    AviContents Contents;
    if (!Reader.Open(File.c_str()) || ParseAvi(Reader, Contents) != AVIERR_OK) {
        return "unreadable";
    }
    return Described(VideoCodecParametersOf(Contents.Streams.at(0)).get());
}

std::string LibavformatsFrom(const std::filesystem::path& File) {
    AVFormatContext* Opened = nullptr;
    if (avformat_open_input(&Opened, File.c_str(), av_find_input_format("avi"), nullptr) < 0) {
        return "unreadable";
    }
    const FormatContextPtr Format(Opened);
    return Described(Format->nb_streams ? Format->streams[0]->codecpar : nullptr);
}

void PrintTo(const HeaderCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class AviCodecParameters : public testing::TestWithParam<HeaderCase> {};

TEST_P(AviCodecParameters, AreLibavformatsReadingOfTheSameHeaders) {
    const HeaderCase& Case = GetParam();
    const auto File = test::CachedFile(
        "codec-parameters-" + Case.Name + ".avi",
        [&](const std::filesystem::path& Path) { test::WriteFileBytes(Path, AviWith(Case)); });
    EXPECT_EQ(OursFrom(File), LibavformatsFrom(File));
}

// Avid's set-up states its resolution (such as "2:1") at byte 28.
Bytes AvidSetUp(const std::string& Resolution) {
    Bytes SetUp(28 + Resolution.size(), 1);
    std::copy(Resolution.begin(), Resolution.end(), SetUp.begin() + 28);
    return SetUp;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, AviCodecParameters,
    testing::Values(
        HeaderCase{.Name = "RawBottomUp", .Handler = "DIB ", .FourCC = ""},
        HeaderCase{.Name = "RawTopDown", .Handler = "DIB ", .FourCC = "", .Height = -16},
        HeaderCase{.Name = "RawPalette",
                   .Handler = "DIB ",
                   .FourCC = "",
                   .BitCount = 8,
                   .After = Bytes(1024, 7)},
        HeaderCase{.Name = "Mpeg4ByXvidsHandler", .Handler = "XVID", .FourCC = "FMP4"},
        HeaderCase{
            .Name = "AvidJpeg", .Handler = "AVRn", .FourCC = "AVRn", .After = AvidSetUp("2:1")},
        HeaderCase{.Name = "AvidUncompressed",
                   .Handler = "AVRn",
                   .FourCC = "AVRn",
                   .After = AvidSetUp("1:1")},
        HeaderCase{.Name = "PaddingCountedInTheSize",
                   .Handler = "MJPG",
                   .FourCC = "MJPG",
                   .After = Bytes(6, 5),
                   .SizeField = 45},
        HeaderCase{.Name = "HandlerDataAsSetUp",
                   .Handler = "MJPG",
                   .FourCC = "MJPG",
                   .HandlerData = Bytes(12, 7)},
        HeaderCase{.Name = "HandlerDataNotForH264",
                   .Handler = "H264",
                   .FourCC = "H264",
                   .HandlerData = Bytes(12, 7)},
        HeaderCase{.Name = "QuickTimeAnimation", .Handler = "rle ", .FourCC = "rle "},
        HeaderCase{.Name = "LowerCaseHevc", .Handler = "hevc", .FourCC = "hevc"},
        HeaderCase{.Name = "LowerCaseJpeg", .Handler = "mjpg", .FourCC = "mjpg"},
        HeaderCase{.Name = "Unknown", .Handler = "QQQQ", .FourCC = "QQQQ"},
        HeaderCase{.Name = "Subtitles", .Handler = "DXSB", .FourCC = "DXSB"}),
    [](const testing::TestParamInfo<HeaderCase>& Info) { return Info.param.Name; });

}  // namespace
}  // namespace quorvane::platform
