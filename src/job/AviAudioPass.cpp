#include "job/AviAudioPass.h"

#include <algorithm>

#include "job/FrontEndTexts.h"
#include "job/JobErrors.h"

namespace quorvane {

using platform::TTemporaryFile;

namespace {

const char* StageFailureText(TTranscodeStage Stage) {
    switch (Stage) {
        case TTranscodeStage::Decompression:
            return "Error during audio decompression at offset ";
        case TTranscodeStage::Conversion:
            return "Error during audio conversion at offset ";
        default:
            return "Error during audio compression at offset ";
    }
}

// Stored sound is read this far past the video's end: its codec's delay
// (an MP3 encoder's, say) keeps the last moments of the sound within the
// video in the chunks just after it.
constexpr int32_t SoundPastVideoMs = 1000;

}  // namespace

// Needs the MP3 format pair; with no MP3 format offered there is nothing to
// convert to.
bool TAviAudioPass::Prepare(const TAudioTrack& Source, const TAudioSettings& Audio) {
    Transcoder = std::make_unique<TAudioTranscoder>();
    return !Audio.MP3Format.empty() && !Audio.MP3InputFormat.empty() &&
           Transcoder->Prepare(Source.StoredFormat(), Source.DecodedFormat(), Audio.MP3Format,
                               Audio.MP3InputFormat);
}

void TAviAudioPass::CreateMp3File(const std::string& Base) {
    std::error_code Error;
    AudioFile = std::make_unique<TTemporaryFile>(Base, Error);
    if (Error) {
        throw EJobFailure("Impossible to create the temporary audio file " +
                          ShownFileName(AudioFile->Name()) + " (" + Error.message() + ").");
    }
}

bool TAviAudioPass::Run(std::unique_ptr<TAudioTrack> Source, const TRangeSettings& Range,
                        int32_t VideoEnd, IRunHost& RunHost) {
    Track = std::move(Source);
    Host = &RunHost;
    KeepRange(Range, VideoEnd);
    Host->ShowStatus("Encoding audio...");
    // By the sound's time, up to where reading ends.
    Progress.Begin(Track->TimeOf(Track->Start()),
                   std::min<int64_t>(Track->TimeOf(Track->End()), ReadEnd));
    if (Track->Start() < Track->End()) {
        WriteLeadingSilence();
    }
    TranscodeChunks();
    const bool Stopped = Host->StopRequested();
    if (!Stopped) {
        Flush();
    }
    Progress.Finish();

    // A write the system reports only at the close would shorten the sound
    // that the video phase reads back from the file.
    CheckWritten(AudioFile->Close());
    Track.reset();
    Transcoder.reset();
    Host = nullptr;
    return !Stopped;
}

// The decoded sound, whose first sample frame sounds at the track's start
// time, is cut to the range to the sample: before the first stage that
// would spend time on what is cut (the resampler, the encoder).
void TAviAudioPass::KeepRange(const TRangeSettings& Range, int32_t VideoEnd) {
    CutStart = std::max(Range.Start, 0);
    CutEnd = std::max(std::min(Range.End.value_or(VideoEnd), VideoEnd), CutStart);
    KeptEnd = Range.End ? CutEnd : INT64_MAX;
    ReadEnd = int64_t{CutEnd} + SoundPastVideoMs;
    const int64_t SoundStart = Track->TimeOf(Track->Start());
    const uint64_t Rate = Transcoder->DecodedRate();
    const auto FrameAt = [&](int64_t Time) {
        return static_cast<uint64_t>(std::max<int64_t>(Time - SoundStart, 0)) * Rate / 1000;
    };
    Transcoder->KeepDecoded(FrameAt(CutStart), Range.End ? FrameAt(CutEnd) : UINT64_MAX);
}

// Sound whose stream starts later than the video (a start sample above 0)
// is preceded by silence up to its start time, so that it keeps in step
// also where the sound is played back to back, whatever the tags' times.
// Silence past the video's end would never be muxed.
void TAviAudioPass::WriteLeadingSilence() {
    WriteSilence(std::clamp(Track->TimeOf(Track->Start()), CutStart, CutEnd) - CutStart);
}

void TAviAudioPass::WriteSilence(int64_t Milliseconds) {
    uint64_t Frames = static_cast<uint64_t>(std::max<int64_t>(Milliseconds, 0)) *
                      Transcoder->Mp3InputRate() / 1000;
    while (Frames > 0 && !Host->StopRequested()) {
        if (!Write(Transcoder->ConvertSilence(Frames))) {
            return;
        }
    }
}

// A read that gives no samples ends the pass: the position would not move.
// A chunk whose read fails, or whose sound is lost to a stage that fails,
// is replaced by silence as long as it, so that the sound after it keeps
// its time. Sound long after the video's end would never be muxed, and a
// track may claim days of it: reading ends a little past that end.
void TAviAudioPass::TranscodeChunks() {
    const std::span<uint8_t> Chunk = Transcoder->ChunkBuffer();
    for (int32_t Position = Track->Start();
         Position < Track->End() && Track->TimeOf(Position) < ReadEnd && !Host->StopRequested();) {
        int32_t Bytes = 0;
        int32_t Samples = 0;
        if (!Track->Read(Position, Chunk, Bytes, Samples)) {
            Host->ShowMessage("Error", "Error reading audio from the AVI file at sample " +
                                           std::to_string(Position));
            if (Samples > 0) {
                ChunkLost(Position, Samples);
            }
        } else {
            ConvertChunk(Position, Samples, static_cast<uint32_t>(Bytes));
        }
        if (Samples <= 0) {
            return;
        }
        Position += Samples;
    }
}

void TAviAudioPass::ConvertChunk(int32_t Position, int32_t Samples, uint32_t Bytes) {
    const TTranscodeResult Result = Transcoder->ConvertChunk(Bytes);
    if (!Write(Result)) {
        if (Result.ChunkLost) {
            ChunkLost(Position, Samples);
        }
        return;
    }
    const auto MediaTime = static_cast<uint32_t>(Track->TimeOf(Position));
    const TProgressReport Report = Progress.Measure(MediaTime, MediaTime);
    // A chunk's speed figure covers the showing of the previous one too.
    Progress.MarkMeasured(MediaTime);
    Host->ShowProgress(Report);
}

// A chunk lost is silence as long as it, as far as it lies in the part kept.
void TAviAudioPass::ChunkLost(int32_t Position, int32_t Samples) {
    const int64_t Length = ChunkLength(Position, Samples);
    Transcoder->PassOverDecoded(static_cast<uint64_t>(std::max<int64_t>(Length, 0)) *
                                Transcoder->DecodedRate() / 1000);
    const int64_t From = Track->TimeOf(Position);
    WriteSilence(std::min(From + Length, KeptEnd) - std::max<int64_t>(From, CutStart));
}

int64_t TAviAudioPass::ChunkLength(int32_t Position, int32_t Samples) const {
    const int64_t End = std::min<int64_t>(int64_t{Position} + Samples, INT32_MAX);
    return int64_t{Track->TimeOf(static_cast<int32_t>(End))} - Track->TimeOf(Position);
}

// What the stages still hold after the last chunk: without it the end of
// the sound (and the encoder's last frames) would be lost.
void TAviAudioPass::Flush() {
    Write(Transcoder->Flush());
}

void TAviAudioPass::CheckWritten(const std::error_code& Error) const {
    if (Error) {
        throw EJobFailure("The temporary audio file " + ShownFileName(AudioFile->Name()) +
                          " could not be written (" + Error.message() + ").");
    }
}

bool TAviAudioPass::Write(const TTranscodeResult& Result) {
    CheckWritten(AudioFile->Write(Result.Mp3.data(), Result.Mp3.size()));
    if (Result.FailedStage != TTranscodeStage::None) {
        Host->ShowMessage("Error",
                          StageFailureText(Result.FailedStage) + std::to_string(AudioFile->Size()));
        return false;
    }
    return true;
}

}  // namespace quorvane
