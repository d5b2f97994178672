// The video file's own audio, transcoded to MP3 before the video phase: the
// chain is built when encoding is prepared, the pass writes the MP3 bytes to
// a temporary file beside the output, and the video phase then reads that
// file like an external MP3 file, without an ID3v2 tag to look for.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <system_error>

#include "job/AudioTranscoder.h"
#include "job/JobSettings.h"
#include "job/ProgressMeter.h"
#include "job/RunHost.h"
#include "job/VideoSource.h"
#include "platform/os/TemporaryFile.h"

namespace quorvane {

class TAviAudioPass {
public:
    // False when the chain can't be built: no MP3 format is offered, or a
    // stage can't be opened. What was built goes with the object.
    bool Prepare(const TAudioTrack& Track, const TAudioSettings& Audio);

    // Creates the temporary file the pass writes: Base, or Base-2, ...
    // Throws EJobFailure when it can't be created.
    void CreateMp3File(const std::string& Base);
    // Removes that file before the pass has run (a run that did not start).
    void DropMp3File() { AudioFile.reset(); }
    // Transcodes the track into that file, from the range's start on (its
    // sample at that time is the MP3's first), up to a second past VideoEnd,
    // the time the video ends (no silence is made past it), or to the
    // sample at the range's end when it has one; and releases the track and
    // the chain. False when a stop request ended the pass first: it looks
    // at the request before each chunk, so it ends within a chunk's
    // conversion of being asked. Throws EJobFailure when the file can't be
    // written.
    bool Run(std::unique_ptr<TAudioTrack> Track, const TRangeSettings& Range, int32_t VideoEnd,
             IRunHost& Host);
    // The MP3 file the pass wrote; it is removed with the object.
    const std::string& Mp3FileName() const { return AudioFile->Name(); }

private:
    void KeepRange(const TRangeSettings& Range, int32_t VideoEnd);
    void WriteLeadingSilence();
    void TranscodeChunks();
    void ChunkLost(int32_t Position, int32_t Samples);
    void ConvertChunk(int32_t Position, int32_t Samples, uint32_t Bytes);
    void WriteSilence(int64_t Milliseconds);
    int64_t ChunkLength(int32_t Position, int32_t Samples) const;
    void Flush();
    // Writes what a stage made, and tells of the stage that failed.
    bool Write(const TTranscodeResult& Result);
    // Throws EJobFailure naming the temporary file when Error is set.
    void CheckWritten(const std::error_code& Error) const;

    std::unique_ptr<TAudioTranscoder> Transcoder;
    std::unique_ptr<TAudioTrack> Track;  // while the pass runs
    IRunHost* Host = nullptr;            // while the pass runs
    // The part transcoded, in the input's time: CutStart is the MP3's time
    // 0; sound is kept up to KeptEnd, and read up to ReadEnd, a second past
    // CutEnd.
    int32_t CutStart = 0;
    int32_t CutEnd = 0;
    int64_t KeptEnd = INT64_MAX;
    int64_t ReadEnd = 0;
    std::unique_ptr<platform::TTemporaryFile> AudioFile;
    TProgressMeter Progress;
};

}  // namespace quorvane
