#pragma once
// Shared body of the codec fuzz targets: the bytes are loaded as the given format header-only,
// then every reported frame (at most three) is decoded and run through the conversions.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "codec/image_codec.h"

namespace folvane::codec {

inline int fuzzLoad(const uint8_t* data, size_t size, int formatId)
{
    ImageCodec codec;
    codec.setHeaderOnly(true);
    codec.loadFromMemory(data, size, formatId);
    const int frames = std::clamp(codec.frameCount(), 1, 3);
    codec.setHeaderOnly(false);
    for (int frame = 0; frame < frames; ++frame) {
        codec.selectFrame(frame);
        if (!codec.loadFromMemory(data, size, formatId))
            continue;
        codec.isGrayscalePalette();
        codec.negate();
        if (codec.bitsPerPixel() == 1 && codec.pixelRows())
            codec.pixelRows()[0] ^= 1;
        codec.convertToGrayscale();
        codec.increaseDepthTo24();
    }
    return 0;
}

} // namespace folvane::codec
