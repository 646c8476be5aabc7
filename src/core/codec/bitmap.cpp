#include "codec/bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace folvane::codec {

namespace {

bool validDepth(int bpp)
{
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

uint8_t overWhite(uint8_t c, uint8_t a)
{
    return static_cast<uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
}

} // namespace

uint64_t strideFor(uint64_t width, int bitsPerPixel)
{
    uint64_t bits = width * static_cast<uint64_t>(bitsPerPixel);
    return ((bits + 31) / 32) * 4;
}

bool frameSizeAllowed(uint64_t width, uint64_t height, int bitsPerPixel)
{
    if (width == 0 || height == 0 || width > kMaxPixels || height > kMaxPixels)
        return false;
    if (width * height > kMaxPixels)
        return false;
    return strideFor(width, bitsPerPixel) * height <= kMaxFrameBytes;
}

bool Bitmap::create(int width, int height, int bitsPerPixel)
{
    clear();
    if (width <= 0 || height <= 0 || !validDepth(bitsPerPixel))
        return false;
    if (!frameSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height), bitsPerPixel))
        return false;
    size_t stride = static_cast<size_t>(strideFor(static_cast<uint64_t>(width), bitsPerPixel));
    try {
        m_pixels.assign(stride * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    m_width = width;
    m_height = height;
    m_bpp = bitsPerPixel;
    m_stride = stride;
    return true;
}

void Bitmap::clear()
{
    m_width = m_height = m_bpp = 0;
    m_stride = 0;
    std::vector<uint8_t>().swap(m_pixels);
    m_palette.clear();
}

unsigned Bitmap::index(int y, int x) const
{
    const uint8_t* r = row(y);
    switch (m_bpp) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u;
    case 8: return r[x];
    default: return 0;
    }
}

void Bitmap::setIndex(int y, int x, unsigned value)
{
    uint8_t* r = row(y);
    switch (m_bpp) {
    case 1: {
        uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
        r[x >> 3] = static_cast<uint8_t>((value & 1u) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit));
        break;
    }
    case 4: {
        int shift = (x & 1) ? 0 : 4;
        r[x >> 1] = static_cast<uint8_t>((r[x >> 1] & ~(15 << shift)) | ((value & 15u) << shift));
        break;
    }
    case 8: r[x] = static_cast<uint8_t>(value); break;
    default: break;
    }
}

void Bitmap::setGrayPalette()
{
    m_palette.clear();
    switch (m_bpp) {
    case 1: m_palette = {Rgb{255, 255, 255}, Rgb{0, 0, 0}}; break;
    case 4:
        for (unsigned i = 0; i < 16; ++i) {
            auto v = static_cast<uint8_t>(i * 17);
            m_palette.push_back({v, v, v});
        }
        break;
    case 8:
        for (unsigned i = 0; i < 256; ++i) {
            auto v = static_cast<uint8_t>(i);
            m_palette.push_back({v, v, v});
        }
        break;
    default: break;
    }
}

bool isGrayscalePalette(const Bitmap& bitmap)
{
    if (bitmap.empty() || bitmap.bitsPerPixel() != 8 || bitmap.palette().empty())
        return false;
    const auto& pal = bitmap.palette();
    for (size_t i = 0; i < pal.size(); ++i)
        if (pal[i].r != i || pal[i].g != i || pal[i].b != i)
            return false;
    return true;
}

void rowToRgb(const Bitmap& bitmap, int y, uint8_t* out)
{
    const int w = bitmap.width();
    const uint8_t* src = bitmap.row(y);
    switch (bitmap.bitsPerPixel()) {
    case 24: std::memcpy(out, src, static_cast<size_t>(w) * 3); break;
    case 32:
        for (int x = 0; x < w; ++x, src += 4, out += 3) {
            out[0] = overWhite(src[0], src[3]);
            out[1] = overWhite(src[1], src[3]);
            out[2] = overWhite(src[2], src[3]);
        }
        break;
    default:
        for (int x = 0; x < w; ++x, out += 3) {
            Rgb c = bitmap.colour(bitmap.index(y, x));
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
        }
        break;
    }
}

void rowToGray(const Bitmap& bitmap, int y, uint8_t* out)
{
    const int w = bitmap.width();
    if (isGrayscalePalette(bitmap)) {
        std::memcpy(out, bitmap.row(y), static_cast<size_t>(w));
        return;
    }
    if (bitmap.bitsPerPixel() <= 8) {
        for (int x = 0; x < w; ++x) {
            Rgb c = bitmap.colour(bitmap.index(y, x));
            out[x] = grayOf(c.r, c.g, c.b);
        }
        return;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3);
    rowToRgb(bitmap, y, rgb.data());
    for (int x = 0; x < w; ++x)
        out[x] = grayOf(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
}

bool convertToGrayscale(Bitmap& bitmap)
{
    if (bitmap.empty())
        return false;
    if (isGrayscalePalette(bitmap))
        return true;
    Bitmap gray;
    if (!gray.create(bitmap.width(), bitmap.height(), 8))
        return false;
    gray.setGrayPalette();
    for (int y = 0; y < bitmap.height(); ++y)
        rowToGray(bitmap, y, gray.row(y));
    bitmap = std::move(gray);
    return true;
}

bool convertTo24Bits(Bitmap& bitmap)
{
    if (bitmap.empty())
        return false;
    if (bitmap.bitsPerPixel() == 24)
        return true;
    Bitmap rgb;
    if (!rgb.create(bitmap.width(), bitmap.height(), 24))
        return false;
    for (int y = 0; y < bitmap.height(); ++y)
        rowToRgb(bitmap, y, rgb.row(y));
    bitmap = std::move(rgb);
    return true;
}

void negate(Bitmap& bitmap)
{
    if (bitmap.empty())
        return;
    const int bpp = bitmap.bitsPerPixel();
    if (bpp <= 8 && !isGrayscalePalette(bitmap)) {
        for (Rgb& c : bitmap.palette())
            c = Rgb{static_cast<uint8_t>(255 - c.r), static_cast<uint8_t>(255 - c.g), static_cast<uint8_t>(255 - c.b)};
        return;
    }
    const size_t used = (static_cast<size_t>(bitmap.width()) * static_cast<size_t>(bpp) + 7) / 8;
    for (int y = 0; y < bitmap.height(); ++y) {
        uint8_t* r = bitmap.row(y);
        if (bpp == 32) {
            for (int x = 0; x < bitmap.width(); ++x)
                for (int k = 0; k < 3; ++k)
                    r[4 * x + k] = static_cast<uint8_t>(255 - r[4 * x + k]);
        } else {
            for (size_t i = 0; i < used; ++i)
                r[i] = static_cast<uint8_t>(~r[i]);
        }
    }
}

bool normalizeBilevel(Bitmap& bitmap)
{
    if (bitmap.empty() || bitmap.bitsPerPixel() != 1)
        return !bitmap.empty();
    auto& pal = bitmap.palette();
    if (pal.size() < 2)
        pal.resize(2);
    pal.resize(2);
    const bool gray = pal[0].r == pal[0].g && pal[0].g == pal[0].b && pal[1].r == pal[1].g && pal[1].g == pal[1].b;
    if (!gray) {
        Bitmap wide;
        if (!wide.create(bitmap.width(), bitmap.height(), 8))
            return false;
        wide.palette() = pal;
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                wide.row(y)[x] = static_cast<uint8_t>(bitmap.index(y, x));
        bitmap = std::move(wide);
        return true;
    }
    if (pal[1].r > pal[0].r) {
        std::swap(pal[0], pal[1]);
        for (int y = 0; y < bitmap.height(); ++y) {
            uint8_t* r = bitmap.row(y);
            for (size_t i = 0; i < bitmap.stride(); ++i)
                r[i] = static_cast<uint8_t>(~r[i]);
        }
    }
    // Padding bits beyond the width stay 0 (white) so that whole-row consumers see no ink there.
    const int w = bitmap.width();
    if (w % 32 != 0) {
        const size_t first = static_cast<size_t>(w) / 8; // the byte that holds the last pixels
        const uint8_t keep = static_cast<uint8_t>(0xFF00u >> (w % 8));
        for (int y = 0; y < bitmap.height(); ++y) {
            uint8_t* r = bitmap.row(y);
            size_t i = first;
            if (w % 8 != 0)
                r[i++] &= keep;
            std::fill(r + i, r + bitmap.stride(), uint8_t(0));
        }
    }
    return true;
}

bool dropUnusedAlpha(Bitmap& bitmap, bool zeroMeansUnused)
{
    if (bitmap.empty() || bitmap.bitsPerPixel() != 32)
        return !bitmap.empty();
    bool allOpaque = true;
    bool allClear = true;
    for (int y = 0; y < bitmap.height() && (allOpaque || allClear); ++y) {
        const uint8_t* r = bitmap.row(y);
        for (int x = 0; x < bitmap.width(); ++x) {
            allOpaque = allOpaque && r[4 * x + 3] == 255;
            allClear = allClear && r[4 * x + 3] == 0;
        }
    }
    if (!allOpaque && !(allClear && zeroMeansUnused))
        return true;
    Bitmap rgb;
    if (!rgb.create(bitmap.width(), bitmap.height(), 24))
        return false;
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* s = bitmap.row(y);
        uint8_t* d = rgb.row(y);
        for (int x = 0; x < bitmap.width(); ++x) {
            d[3 * x] = s[4 * x];
            d[3 * x + 1] = s[4 * x + 1];
            d[3 * x + 2] = s[4 * x + 2];
        }
    }
    bitmap = std::move(rgb);
    return true;
}

} // namespace folvane::codec
