#include "support/MediaFixtures.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "support/AviPatches.h"
#include "support/Fixtures.h"

namespace quorvane::test {

namespace {

const std::string Bgr24Source = "-f lavfi -i testsrc2=size=64x48:rate=15:duration=1 ";
const std::string RawBgr24 = " -c:v rawvideo -pix_fmt bgr24 ";

path WithSound(const std::string& Name, const std::string& SoundArguments) {
    return Fixture(Name, Bgr24Source +
                             "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 " +
                             RawBgr24 + SoundArguments);
}

using Bytes = std::vector<uint8_t>;

path PatchedStreamHeader(const std::string& Name, const path& Source, size_t Field,
                         uint32_t Value) {
    return DerivedFixture(Name, Source, [&](Bytes File) {
        PutLE32(File, StreamChunk(File, 0, "strh").DataOffset + Field, Value);
        return File;
    });
}

// AviMjpeg with the data of the video chunks Zeroed picks (by ordinal) zeroed.
path MjpegWithZeroedChunks(const std::string& Name, const std::function<bool(size_t)>& Zeroed) {
    return DerivedFixture(Name, AviMjpeg(), [&](Bytes File) {
        const std::vector<RiffEntry> Chunks = DataChunks(File, "dc");
        for (size_t I = 0; I < Chunks.size(); ++I) {
            if (Zeroed(I)) {
                std::fill_n(File.begin() + static_cast<long>(Chunks[I].DataOffset),
                            Chunks[I].DataSize, 0);
            }
        }
        return File;
    });
}

// The first chunk Id (of list type ListType, for lists) in File.
RiffEntry FindEntry(const Bytes& File, const std::string& Id, const std::string& ListType = "") {
    const std::vector<RiffEntry> Entries = RiffEntries(File);
    return *std::find_if(Entries.begin(), Entries.end(), [&](const RiffEntry& Entry) {
        return Entry.Id == Id && Entry.ListType == ListType;
    });
}

// The chunk emptied where it lies, as a capture program writes a dropped
// frame: its header says 0 bytes, its former data becomes a 'JUNK' chunk
// and its idx1 entry (entry IndexEntry) says 0 bytes too.
void EmptyChunk(Bytes& File, const RiffEntry& Chunk, size_t IndexEntry) {
    PutLE32(File, Chunk.Offset + 4, 0);
    PutFourCC(File, Chunk.DataOffset, "JUNK");
    PutLE32(File, Chunk.DataOffset + 4, static_cast<uint32_t>(Chunk.DataSize - 8));
    PutLE32(File, FindEntry(File, "idx1").DataOffset + IndexEntry * 16 + 12, 0);
}

// 64x48, 10 fps, 6 frames, BI_RGB 24 bits.
path Bgr24At10Fps() {
    return Fixture("bgr24-10fps.avi",
                   "-f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 6" + RawBgr24);
}

// A recording cut off: no idx1, and the RIFF and 'movi' sizes those of the
// empty list it began with.
Bytes Unfinished(Bytes File) {
    const RiffEntry Movie = FindEntry(File, "LIST", "movi");
    File.resize(FindEntry(File, "idx1").Offset);
    PutLE32(File, Movie.Offset + 4, 4);
    PutLE32(File, 4, static_cast<uint32_t>(Movie.DataOffset - 8));
    return File;
}

// A 24-bit picture as TSCC stores it: deflated run-length code, bottom row
// first, runs of one colour, an end of line after each row but the last and
// an end of picture after it.
Bytes TsccPicture(const Bytes& Rows, size_t Width, size_t Height) {
    const size_t Stride = (Width * 3 + 3) & ~size_t{3};
    Bytes Code;
    for (size_t Row = 0; Row < Height; ++Row) {
        const uint8_t* Pixels = Rows.data() + Row * Stride;
        for (size_t X = 0; X < Width;) {
            size_t Run = 1;
            while (X + Run < Width && Run < 255 &&
                   std::equal(Pixels + 3 * X, Pixels + 3 * X + 3, Pixels + 3 * (X + Run))) {
                ++Run;
            }
            Code.push_back(static_cast<uint8_t>(Run));
            Code.insert(Code.end(), Pixels + 3 * X, Pixels + 3 * X + 3);
            X += Run;
        }
        Code.insert(Code.end(), {0, static_cast<uint8_t>(Row + 1 < Height ? 0 : 1)});
    }
    uLongf Size = compressBound(static_cast<uLong>(Code.size()));
    Bytes Deflated(Size);
    if (compress(Deflated.data(), &Size, Code.data(), static_cast<uLong>(Code.size())) != Z_OK) {
        throw std::runtime_error("compress failed");
    }
    Deflated.resize(Size);
    return Deflated;
}

path PatchedAudioTag(const std::string& Name, const path& Source, uint16_t Tag) {
    return DerivedFixture(Name, Source, [&](Bytes File) {
        PutLE16(File, StreamChunk(File, 1, "strf").DataOffset, Tag);
        return File;
    });
}

}  // namespace

path AviBgr24() {
    return Fixture("bgr24.avi", "-f lavfi -i testsrc2=size=64x48:rate=15 -frames:v 6" + RawBgr24);
}

path AviBgra() {
    return Fixture(
        "bgra.avi",
        "-f lavfi -i testsrc2=size=32x24:rate=10 -frames:v 4 -c:v rawvideo -pix_fmt bgra");
}

path AviPal8() {
    return Fixture(
        "pal8.avi",
        "-f lavfi -i testsrc2=size=64x48:rate=15 -frames:v 4 -c:v rawvideo -pix_fmt pal8");
}

// Each frame's own palette, made for it: FFmpeg's muxer stores a change of
// palette as a palette-change chunk.
path AviPaletteChange() {
    return Fixture("palette-change.avi",
                   "-f lavfi -i 'testsrc2=size=64x48:rate=10:duration=0.6,split[a][b];"
                   "[a]palettegen=stats_mode=single:max_colors=16[p];[b][p]paletteuse=new=1' "
                   "-c:v rawvideo -pix_fmt pal8");
}

path AviPaletteChangeUnindexed() {
    return DerivedFixture("palette-change-unindexed.avi", AviPaletteChange(), Unfinished);
}

path AviMjpeg() {
    return Fixture("mjpeg.avi",
                   "-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 10 -c:v mjpeg -q:v 2");
}

path AviMpeg4() {
    return Fixture("mpeg4.avi",
                   "-f lavfi -i testsrc2=size=160x120:rate=30000/1001 -frames:v 40 "
                   "-c:v mpeg4 -bf 2 -g 12 -q:v 3");
}

path AviMpeg4AllFlaggedKey() {
    const path Source = Fixture("mpeg4-p.avi",
                                "-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 30 "
                                "-c:v mpeg4 -bf 0 -g 12 -q:v 3");
    return DerivedFixture("mpeg4-all-flagged-key.avi", Source, [](Bytes File) {
        const RiffEntry Idx1 = FindEntry(File, "idx1");
        for (size_t At = Idx1.DataOffset; At + 16 <= Idx1.DataOffset + Idx1.DataSize; At += 16) {
            PutLE32(File, At + 4, GetLE32(File, At + 4) | 0x10);
        }
        return File;
    });
}

path AviH264() {
    return Fixture("h264.avi",
                   "-f lavfi -i testsrc2=size=160x120:rate=24000/1001 -frames:v 40 "
                   "-c:v libx264 -preset veryfast -bf 2 -g 12 -pix_fmt yuv420p");
}

// Red 200, green 50, blue 50 turned into YUV by the named matrix; the tag,
// when given, states the matrix.
path AviSolidColour(const std::string& Name, const std::string& Size, const std::string& Matrix,
                    bool Tagged, const std::string& Codec) {
    const std::string Tag = Tagged ? " -colorspace " + Matrix : "";
    return Fixture(Name, "-f lavfi -i color=c=0xC83232:size=" + Size +
                             ":rate=10 -frames:v 2 -vf scale=out_color_matrix=" + Matrix +
                             ":out_range=tv -pix_fmt yuv420p -c:v " + Codec + Tag);
}

path AviWidth642() {
    return Fixture("width642.avi",
                   "-f lavfi -i testsrc2=size=642x10:rate=5 -frames:v 3" + RawBgr24);
}

path AviMjpegWidth468() {
    return Fixture("mjpeg-width468.avi",
                   "-f lavfi -i testsrc2=size=468x16:rate=5 -frames:v 3 -c:v mjpeg -q:v 2");
}

path AviMpeg4Width321() {
    return Fixture("mpeg4-width321.avi",
                   "-f lavfi -i testsrc2=size=321x16:rate=5 -frames:v 3 -c:v mpeg4 -q:v 3");
}

path AviDropped() {
    // Passing the gaps of the selected frames through makes the muxer write
    // an empty chunk for each missing frame.
    return Fixture("dropped.avi",
                   "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 "
                   "-vf select='not(between(n\\,3\\,5))' -fps_mode passthrough" +
                       RawBgr24);
}

path AviLeadingDropped() {
    return DerivedFixture("leading-dropped.avi", Bgr24At10Fps(), [](Bytes File) {
        const std::vector<RiffEntry> Chunks = DataChunks(File, "dc");
        for (size_t I : {0, 1}) {
            EmptyChunk(File, Chunks[I], I);
        }
        return File;
    });
}

path AviTsccUnchanged() {
    return DerivedFixture("tscc-unchanged.avi", Bgr24At10Fps(), [](Bytes File) {
        const std::vector<RiffEntry> Frames = DataChunks(File, "dc");
        const auto Picture = [&](size_t I) {
            const auto Rows = File.begin() + static_cast<long>(Frames[I].DataOffset);
            return VideoChunk{
                TsccPicture(Bytes(Rows, Rows + static_cast<long>(Frames[I].DataSize)), 64, 48),
                I == 0};
        };
        const VideoChunk Unchanged{{0x00, 0x01}, false};
        File = WithVideoChunks(File, {Picture(0), Unchanged, Unchanged, Picture(1), Unchanged,
                                      Picture(2), Picture(3), Unchanged});
        PutFourCC(File, StreamChunk(File, 0, "strh").DataOffset + StrhHandler, "tscc");
        PutFourCC(File, StreamChunk(File, 0, "strf").DataOffset + 16, "tscc");
        return File;
    });
}

path AviHalfRate() {
    return Fixture("half-rate.avi",
                   "-f lavfi -i testsrc2=size=64x48:rate=25/2 -frames:v 3" + RawBgr24);
}

path AviPcm16Stereo() {
    return WithSound("pcm16.avi", "-ac 2 -c:a pcm_s16le");
}

path AviPcm8Mono() {
    return WithSound("pcm8.avi", "-ar 11025 -ac 1 -c:a pcm_u8");
}

path AviMp3() {
    return WithSound("mp3.avi", "-ac 2 -c:a libmp3lame -b:a 128k");
}

path AviImaAdpcm() {
    return WithSound("ima.avi", "-ar 22050 -ac 1 -c:a adpcm_ima_wav");
}

path AviRawAac() {
    return WithSound("raw-aac.avi", "-ac 2 -c:a aac");
}

path AviAdtsAac() {
    const path Adts = Fixture("tone.aac", "-f lavfi -i sine=sample_rate=44100:duration=1 -c:a aac");
    return Fixture("adts-aac.avi", Bgr24Source + "-i " + Adts.string() + RawBgr24 + "-c:a copy");
}

path AviVorbis() {
    return WithSound("vorbis.avi", "-ac 1 -c:a libvorbis");
}

path AviSixChannels() {
    return WithSound("six-channels.avi", "-ar 48000 -ac 6 -c:a pcm_s16le");
}

path AviAudioFirst() {
    return Fixture("audio-first.avi", Bgr24Source +
                                          "-f lavfi -i sine=sample_rate=44100:duration=1 " +
                                          "-map 1:a -map 0:v -ac 2 -c:a pcm_s16le" + RawBgr24);
}

path AviPaddingFirst() {
    return DerivedFixture("padding-first.avi", AviAudioFirst(), [](Bytes File) {
        PutFourCC(File, StreamChunk(File, 0, "strh").DataOffset, "pads");
        return File;
    });
}

path AviAudioOnly() {
    return Fixture("audio-only.avi",
                   "-f lavfi -i sine=sample_rate=44100:duration=1 -ac 2 -c:a pcm_s16le");
}

path AviUnknownVideoCodec() {
    return DerivedFixture("unknown-video-codec.avi", AviMjpeg(), [](Bytes File) {
        PutFourCC(File, StreamChunk(File, 0, "strh").DataOffset + StrhHandler, "QQQQ");
        PutFourCC(File, StreamChunk(File, 0, "strf").DataOffset + 16, "QQQQ");
        return File;
    });
}

path AviUnknownAudioTag() {
    return PatchedAudioTag("unknown-audio-tag.avi", AviPcm16Stereo(), 0xBEEF);
}

path AviSixChannelsAsPcm() {
    return PatchedAudioTag("six-channels-pcm.avi", AviSixChannels(), 1);
}

path AviAudioWithoutFormat() {
    return DerivedFixture("audio-without-format.avi", AviPcm16Stereo(), [](Bytes File) {
        PutFourCC(File, StreamChunk(File, 1, "strf").Offset, "JUNK");
        return File;
    });
}

path AviFirstFrameUndecodable() {
    return MjpegWithZeroedChunks("first-frame-undecodable.avi", [](size_t I) { return I == 0; });
}

path AviLengthBeyondData() {
    return PatchedStreamHeader("length-beyond-data.avi", AviBgr24(), StrhLength, 0x7FFFFFFF);
}

path AviSaturatedTimes() {
    return DerivedFixture("saturated-times.avi", AviBgr24(), [](Bytes File) {
        const size_t Header = StreamChunk(File, 0, "strh").DataOffset;
        PutLE32(File, Header + StrhScale, 0xFFFFFFFF);
        PutLE32(File, Header + StrhRate, 1);
        return File;
    });
}

// 32800x2 frames hold the bytes of 65600x1 ones: the announced size decodes.
path AviWidthBeyond16Bits() {
    const path Source = Fixture("bgr24-32800x2.avi",
                                "-f lavfi -i color=red:size=32800x2:rate=5 -frames:v 2" + RawBgr24);
    return DerivedFixture("width-beyond-16-bits.avi", Source, [](Bytes File) {
        const size_t Format = StreamChunk(File, 0, "strf").DataOffset;
        PutLE32(File, Format + 4, 65600);
        PutLE32(File, Format + 8, 1);
        return File;
    });
}

path AviMiddleFrameUndecodable() {
    return MjpegWithZeroedChunks("middle-frame-undecodable.avi", [](size_t I) { return I == 4; });
}

path AviNoFrameDecodable() {
    return MjpegWithZeroedChunks("no-frame-decodable.avi", [](size_t) { return true; });
}

path AviScaleZero() {
    return PatchedStreamHeader("scale-zero.avi", AviBgr24(), StrhScale, 0);
}

path AviRate50Scale2() {
    return DerivedFixture("rate50-scale2.avi", AviBgr24(), [](Bytes File) {
        size_t Header = StreamChunk(File, 0, "strh").DataOffset;
        PutLE32(File, Header + StrhScale, 2);
        PutLE32(File, Header + StrhRate, 50);
        return File;
    });
}

path AviNoFrameRect() {
    return DerivedFixture("no-frame-rect.avi", AviBgr24(), [](Bytes File) {
        size_t Header = StreamChunk(File, 0, "strh").DataOffset;
        PutLE32(File, Header + StrhRcFrame, 0);
        PutLE32(File, Header + StrhRcFrame + 4, 0);
        return File;
    });
}

path AviTruncated() {
    return DerivedFixture("truncated.avi", AviPcm16Stereo(), [](Bytes File) {
        File.resize(File.size() / 2);
        return File;
    });
}

path AviIdx1CutShort() {
    return DerivedFixture("idx1-cut-short.avi", AviPcm16Stereo(), [](Bytes File) {
        File.resize(File.size() - 64);
        return File;
    });
}

path AviUnfinished() {
    return DerivedFixture("unfinished.avi", AviPcm16Stereo(), Unfinished);
}

path AviAbsoluteIdx1() {
    return DerivedFixture("absolute-idx1.avi", AviPcm16Stereo(), WithAbsoluteIdx1);
}

path AviOpenDml() {
    return CachedFile("opendml.avi", [](const path& Output) {
        WriteOpenDml(ReadFileBytes(AviPcm16Stereo()), Output, true, 0);
    });
}

path AviOpenDmlUnindexed() {
    return CachedFile("opendml-unindexed.avi", [](const path& Output) {
        WriteOpenDml(ReadFileBytes(AviPcm16Stereo()), Output, false, 0);
    });
}

path AviOpenDmlBeyond4GB() {
    return CachedFile("opendml-beyond-4gb.avi", [](const path& Output) {
        WriteOpenDml(ReadFileBytes(AviPcm16Stereo()), Output, true, 0xFFFFFFE0);
    });
}

path AviOpenDmlIndexPastTheEnd() {
    const path TwoParts = CachedFile("opendml-two-index-parts.avi", [](const path& Output) {
        WriteOpenDml(ReadFileBytes(AviPcm16Stereo()), Output, true, 0, 2);
    });
    return DerivedFixture("opendml-index-past-the-end.avi", TwoParts, [](Bytes File) {
        for (int Stream = 0; Stream < 2; ++Stream) {
            const size_t SecondEntry = StreamChunk(File, Stream, "indx").DataOffset + 24 + 16;
            PutLE32(File, SecondEntry, static_cast<uint32_t>(File.size() + 4096));
        }
        return File;
    });
}

path AviOpenDmlCutShort() {
    return DerivedFixture("opendml-cut-short.avi", AviOpenDml(), [](Bytes File) {
        File.resize(DataChunks(File, "dc").at(3).Offset + 10);
        return File;
    });
}

path EmptyFile() {
    return CachedFile("empty.avi", [](const path& Output) { WriteFileBytes(Output, {}); });
}

path TextFile() {
    return CachedFile("text.avi", [](const path& Output) {
        std::string Text = "This is a text file, not a video.\n";
        WriteFileBytes(Output, Bytes(Text.begin(), Text.end()));
    });
}

}  // namespace quorvane::test
