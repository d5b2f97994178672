#include "encoder/ScreenVideoEncoder.h"

// Placeholder until the encoder lands; every operation refuses to run.
namespace quorvane {

class OutputFile {};

TScreenVideoEncoder::TScreenVideoEncoder(std::string Name, bool Video, bool Audio)
    : FileName(std::move(Name)), HasVideo(Video), HasAudio(Audio) {}
TScreenVideoEncoder::~TScreenVideoEncoder() = default;
void TScreenVideoEncoder::SetParameters(const EncoderParameters&) { throw std::logic_error("encoder not built yet"); }
void TScreenVideoEncoder::SetFrameSize(const FrameFormat&) { throw std::logic_error("encoder not built yet"); }
int32_t TScreenVideoEncoder::Start() { throw std::logic_error("encoder not built yet"); }
int32_t TScreenVideoEncoder::EncodeFrame(const uint8_t*, int32_t, int32_t, bool) { throw std::logic_error("encoder not built yet"); }
void TScreenVideoEncoder::WriteAudioTag(const uint8_t*, int32_t, int32_t, uint8_t, uint8_t) { throw std::logic_error("encoder not built yet"); }
uint32_t TScreenVideoEncoder::Finish() { throw std::logic_error("encoder not built yet"); }

}  // namespace quorvane
