// Files that used to give wrong pages while reporting success: turned TIFFs, tiny images, a PNG
// with a huge text chunk, TGAs with alpha, a multi-page TIFF with a frame nobody can read, a cut
// file blamed on the converter.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/cli_fixture.h"
#include "support/pixel_compare.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

std::string le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A PPM whose four quadrants differ, so every turn and mirror shows.
std::string quadrantsPpm(int width, int height)
{
    std::string bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    // Muted colours: JPEG's halved colour resolution keeps them well above 30 dB.
    const char colours[4][3] = {{'\xC0', '\x60', '\x60'}, {'\x60', '\xB0', '\x60'}, {'\x60', '\x60', '\xC0'}, {'\x20', '\x20', '\x20'}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bytes.append(colours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)], 3);
    return bytes;
}

class FormatMends : public CliFixture {
protected:
    CommandResult convert(const fs::path& source, const fs::path& pdf)
    {
        return cli("convert --dpi 72 -o " + q(pdf) + " " + q(source));
    }
    fs::path gm(const std::string& arguments, const std::string& name)
    {
        auto out = dir / name;
        EXPECT_EQ(runCommand("gm convert " + arguments + " " + q(out)).exitCode, 0) << name;
        return out;
    }
};

TEST_F(FormatMends, TiffOrientationsFiveToEightShowUpright)
{
    writeFileBytes(dir / "quadrants.ppm", quadrantsPpm(48, 32));
    const char* names[] = {"LeftTop", "RightTop", "RightBottom", "LeftBottom"};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(names[k]);
        for (std::string kind : {"colour", "bilevel"}) {
            std::string options = kind == "colour" ? "-compress lzw" : "-threshold 30% -type bilevel -compress group4";
            fs::path tiff = gm(q(dir / "quadrants.ppm") + " " + options + " -orient " + names[k], kind + ".tif");
            fs::path pdf = pdfPath(kind + std::to_string(k) + ".pdf");
            ASSERT_EQ(convert(tiff, pdf).exitCode, 0);
            RgbImage page = renderPage(pdf, 1, dir);
            RgbImage upright = parsePnm(readFileBytes(gm(q(tiff) + " -auto-orient", "upright.ppm")));
            ASSERT_EQ(page.width, 32) << kind;
            ASSERT_EQ(page.height, 48) << kind;
            EXPECT_GE(psnr(page, upright), kind == "colour" ? 30 : 99) << kind;
        }
    }
}

TEST_F(FormatMends, OnePixelImageGetsAThreeUnitPageAndKeepsItsSize)
{
    writeFileBytes(dir / "dot.pgm", std::string("P5\n1 1\n255\n") + '\0');
    fs::path pdf = pdfPath("dot.pdf");
    ASSERT_EQ(convert(gm(q(dir / "dot.pgm"), "dot.png"), pdf).exitCode, 0);
    EXPECT_EQ(pdfinfo(pdf, "Page size"), "3 x 3 pts");
    RgbImage page = renderPage(pdf, 1, dir);
    ASSERT_EQ(page.width, 3);
    EXPECT_LT(page.at(0, 0)[0], 40) << "the dot at the top left";
    EXPECT_EQ(page.at(1, 0)[0], 255);
    EXPECT_EQ(page.at(0, 1)[0], 255);
}

TEST_F(FormatMends, PngWithAHugeTextChunkIsRefusedQuickly)
{
    // Signature, a 1 x 1 gray header, then a text chunk that claims almost 2 GiB.
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\1\0\0\0\1\x08\0\0\0\0\x3a\x7e\x9b\x55", 33);
    png += std::string("\x7f\xff\xff\xf0tEXt", 8);
    writeFileBytes(dir / "huge_tEXt.png", png);
    auto start = std::chrono::steady_clock::now();
    CommandResult result = convert(dir / "huge_tEXt.png", dir / "huge.pdf");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("Failed: damaged PNG file"), std::string::npos) << result.output;
    EXPECT_LT(seconds, 2.0);
}

TEST_F(FormatMends, TgaAlphaShowsOnWhiteInEveryOriginAndGrayAlphaReads)
{
    // 16 x 16, run-length coded, origin top right, descriptor alpha bits left 0 as many writers
    // do: the top half transparent red; in the bottom half each row holds 8 opaque blue pixels,
    // then 8 half-transparent black ones (shown right to left).
    std::string rle = std::string("\0\0\x0a", 3) + std::string(5, '\0') + le16(0) + le16(0) + le16(16) + le16(16) +
                      std::string("\x20\x30", 2);
    for (int y = 0; y < 8; ++y)
        rle += std::string("\x8f\0\0\xff\0", 5);
    for (int y = 0; y < 8; ++y)
        rle += std::string("\x87\xff\0\0\xff", 5) + std::string("\x87\0\0\0\x80", 5);
    // 2 x 1 gray with alpha, raw, origin top left: opaque black, fully transparent black.
    std::string grayAlpha = std::string("\0\0\x03", 3) + std::string(5, '\0') + le16(0) + le16(0) + le16(2) + le16(1) +
                            std::string("\x10\x28", 2) + std::string("\0\xff\0\0", 4);
    writeFileBytes(dir / "rle.tga", rle);
    writeFileBytes(dir / "grayalpha.tga", grayAlpha);
    fs::path pdf = pdfPath("tga.pdf");
    ASSERT_EQ(cli("convert --dpi 72 -o " + q(pdf) + " " + q(dir / "rle.tga") + " " + q(dir / "grayalpha.tga"))
                  .exitCode,
              0);
    RgbImage first = renderPage(pdf, 1, dir);
    ASSERT_EQ(first.width, 16);
    EXPECT_GT(first.at(4, 4)[1], 235) << "transparent red shows white";
    EXPECT_GT(first.at(12, 4)[2], 235);
    EXPECT_GT(first.at(12, 12)[2], 200) << "blue at the right";
    EXPECT_LT(first.at(12, 12)[0], 60);
    EXPECT_NEAR(first.at(4, 12)[0], 128, 20) << "half-transparent black on white";
    RgbImage second = renderPage(pdf, 2, dir);
    EXPECT_LT(second.at(0, 0)[0], 40);
    EXPECT_GT(second.at(1, 0)[0], 215);
}

// Sets the compression tag of the second directory of a little-endian TIFF to a number no reader
// knows.
void spoilSecondFrame(std::string& tiff)
{
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(tiff[at]) | static_cast<uint8_t>(tiff[at + 1]) << 8 |
                                     static_cast<uint8_t>(tiff[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(tiff[at + 3])) << 24);
    };
    auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<uint8_t>(tiff[at]) | static_cast<uint8_t>(tiff[at + 1]) << 8); };
    size_t ifd = u32(4);
    ifd = u32(ifd + 2 + 12 * u16(ifd));
    for (unsigned i = 0, n = u16(ifd); i < n; ++i) {
        size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) == 259)
            tiff.replace(entry + 8, 2, le16(12345));
    }
}

TEST_F(FormatMends, UnreadableFrameFailsItsFileWithAReasonAndMakesNoEmptyPage)
{
    writeFileBytes(dir / "quadrants.ppm", quadrantsPpm(48, 32));
    fs::path three = gm(q(dir / "quadrants.ppm") + " " + q(dir / "quadrants.ppm") + " " + q(dir / "quadrants.ppm") +
                            " -compress none -define tiff:endian=lsb",
                        "three.tif");
    std::string bytes = readFileBytes(three);
    spoilSecondFrame(bytes);
    writeFileBytes(three, bytes);
    fs::path pdf = pdfPath("three.pdf");
    CommandResult result = convert(three, pdf);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("Failed: frame 2 of 3: "), std::string::npos) << result.output;
    EXPECT_EQ(pdfinfo(pdf, "Pages"), "2");
    for (int page = 1; page <= 2; ++page)
        EXPECT_GE(psnr(renderPage(pdf, page, dir), parsePnm(quadrantsPpm(48, 32))), 30) << page;
}

// A file whose first bytes name a format but whose data is cut short is damaged, also when the
// converter is asked and cannot read it either.
TEST_F(FormatMends, CutFileOfAKnownFormatIsReportedDamaged)
{
    std::string ppm = quadrantsPpm(48, 32);
    writeFileBytes(dir / "cut.ppm", ppm.substr(0, ppm.size() / 2));
    CommandResult result = convert(dir / "cut.ppm", dir / "cut.pdf");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.output.find("cut.ppm: Failed: image data damaged or unreadable"), std::string::npos)
        << result.output;
}

// Group 4 scans go into the PDF as stored when nothing changes them (in either bit order, and
// turned by their orientation); the pages must show exactly what the files hold.
TEST_F(FormatMends, GroupFourScansShowExactlyWhatTheyHold)
{
    writeFileBytes(dir / "quadrants.ppm", quadrantsPpm(200, 120));
    for (std::string options : {"-define tiff:fill-order=msb2lsb", "-define tiff:fill-order=lsb2msb",
                                "-orient RightTop"}) {
        SCOPED_TRACE(options);
        fs::path scan = gm(q(dir / "quadrants.ppm") + " -threshold 30% -type bilevel -compress group4 " + options,
                           "scan.tif");
        fs::path pdf = pdfPath("scan" + std::to_string(options.size()) + ".pdf");
        ASSERT_EQ(cli("convert --dpi 72 -o " + q(pdf) + " " + q(scan)).exitCode, 0);
        RgbImage upright = parsePnm(readFileBytes(gm(q(scan) + " -auto-orient", "upright.ppm")));
        EXPECT_EQ(psnr(renderPage(pdf, 1, dir), upright), 99);
    }
}

// The frames of a multi-page Group 4 scan go in as stored, each taken from its own place in the
// file: every page shows its own frame.
TEST_F(FormatMends, EveryFrameOfAGroupFourScanShowsItsOwnPicture)
{
    writeFileBytes(dir / "a.ppm", quadrantsPpm(200, 120));
    fs::path flipped = gm(q(dir / "a.ppm") + " -flip", "b.ppm");
    fs::path book = gm(q(dir / "a.ppm") + " " + q(flipped) + " " + q(dir / "a.ppm") +
                           " -threshold 30% -type bilevel -compress group4",
                       "book.tif");
    fs::path pdf = pdfPath("book.pdf");
    ASSERT_EQ(convert(book, pdf).exitCode, 0);
    ASSERT_EQ(pdfinfo(pdf, "Pages"), "3");
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        fs::path frame = gm(q(book.string() + "[" + std::to_string(page - 1) + "]"), "frame.ppm");
        EXPECT_EQ(psnr(renderPage(pdf, page, dir), parsePnm(readFileBytes(frame))), 99);
    }
}

// A JPEG with an EXIF segment whose Orientation tag is `orientation`, from a plain JPEG.
std::string withExifOrientation(const std::string& jpeg, int orientation)
{
    std::string tiff = std::string("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18) +
                       static_cast<char>(0) + static_cast<char>(orientation) + std::string(6, '\0');
    std::string segment = std::string("Exif\0\0", 6) + tiff;
    size_t length = segment.size() + 2;
    return jpeg.substr(0, 2) + "\xff\xe1" + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) +
           segment + jpeg.substr(2);
}

TEST_F(FormatMends, PhotosStandUprightAndPassedThroughJpegDataStaysIdentical)
{
    writeFileBytes(dir / "quadrants.ppm", quadrantsPpm(48, 32));
    std::string jpeg = readFileBytes(gm(q(dir / "quadrants.ppm") + " -quality 90", "plain.jpg"));
    for (int orientation : {3, 6, 8}) {
        SCOPED_TRACE(orientation);
        writeFileBytes(dir / "photo.jpg", withExifOrientation(jpeg, orientation));
        RgbImage upright = parsePnm(readFileBytes(gm(q(dir / "photo.jpg") + " -auto-orient", "upright.ppm")));
        fs::path kept = pdfPath("kept" + std::to_string(orientation) + ".pdf");
        ASSERT_EQ(cli("convert --dpi 72 --quality 0 -o " + q(kept) + " " + q(dir / "photo.jpg")).exitCode, 0);
        EXPECT_EQ(psnr(renderPage(kept, 1, dir), upright), 99) << "turned by the page, not the data";
        EXPECT_NE(readFileBytes(kept).find(withExifOrientation(jpeg, orientation)), std::string::npos);
        fs::path coded = pdfPath("coded" + std::to_string(orientation) + ".pdf");
        ASSERT_EQ(cli("convert --dpi 72 --quality 75 -o " + q(coded) + " " + q(dir / "photo.jpg")).exitCode, 0);
        EXPECT_GE(psnr(renderPage(coded, 1, dir), upright), 30);
    }
    fs::path asStored = pdfPath("stored.pdf");
    ASSERT_EQ(cli("convert --dpi 72 --quality 0 --auto-orient off -o " + q(asStored) + " " + q(dir / "photo.jpg"))
                  .exitCode,
              0);
    EXPECT_EQ(pdfinfo(asStored, "Page size"), "48 x 32 pts");
}

} // namespace
