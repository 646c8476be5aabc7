#include "engine/intake_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include <png.h>
#include <tiffio.h>

#include "support/test_support.h"

namespace folvane::test {

namespace {

void put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void writeBmp(const std::filesystem::path& path, int width, int height, int bits, const std::vector<uint32_t>& palette,
              const std::function<void(std::string&, int, int)>& pixel)
{
    size_t rowBytes = (static_cast<size_t>(width) * static_cast<size_t>(bits) / 8 + 3) & ~size_t(3);
    uint32_t offset = 54 + static_cast<uint32_t>(palette.size()) * 4;
    std::string out = "BM";
    put32(out, offset + static_cast<uint32_t>(rowBytes * static_cast<size_t>(height)));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(rowBytes * static_cast<size_t>(height)));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, static_cast<uint32_t>(palette.size()));
    put32(out, 0);
    for (uint32_t c : palette)
        put32(out, c);
    for (int y = height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < width; ++x)
            pixel(out, x, y);
        out.append(rowBytes - (out.size() - start), '\0');
    }
    writeFileBytes(path, out);
}

} // namespace

void writeBmp24(const std::filesystem::path& path, int width, int height, const PixelFn& pixel)
{
    writeBmp(path, width, height, 24, {}, [&](std::string& out, int x, int y) {
        uint32_t c = pixel(x, y);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
        out += static_cast<char>((c >> 16) & 0xFF);
    });
}

void writeBmp8(const std::filesystem::path& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::function<uint8_t(int, int)>& index)
{
    writeBmp(path, width, height, 8, palette, [&](std::string& out, int x, int y) { out += static_cast<char>(index(x, y)); });
}

void writeTiff(const std::filesystem::path& path, const std::vector<TiffPage>& pages)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return;
    for (const auto& p : pages) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(p.width));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(p.height));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(p.bitsPerSample));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(p.samples));
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, static_cast<uint16_t>(p.photometric));
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, static_cast<uint16_t>(p.compression));
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(p.height));
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0f);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0f);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        size_t rowBytes = (static_cast<size_t>(p.width) * static_cast<size_t>(p.bitsPerSample * p.samples) + 7) / 8;
        std::vector<uint8_t> row(rowBytes);
        for (int y = 0; y < p.height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < p.width; ++x) {
                for (int s = 0; s < p.samples; ++s) {
                    uint8_t v = p.value(x, y, s);
                    if (p.bitsPerSample == 1) {
                        if (v)
                            row[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                    } else {
                        row[static_cast<size_t>(x * p.samples + s)] = v;
                    }
                }
            }
            TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
}

void writePngGray(const std::filesystem::path& path, int width, int height, const std::function<uint8_t(int, int)>& value)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            row[static_cast<size_t>(x)] = value(x, y);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

Rendered renderGray(const std::filesystem::path& pdf, int page, const std::filesystem::path& scratch)
{
    Rendered r;
    auto out = scratch / ("render-" + std::to_string(page) + ".pgm");
    CommandResult c = runCommand("mutool draw -q -r 72 -c gray -o " + shellQuote(out.string()) + " " +
                                 shellQuote(pdf.string()) + " " + std::to_string(page));
    if (c.exitCode != 0)
        return r;
    std::string bytes = readFileBytes(out);
    int maxValue = 0;
    int consumed = 0;
    if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &r.width, &r.height, &maxValue, &consumed) != 3)
        return r;
    size_t start = static_cast<size_t>(consumed) + 1;
    size_t count = static_cast<size_t>(r.width) * static_cast<size_t>(r.height);
    if (bytes.size() < start + count)
        return r;
    r.gray.assign(bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(start + count));
    return r;
}

} // namespace folvane::test
