// The MP3 audio source of a run: frames copied unchanged into audio tags,
// each written before the first video frame that comes after its time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "job/AudioClock.h"
#include "job/Mp3FrameReader.h"
#include "job/RunHost.h"

namespace quorvane {

class TScreenVideoEncoder;

class TMp3Interleaver {
public:
    // An external MP3 file (after its ID3v2 tag) or the audio pass's file of
    // bare frames; the frames that start before Origin (ms) are passed
    // over, and the output's time 0 is Origin. Throws EJobFailure naming
    // the file when it can't be opened.
    TMp3Interleaver(const std::string& FileName, bool ExternalFile, uint32_t Origin = 0);

    // Writes, as audio tags, the frames that start before Time (ms, in the
    // output's time). False when the user, asked whether to go on without
    // the audio, said no: the video is to end here.
    bool WriteBefore(uint32_t Time, TScreenVideoEncoder& Encoder, IRunHost& Host);

    // What the end of the run has to say of the sound, the video having
    // ended at VideoEnd (ms): the bytes passed over that were no MP3 frames,
    // and sound that ends more than a second before the video. Nothing for
    // a source the user chose to go on without.
    std::string EndNote(int64_t VideoEnd) const;

private:
    bool Writing() const { return Reader && !Muted; }
    // The next frame's time in the output; 0 for frames before Origin.
    uint32_t NextOutputTime() const { return NextTime > Origin ? NextTime - Origin : 0; }
    bool WriteNextFrame(TScreenVideoEncoder& Encoder, IRunHost& Host);
    void EndFrames();

    std::unique_ptr<TMp3FrameReader> Reader;  // none once the frames have ended
    bool Muted = false;                       // open, but never read again
    const uint32_t Origin;
    uint32_t NextTime = 0;  // the next frame's time in the file, from Clock
    TAudioClock Clock;
    uint64_t BytesSkipped = 0;  // by the reader, before it was closed
};

}  // namespace quorvane
