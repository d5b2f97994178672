#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

TAVIToScreenVideoThread::TAVIToScreenVideoThread(IJobFrontEnd& Front) : FrontEnd(Front) {
    FreeOnTerminate = true;
}

// A job deleted while it runs first waits for its body, which uses it all.
TAVIToScreenVideoThread::~TAVIToScreenVideoThread() {
    WaitFor();
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

// The front end's questions and messages meet the main thread's output there
// only. A job being deleted answers No for its user.
bool TAVIToScreenVideoThread::Ask(const std::string& Caption, const std::string& Text) {
    bool Yes = false;
    Synchronize([&] { Yes = FrontEnd.AskYesNo(Caption, Text); });
    return Yes;
}

void TAVIToScreenVideoThread::Tell(const std::string& Caption, const std::string& Text) {
    Synchronize([&] { FrontEnd.ShowMessage(Caption, Text); });
}

}  // namespace quorvane
