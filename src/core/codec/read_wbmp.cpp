// Wireless bitmaps (type 0): a multi-byte width and height, then 1-bit rows padded to bytes,
// where 1 is white.
#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

// Multi-byte integer: 7 bits per byte, high bit set on all but the last; at most 4 bytes here.
bool readVarInt(ByteReader& in, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = in.u8();
        value = (value << 7) | (b & 0x7Fu);
        if (!(b & 0x80))
            return in.ok();
    }
    return false;
}

} // namespace

bool readWbmp(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    uint32_t type = 0, width = 0, height = 0;
    if (!readVarInt(in, type) || type != 0 || request.frame != 0)
        return false;
    uint8_t fixed = in.u8();
    if (fixed != 0)
        return false; // type 0 has no extension headers
    if (!readVarInt(in, width) || !readVarInt(in, height) || !frameSizeAllowed(width, height, 1))
        return false;
    const uint64_t rowBytes = (width + 7) / 8;
    if (rowBytes * height > in.remaining())
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), 1);
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), 1))
        return false;
    bitmap.palette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
    for (uint32_t y = 0; y < height; ++y) {
        auto row = in.bytes(static_cast<size_t>(rowBytes));
        std::copy(row.begin(), row.end(), bitmap.row(static_cast<int>(y)));
    }
    if (!normalizeBilevel(bitmap))
        return false;
    return finishLoad(result);
}

} // namespace folvane::codec
