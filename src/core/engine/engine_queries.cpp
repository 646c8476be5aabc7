// Queries 201 and 202 describe an image file rather than a document, so they also answer
// without a document (handle 0), e.g. for a watermark image chosen before any conversion.
#include "engine/engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codec/image_codec.h"
#include "engine/engine_document.h"
#include "engine/intake.h"

namespace folvane::engine {

namespace {

void store(intptr_t slot, long value)
{
    // A slot carries an output address only when it is above 1000; small values mean no output.
    if (slot > 1000)
        *reinterpret_cast<int*>(slot) = static_cast<int>(value);
}

} // namespace

int queryImage(int code, intptr_t out1, intptr_t out2, const char* path, const char* frameText)
{
    if (!path || !*path)
        return 0;
    int kind = SniffImageFormat(path);
    if (kind < 1 || kind > 19)
        return 0;
    if (code == kQueryFrameCount) {
        if (kind == codec::kFormatTiff)
            return codec::tiffPageCount(path);
        codec::ImageCodec image;
        image.setHeaderOnly(true);
        image.load(path, kind);
        // A recognised file that reports no frames counts as one image.
        return image.frameCount() > 0 ? image.frameCount() : 1;
    }
    int width = 0, height = 0;
    if (kind == codec::kFormatTiff) {
        int frame = frameText && *frameText ? std::atoi(frameText) : 1;
        if (frame < 1 || !codec::tiffPageSize(path, frame - 1, width, height))
            return 0;
    } else {
        codec::ImageCodec image;
        image.setHeaderOnly(true);
        if (!image.load(path, kind))
            return 0;
        width = image.width();
        height = image.height();
    }
    store(out1, width);
    store(out2, height);
    return width;
}

} // namespace folvane::engine
