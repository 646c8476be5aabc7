// Truevision TGA: colour-mapped (8-bit indices), true-colour (15, 16, 24, 32 bits), gray (8 bits)
// and gray with alpha (16 bits) images, raw or run-length encoded, in any of the four row and
// column orders. The fourth byte of 32-bit pixels is alpha whatever the descriptor's alpha bits
// say (many writers leave them 0): a channel that is 0 or 255 everywhere is dropped as padding.
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

Rgb fromPacked(const uint8_t* p, int bits, uint8_t* alphaOut)
{
    if (alphaOut)
        *alphaOut = 255;
    switch (bits) {
    case 15:
    case 16: {
        unsigned v = p[0] | (p[1] << 8);
        auto five = [](unsigned x) { return static_cast<uint8_t>((x & 31u) * 255 / 31); };
        return {five(v >> 10), five(v >> 5), five(v)};
    }
    case 24: return {p[2], p[1], p[0]};
    case 32:
        if (alphaOut)
            *alphaOut = p[3];
        return {p[2], p[1], p[0]};
    default: return {};
    }
}

} // namespace

bool readTga(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    const uint8_t idLength = in.u8(), mapType = in.u8(), imageType = in.u8();
    const uint16_t mapFirst = in.u16le(), mapLength = in.u16le();
    const uint8_t mapBits = in.u8();
    in.skip(4); // origin
    const uint16_t width = in.u16le(), height = in.u16le();
    const uint8_t bits = in.u8(), descriptor = in.u8();
    if (!in.ok() || request.frame != 0 || mapType > 1)
        return false;
    const bool rle = imageType >= 9;
    const int kind = imageType & 7; // 1 mapped, 2 true colour, 3 gray
    if ((imageType & ~8) < 1 || (imageType & ~8) > 3)
        return false;
    if ((kind == 1 && (bits != 8 || mapType != 1)) || (kind == 3 && bits != 8 && bits != 16) ||
        (kind == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32))
        return false;
    const bool alpha = (kind == 2 && bits == 32) || (kind == 3 && bits == 16);
    const int depth = alpha ? 32 : (kind == 2 ? 24 : 8);
    if (!frameSizeAllowed(width, height, depth))
        return false;
    if (request.headerOnly)
        return finishLoad(result, width, height, depth);

    in.skip(idLength);
    Bitmap& bitmap = result.bitmap;
    std::vector<Rgb> palette;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            return false;
        const size_t entry = (mapBits + 7u) / 8;
        auto map = in.bytes(entry * mapLength);
        if (!in.ok())
            return false;
        palette.assign(256, Rgb{});
        for (size_t i = 0; i < mapLength; ++i)
            if (mapFirst + i < 256)
                palette[mapFirst + i] = fromPacked(map.data() + i * entry, mapBits, nullptr);
    }
    const size_t pixelBytes = (bits + 7u) / 8;
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (!rle && pixels * pixelBytes > in.remaining())
        return false;
    if (rle && !plausibleCompressed(pixels, in.remaining(), 128))
        return false;
    if (!bitmap.create(width, height, depth))
        return false;
    if (kind == 1)
        bitmap.palette() = palette;
    else if (kind == 3)
        bitmap.setGrayPalette();

    const bool rightToLeft = descriptor & 0x10;
    const bool topDown = descriptor & 0x20;
    uint64_t done = 0;
    auto store = [&](const uint8_t* p) {
        const int y0 = static_cast<int>(done / width), x0 = static_cast<int>(done % width);
        const int y = topDown ? y0 : height - 1 - y0;
        const int x = rightToLeft ? width - 1 - x0 : x0;
        uint8_t* out = bitmap.row(y);
        if (depth == 8) {
            out[x] = p[0];
        } else if (kind == 3) { // gray and alpha
            uint8_t* q = out + 4 * x;
            q[0] = q[1] = q[2] = p[0];
            q[3] = p[1];
        } else {
            uint8_t a = 255;
            Rgb c = fromPacked(p, bits, alpha ? &a : nullptr);
            uint8_t* q = out + (depth == 32 ? 4 : 3) * x;
            q[0] = c.r;
            q[1] = c.g;
            q[2] = c.b;
            if (depth == 32)
                q[3] = a;
        }
        ++done;
    };
    while (done < pixels) {
        if (!rle) {
            store(in.bytes(pixelBytes).data());
            continue;
        }
        const uint8_t header = in.u8();
        const unsigned count = (header & 0x7Fu) + 1;
        if (!in.ok() || count > pixels - done)
            break;
        if (header & 0x80) {
            auto p = in.bytes(pixelBytes);
            if (!in.ok())
                break;
            for (unsigned i = 0; i < count; ++i)
                store(p.data());
        } else {
            auto p = in.bytes(pixelBytes * count);
            if (!in.ok())
                break;
            for (unsigned i = 0; i < count; ++i)
                store(p.data() + i * pixelBytes);
        }
    }
    if (done < pixels || !in.ok() || (depth == 32 && !dropUnusedAlpha(bitmap))) {
        bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

} // namespace folvane::codec
