// Windows and OS/2 bitmaps: "BM" files, "BA" bitmap arrays (first image), bare device-independent
// bitmaps, and the DIB part of icons. Depths 1, 4, 8 (palette), 16, 24, 32; RLE4, RLE8, bit
// fields; bottom-up and top-down rows.
#include <algorithm>
#include <bit>
#include <cstring>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

struct DibHeader {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0; // negative for top-down rows
    uint16_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t coloursUsed = 0;
    uint32_t masks[4] = {}; // red, green, blue, alpha
    bool core = false;      // 12-byte header: 3-byte palette entries
};

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m = 0) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    uint8_t get(uint32_t pixel) const
    {
        if (!mask)
            return 0;
        uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint8_t>(v * 255 / max);
    }
};

bool readHeader(ByteReader& in, DibHeader& h)
{
    const size_t start = in.pos();
    h.headerSize = in.u32le();
    if (h.headerSize == 12) {
        h.core = true;
        h.width = in.u16le();
        h.height = static_cast<int16_t>(in.u16le());
        in.u16le(); // planes
        h.bpp = in.u16le();
        return in.ok();
    }
    if (h.headerSize < 16 || h.headerSize > 4096)
        return false;
    h.width = in.i32le();
    h.height = in.i32le();
    in.u16le();
    h.bpp = in.u16le();
    if (h.headerSize >= 20)
        h.compression = in.u32le();
    if (h.headerSize >= 36) {
        in.skip(12); // image size, resolutions
        h.coloursUsed = in.u32le();
    }
    if (h.headerSize >= 52) {
        in.seek(start + 40);
        for (int i = 0; i < (h.headerSize >= 56 ? 4 : 3); ++i)
            h.masks[i] = in.u32le();
    }
    if (h.headerSize == 64 && h.compression > 2)
        return false; // OS/2 Huffman and RLE24 compressions
    in.seek(start + h.headerSize);
    if ((h.compression == kBitFields || h.compression == kAlphaBitFields) && h.headerSize == 40) {
        for (int i = 0; i < (h.compression == kAlphaBitFields ? 4 : 3); ++i)
            h.masks[i] = in.u32le();
    }
    return in.ok();
}

bool readPalette(ByteReader& in, const DibHeader& h, size_t pixelOffset, Bitmap& bitmap)
{
    uint32_t count = h.coloursUsed ? h.coloursUsed : (1u << h.bpp);
    if (count > 256)
        return false;
    const size_t entry = h.core ? 3 : 4;
    // Writers often store fewer entries than the depth allows; the pixel offset tells.
    if (pixelOffset > in.pos())
        count = static_cast<uint32_t>(std::min<size_t>(count, (pixelOffset - in.pos()) / entry));
    if (static_cast<uint64_t>(count) * entry > in.remaining())
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t b = in.u8(), g = in.u8(), r = in.u8();
        if (!h.core)
            in.u8();
        bitmap.palette().push_back({r, g, b});
    }
    return in.ok();
}

// RLE8 and RLE4: runs and absolute stretches; pixels skipped by deltas and line ends keep index 0.
bool decodeRle(ByteReader& in, const DibHeader& h, Bitmap& bitmap, bool bottomUp)
{
    const int w = bitmap.width(), hgt = bitmap.height();
    const bool four = h.compression == kRle4;
    int x = 0, line = 0;
    auto put = [&](unsigned v) {
        if (x < w && line < hgt)
            bitmap.setIndex(bottomUp ? hgt - 1 - line : line, x, v);
        ++x;
    };
    while (line < hgt) {
        uint8_t count = in.u8(), value = in.u8();
        if (!in.ok())
            return false;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? ((i & 1) ? value & 15u : value >> 4) : value);
            continue;
        }
        switch (value) {
        case 0: x = 0; ++line; break; // end of line
        case 1: return true;          // end of bitmap
        case 2: {
            uint8_t dx = in.u8(), dy = in.u8();
            x += dx;
            line += dy;
            break;
        }
        default: {
            const size_t bytes = four ? (value + 1u) / 2 : value;
            auto data = in.bytes(bytes + (bytes & 1)); // absolute runs are word-aligned
            if (!in.ok())
                return false;
            for (int i = 0; i < value; ++i)
                put(four ? ((i & 1) ? data[i / 2] & 15u : data[i / 2] >> 4) : data[i]);
            break;
        }
        }
        if (!in.ok())
            return false;
    }
    return true;
}

bool decodeUncompressed(ByteReader& in, const DibHeader& h, Bitmap& bitmap, bool bottomUp)
{
    const int w = bitmap.width(), hgt = bitmap.height();
    const uint64_t srcStride = strideFor(static_cast<uint64_t>(w), h.bpp);
    if (srcStride * static_cast<uint64_t>(hgt) > in.remaining())
        return false;
    const bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields || h.masks[3] != 0;
    uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (!fields || (masks[0] | masks[1] | masks[2]) == 0) {
        if (h.bpp == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else if (h.bpp == 32) {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
        }
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(h.bpp == 32 ? masks[3] : 0);
    const uint8_t* base = in.data().data() + in.pos();
    for (int y = 0; y < hgt; ++y) {
        const uint8_t* src = base + srcStride * static_cast<uint64_t>(bottomUp ? hgt - 1 - y : y);
        uint8_t* out = bitmap.row(y);
        switch (h.bpp) {
        case 1:
        case 4:
        case 8: std::memcpy(out, src, static_cast<size_t>(srcStride)); break;
        case 24:
            for (int x = 0; x < w; ++x) {
                out[3 * x] = src[3 * x + 2];
                out[3 * x + 1] = src[3 * x + 1];
                out[3 * x + 2] = src[3 * x];
            }
            break;
        case 16:
        case 32:
            for (int x = 0; x < w; ++x) {
                uint32_t px = h.bpp == 16 ? static_cast<uint32_t>(src[2 * x] | (src[2 * x + 1] << 8))
                                          : static_cast<uint32_t>(src[4 * x] | (src[4 * x + 1] << 8) |
                                                                  (src[4 * x + 2] << 16)) |
                                                (static_cast<uint32_t>(src[4 * x + 3]) << 24);
                uint8_t* p = out + (bitmap.bitsPerPixel() == 32 ? 4 : 3) * x;
                p[0] = red.get(px);
                p[1] = green.get(px);
                p[2] = blue.get(px);
                if (bitmap.bitsPerPixel() == 32)
                    p[3] = alpha.get(px);
            }
            break;
        default: return false;
        }
    }
    return true;
}

// AND mask of an icon: 1-bit rows after the colour rows; a set bit makes the pixel transparent.
bool applyIconMask(ByteReader& in, Bitmap& bitmap)
{
    const int w = bitmap.width(), hgt = bitmap.height();
    const uint64_t maskStride = strideFor(static_cast<uint64_t>(w), 1);
    if (maskStride * static_cast<uint64_t>(hgt) > in.remaining())
        return true; // icons without a complete mask are shown opaque
    const uint8_t* base = in.data().data() + in.pos();
    bool anyMasked = false;
    for (int y = 0; y < hgt && !anyMasked; ++y) {
        const uint8_t* m = base + maskStride * static_cast<uint64_t>(hgt - 1 - y);
        for (int x = 0; x < w; ++x)
            if ((m[x >> 3] >> (7 - (x & 7))) & 1)
                anyMasked = true;
    }
    if (!anyMasked)
        return true;
    {
        Bitmap rgba;
        if (!rgba.create(w, hgt, 32))
            return false;
        std::vector<uint8_t> line(static_cast<size_t>(w) * 3);
        for (int y = 0; y < hgt; ++y) {
            rowToRgb(bitmap, y, line.data());
            for (int x = 0; x < w; ++x) {
                std::memcpy(rgba.row(y) + 4 * x, &line[3 * x], 3);
                rgba.row(y)[4 * x + 3] = 255;
            }
        }
        bitmap = std::move(rgba);
    }
    for (int y = 0; y < hgt; ++y) {
        const uint8_t* m = base + maskStride * static_cast<uint64_t>(hgt - 1 - y);
        for (int x = 0; x < w; ++x)
            if ((m[x >> 3] >> (7 - (x & 7))) & 1)
                bitmap.row(y)[4 * x + 3] = 0;
    }
    return true;
}

bool decodeDib(ByteReader& in, size_t pixelOffset, bool iconMask, const LoadRequest& request, LoadResult& result)
{
    DibHeader h;
    if (!readHeader(in, h))
        return false;
    if (iconMask)
        h.height /= 2;
    const bool bottomUp = h.height > 0;
    const int64_t height = h.height < 0 ? -h.height : h.height;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (h.compression != kRgb && h.compression != kBitFields && h.compression != kAlphaBitFields && !rle)
        return false;
    if ((h.compression == kRle8 && h.bpp != 8) || (h.compression == kRle4 && h.bpp != 4))
        return false;
    if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
        return false;
    const bool hasAlpha = h.bpp == 32 && (h.masks[3] != 0 || iconMask);
    if (iconMask && h.bpp == 32 && h.masks[3] == 0)
        h.masks[3] = 0xFF000000;
    const int depth = h.bpp <= 8 ? h.bpp : (hasAlpha ? 32 : 24);
    if (h.width <= 0 || height <= 0 || !frameSizeAllowed(static_cast<uint64_t>(h.width), static_cast<uint64_t>(height), depth))
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(h.width), static_cast<int>(height), depth);

    Bitmap& bitmap = result.bitmap;
    Bitmap probe;
    if (h.bpp <= 8 && !readPalette(in, h, pixelOffset, probe))
        return false;
    if (h.bpp > 8 && !pixelOffset && !in.skip(static_cast<size_t>(h.coloursUsed) * 4))
        return false;
    if (pixelOffset && !in.seek(pixelOffset))
        return false;
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(height);
    if (rle && !plausibleCompressed(pixels, in.remaining()))
        return false;
    // Uncompressed rows must all be there; checked before the frame is allocated, since a short
    // file could otherwise make a huge, zeroed frame only to fail on it.
    if (!rle && strideFor(static_cast<uint64_t>(h.width), h.bpp) * static_cast<uint64_t>(height) > in.remaining())
        return false;
    if (!bitmap.create(static_cast<int>(h.width), static_cast<int>(height), depth))
        return false;
    bitmap.palette() = probe.palette();
    bool ok = rle ? decodeRle(in, h, bitmap, bottomUp) : decodeUncompressed(in, h, bitmap, bottomUp);
    if (ok && depth == 1)
        ok = normalizeBilevel(bitmap);
    if (ok && depth == 32)
        ok = dropUnusedAlpha(bitmap); // an alpha channel left at 0 was never filled in
    // Icons whose colour data carries no alpha take their transparency from the AND mask.
    if (ok && iconMask && bitmap.bitsPerPixel() != 32) {
        in.skip(static_cast<size_t>(strideFor(static_cast<uint64_t>(h.width), h.bpp) * static_cast<uint64_t>(height)));
        ok = applyIconMask(in, bitmap);
    }
    if (!ok) {
        bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

} // namespace

bool readDib(std::span<const uint8_t> data, bool iconMask, const LoadRequest& request, LoadResult& result)
{
    ByteReader in(data);
    return decodeDib(in, 0, iconMask, request, result);
}

bool readBmp(const LoadRequest& request, LoadResult& result)
{
    if (request.frame != 0)
        return false;
    ByteReader in(request.data);
    size_t fileHeader = 0;
    if (request.data.size() >= 2 && request.data[0] == 'B' && request.data[1] == 'A')
        fileHeader = 14; // bitmap array: the first entry's file header follows
    if (request.data.size() >= 2 && request.data[0] == 0x28 && request.data[1] == 0) {
        return decodeDib(in, 0, false, request, result); // bare header, palette and pixels follow
    }
    in.seek(fileHeader);
    if (in.u8() != 'B' || in.u8() != 'M')
        return false; // OS/2 icons and pointers are not read here
    in.skip(8);
    const uint32_t pixelOffset = in.u32le();
    if (!in.ok() || pixelOffset >= request.data.size())
        return false;
    return decodeDib(in, pixelOffset, false, request, result);
}

} // namespace folvane::codec
