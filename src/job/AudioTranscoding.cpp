// The AVI's own audio, transcoded to MP3 before the video phase: the chain
// is built when encoding is prepared, the pass writes the MP3 bytes to a
// temporary file beside the output, and the video phase then reads that
// file like an external MP3 file.
#include <algorithm>

#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

using namespace platform;

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

// Samples of no fixed size are the codec's packets, one a chunk; they are
// read one at a time, as some codecs (Vorbis, raw AAC) can't find where a
// packet ends in the bytes of several.
int32_t SamplesPerRead(PAVISTREAM Stream, int32_t ChunkSize) {
    AVISTREAMINFOA Info{};
    return AVIStreamInfoA(Stream, &Info, sizeof Info) == AVIERR_OK && Info.dwSampleSize == 0
               ? 1
               : ChunkSize;
}

}  // namespace

// Needs the MP3 format pair; with no MP3 format offered there is nothing to
// convert to.
bool TAVIToScreenVideoThread::PrepareAudioConversion() {
    Transcoder = std::make_unique<TAudioTranscoder>();
    return !Controls.MP3Format.empty() && !Controls.MP3InputFormat.empty() &&
           Transcoder->Prepare(SourceAudioFormat, DecodedAudioFormat, Controls.MP3Format,
                               Controls.MP3InputFormat);
}

void TAVIToScreenVideoThread::TranscodeAviAudio() {
    FStepText = "Encoding audio...";
    ShowStatus();
    AudioFile = std::make_unique<TTemporaryFile>(OutputFileName + "audio");
    const int32_t Start = AVIStreamStart(AudioStream);
    const int32_t End = AVIStreamEnd(AudioStream);
    AudioProgress.Begin(Start, End);
    if (Start < End) {
        WriteLeadingSilence(Start);
    }
    TranscodeChunks(Start, End);
    FlushTranscoder();
    AudioProgress.Finish();

    AudioFile->Close();
    AVIStreamRelease(AudioStream);
    AudioStream = nullptr;
    Transcoder.reset();
    // The file holds bare frames: no ID3v2 tag to look for.
    AudioSource = std::make_unique<TMp3FrameReader>(AudioFile->Name(), false);
    AudioTime = 0;
}

// Sound whose stream starts later than the video (a start sample above 0)
// is preceded by silence up to its start time, so that it keeps in step
// also where the sound is played back to back, whatever the tags' times.
// Silence past the video's end would never be muxed.
void TAVIToScreenVideoThread::WriteLeadingSilence(int32_t Start) {
    const int64_t StartTime = std::min(AVIStreamSampleToTime(AudioStream, Start),
                                       AVIStreamSampleToTime(VideoStream, DataEnd()));
    uint64_t Frames = static_cast<uint64_t>(std::max<int64_t>(StartTime, 0)) *
                      Transcoder->Mp3InputRate() / 1000;
    while (Frames > 0) {
        const TTranscodeResult Result = Transcoder->ConvertSilence(Frames);
        if (Result.FailedStage != TTranscodeStage::None) {
            ShowTranscodingFailure(Result.FailedStage);
            return;
        }
        AudioFile->Write(Result.Mp3.data(), Result.Mp3.size());
    }
}

// A read that gives no samples ends the pass: the position would not move.
void TAVIToScreenVideoThread::TranscodeChunks(int32_t Start, int32_t End) {
    const std::span<uint8_t> Chunk = Transcoder->ChunkBuffer();
    const auto ChunkSize = static_cast<int32_t>(Chunk.size());
    const int32_t ReadSamples = SamplesPerRead(AudioStream, ChunkSize);
    for (int32_t Position = Start; Position < End;) {
        int32_t Bytes = 0;
        int32_t Samples = 0;
        if (AVIStreamRead(AudioStream, Position, ReadSamples, Chunk.data(), ChunkSize, &Bytes,
                          &Samples) != AVIERR_OK) {
            Tell("Error",
                 "Error reading audio from the AVI file at sample " + std::to_string(Position));
        } else {
            ConvertChunk(Position, static_cast<uint32_t>(Bytes));
        }
        if (Samples <= 0) {
            return;
        }
        Position += Samples;
    }
}

void TAVIToScreenVideoThread::ConvertChunk(int32_t Position, uint32_t Bytes) {
    const TTranscodeResult Result = Transcoder->ConvertChunk(Bytes);
    AudioFile->Write(Result.Mp3.data(), Result.Mp3.size());
    if (Result.FailedStage != TTranscodeStage::None) {
        ShowTranscodingFailure(Result.FailedStage);
        return;
    }
    const auto MediaTime = static_cast<uint32_t>(AVIStreamSampleToTime(AudioStream, Position));
    FProgress = AudioProgress.Measure(Position, MediaTime);
    // A chunk's speed figure covers the showing of the previous one too.
    AudioProgress.MarkMeasured(MediaTime);
    ShowProgress();
}

// What the stages still hold after the last chunk: without it the end of
// the sound (and the encoder's last frames) would be lost.
void TAVIToScreenVideoThread::FlushTranscoder() {
    const TTranscodeResult Result = Transcoder->Flush();
    AudioFile->Write(Result.Mp3.data(), Result.Mp3.size());
    if (Result.FailedStage != TTranscodeStage::None) {
        ShowTranscodingFailure(Result.FailedStage);
    }
}

void TAVIToScreenVideoThread::ShowTranscodingFailure(TTranscodeStage Stage) {
    Tell("Error", StageFailureText(Stage) + std::to_string(AudioFile->Size()));
}

}  // namespace quorvane
