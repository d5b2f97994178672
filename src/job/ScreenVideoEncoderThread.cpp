#include "job/ScreenVideoEncoderThread.h"

#include <new>

#include "encoder/ScreenVideoEncoder.h"
#include "job/AviAudioPass.h"
#include "job/Mp3Interleaver.h"
#include "job/PictureGeometry.h"
#include "job/VideoPhase.h"
#include "job/VideoSource.h"
#include "job/VideoSourceReaders.h"
#include "platform/os/OutputClaim.h"

namespace quorvane {

TAVIToScreenVideoThread::TAVIToScreenVideoThread(IJobFrontEnd& Front) : FrontEnd(Front) {
    FreeOnTerminate = true;
}

// A job deleted while it runs first waits for its body, which uses it all.
TAVIToScreenVideoThread::~TAVIToScreenVideoThread() {
    WaitFor();
}

void TAVIToScreenVideoThread::LoadVideoFile(const std::string& FileName) {
    if (FState != NoSourceOpen) {
        CloseVideoFile();
    }
    InputFileName = FileName;
    FVideoFound = false;
    FAudioUsable = false;
    TLoadFailure Failure;
    // A file may claim what this machine can't hold; it fails alone.
    try {
        Source = OpenVideoSource(FileName, Failure);
    } catch (const std::bad_alloc&) {
        Failure = {CannotOpenText, "There is not enough memory to read it."};
    }
    if (!Source) {
        FErrorText = Failure.Text;
        FErrorReason = Failure.Reason;
        return;
    }
    FErrorReason.clear();
    FVideoFound = true;
    FState = SourceOpen;
    FVideoDescription = Source->VideoDescription();
    FAudioUsable = Source->Audio() != nullptr;
    // A file without sound leaves the audio description as it was.
    if (!Source->AudioDescription().empty()) {
        FAudioDescription = Source->AudioDescription();
    }
}

void TAVIToScreenVideoThread::CloseVideoFile() {
    Source.reset();
    FState = NoSourceOpen;
}

const FrameFormat& TAVIToScreenVideoThread::GetFrameFormat() const {
    static const FrameFormat NoFormat;
    return Source ? Source->Format() : NoFormat;
}

std::string TAVIToScreenVideoThread::PictureProblem(
    const platform::TPictureGeometry& Geometry) const {
    return Source ? PictureGeometryProblem(Geometry, Source->ShownWidth(), Source->ShownHeight())
                  : std::string();
}

std::string TAVIToScreenVideoThread::UsePictureGeometry(const platform::TPictureGeometry& Geometry,
                                                        int32_t RangeStart) {
    return Source ? Source->UsePicture(Geometry, RangeStart) : std::string();
}

platform::TPicture TAVIToScreenVideoThread::CurrentFrame() const {
    return Source ? Source->FirstFrame() : platform::TPicture{};
}

void TAVIToScreenVideoThread::ShowStatus(const std::string& StepText) {
    FStepText = StepText;
    Synchronize([this] { FrontEnd.ShowStatus(FStepText); });
}

void TAVIToScreenVideoThread::ShowProgress(const TProgressReport& Report) {
    FProgress = Report;
    Synchronize([this] { FrontEnd.ShowProgress(FProgress); });
}

// A preview that fails is dropped; the conversion goes on.
void TAVIToScreenVideoThread::ShowPreview(const platform::TPicture& Frame) {
    if (!PreviewWanted) {
        return;
    }
    Synchronize([&] {
        try {
            FrontEnd.ShowPreview(Frame);
        } catch (...) {
        }
    });
}

// The front end's questions and messages meet the main thread's output there
// only. A job being deleted answers No for its user.
bool TAVIToScreenVideoThread::AskYesNo(const std::string& Caption, const std::string& Text) {
    bool Yes = false;
    Synchronize([&] { Yes = FrontEnd.AskYesNo(Caption, Text); });
    return Yes;
}

void TAVIToScreenVideoThread::ShowMessage(const std::string& Caption, const std::string& Text) {
    Synchronize([&] { FrontEnd.ShowMessage(Caption, Text); });
}

}  // namespace quorvane
