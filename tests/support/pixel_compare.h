#pragma once
// Pictures compared outside Folvane: a PDF page rendered by mutool, the same source decoded by
// GraphicsMagick, and the measures that say how close they are.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace folvane::test {

// 8-bit RGB pixels, row by row; empty (0 x 0) when reading or decoding failed.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool empty() const { return width <= 0 || height <= 0; }
    const uint8_t* at(int x, int y) const
    {
        return rgb.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
    // The top-left width x height part (a page larger than its picture).
    RgbImage crop(int cropWidth, int cropHeight) const;
};

// A binary PGM or PPM (maxval up to 65535, reduced to 8 bits); empty when malformed.
RgbImage parsePnm(const std::string& bytes);

// Page `page` (1-based) of a PDF drawn by mutool at `dpi`.
RgbImage renderPage(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch, int dpi = 72);

// Frame `frame` (0-based) of an image file decoded by GraphicsMagick, transparency on white.
RgbImage referenceDecode(const std::filesystem::path& image, int frame, const std::filesystem::path& scratch);
// True when GraphicsMagick finds 8-bit samples without alpha in the first frame: pictures that
// need no rounding (16 bits to 8) or compositing (alpha on white) to be shown.
bool referenceIsPlain8Bit(const std::filesystem::path& image);
// Frames GraphicsMagick finds in an image file; 0 when it cannot read it.
int referenceFrameCount(const std::filesystem::path& image);

// The picture after a JPEG encoding by GraphicsMagick at `quality` and decoding again: what a
// lossy route can be expected to reach.
RgbImage jpegRoundTrip(const RgbImage& image, int quality, const std::filesystem::path& scratch);

// Peak signal-to-noise ratio over all channels in dB; 99 for identical pictures, -1 when the
// sizes differ.
double psnr(const RgbImage& a, const RgbImage& b);
// The largest difference of one channel of one pixel; 256 when the sizes differ.
int worstDifference(const RgbImage& a, const RgbImage& b);

// Pixels of a page rendered by mutool at 72 dpi as 8-bit gray, row by row; empty on failure.
struct Rendered {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
    uint8_t at(int x, int y) const { return gray[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
Rendered renderGray(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch);

} // namespace folvane::test
