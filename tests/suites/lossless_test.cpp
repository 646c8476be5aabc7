// Kept exactly (--lossless) through folvane-cli: a PNG's rows go in as stored and its EXIF turn
// is drawn, alpha from other formats (TIFF too) becomes a soft mask, 16-bit TIFF and PNM samples
// keep all their bits, and a damaged PNG still fails with its reason.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <png.h>

#include "support/cli_fixture.h"
#include "support/image_files.h"
#include "support/pixel_compare.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

std::string text(const Bytes& bytes)
{
    return {bytes.begin(), bytes.end()};
}

class Lossless : public CliFixture {
protected:
    CommandResult convert(const fs::path& source, const fs::path& pdf)
    {
        return cli("convert --dpi 72 --lossless --auto-orient on -o " + q(pdf) + " " + q(source));
    }
    // The file's objects as text, streams left compressed.
    std::string objects(const fs::path& pdf)
    {
        return runCommand("qpdf --qdf --stream-data=preserve --object-streams=disable " + q(pdf) + " -").output;
    }
};

TEST_F(Lossless, PngRowsGoInAsStoredAndItsExifTurnIsDrawn)
{
    // 3 x 2 RGB, every pixel its own colour; the eXIf chunk after the image data says
    // "turn a quarter clockwise to show" (orientation 6).
    const uint8_t colours[2][3][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                                      {{255, 255, 0}, {0, 255, 255}, {40, 40, 40}}};
    std::vector<Bytes> rows;
    for (const auto& row : colours)
        rows.emplace_back(&row[0][0], &row[0][0] + 9);
    std::vector<PngChunk> chunks = pngChunks(makePng(3, 2, PNG_COLOR_TYPE_RGB, 8, rows));
    const Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    chunks.insert(chunks.end() - 1, {"eXIf", exif});
    writeFileBytes(dir / "turned.png", text(joinPngChunks(chunks)));

    fs::path pdf = pdfPath("turned.pdf");
    ASSERT_EQ(convert(dir / "turned.png", pdf).exitCode, 0);
    EXPECT_NE(objects(pdf).find("/Predictor 15"), std::string::npos) << "copied as stored";
    RgbImage page = renderPage(pdf, 1, dir);
    ASSERT_EQ(page.width, 3) << "the page of a 2 x 3 picture has the 3-point minimum width";
    ASSERT_EQ(page.height, 3);
    // Shown upright, pixel (x, y) is stored pixel (y, 1 - x).
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(page.at(x, y)[c], colours[1 - x][y][c]) << x << "," << y;
}

TEST_F(Lossless, AlphaOfOtherFormatsBecomesASoftMask)
{
    // 4 x 1 uncompressed 32-bit TGA, top-left origin, 8 alpha bits: opaque red, transparent
    // green, half-transparent blue, opaque black (B, G, R, A order).
    std::string tga = std::string("\0\0\x02", 3) + std::string(9, '\0') + std::string("\x04\0\x01\0\x20\x28", 6);
    tga += std::string("\0\0\xff\xff\0\xff\0\0\xff\0\0\x80\0\0\0\xff", 16);
    writeFileBytes(dir / "alpha.tga", tga);
    ASSERT_EQ(runCommand("gm convert " + q(dir / "alpha.tga") + " " + q(dir / "alpha.tif")).exitCode, 0);
    for (const char* name : {"alpha.tga", "alpha.tif"}) {
        SCOPED_TRACE(name);
        fs::path pdf = pdfPath(std::string(name) + ".pdf");
        ASSERT_EQ(convert(dir / name, pdf).exitCode, 0);
        EXPECT_NE(objects(pdf).find("/SMask"), std::string::npos);
        RgbImage want = referenceDecode(dir / name, 0, dir);
        RgbImage page = renderPage(pdf, 1, dir);
        ASSERT_EQ(want.width, 4);
        EXPECT_LE(worstDifference(page.crop(4, 1), want), 1);
    }
}

// 16-bit TIFF frames keep all their bits, in either byte order and photometric, and turned by
// their orientation; so do gray and pix maps with samples above 8 bits, binary or text.
TEST_F(Lossless, SixteenBitSamplesKeepTheirBits)
{
    const std::string gradient = q(dir / "gradient.ppm");
    std::string ppm = "P6\n40 24\n255\n";
    std::string wide = "P3\n40 24\n1000\n"; // text samples of ten bits
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            ppm += {static_cast<char>(6 * x), static_cast<char>(10 * y), static_cast<char>(250 - 6 * x)};
            wide += std::to_string(25 * x) + " " + std::to_string(41 * y) + " " + std::to_string(999 - 25 * x) + "\n";
        }
    writeFileBytes(dir / "gradient.ppm", ppm);
    writeFileBytes(dir / "wide.ppm", wide);
    struct Case {
        std::string name, options;
    };
    for (const Case& c : {Case{"big.tif", "-depth 16 -endian MSB"}, Case{"gray.tif", "-depth 16 -endian LSB -colorspace gray"},
                          Case{"white.tif", "-depth 16 -define tiff:photometric=min-is-white -colorspace gray"},
                          Case{"turned.tif", "-depth 16 -orient RightTop"}, Case{"deep.ppm", "-depth 16"},
                          Case{"deep.pgm", "-depth 16 -colorspace gray"}, Case{"wide.ppm", ""}}) {
        SCOPED_TRACE(c.name);
        fs::path source = dir / c.name;
        if (!c.options.empty()) {
            ASSERT_EQ(runCommand("gm convert " + gradient + " " + c.options + " " + q(source)).exitCode, 0);
        }
        fs::path pdf = pdfPath(c.name + ".pdf");
        ASSERT_EQ(convert(source, pdf).exitCode, 0);
        EXPECT_NE(objects(pdf).find("/BitsPerComponent 16"), std::string::npos);
        fs::path upright = dir / (c.name + ".upright.ppm");
        ASSERT_EQ(runCommand("gm convert " + q(source) + " -auto-orient -depth 8 " + q(upright)).exitCode, 0);
        RgbImage want = parsePnm(readFileBytes(upright));
        EXPECT_LE(worstDifference(renderPage(pdf, 1, dir), want), 1);
    }
}

TEST_F(Lossless, DamagedPngFailsWithItsReason)
{
    std::vector<Bytes> rows(8, patternBytes(24, 9));
    std::vector<PngChunk> chunks = pngChunks(makePng(8, 8, PNG_COLOR_TYPE_RGB, 8, rows));
    for (PngChunk& chunk : chunks)
        if (chunk.type == "IDAT")
            chunk.data.resize(chunk.data.size() / 2);
    writeFileBytes(dir / "short.png", text(joinPngChunks(chunks)));
    CommandResult result = convert(dir / "short.png", dir / "short.pdf");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("Failed: damaged PNG file"), std::string::npos) << result.output;
}

} // namespace
