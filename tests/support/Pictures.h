// Frames as a Screen Video decoder should show them.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/ScreenFrames.h"

namespace quorvane::test {

// The frame's picture top row first, packed blue-green-red (a fourth byte
// dropped), with the ColorShift low bits of every byte cleared: the layout
// of DecodedFrame::Bgr.
std::vector<uint8_t> ExpectedPicture(const bench::FrameBuffer& Frame, uint8_t ColorShift = 0);

}  // namespace quorvane::test
