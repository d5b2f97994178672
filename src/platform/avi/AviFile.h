// AVI file services: opening an AVI file and its streams, decoding video
// frames, reading stored audio, converting between sample numbers and times.
//
// Positions are sample numbers of a stream, counted as the AVI file counts
// them: from the stream's dwStart, one sample per chunk for video (empty
// chunks, i.e. dropped frames, included), one per dwSampleSize bytes for
// audio with a fixed sample size. Times are milliseconds. Calls returning
// HRESULT return AVIERR_OK (0) on success.
#pragma once

#include <cstdint>

#include "platform/types/Picture.h"
#include "platform/types/WinTypes.h"

namespace quorvane::platform {

using HRESULT = int32_t;
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_BADFORMAT = -1;  // not an AVI file, or a damaged one
constexpr HRESULT AVIERR_FILEOPEN = -2;   // the file cannot be opened
constexpr HRESULT AVIERR_FILEREAD = -3;   // reading the file failed
constexpr HRESULT AVIERR_NODATA = -4;     // no such stream or data
constexpr HRESULT AVIERR_BUFFERTOOSMALL = -5;
constexpr HRESULT AVIERR_BADPARAM = -6;

constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');

constexpr uint32_t OF_READ = 0;

constexpr int32_t FIND_NEXT = 0x0001;
constexpr int32_t FIND_PREV = 0x0004;
constexpr int32_t FIND_ANY = 0x0020;

struct AviFile;
struct AviStream;
struct CLSID;
struct AviFrameDecoder;
using PAVIFILE = AviFile*;
using PAVISTREAM = AviStream*;
using PGETFRAME = AviFrameDecoder*;

void AVIFileInit();
void AVIFileExit();

// Refuses files that are not AVI (AVI 1.0 or OpenDML 2.0) with AVIERR_BADFORMAT.
// No handler classes are offered: Handler is not looked at.
HRESULT AVIFileOpenA(PAVIFILE* File, const char* FileName, uint32_t Mode, const CLSID* Handler);
// Returns the new reference count; the file is closed when it reaches 0 and
// no stream of it is still held.
uint32_t AVIFileRelease(PAVIFILE File);

HRESULT AVIFileGetStream(PAVIFILE File, PAVISTREAM* Stream, FOURCC Type, int32_t Index);
uint32_t AVIStreamRelease(PAVISTREAM Stream);

int32_t AVIStreamStart(PAVISTREAM Stream);
int32_t AVIStreamLength(PAVISTREAM Stream);
inline int32_t AVIStreamEnd(PAVISTREAM Stream) {
    return AVIStreamStart(Stream) + AVIStreamLength(Stream);
}

HRESULT AVIStreamInfoA(PAVISTREAM Stream, AVISTREAMINFOA* Info, int32_t Size);

// With Format null, stores the stored format's size in *Size. Otherwise
// copies up to *Size bytes of the stored format (a WAVEFORMATEX with its
// extra bytes, or a BITMAPINFOHEADER with its palette) and sets *Size to the
// number copied. AVIERR_NODATA when the stream stores no format.
HRESULT AVIStreamReadFormat(PAVISTREAM Stream, int32_t Position, void* Format, int32_t* Size);

// Reads stored (still compressed) data from Start on: at most Samples
// samples, as many whole samples as fit BufferSize bytes (fewer at the end
// of the stream, none past it). BytesRead and SamplesRead may be null. With
// Buffer null, reports what Samples samples would take. AVIERR_BUFFERTOOSMALL
// when not even one sample fits, AVIERR_FILEREAD when reading fails.
HRESULT AVIStreamRead(PAVISTREAM Stream, int32_t Start, int32_t Samples, void* Buffer,
                      int32_t BufferSize, int32_t* BytesRead, int32_t* SamplesRead);

// Exact inverses on sample boundaries: AVIStreamTimeToSample(s,
// AVIStreamSampleToTime(s, n)) == n. A time beyond the stream gives the
// sample number it would have; a negative time gives -1.
int32_t AVIStreamSampleToTime(PAVISTREAM Stream, int32_t Sample);
int32_t AVIStreamTimeToSample(PAVISTREAM Stream, int32_t Time);

// FIND_NEXT | FIND_ANY: the first non-empty sample at or after Position, -1
// when there is none before the end of the stream. FIND_PREV | FIND_ANY: the
// last non-empty sample at or before Position, -1 when there is none. No
// other search is offered.
int32_t AVIStreamFindSample(PAVISTREAM Stream, int32_t Position, int32_t Flags);
inline int32_t AVIStreamNextSample(PAVISTREAM Stream, int32_t Position) {
    return AVIStreamFindSample(Stream, Position + 1, FIND_NEXT | FIND_ANY);
}

// Beyond the Windows services: the samples that a damaged index of the file
// lists, or that the header of a file cut off counts, and that the file was
// not found to hold; 0 for most files.
int32_t SamplesMissingFrom(PAVISTREAM Stream);

// Wanted must be null: frames come as bottom-up rows of 24 bits per pixel,
// or 32 where the stored video is 32-bit RGB. Returns null when no decoder
// exists for the stream.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM Stream, const BITMAPINFOHEADER* Wanted);
// The picture at Position, valid until the next call on this decoder. An
// empty sample, and one the codec answers with no picture (a screen codec's
// "nothing changed"), gives the previous picture; a sample that cannot be
// decoded, or that the file no longer holds (a truncated file), gives none.
TPicture AVIStreamGetFrame(PGETFRAME Decoder, int32_t Position);
HRESULT AVIStreamGetFrameClose(PGETFRAME Decoder);
// Beyond the Windows services: from the next frame on, the part of each
// picture converted and the size it is scaled to (both sides given, or
// neither); by default the whole picture at its own size.
void AVIStreamSetFrameGeometry(PGETFRAME Decoder, const TPictureGeometry& Geometry);

}  // namespace quorvane::platform
