#pragma once
// Image files written by the tests themselves, in every format the tests feed the program:
// BMP, PNG, TIFF, JPEG and JPEG 2000 of a given size, depth and colour, with pixels from a
// function or a reproducible pattern. Damaged variants live with the tests that need them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "codec/bitmap.h"

namespace folvane::test {

using Bytes = std::vector<uint8_t>;

// Deterministic bytes that exercise every bit.
std::vector<uint8_t> patternBytes(size_t count, unsigned seed);

// --- BMP -------------------------------------------------------------------------------------

// A pixel generator: RGB of (x, y).
using PixelFn = std::function<uint32_t(int x, int y)>; // 0x00RRGGBB

// 24-bit bottom-up BMP.
void writeBmp24(const std::filesystem::path& path, int width, int height, const PixelFn& pixel);
// 8-bit palette BMP; index(x, y) selects from palette (0x00RRGGBB entries).
void writeBmp8(const std::filesystem::path& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::function<uint8_t(int, int)>& index);

// --- PNG -------------------------------------------------------------------------------------

// PNG through libpng with the given colour type and depth; samples are taken from the rows
// exactly as given (big-endian for 16 bits). Palette, tRNS and Adam7 interlacing are optional.
Bytes makePng(int width, int height, int colourType, int depth, const std::vector<Bytes>& rows,
              const std::vector<codec::Rgb>& palette = {}, const Bytes& trns = {}, bool interlaced = false);

// The chunks of a PNG file in order, without the signature and checksums; and a file made of
// chunks again, each with its correct checksum. Damaged and rearranged files are made this way.
struct PngChunk {
    std::string type;
    Bytes data;
};
std::vector<PngChunk> pngChunks(const Bytes& png);
Bytes joinPngChunks(const std::vector<PngChunk>& chunks);

// Gray 8-bit PNG file.
void writePngGray(const std::filesystem::path& path, int width, int height, const std::function<uint8_t(int, int)>& value);

// --- TIFF ------------------------------------------------------------------------------------

// A TIFF page whose samples come from a function: strips of the whole page, 72 dpi.
struct TiffPage {
    int width = 0;
    int height = 0;
    int bitsPerSample = 8;
    int samples = 1;       // 1 gray or bilevel, 3 RGB
    int photometric = 1;   // 0 min-is-white, 1 min-is-black, 2 RGB
    int compression = 1;   // TIFF compression tag value
    std::function<uint8_t(int x, int y, int sample)> value; // sample value (0/1 for bilevel)
};
void writeTiff(const std::filesystem::path& path, const std::vector<TiffPage>& pages);

// One TIFF directory with every layout choice open. Pixel data are given as packed rows of
// interleaved samples (each row starts on a byte boundary), whatever layout the file gets.
// Tag values are the numeric TIFF tags (tiffio.h names them).
struct TiffDirectory {
    uint32_t width = 8;
    uint32_t height = 8;
    uint16_t bits = 8;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = 1;   // min-is-black
    uint16_t compression = 1;   // none
    uint16_t planar = 1;        // contiguous; separate planes: 8-bit samples only
    uint16_t fillOrder = 1;     // most significant bit first
    uint16_t predictor = 1;     // none
    uint32_t rowsPerStrip = 0;  // 0: the whole image in one strip
    uint32_t tileSize = 0;      // non-zero: square tiles (a multiple of 16)
    uint32_t group3Options = 0;
    int inkSet = -1;            // -1: not written
    std::vector<uint16_t> extraSamples;
    std::vector<uint16_t> colormap; // red, green and blue runs of 2^bits entries each
    float xResolution = 0;      // 0: not written
    float yResolution = 0;
    int resolutionUnit = -1;    // -1: not written
    std::vector<uint8_t> data;

    size_t rowBytes() const { return (size_t{width} * samplesPerPixel * bits + 7) / 8; }
};
// A directory of the given layout filled with patternBytes.
TiffDirectory patternPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t samplesPerPixel,
                          uint16_t photometric, uint16_t compression, unsigned seed = 1);
// Writes every directory in turn; false when libtiff refuses.
bool writeTiff(const std::filesystem::path& path, const std::vector<TiffDirectory>& pages);

// --- JPEG ------------------------------------------------------------------------------------

struct JpegSpec {
    int width = 16;
    int height = 12;
    int components = 3;          // 1 gray, 3 RGB (YCbCr inside), 4 CMYK
    bool progressive = false;
    bool arithmetic = false;     // arithmetic coding instead of Huffman
    bool adobeMarker = true;     // CMYK only: libjpeg writes the Adobe segment for CMYK by default
    bool jfif = true;
    int densityUnit = 1;
    int xDensity = 72;
    int yDensity = 72;
    int quality = 90;
    std::vector<std::pair<int, std::string>> markers; // extra APPn segments: marker code, payload
    // Sample c of pixel (x, y); without one the pixels are patternBytes.
    std::function<uint8_t(int x, int y, int c)> sample;
};
std::string makeJpeg(const JpegSpec& spec);

// --- JPEG 2000 -------------------------------------------------------------------------------

// Lossless JPEG 2000 (a JP2 file or a bare code stream) whose plane c holds value(c, x, y).
Bytes encodeJpeg2000(bool jp2, int components, int precision, bool isSigned, int width, int height,
                     int (*value)(int c, int x, int y));

} // namespace folvane::test
