// Feeds arbitrary 1-bit frames to the skew estimator and the rotation.
// Input: width (2 bytes, little endian), height (2 bytes), a byte whose low bits give extra
// stride bytes and a rotation angle, then the rows; rows the input does not reach stay white.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "deskew.h"
#include "deskew_internal.h"

using namespace folvane::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const int width = 1 + (data[0] | (data[1] << 8)) % 2048;
    const int height = 1 + (data[2] | (data[3] << 8)) % 2048;
    const int extra = data[4] & 3;
    const double angle = (static_cast<int>(data[4] >> 2) - 32) * 0.015;
    const std::ptrdiff_t stride = (width + 7) / 8 + extra;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    std::memcpy(bits.data(), data + 5, std::min(bits.size(), size - 5));
    FrameView frame{bits.data(), width, height, stride, 1};

    deskew::SkewReport report;
    deskew::estimateSkew(frame, &report);
    straightenFrame(frame);
    rotateFrame(frame, angle);
    return 0;
}
