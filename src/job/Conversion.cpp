#include "job/ScreenVideoEncoderThread.h"

// Placeholder until the conversion lands.
namespace quorvane {

bool TAVIToScreenVideoThread::PrepareEncoding(const std::string&) { throw std::logic_error("conversion not built yet"); }
void TAVIToScreenVideoThread::Execute() { throw std::logic_error("conversion not built yet"); }

}  // namespace quorvane
