// Inner parts of image intake on an A4 text page at 300 dpi (2480 × 3508) and a 6-megapixel
// photo-like JPEG: Group 4 encoding (ours and libtiff's), decoding the Group 4 TIFF, and whole
// Document::addImage calls that place the page or pass the JPEG through into a PDF (JPEG marker walk,
// TIFF strip copy, content stream).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>
#include <unistd.h>

#include "group4_encoder.h"
#include "codec/image_codec.h"
#include "engine/engine.h"
#include "synthetic_page.h"

namespace {

namespace fs = std::filesystem;
using folvane::codec::Bitmap;

// A folder of its own under the temporary directory, removed when the program ends.
struct ScratchFolder {
    fs::path path = fs::temp_directory_path() / ("folvane-intake-bench-" + std::to_string(::getpid()));
    ScratchFolder() { fs::create_directories(path); }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

fs::path scratch(const std::string& name)
{
    static const ScratchFolder folder;
    return folder.path / name;
}

// 60 lines of 10-point text in 20 mm margins, as in the deskew benchmark, not tilted.
const Bitmap& a4Page()
{
    static const Bitmap page = [] {
        folvane::test::BilevelPage drawn =
            folvane::test::drawTilted(2480, 3508, folvane::test::textLines(236, 236, 2008, 60, 50, 1, 21, true), 0);
        Bitmap bitmap;
        bitmap.create(drawn.width, drawn.height, 1);
        bitmap.setGrayPalette();
        for (int y = 0; y < drawn.height; ++y)
            std::copy_n(drawn.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(drawn.stride),
                        bitmap.stride(), bitmap.row(y));
        return bitmap;
    }();
    return page;
}

const std::string& a4Tiff()
{
    static const std::string path = [] {
        folvane::codec::ImageCodec codec;
        codec.bitmap() = a4Page();
        codec.setCompression(folvane::codec::kCompressionCcittG4);
        std::string file = scratch("page.tif").string();
        codec.save(file, folvane::codec::kFormatTiff);
        return file;
    }();
    return path;
}

// Smooth colour fields with noise, quality 90.
const std::string& photoJpeg()
{
    static const std::string path = [] {
        const int width = 3000, height = 2000;
        std::string file = scratch("photo.jpg").string();
        FILE* out = std::fopen(file.c_str(), "wb");
        jpeg_compress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        std::vector<uint8_t> row(width * 3);
        std::mt19937 random(1);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    row[size_t(x) * 3 + c] =
                        static_cast<uint8_t>((x * (c + 1) / 24 + y / (c + 5)) % 200 + static_cast<int>(random() % 32));
            JSAMPROW line = row.data();
            jpeg_write_scanlines(&cinfo, &line, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
        return file;
    }();
    return path;
}

void group4EncodeA4(benchmark::State& state)
{
    const Bitmap& page = a4Page();
    std::vector<uint8_t> strip;
    for (auto _ : state)
        folvane::codec::encodeGroup4(page, false, strip);
    state.counters["strip_bytes"] = static_cast<double>(strip.size());
}
BENCHMARK(group4EncodeA4)->Unit(benchmark::kMillisecond);

// libtiff's encoder on the same page, for comparison (file writing included; it is small).
void group4EncodeA4Libtiff(benchmark::State& state)
{
    const Bitmap& page = a4Page();
    std::string file = scratch("libtiff.tif").string();
    for (auto _ : state) {
        TIFF* out = TIFFOpen(file.c_str(), "w");
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width()));
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height()));
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(page.height()));
        for (int y = 0; y < page.height(); ++y)
            TIFFWriteScanline(out, const_cast<uint8_t*>(page.row(y)), static_cast<uint32_t>(y), 0);
        TIFFClose(out);
    }
}
BENCHMARK(group4EncodeA4Libtiff)->Unit(benchmark::kMillisecond);

void group4DecodeA4(benchmark::State& state)
{
    const std::string& file = a4Tiff();
    for (auto _ : state) {
        folvane::codec::ImageCodec codec;
        benchmark::DoNotOptimize(codec.load(file, folvane::codec::kFormatTiff));
    }
}
BENCHMARK(group4DecodeA4)->Unit(benchmark::kMillisecond);

// One file added to a fresh document, closed each time.
void placeInDocument(benchmark::State& state, const std::string& image)
{
    std::string pdf = scratch("out.pdf").string();
    for (auto _ : state) {
        folvane::engine::Document doc = folvane::engine::Document::create(pdf).document;
        benchmark::DoNotOptimize(doc.addImage(image).status.ok);
        benchmark::DoNotOptimize(doc.close().ok);
    }
    state.counters["pdf_bytes"] = static_cast<double>(fs::file_size(pdf));
}

void placeGroup4Page(benchmark::State& state) { placeInDocument(state, a4Tiff()); }
BENCHMARK(placeGroup4Page)->Unit(benchmark::kMillisecond);

// Quality unset: the JPEG is embedded as it is (marker walk and copy).
void passJpegThrough(benchmark::State& state) { placeInDocument(state, photoJpeg()); }
BENCHMARK(passJpegThrough)->Unit(benchmark::kMillisecond);

} // namespace
