// SKA images: a 9-byte header (width and height as big-endian 16-bit numbers, the depth as a
// power of two that must be 3, and the constant 01 00 00 00), a palette of 256 R, G, B
// triplets, then one byte per pixel, rows top to bottom without padding.
#include <cstring>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

bool readSka(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    const uint16_t width = in.u16be(), height = in.u16be();
    const uint8_t depthExponent = in.u8();
    const uint32_t marker = in.u32be();
    if (!in.ok() || request.frame != 0 || depthExponent != 3 || marker != 0x01000000 || width == 0 || height == 0 ||
        width > 0x7FFF || height > 0x7FFF)
        return false;
    if (768 + static_cast<uint64_t>(width) * height > in.remaining())
        return false;
    if (request.headerOnly)
        return finishLoad(result, width, height, 8);
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(width, height, 8))
        return false;
    for (int i = 0; i < 256; ++i) {
        uint8_t r = in.u8(), g = in.u8(), b = in.u8();
        bitmap.palette().push_back({r, g, b});
    }
    for (int y = 0; y < height; ++y) {
        auto row = in.bytes(width);
        std::memcpy(bitmap.row(y), row.data(), width);
    }
    return finishLoad(result);
}

} // namespace folvane::codec
