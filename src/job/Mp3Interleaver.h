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
    // bare frames. Throws EJobFailure naming the file when it can't be opened.
    TMp3Interleaver(const std::string& FileName, bool SkipId3v2);

    // Writes, as audio tags, the frames that start before Time (ms). False
    // when the user, asked whether to go on without the audio, said no: the
    // video is to end here.
    bool WriteBefore(uint32_t Time, TScreenVideoEncoder& Encoder, IRunHost& Host);

private:
    bool Writing() const { return Reader && !Muted; }
    bool WriteNextFrame(TScreenVideoEncoder& Encoder, IRunHost& Host);

    std::unique_ptr<TMp3FrameReader> Reader;  // none once the frames have ended
    bool Muted = false;                       // open, but never read again
    uint32_t NextTime = 0;                    // the next frame's timestamp, from Clock
    TAudioClock Clock;
};

}  // namespace quorvane
