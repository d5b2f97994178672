// Decoded frames: their layout, their pixels against the ffmpeg tool's
// decoding, and the same pictures whatever order they are asked in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <numeric>

#include "platform/avi/AviFile.h"
#include "support/Fixtures.h"
#include "support/MediaFixtures.h"

namespace quorvane::platform {
namespace {

using test::path;
using Pixels = std::vector<uint8_t>;

// One open video stream with its frame decoder.
class VideoSource {
public:
    explicit VideoSource(const path& File) {
        EXPECT_EQ(AVIFileOpenA(&FileHandle, File.c_str(), OF_READ, nullptr), AVIERR_OK) << File;
        EXPECT_EQ(AVIFileGetStream(FileHandle, &Stream, streamtypeVIDEO, 0), AVIERR_OK);
        Decoder = AVIStreamGetFrameOpen(Stream, nullptr);
    }
    ~VideoSource() {
        AVIStreamGetFrameClose(Decoder);
        AVIStreamRelease(Stream);
        AVIFileRelease(FileHandle);
    }
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    PGETFRAME Frames() const { return Decoder; }
    int32_t Start() const { return AVIStreamStart(Stream); }
    int32_t End() const { return AVIStreamEnd(Stream); }

    TPicture Picture(int32_t Position) const { return AVIStreamGetFrame(Decoder, Position); }
    // The rows as they are stored, padding included; empty when there is no
    // picture.
    Pixels Rows(int32_t Position) const {
        const TPicture Frame = Picture(Position);
        return Pixels(Frame.Rows, Frame.Rows + Frame.Size());
    }
    Pixels TopDown(int32_t Position) const {
        const TPicture Frame = Picture(Position);
        return Frame ? test::TopDownPixels(Frame) : Pixels{};
    }

private:
    PAVIFILE FileHandle = nullptr;
    PAVISTREAM Stream = nullptr;
    PGETFRAME Decoder = nullptr;
};

// Frames of the ffmpeg tool's decoding, one vector each.
std::vector<Pixels> Split(const Pixels& All, size_t FrameSize) {
    std::vector<Pixels> Frames;
    for (size_t At = 0; At + FrameSize <= All.size(); At += FrameSize) {
        Frames.emplace_back(All.begin() + static_cast<long>(At),
                            All.begin() + static_cast<long>(At + FrameSize));
    }
    return Frames;
}

void ExpectExactFrames(const path& File, const std::string& PixelFormat, int BytesPerPixel) {
    VideoSource Source(File);
    ASSERT_TRUE(Source.Frames());
    const TPicture First = Source.Picture(Source.Start());
    size_t FrameSize = static_cast<size_t>(First.Width) * First.Height * BytesPerPixel;
    auto Expected = Split(test::DecodeWithFfmpeg(File, PixelFormat), FrameSize);
    ASSERT_EQ(static_cast<int32_t>(Expected.size()), Source.End() - Source.Start());
    for (int32_t S = Source.Start(); S < Source.End(); ++S) {
        EXPECT_EQ(Source.TopDown(S), Expected[static_cast<size_t>(S - Source.Start())])
            << File << " frame " << S;
    }
}

TEST(AviFrames, HaveRowsPaddedToFourBytes) {
    VideoSource Source(test::AviWidth642());
    ASSERT_TRUE(Source.Frames());
    const TPicture Picture = Source.Picture(0);
    EXPECT_EQ(Picture.Width, 642);
    EXPECT_EQ(Picture.Height, 10);
    EXPECT_EQ(Picture.BytesPerPixel, 3);
    EXPECT_EQ(Picture.Stride, 1928u);
}

TEST(AviFrames, RawBgrComesOutByteForByte) {
    ExpectExactFrames(test::AviBgr24(), "bgr24", 3);
    ExpectExactFrames(test::AviWidth642(), "bgr24", 3);
}

// libswscale writes YUV pictures in groups of pixels: the last columns of a
// width that is no multiple of 16 must come out too.
TEST(AviFrames, YuvVideoOfAnyWidthComesOutAsTheToolDecodesIt) {
    ExpectExactFrames(test::AviMjpegWidth468(), "bgr24", 3);
    ExpectExactFrames(test::AviMpeg4Width321(), "bgr24", 3);
}

TEST(AviFrames, ThirtyTwoBitRgbStaysThirtyTwoBits) {
    VideoSource Source(test::AviBgra());
    EXPECT_EQ(Source.Picture(0).BytesPerPixel, 4);
    ExpectExactFrames(test::AviBgra(), "bgra", 4);
}

TEST(AviFrames, PaletteVideoBecomesTwentyFourBitsWithItsColours) {
    VideoSource Source(test::AviPal8());
    EXPECT_EQ(Source.Picture(0).BytesPerPixel, 3);
    ExpectExactFrames(test::AviPal8(), "bgr24", 3);
    // Asked again after a restart, the palette still applies.
    Pixels Last = Source.TopDown(3);
    EXPECT_EQ(Source.TopDown(0), test::TopDownPixels(Source.Picture(0)));
    EXPECT_EQ(Source.TopDown(3), Last);
}

TEST(AviFrames, PaletteChangesHoldFromTheirChunkOn) {
    for (const path& File : {test::AviPaletteChange(), test::AviPaletteChangeUnindexed()}) {
        ExpectExactFrames(File, "bgr24", 3);
        // Every restart (each frame is one) finds the colours of its place.
        auto Expected = Split(test::DecodeWithFfmpeg(File, "bgr24"), 64 * 48 * 3);
        VideoSource Source(File);
        for (int32_t S = Source.End() - 1; S >= 0; --S) {
            EXPECT_EQ(Source.TopDown(S), Expected[static_cast<size_t>(S)]) << File << " " << S;
        }
    }
}

// Lossy codecs: our conversion to BGR may round differently from the tool's.
void ExpectCloseFrames(const path& File) {
    VideoSource Source(File);
    ASSERT_TRUE(Source.Frames());
    const TPicture First = Source.Picture(0);
    ASSERT_EQ(First.BytesPerPixel, 3);
    size_t FrameSize = static_cast<size_t>(First.Width) * First.Height * 3;
    auto Expected = Split(test::DecodeWithFfmpeg(File, "bgr24"), FrameSize);
    ASSERT_EQ(static_cast<int32_t>(Expected.size()), Source.End());
    for (int32_t S = 0; S < Source.End(); ++S) {
        Pixels Actual = Source.TopDown(S);
        ASSERT_EQ(Actual.size(), FrameSize);
        const Pixels& Wanted = Expected[static_cast<size_t>(S)];
        int64_t Difference = 0;
        for (size_t I = 0; I < FrameSize; ++I) {
            Difference += std::abs(Actual[I] - Wanted[I]);
        }
        EXPECT_LT(static_cast<double>(Difference) / FrameSize, 1.0) << File << " frame " << S;
    }
}

TEST(AviFrames, CompressedVideoMatchesTheToolsDecoding) {
    ExpectCloseFrames(test::AviMjpeg());
    ExpectCloseFrames(test::AviMpeg4());
    ExpectCloseFrames(test::AviH264());
    // The decoder, not the index, tells which pictures can be restarted from.
    ExpectCloseFrames(test::AviMpeg4AllFlaggedKey());
}

struct MatrixCase {
    const char* Name;
    const char* Size;
    const char* Matrix;
    bool Tagged;
    const char* Codec = "libx264 -qp 0";
};

class ColourMatrices : public ::testing::TestWithParam<MatrixCase> {};

// The colour comes back whichever matrix made the YUV, when the stream
// states it and, when it does not, by the codec's convention: HD H.264 is
// BT.709, other codecs are BT.601 at any size. Within 6: the conversion's
// rounding costs up to 4, the wrong matrix 14 to 20.
TEST_P(ColourMatrices, GiveBackTheSourceColour) {
    const MatrixCase& Case = GetParam();
    VideoSource Source(test::AviSolidColour(std::string(Case.Name) + ".avi", Case.Size, Case.Matrix,
                                            Case.Tagged, Case.Codec));
    const Pixels Picture = Source.TopDown(0);
    ASSERT_FALSE(Picture.empty());
    const uint8_t Wanted[3] = {50, 50, 200};  // blue, green, red
    for (size_t At : {size_t{0}, Picture.size() / 2 / 3 * 3, Picture.size() - 3}) {
        for (size_t Channel = 0; Channel < 3; ++Channel) {
            EXPECT_NEAR(Picture[At + Channel], Wanted[Channel], 6)
                << "channel " << Channel << " at byte " << At;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ColourMatrices,
    ::testing::Values(MatrixCase{"Bt709TaggedSd", "160x120", "bt709", true},
                      MatrixCase{"Bt601TaggedHd", "1280x720", "bt470bg", true},
                      MatrixCase{"UntaggedSdIsBt601", "160x120", "bt470bg", false},
                      MatrixCase{"UntaggedHdIsBt709", "1280x720", "bt709", false},
                      MatrixCase{"UntaggedHdMpeg4IsBt601", "1280x720", "bt470bg", false,
                                 "mpeg4 -q:v 2"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct StandingCase {
    const char* Name;
    path (*File)();
    std::vector<size_t> PictureOf;  // the tool's picture each sample shows
};

void PrintTo(const StandingCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class StandingPictures : public ::testing::TestWithParam<StandingCase> {};

// Samples without a picture of their own show the one before them (or,
// before the first, the first), in whatever order they are asked for.
TEST_P(StandingPictures, SamplesWithoutAPictureOfTheirOwnShowThePreviousOne) {
    const StandingCase& Case = GetParam();
    const path File = Case.File();
    auto Expected = Split(test::DecodeWithFfmpeg(File, "bgr24"), 64 * 48 * 3);
    ASSERT_EQ(Expected.size(), Case.PictureOf.back() + 1) << "the tool gives no picture for them";
    VideoSource Source(File);
    ASSERT_EQ(Source.End(), static_cast<int32_t>(Case.PictureOf.size()));
    for (int32_t S = 0; S < Source.End(); ++S) {
        EXPECT_EQ(Source.TopDown(S), Expected[Case.PictureOf[static_cast<size_t>(S)]]) << S;
    }
    VideoSource Backwards(File);
    for (int32_t S = Source.End() - 1; S >= 0; --S) {
        EXPECT_EQ(Backwards.TopDown(S), Expected[Case.PictureOf[static_cast<size_t>(S)]])
            << "backwards " << S;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, StandingPictures,
    ::testing::Values(
        StandingCase{"EmptyChunks", test::AviDropped, {0, 1, 2, 2, 2, 2, 3, 4, 5, 6}},
        StandingCase{"EmptyChunksFirst", test::AviLeadingDropped, {0, 0, 0, 1, 2, 3}},
        StandingCase{"NothingChangedChunks", test::AviTsccUnchanged, {0, 0, 0, 1, 1, 2, 3, 3}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(AviFrames, PositionsOutsideTheStreamGiveNothing) {
    VideoSource Source(test::AviBgr24());
    EXPECT_FALSE(Source.Picture(-1));
    EXPECT_FALSE(Source.Picture(Source.End()));
    EXPECT_TRUE(Source.Picture(Source.End() - 1));
}

// Every order of access gives the pictures a sequential pass gives.
void ExpectSamePicturesInAnyOrder(const path& File) {
    std::vector<Pixels> Sequential;
    {
        VideoSource Source(File);
        for (int32_t S = 0; S < Source.End(); ++S) {
            Sequential.push_back(Source.Rows(S));
            ASSERT_FALSE(Sequential.back().empty()) << S;
        }
    }
    VideoSource Source(File);
    for (int32_t S = Source.End() - 1; S >= 0; --S) {
        EXPECT_EQ(Source.Rows(S), Sequential[static_cast<size_t>(S)]) << File << " backwards " << S;
    }
    for (int32_t S : {0, 1, 5, 13, 14, 26, 39, 2, 38, 12, 11, 24, 23, 25}) {
        EXPECT_EQ(Source.Rows(S), Sequential[static_cast<size_t>(S)])
            << File << " jumping to " << S;
    }
    for (int32_t S = 0; S < Source.End(); S += 3) {
        EXPECT_EQ(Source.Rows(S), Sequential[static_cast<size_t>(S)])
            << File << " every third " << S;
    }
}

TEST(AviFrames, InterFramesDecodeAlikeSequentiallyBackwardsAndJumping) {
    ExpectSamePicturesInAnyOrder(test::AviMpeg4());
    ExpectSamePicturesInAnyOrder(test::AviH264());
}

TEST(AviFrames, TheSamePositionTwiceGivesTheSamePicture) {
    VideoSource Source(test::AviH264());
    Pixels First = Source.Rows(7);
    EXPECT_EQ(Source.Rows(7), First);
    EXPECT_FALSE(First.empty());
}

// The next picture is decoded ahead while the caller reads this one; asking
// for the same position again waits for that decoding, after which the
// picture handed out must still be what it was.
TEST(AviFrames, APictureStaysWhileTheNextIsDecodedAhead) {
    VideoSource Source(test::AviH264());
    for (int32_t S : {0, 1, 2, 12}) {
        const TPicture Shown = Source.Picture(S);
        ASSERT_TRUE(Shown);
        const Pixels Before = test::TopDownPixels(Shown);
        EXPECT_EQ(Source.Picture(S).Rows, Shown.Rows);
        EXPECT_EQ(test::TopDownPixels(Shown), Before) << S;
    }
}

TEST(AviFrames, VideoStoredAfterAudioIsFound) {
    ExpectExactFrames(test::AviAudioFirst(), "bgr24", 3);
}

TEST(AviFrames, APaddingStreamBeforeTheVideoChangesNoPicture) {
    VideoSource Original(test::AviAudioFirst());
    VideoSource Padded(test::AviPaddingFirst());
    ASSERT_TRUE(Padded.Frames());
    for (int32_t S = 0; S < Original.End(); ++S) {
        EXPECT_EQ(Padded.Rows(S), Original.Rows(S)) << "frame " << S;
    }
}

TEST(AviFrames, OpenDmlFilesDecodeLikeTheirOriginal) {
    VideoSource Original(test::AviPcm16Stereo());
    for (const path& File :
         {test::AviOpenDml(), test::AviOpenDmlUnindexed(), test::AviOpenDmlBeyond4GB()}) {
        VideoSource Rewritten(File);
        ASSERT_TRUE(Rewritten.Frames()) << File;
        for (int32_t S = 0; S < Original.End(); S += 4) {
            EXPECT_EQ(Rewritten.Rows(S), Original.Rows(S)) << File << " frame " << S;
        }
    }
}

TEST(AviFrames, ATruncatedFileDecodesWhatItStillHolds) {
    VideoSource Whole(test::AviPcm16Stereo());
    VideoSource Cut(test::AviTruncated());
    EXPECT_EQ(Cut.Rows(0), Whole.Rows(0));
    EXPECT_EQ(Cut.Rows(2), Whole.Rows(2));
    EXPECT_TRUE(Cut.Rows(Cut.End() - 1).empty());
}

TEST(AviFrames, AnUndecodableSampleGivesNothingAndTheNextOneDecodes) {
    VideoSource Source(test::AviFirstFrameUndecodable());
    ASSERT_TRUE(Source.Frames());
    EXPECT_FALSE(Source.Picture(0));
    VideoSource Intact(test::AviMjpeg());
    EXPECT_EQ(Source.Rows(1), Intact.Rows(1));
    EXPECT_FALSE(Source.Rows(1).empty());
}

TEST(AviFrameDecoder, OpensOnlyForDecodableVideo) {
    VideoSource Unknown(test::AviUnknownVideoCodec());
    EXPECT_EQ(Unknown.Frames(), nullptr);

    PAVIFILE File = nullptr;
    ASSERT_EQ(AVIFileOpenA(&File, test::AviPcm16Stereo().c_str(), OF_READ, nullptr), AVIERR_OK);
    PAVISTREAM Audio = nullptr;
    ASSERT_EQ(AVIFileGetStream(File, &Audio, streamtypeAUDIO, 0), AVIERR_OK);
    EXPECT_EQ(AVIStreamGetFrameOpen(Audio, nullptr), nullptr);
    PAVISTREAM Video = nullptr;
    ASSERT_EQ(AVIFileGetStream(File, &Video, streamtypeVIDEO, 0), AVIERR_OK);
    BITMAPINFOHEADER Wanted{};
    EXPECT_EQ(AVIStreamGetFrameOpen(Video, &Wanted), nullptr)
        << "only the default output is offered";
    AVIStreamRelease(Video);
    AVIStreamRelease(Audio);
    AVIFileRelease(File);
}

}  // namespace
}  // namespace quorvane::platform
