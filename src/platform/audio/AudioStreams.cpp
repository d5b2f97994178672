#include "platform/audio/AudioStreams.h"

namespace quorvane::platform {

const std::vector<uint8_t>& TBlockCarry::WholeBlocks(const uint8_t* Input, size_t InputBytes) {
    Whole.swap(Held);
    Whole.insert(Whole.end(), Input, Input + InputBytes);
    const size_t Usable = Whole.size() - Whole.size() % Block;
    Held.assign(Whole.begin() + static_cast<std::ptrdiff_t>(Usable), Whole.end());
    Whole.resize(Usable);
    return Whole;
}

}  // namespace quorvane::platform
