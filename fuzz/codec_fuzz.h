#pragma once
// Shared body of the codec fuzz targets: the bytes are loaded as the given format header-only,
// then every reported frame (at most three) is decoded and run through the conversions. The
// last byte's low bit says whether alpha channels are kept, as --lossless asks.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "codec/image_codec.h"

namespace folvane::codec {

inline constexpr uint64_t kFuzzPixelLimit = uint64_t{1} << 24;

inline int fuzzLoad(const uint8_t* data, size_t size, int formatId)
{
    ImageCodec codec;
    codec.setHeaderOnly(true);
    codec.loadFromMemory(data, size, formatId);
    // Frames are allowed up to the codec's pixel cap, and decoding one that large takes seconds
    // under the sanitizers however small the file (a metafile's canvas, say). The time is linear
    // in the pixels, so the bugs worth finding show on smaller frames: those are skipped.
    if (uint64_t(std::max(codec.width(), 0)) * uint64_t(std::max(codec.height(), 0)) > kFuzzPixelLimit)
        return 0;
    const int frames = std::clamp(codec.frameCount(), 1, 3);
    codec.setHeaderOnly(false);
    for (int frame = 0; frame < frames; ++frame) {
        codec.selectFrame(frame);
        codec.setKeepAlpha(size > 0 && (data[size - 1] & 1) != 0);
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
