#include "support/Pictures.h"

namespace quorvane::test {

std::vector<uint8_t> ExpectedPicture(const bench::FrameBuffer& Frame, uint8_t ColorShift) {
    const auto Mask = static_cast<uint8_t>(0xFF << ColorShift);
    std::vector<uint8_t> Picture;
    Picture.reserve(static_cast<size_t>(Frame.Width()) * Frame.Height() * 3);
    for (int Y = 0; Y < Frame.Height(); ++Y) {
        for (int X = 0; X < Frame.Width(); ++X) {
            const uint8_t* Pixel = Frame.PixelAt(X, Y);
            for (int Channel = 0; Channel < 3; ++Channel) {
                Picture.push_back(Pixel[Channel] & Mask);
            }
        }
    }
    return Picture;
}

}  // namespace quorvane::test
