#pragma once
// Small image files written by the tests themselves.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace folvane::test {

// A pixel generator: RGB of (x, y).
using PixelFn = std::function<uint32_t(int x, int y)>; // 0x00RRGGBB

// 24-bit bottom-up BMP.
void writeBmp24(const std::filesystem::path& path, int width, int height, const PixelFn& pixel);
// 8-bit palette BMP; index(x, y) selects from palette (0x00RRGGBB entries).
void writeBmp8(const std::filesystem::path& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::function<uint8_t(int, int)>& index);

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

// Gray 8-bit PNG.
void writePngGray(const std::filesystem::path& path, int width, int height, const std::function<uint8_t(int, int)>& value);

// Pixels of a page rendered by mutool at 72 dpi as 8-bit gray, row by row; empty on failure.
struct Rendered {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
    uint8_t at(int x, int y) const { return gray[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
Rendered renderGray(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch);

} // namespace folvane::test
