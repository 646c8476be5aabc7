// One file of every format the codec layer reads goes through Document::addImage; the rendered page
// must show the picture the codec decodes from that file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "engine/engine.h"
#include "support/test_support.h"

using namespace folvane::engine;
using namespace folvane::test;
namespace codec = folvane::codec;
namespace ctest = folvane::codec::test;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 48, kHeight = 32;

// Flat 16 x 16 blocks of distinct colours: easy on JPEG, every channel exercised.
codec::Rgb blockColour(int x, int y)
{
    static const codec::Rgb colours[] = {{220, 30, 30}, {30, 200, 40}, {40, 60, 210},
                                         {240, 220, 40}, {250, 250, 250}, {20, 20, 20}};
    return colours[(x / 16 + 3 * (y / 16)) % 6];
}

std::string ppm()
{
    std::string bytes = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            codec::Rgb c = blockColour(x, y);
            bytes += static_cast<char>(c.r);
            bytes += static_cast<char>(c.g);
            bytes += static_cast<char>(c.b);
        }
    return bytes;
}

struct RgbPage {
    int width = 0, height = 0;
    std::string pixels;
    codec::Rgb at(int x, int y) const
    {
        size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return {static_cast<uint8_t>(pixels[i]), static_cast<uint8_t>(pixels[i + 1]), static_cast<uint8_t>(pixels[i + 2])};
    }
};

RgbPage renderRgb(const fs::path& pdf, const fs::path& scratch)
{
    RgbPage page;
    auto out = scratch / "page.ppm";
    if (runCommand("mutool draw -q -r 72 -c rgb -o " + shellQuote(out.string()) + " " + shellQuote(pdf.string()) + " 1")
            .exitCode != 0)
        return page;
    std::string bytes = readFileBytes(out);
    int maxValue = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &page.width, &page.height, &maxValue, &consumed) != 3)
        return page;
    page.pixels = bytes.substr(static_cast<size_t>(consumed) + 1);
    return page;
}

class Formats : public PdfTest {
protected:
    // Converts `file` alone into a PDF and compares the page with the codec's own decoding.
    // Lossless routes (tolerance 0) must match exactly. For routes through JPEG, `tolerance` bounds
    // the average of each pixel's largest channel difference, and no pixel may be off by more
    // than 100 (chroma subsampling smears the edges between saturated blocks).
    void expectPageShowsFile(const fs::path& file, int format, int tolerance)
    {
        SCOPED_TRACE(file.filename().string());
        codec::ImageCodec reference;
        ASSERT_TRUE(reference.load(file.string(), format)) << "the codec reads its own fixture";
        auto pdf = pdfPath(file.filename().string() + ".pdf");
        Opened opened = Document::create(pdf.string());
        ASSERT_TRUE(opened.status.ok);
        ASSERT_TRUE(opened.document.addImage(file.string()).status.ok);
        ASSERT_TRUE(opened.document.close().ok);
        RgbPage page = renderRgb(pdf, scratchDir());
        ASSERT_EQ(page.width, reference.width());
        ASSERT_EQ(page.height, reference.height());
        int worst = 0;
        long total = 0;
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x) {
                codec::Rgb want = ctest::pixel(reference.bitmap(), x, y);
                codec::Rgb got = page.at(x, y);
                int diff = std::max({std::abs(want.r - got.r), std::abs(want.g - got.g), std::abs(want.b - got.b)});
                worst = std::max(worst, diff);
                total += diff;
            }
        if (tolerance == 0) {
            EXPECT_EQ(worst, 0);
        } else {
            EXPECT_LE(total / (page.width * page.height), tolerance);
            EXPECT_LE(worst, 100);
        }
    }

    fs::path source()
    {
        auto path = scratchDir() / "source.ppm";
        if (!fs::exists(path))
            writeFileBytes(path, ppm());
        return path;
    }

    fs::path gm(const std::string& name, const std::string& options = "")
    {
        auto out = scratchDir() / name;
        EXPECT_EQ(runCommand("gm convert " + shellQuote(source().string()) + " " + options + " " +
                             shellQuote(out.string()))
                      .exitCode,
                  0);
        return out;
    }
};

// Average difference allowed after JPEG at quality 75.
constexpr int kJpegTolerance = 8;

} // namespace

TEST_F(Formats, RasterFormatsThroughGraphicsMagick)
{
    ASSERT_TRUE(haveTool("gm"));
    expectPageShowsFile(source(), codec::kFormatPnm, kJpegTolerance);
    expectPageShowsFile(gm("colour.bmp"), codec::kFormatBmp, kJpegTolerance);
    expectPageShowsFile(gm("colour.png"), codec::kFormatPng, kJpegTolerance);
    expectPageShowsFile(gm("colour.tga"), codec::kFormatTga, kJpegTolerance);
    expectPageShowsFile(gm("colour.pcx"), codec::kFormatPcx, kJpegTolerance);
    expectPageShowsFile(gm("colour.ras"), codec::kFormatSunRaster, kJpegTolerance);
    expectPageShowsFile(gm("colour.jpg", "-quality 95"), codec::kFormatJpeg, 0);
    expectPageShowsFile(gm("lzw.tif", "-compress LZW"), codec::kFormatTiff, kJpegTolerance);
    expectPageShowsFile(gm("palette.png", "-colors 6 -type Palette"), codec::kFormatPng, kJpegTolerance);
    // Bilevel frames go through CCITT Group 4 and must come back exactly.
    expectPageShowsFile(gm("bw.wbmp", "-threshold 50%"), codec::kFormatWbmp, 0);
    expectPageShowsFile(gm("bw.pbm", "-threshold 50% -compress none"), codec::kFormatPnm, 0);
    expectPageShowsFile(gm("bw.tif", "-threshold 50% -compress Group4"), codec::kFormatTiff, 0);
    expectPageShowsFile(gm("gray.pgm", "-colorspace gray"), codec::kFormatPnm, kJpegTolerance);
    expectPageShowsFile(gm("colour.mng"), codec::kFormatMng, kJpegTolerance);
}

TEST_F(Formats, FormatsBuiltByTheTests)
{
    // JPEG 2000 file and code stream, lossless.
    int (*plane)(int, int, int) = [](int c, int x, int y) {
        codec::Rgb colour = blockColour(x, y);
        return static_cast<int>(c == 0 ? colour.r : c == 1 ? colour.g : colour.b);
    };
    auto jp2 = ctest::writeBytes("colour.jp2", ctest::encodeJpeg2000(true, 3, 8, false, kWidth, kHeight, plane));
    auto j2k = ctest::writeBytes("colour.j2k", ctest::encodeJpeg2000(false, 3, 8, false, kWidth, kHeight, plane));
    expectPageShowsFile(jp2, codec::kFormatJp2, kJpegTolerance);
    expectPageShowsFile(j2k, codec::kFormatJ2k, kJpegTolerance);

    // PGX: 8-bit gray.
    ctest::ByteWriter pgx;
    pgx.text("PG ML + 8 " + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n");
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            pgx.u8(static_cast<unsigned>(blockColour(x, y).g));
    expectPageShowsFile(ctest::writeBytes("gray.pgx", pgx.bytes), codec::kFormatPgx, kJpegTolerance);

    // SKA: a palette image.
    ctest::ByteWriter ska;
    ska.u16be(kWidth).u16be(kHeight).u8(3).u32be(0x01000000);
    for (int i = 0; i < 256; ++i)
        ska.u8(static_cast<unsigned>(i)).u8(static_cast<unsigned>(255 - i)).u8(static_cast<unsigned>(i / 2));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ska.u8(static_cast<unsigned>((x / 16) * 80 + (y / 16) * 40));
    expectPageShowsFile(ctest::writeBytes("palette.ska", ska.bytes), codec::kFormatSka, kJpegTolerance);

    // Icon with one image.
    ctest::ByteWriter dib;
    const int size = 16;
    dib.u32le(40).u32le(size).u32le(size * 2).u16le(1).u16le(8).u32le(0).u32le(0).u32le(0).u32le(0).u32le(2).u32le(0);
    dib.u8(0).u8(0).u8(255).u8(0).u8(255).u8(0).u8(0).u8(0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            dib.u8(x < 8 ? 0 : 1);
    for (int y = 0; y < size; ++y)
        dib.u32le(0);
    ctest::ByteWriter ico;
    ico.u16le(0).u16le(1).u16le(1).u8(size).u8(size).u8(0).u8(0).u16le(1).u16le(8);
    ico.u32le(static_cast<uint32_t>(dib.bytes.size())).u32le(22).raw(dib.bytes);
    // Half red, half blue in 16 pixels: the smeared edge is a larger share of the picture.
    expectPageShowsFile(ctest::writeBytes("one.ico", ico.bytes), codec::kFormatIco, 2 * kJpegTolerance);

    // A placeable metafile.
    expectPageShowsFile(ctest::writeBytes("picture.wmf", ctest::makeWmf(1440, 720, 1440)), codec::kFormatMetafile,
                        kJpegTolerance);
}
