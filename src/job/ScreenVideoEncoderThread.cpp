#include "job/ScreenVideoEncoderThread.h"

namespace quorvane {

TAVIToScreenVideoThread::TAVIToScreenVideoThread(IJobFrontEnd& Front) : FrontEnd(Front) {
    FreeOnTerminate = true;
}

TAVIToScreenVideoThread::~TAVIToScreenVideoThread() {
    if (FState != NoSourceOpen) {
        CloseVideoFile();
    }
}

}  // namespace quorvane
