#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

TAVIToScreenVideoThread::TAVIToScreenVideoThread(IJobFrontEnd& Front) : FrontEnd(Front) {
    FreeOnTerminate = true;
}

TAVIToScreenVideoThread::~TAVIToScreenVideoThread() {
    CloseAudioSource();
    if (FState != NoSourceOpen) {
        CloseVideoFile();
    }
}

void TAVIToScreenVideoThread::ShowStatus() {
    Synchronize([this] { FrontEnd.ShowStatus(FStepText); });
}

void TAVIToScreenVideoThread::ShowProgress() {
    Synchronize([this] { FrontEnd.ShowProgress(FProgress); });
}

// A preview that fails is dropped; the conversion goes on.
void TAVIToScreenVideoThread::ShowPreview() {
    Synchronize([this] {
        try {
            FrontEnd.ShowPreview(static_cast<const uint8_t*>(FCurrentFrame));
        } catch (...) {
        }
    });
}

}  // namespace quorvane
