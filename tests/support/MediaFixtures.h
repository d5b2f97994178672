// The AVI files the media tests share, made by the ffmpeg tool (or derived
// from those by patching) on first use. Each returns the cached file's path.
#pragma once

#include <filesystem>

namespace quorvane::test {

using std::filesystem::path;

// Video only, raw and compressed.
path AviBgr24();  // 64x48, 15 fps, 6 frames, BI_RGB 24 bits
path AviBgra();   // 32x24, 10 fps, 4 frames, BI_RGB 32 bits
path AviPal8();   // 64x48, 15 fps, 4 frames, 8-bit palette
// 64x48, 10 fps, 6 frames, 8-bit palette, its colours changed before the third.
path AviPaletteChange();
path AviPaletteChangeUnindexed();  // the same as a recording cut off: no idx1
path AviMjpeg();                   // 160x120, 25 fps, 10 frames
path AviMpeg4();  // 160x120, 30000/1001 fps, 40 frames, B-frames, a key frame every 12
// 160x120, 25 fps, 30 frames without B-frames, a key frame every 12, but
// every chunk flagged as a key frame (as index-rebuilding tools leave it).
path AviMpeg4AllFlaggedKey();
path AviH264();  // 160x120, 24000/1001 fps, 40 frames, B-frames, a key frame every 12
// 2 frames of one colour, R 200 G 50 B 50, through a YUV matrix (bt709,
// bt470bg), optionally stated in the stream, coded as Codec says (lossless
// H.264 unless told).
path AviSolidColour(const std::string& Name, const std::string& Size, const std::string& Matrix,
                    bool Tagged, const std::string& Codec = "libx264 -qp 0");
path AviWidth642();  // 642x10, 5 fps, 3 frames, BI_RGB 24 bits (rows need padding)
// YUV widths that are no multiple of 16: 5 fps, 3 frames, 16 lines.
path AviMjpegWidth468();
path AviMpeg4Width321();
path AviDropped();         // 64x48, 10 fps, 10 samples of which 3, 4 and 5 are empty chunks
path AviHalfRate();        // 64x48 at 25/2 fps, 3 frames
path AviLeadingDropped();  // 64x48, 10 fps, 6 samples of which 0 and 1 are empty chunks
// 64x48 TechSmith screen capture (TSCC, 24 bits) at 10 fps: 8 samples, of
// which 1, 2, 4 and 7 are the codec's 2-byte "nothing changed" chunks.
path AviTsccUnchanged();

// Raw BGR 64x48 at 15 fps for one second, with one second of sound.
path AviPcm16Stereo();   // PCM 16 bits stereo 44100 Hz
path AviPcm8Mono();      // PCM 8 bits mono 11025 Hz
path AviMp3();           // MP3 stereo 44100 Hz
path AviImaAdpcm();      // IMA ADPCM mono 22050 Hz
path AviRawAac();        // AAC stereo 44100 Hz as ffmpeg stores it: raw, its set-up in cbSize bytes
path AviAdtsAac();       // AAC mono 44100 Hz stored as ADTS frames (headers, no cbSize bytes)
path AviVorbis();        // Vorbis mono 44100 Hz
path AviSixChannels();   // PCM 16 bits, 6 channels, 48000 Hz, stored as WAVE_FORMAT_EXTENSIBLE
path AviAudioFirst();    // PCM 16 bits stereo as stream 0, the video as stream 1
path AviPaddingFirst();  // AviAudioFirst with its audio stream header turned to 'pads'
path AviAudioOnly();     // PCM 16 bits stereo, no video

// Derived by patching.
path AviUnknownVideoCodec();       // AviMjpeg with FourCC 'QQQQ'
path AviUnknownAudioTag();         // AviPcm16Stereo with wFormatTag 0xBEEF
path AviSixChannelsAsPcm();        // AviSixChannels with wFormatTag 1
path AviAudioWithoutFormat();      // AviPcm16Stereo whose audio 'strf' became 'JUNK'
path AviFirstFrameUndecodable();   // AviMjpeg with its first chunk zeroed
path AviScaleZero();               // AviBgr24 with dwScale 0
path AviRate50Scale2();            // AviBgr24 with dwRate 50, dwScale 2
path AviNoFrameRect();             // AviBgr24 with rcFrame all zero
path AviLengthBeyondData();        // AviBgr24 with dwLength 0x7FFFFFFF
path AviSaturatedTimes();          // AviBgr24 with dwScale 0xFFFFFFFF, dwRate 1
path AviWidthBeyond16Bits();       // raw BGR frames announced as 65600x1
path AviMiddleFrameUndecodable();  // AviMjpeg with its fifth chunk zeroed
path AviNoFrameDecodable();        // AviMjpeg with every chunk zeroed
path AviTruncated();               // AviPcm16Stereo cut in half
path AviIdx1CutShort();            // AviPcm16Stereo less the last 64 bytes of its idx1
path AviUnfinished();              // AviPcm16Stereo as a recording cut off: no idx1, and the
                                   // RIFF and 'movi' sizes those of the empty list it began with
path AviAbsoluteIdx1();            // AviPcm16Stereo with absolute idx1 offsets
path AviOpenDml();                 // AviPcm16Stereo as OpenDML, indexed by 'indx' only
path AviOpenDmlUnindexed();        // the same with empty super indexes
path AviOpenDmlBeyond4GB();        // AviOpenDml with its chunks past 4 GB (a sparse file)
path AviOpenDmlIndexPastTheEnd();  // two 'ix##' per stream, the second listed past the file's end
path AviOpenDmlCutShort();         // AviOpenDml cut within its fourth video chunk
path EmptyFile();                  // "empty.avi", no bytes
path TextFile();                   // "text.avi", a line of text

}  // namespace quorvane::test
