#pragma once
// One decoded frame: pixel rows, depth and palette, plus the conversions between pixel classes.
//
// Layout: rows are stored top to bottom, each row padded to a multiple of 4 bytes (so a 1-bit
// row holds the width rounded up to 32 pixels). Depths and sample order:
//   1, 4, 8 bits  palette indices, most significant bits first; always with a palette
//   24 bits       R, G, B bytes
//   32 bits       R, G, B, A bytes with straight (not premultiplied) alpha
// 1-bit frames made by the readers use index 0 for white and index 1 for black, so a pixel
// whose bit is 1 is ink. A frame whose palette entries i are all (i, i, i) is grayscale.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/resource_limits.h"

namespace folvane::codec {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// Frames above either limit are refused before anything is allocated.
inline constexpr uint64_t kMaxPixels = limits::kMaxFramePixels;
inline constexpr uint64_t kMaxFrameBytes = limits::kMaxAllocationBytes;

// Bytes per row for a width and depth, rounded up to a multiple of 4.
uint64_t strideFor(uint64_t width, int bitsPerPixel);

// True when a frame of this size and depth lies within the limits (and both sides are at least 1).
bool frameSizeAllowed(uint64_t width, uint64_t height, int bitsPerPixel);

// Luminance as the codec computes it everywhere: (117·B + 601·G + 306·R) / 1024.
inline uint8_t grayOf(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<uint8_t>((117u * b + 601u * g + 306u * r) / 1024u);
}

class Bitmap {
public:
    // Allocates a zero-filled frame; false (and an empty bitmap) when the size is outside the
    // limits, the depth is not 1, 4, 8, 24 or 32, or memory is short.
    bool create(int width, int height, int bitsPerPixel);
    void clear();

    bool empty() const { return m_pixels.empty(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bpp; }
    size_t stride() const { return m_stride; }

    uint8_t* row(int y) { return m_pixels.data() + static_cast<size_t>(y) * m_stride; }
    const uint8_t* row(int y) const { return m_pixels.data() + static_cast<size_t>(y) * m_stride; }
    uint8_t* bits() { return m_pixels.data(); }

    std::vector<Rgb>& palette() { return m_palette; }
    const std::vector<Rgb>& palette() const { return m_palette; }

    // Palette entry for an index; indices beyond the palette read as black.
    Rgb colour(unsigned index) const { return index < m_palette.size() ? m_palette[index] : Rgb{}; }

    // Palette index of pixel x in a 1-, 4- or 8-bit row.
    unsigned index(int y, int x) const;
    void setIndex(int y, int x, unsigned value);

    // Identity gray ramp for 8 bits, 16 even steps for 4 bits, white/black for 1 bit.
    void setGrayPalette();

private:
    int m_width = 0;
    int m_height = 0;
    int m_bpp = 0;
    size_t m_stride = 0;
    std::vector<uint8_t> m_pixels;
    std::vector<Rgb> m_palette;
};

// True for 8-bit frames whose every palette entry i is (i, i, i).
bool isGrayscalePalette(const Bitmap& bitmap);

// Palette or true colour to 8-bit gray with the identity ramp; alpha is composited onto white
// first. Already grayscale frames stay as they are.
bool convertToGrayscale(Bitmap& bitmap);

// Any depth to 24-bit true colour; alpha is composited onto white.
bool convertTo24Bits(Bitmap& bitmap);

// Inverts every pixel: the palette entries of palette frames (the pixel values of grayscale
// frames, so they stay grayscale), the colour samples of true-colour frames (alpha is kept).
void negate(Bitmap& bitmap);

// One row as R, G, B bytes (width × 3), alpha composited onto white.
void rowToRgb(const Bitmap& bitmap, int y, uint8_t* out);
// One row as gray bytes (width), using the luminance above.
void rowToGray(const Bitmap& bitmap, int y, uint8_t* out);

// For 1-bit frames fresh from a decoder: a two-gray palette is reordered so that index 1 is the
// darker entry (the bits are inverted when needed); a coloured two-entry palette is widened to
// 8 bits so its colours survive.
bool normalizeBilevel(Bitmap& bitmap);

// For 32-bit frames fresh from a decoder: when every alpha is 255 the frame becomes 24-bit true
// colour. With zeroMeansUnused, an alpha channel that is 0 everywhere counts as never filled in
// (as in bitmaps whose fourth byte is padding) and is dropped too.
bool dropUnusedAlpha(Bitmap& bitmap, bool zeroMeansUnused = true);

} // namespace folvane::codec
