// Arbitrary bytes as a Group 4 strip: the strict check must answer without reading outside the
// data or its row buffers. The first three bytes give the width (1 to 65536), the height (0 to
// 255) and, in the lowest bit of the third, the fill order.
#include <cstddef>
#include <cstdint>

#include "group4_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t width = (uint32_t{data[0]} << 8 | data[1]) + 1;
    const uint32_t height = data[2] >> 1;
    const bool lsbFirst = (data[2] & 1) != 0;
    static_cast<void>(folvane::codec::group4DataValid(data + 3, size - 3, width, height, lsbFirst));
    return 0;
}
