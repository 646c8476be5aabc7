// The common formats end to end: JPEG, PNG, TIFF and BMP decoded to known pixels, the frame
// count rule, header-only loads, and saving as JPEG, PNG or TIFF with every compression.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "codec/image_codec.h"
#include "codec/jpeg_recode.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using namespace test;
namespace fs = std::filesystem;

fs::path scratch(const std::string& name)
{
    return folvane::test::scratchDir() / name;
}

int maxDifference(const Bitmap& a, const Bitmap& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            Rgb p = pixel(a, x, y), q = pixel(b, x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

Bitmap gradient(int width, int height)
{
    Bitmap b;
    b.create(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = 128;
        }
    return b;
}

TEST(JpegCodec, SavesAndLoadsTrueColourAndGray)
{
    ImageCodec codec;
    codec.bitmap() = gradient(64, 48);
    const Bitmap source = codec.bitmap();
    codec.setJpegQuality(100);
    ASSERT_TRUE(codec.save(scratch("c.jpg").string(), kFormatJpeg));

    ImageCodec back;
    ASSERT_TRUE(loadFile(back, scratch("c.jpg"), kFormatJpeg));
    EXPECT_EQ(back.width(), 64);
    EXPECT_EQ(back.height(), 48);
    EXPECT_EQ(back.bitsPerPixel(), 24);
    EXPECT_EQ(back.frameCount(), 0);
    EXPECT_LE(maxDifference(source, back.bitmap()), 6);

    ImageCodec gray;
    gray.bitmap() = grayPicture(16, 16);
    ASSERT_TRUE(gray.save(scratch("g.jpg").string(), kFormatJpeg));
    ASSERT_TRUE(loadFile(back, scratch("g.jpg"), kFormatJpeg));
    EXPECT_EQ(back.bitsPerPixel(), 8);
    EXPECT_TRUE(back.isGrayscalePalette());
}

TEST(JpegCodec, QualityChangesTheEncoding)
{
    ImageCodec codec;
    codec.bitmap() = colourPicture(64, 64);
    codec.setJpegQuality(10);
    ASSERT_TRUE(codec.save(scratch("q10.jpg").string(), kFormatJpeg));
    codec.setJpegQuality(95);
    ASSERT_TRUE(codec.save(scratch("q95.jpg").string(), kFormatJpeg));
    EXPECT_LT(fs::file_size(scratch("q10.jpg")) * 2, fs::file_size(scratch("q95.jpg")));
}

TEST(JpegCodec, HeaderOnlyReportsSizeWithoutPixels)
{
    ImageCodec codec;
    codec.bitmap() = colourPicture(33, 17);
    ASSERT_TRUE(codec.save(scratch("h.jpg").string(), kFormatJpeg));
    ImageCodec header;
    header.setHeaderOnly(true);
    ASSERT_TRUE(header.load(scratch("h.jpg").string(), kFormatJpeg));
    EXPECT_EQ(header.width(), 33);
    EXPECT_EQ(header.height(), 17);
    EXPECT_FALSE(header.hasFrame());
    EXPECT_LE(header.frameCount(), 0);
}

// Mean squared error of two pictures of the same size, as PSNR in dB.
double psnrOf(const Bitmap& a, const Bitmap& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            Rgb p = pixel(a, x, y), q = pixel(b, x, y);
            sum += (p.r - q.r) * (p.r - q.r) + (p.g - q.g) * (p.g - q.g) + (p.b - q.b) * (p.b - q.b);
        }
    double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Re-encoding from the YCbCr planes keeps the picture (odd sizes included) as well as coding the
// decoded RGB pixels afresh does, and leaves every file it cannot take to the general route.
TEST(JpegCodec, RecodingFromThePlanesMatchesTheGeneralRoute)
{
    ImageCodec source;
    source.bitmap() = colourPicture(75, 41);
    source.setJpegQuality(95);
    ASSERT_TRUE(source.save(scratch("photo.jpg").string(), kFormatJpeg));
    ImageCodec decoded;
    ASSERT_TRUE(loadFile(decoded, scratch("photo.jpg"), kFormatJpeg));

    ASSERT_TRUE(recodeJpegPlanes(scratch("photo.jpg").string(), scratch("planes.jpg").string(), 75));
    ImageCodec planes;
    ASSERT_TRUE(loadFile(planes, scratch("planes.jpg"), kFormatJpeg));
    ASSERT_EQ(planes.width(), 75);
    ASSERT_EQ(planes.height(), 41);
    decoded.setJpegQuality(75);
    ASSERT_TRUE(decoded.save(scratch("general.jpg").string(), kFormatJpeg));
    ImageCodec general;
    ASSERT_TRUE(loadFile(general, scratch("general.jpg"), kFormatJpeg));
    EXPECT_GE(psnrOf(decoded.bitmap(), planes.bitmap()), psnrOf(decoded.bitmap(), general.bitmap()) - 0.2);

    ImageCodec gray;
    gray.bitmap() = grayPicture(16, 16);
    ASSERT_TRUE(gray.save(scratch("gray.jpg").string(), kFormatJpeg));
    EXPECT_FALSE(recodeJpegPlanes(scratch("gray.jpg").string(), scratch("out.jpg").string(), 75));
    Bytes bytes = readBytes(scratch("photo.jpg"));
    bytes.resize(bytes.size() / 2);
    writeBytes("cut.jpg", bytes);
    EXPECT_FALSE(recodeJpegPlanes(scratch("cut.jpg").string(), scratch("out.jpg").string(), 75));
}

TEST(JpegCodec, SizesItsBytesCannotHoldAreRefusedAsBombs)
{
    // A blank A4 page at 300 dpi compresses very well and still loads.
    ImageCodec page;
    ASSERT_TRUE(page.bitmap().create(2480, 3508, 8));
    page.bitmap().setGrayPalette();
    for (int y = 0; y < 3508; ++y)
        std::memset(page.bitmap().row(y), 255, 2480);
    ASSERT_TRUE(page.save(scratch("blank.jpg").string(), kFormatJpeg));
    ImageCodec back;
    EXPECT_TRUE(loadFile(back, scratch("blank.jpg"), kFormatJpeg));

    // A tiny file whose frame header claims 16000 x 16000 pixels (inside the pixel cap).
    ImageCodec small;
    small.bitmap() = grayPicture(16, 16);
    ASSERT_TRUE(small.save(scratch("small.jpg").string(), kFormatJpeg));
    std::string bytes = folvane::test::readFileBytes(scratch("small.jpg"));
    size_t sof = bytes.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    for (size_t at : {sof + 5, sof + 7}) { // height, then width, big-endian
        bytes[at] = static_cast<char>(16000 >> 8);
        bytes[at + 1] = static_cast<char>(16000 & 0xff);
    }
    ImageCodec bomb;
    EXPECT_FALSE(bomb.loadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kFormatJpeg));
}

TEST(PngCodec, DecodesEachColourTypeToItsPixelClass)
{
    // 8-bit RGB
    Bytes rgb = makePng(2, 1, PNG_COLOR_TYPE_RGB, 8, {{10, 20, 30, 40, 50, 60}});
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, rgb, kFormatPng));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{40, 50, 60}));
    EXPECT_LE(codec.frameCount(), 0); // a PNG never reports frames

    // 16-bit gray is scaled to 8 bits
    Bytes gray16 = makePng(2, 1, PNG_COLOR_TYPE_GRAY, 16, {{0xFF, 0xFF, 0x80, 0x00}});
    ASSERT_TRUE(loadBytes(codec, gray16, kFormatPng));
    EXPECT_TRUE(codec.isGrayscalePalette());
    EXPECT_EQ(codec.bitmap().row(0)[0], 255);
    EXPECT_EQ(codec.bitmap().row(0)[1], 128);

    // 4-bit gray is expanded to 8 bits
    Bytes gray4 = makePng(2, 1, PNG_COLOR_TYPE_GRAY, 4, {{0xF5}});
    ASSERT_TRUE(loadBytes(codec, gray4, kFormatPng));
    EXPECT_EQ(codec.bitmap().row(0)[0], 255);
    EXPECT_EQ(codec.bitmap().row(0)[1], 0x55);

    // 1-bit gray stays bilevel with ink on bit 1 (PNG has 0 = black)
    Bytes bw = makePng(3, 1, PNG_COLOR_TYPE_GRAY, 1, {{0x40}});
    ASSERT_TRUE(loadBytes(codec, bw, kFormatPng));
    EXPECT_EQ(codec.bitsPerPixel(), 1);
    EXPECT_EQ(codec.bitmap().index(0, 0), 1u);
    EXPECT_EQ(codec.bitmap().index(0, 1), 0u);
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{255, 255, 255}));

    // palette keeps its indices
    Bytes pal = makePng(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {{1, 0}}, {Rgb{9, 8, 7}, Rgb{200, 0, 100}});
    ASSERT_TRUE(loadBytes(codec, pal, kFormatPng));
    EXPECT_EQ(codec.bitsPerPixel(), 8);
    EXPECT_FALSE(codec.isGrayscalePalette());
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{200, 0, 100}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{9, 8, 7}));
}

TEST(PngCodec, TransparencyIsCompositedOntoWhiteNotBlack)
{
    Bytes rgba = makePng(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{255, 0, 0, 0, 0, 0, 255, 255}});
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, rgba, kFormatPng));
    EXPECT_EQ(codec.bitsPerPixel(), 32);
    ASSERT_TRUE(codec.increaseDepthTo24());
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{0, 0, 255}));

    // palette with a tRNS entry: index 0 is transparent
    Bytes pal = makePng(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1}}, {Rgb{0, 0, 0}, Rgb{0, 128, 0}}, {0});
    ASSERT_TRUE(loadBytes(codec, pal, kFormatPng));
    ASSERT_TRUE(codec.convertToGrayscale());
    EXPECT_EQ(codec.bitmap().row(0)[0], 255);
    EXPECT_EQ(codec.bitmap().row(0)[1], 601 * 128 / 1024);

    // gray with alpha, fully opaque: no alpha is kept
    Bytes ga = makePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{77, 255}});
    ASSERT_TRUE(loadBytes(codec, ga, kFormatPng));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{77, 77, 77}));
}

TEST(PngCodec, SavedPngKeepsPalettesAtTheirDepthAndAlpha)
{
    Bitmap palette4;
    palette4.create(7, 3, 4);
    palette4.palette() = {Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{10, 20, 30}, Rgb{1, 2, 3}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            palette4.setIndex(y, x, static_cast<unsigned>((x + y) % 4));
    Bitmap rgba;
    rgba.create(3, 2, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 4; ++c)
                rgba.row(y)[4 * x + c] = static_cast<uint8_t>(40 * x + 90 * y + 50 * c);
    // Bit depth and colour type as the file's header states them.
    const std::pair<int, int> headers[] = {{8, PNG_COLOR_TYPE_GRAY}, {8, PNG_COLOR_TYPE_RGB},
                                           {4, PNG_COLOR_TYPE_PALETTE}, {8, PNG_COLOR_TYPE_RGB_ALPHA}};
    int k = 0;
    for (const Bitmap& source : {grayPicture(9, 4), colourPicture(7, 5), palette4, rgba}) {
        SCOPED_TRACE(source.bitsPerPixel());
        ImageCodec codec;
        codec.bitmap() = source;
        auto path = scratch("kept.png");
        ASSERT_TRUE(codec.save(path.string(), kFormatPng));
        std::string file = folvane::test::readFileBytes(path);
        ASSERT_GT(file.size(), 26u);
        EXPECT_EQ(std::make_pair(int(uint8_t(file[24])), int(uint8_t(file[25]))), headers[k++]);
        ImageCodec back;
        ASSERT_TRUE(loadFile(back, path, kFormatPng));
        EXPECT_EQ(maxDifference(source, back.bitmap()), 0);
        if (source.bitsPerPixel() == 32) {
            for (int y = 0; y < 2; ++y)
                EXPECT_EQ(std::memcmp(back.bitmap().row(y), source.row(y), 12), 0) << "alpha kept, row " << y;
        }
    }
}

TEST(TiffCodec, SaveUsesTheEncoderDefaultByDepth)
{
    struct Case {
        Bitmap bitmap;
        uint16_t compression;
        uint16_t bits;
    };
    Bitmap four;
    four.create(6, 2, 4);
    four.palette() = {Rgb{1, 2, 3}, Rgb{250, 0, 0}};
    four.setIndex(1, 5, 1);
    Bitmap rgba;
    rgba.create(4, 4, 32);
    std::vector<Case> cases = {{bilevelPicture(20, 5), COMPRESSION_CCITTFAX4, 1},
                               {four, COMPRESSION_LZW, 4},
                               {grayPicture(8, 8), COMPRESSION_LZW, 8},
                               {colourPicture(16, 16), COMPRESSION_JPEG, 8},
                               {rgba, COMPRESSION_JPEG, 8}};
    for (size_t i = 0; i < cases.size(); ++i) {
        ImageCodec codec;
        codec.bitmap() = cases[i].bitmap;
        auto path = scratch("default" + std::to_string(i) + ".tif");
        ASSERT_TRUE(codec.save(path.string(), kFormatTiff)) << i;
        TiffFacts facts = inspectTiff(path);
        EXPECT_EQ(facts.compression, cases[i].compression) << i;
        EXPECT_EQ(facts.bitsPerSample, cases[i].bits) << i;
        EXPECT_EQ(facts.pages, 1) << i;
    }
}

TEST(TiffCodec, BilevelFramesAreMinIsWhiteWithInkOnBitOneForEveryCompression)
{
    const Bitmap source = bilevelPicture(21, 7);
    for (int compression : {kCompressionCcittG3, kCompressionCcittG4, kCompressionLzw, kCompressionPackBits,
                            kCompressionDeflate, kCompressionDefault}) {
        ImageCodec codec;
        codec.bitmap() = source;
        codec.setCompression(compression);
        auto path = scratch("bw" + std::to_string(compression) + ".tif");
        ASSERT_TRUE(codec.save(path.string(), kFormatTiff)) << compression;
        TiffFacts facts = inspectTiff(path);
        ASSERT_TRUE(facts.opened);
        EXPECT_EQ(facts.compression, compression ? compression : COMPRESSION_CCITTFAX4);
        EXPECT_EQ(facts.photometric, PHOTOMETRIC_MINISWHITE);
        EXPECT_EQ(facts.bitsPerSample, 1);
        ASSERT_EQ(facts.rows.size(), 7u);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ((facts.rows[y][x / 8] >> (7 - x % 8)) & 1, static_cast<int>(source.index(y, x)))
                    << "compression " << compression << " at " << x << "," << y;
    }
}

TEST(TiffCodec, NegatedBilevelFrameIsWrittenInverted)
{
    // The route negates "zip" frames; the file must then show the negative image.
    ImageCodec codec;
    codec.bitmap() = bilevelPicture(10, 2);
    ASSERT_TRUE(codec.negate());
    codec.setCompression(kCompressionDeflate);
    ASSERT_TRUE(codec.save(scratch("neg.tif").string(), kFormatTiff));
    TiffFacts facts = inspectTiff(scratch("neg.tif"));
    EXPECT_EQ(facts.photometric, PHOTOMETRIC_MINISWHITE);
    const Bitmap original = bilevelPicture(10, 2);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ((facts.rows[0][x / 8] >> (7 - x % 8)) & 1, 1 - static_cast<int>(original.index(0, x)));
}

TEST(TiffCodec, GrayPaletteAndColourSurviveEachLosslessCompression)
{
    Bitmap palette;
    palette.create(5, 3, 8);
    palette.palette() = {Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{10, 20, 30}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            palette.row(y)[x] = static_cast<uint8_t>((x + y) % 3);
    for (const Bitmap& source : {grayPicture(9, 4), colourPicture(7, 5), palette}) {
        for (int compression : {kCompressionLzw, kCompressionPackBits, kCompressionDeflate}) {
            ImageCodec codec;
            codec.bitmap() = source;
            codec.setCompression(compression);
            auto path = scratch("lossless.tif");
            ASSERT_TRUE(codec.save(path.string(), kFormatTiff));
            EXPECT_EQ(inspectTiff(path).compression, compression);
            ImageCodec back;
            ASSERT_TRUE(loadFile(back, path, kFormatTiff));
            EXPECT_EQ(back.bitsPerPixel(), source.bitsPerPixel());
            EXPECT_EQ(back.isGrayscalePalette(), isGrayscalePalette(source));
            EXPECT_EQ(maxDifference(source, back.bitmap()), 0) << "depth " << source.bitsPerPixel() << " compression "
                                                             << compression;
        }
    }
}

TEST(TiffCodec, JpegCompressionUsesTheQualityAndGrayOrColourSamples)
{
    ImageCodec codec;
    codec.bitmap() = gradient(48, 40);
    codec.setCompression(kCompressionOldJpeg); // the old number is treated like the new one
    codec.setJpegQuality(20);
    ASSERT_TRUE(codec.save(scratch("j20.tif").string(), kFormatTiff));
    codec.setJpegQuality(95);
    ASSERT_TRUE(codec.save(scratch("j95.tif").string(), kFormatTiff));
    TiffFacts facts = inspectTiff(scratch("j95.tif"));
    EXPECT_EQ(facts.compression, COMPRESSION_JPEG);
    EXPECT_EQ(facts.samplesPerPixel, 3);
    EXPECT_LT(fs::file_size(scratch("j20.tif")), fs::file_size(scratch("j95.tif")));

    ImageCodec bw;
    bw.bitmap() = bilevelPicture(16, 8);
    bw.setCompression(kCompressionJpeg);
    ASSERT_TRUE(bw.save(scratch("bwjpeg.tif").string(), kFormatTiff));
    facts = inspectTiff(scratch("bwjpeg.tif"));
    EXPECT_EQ(facts.samplesPerPixel, 1);
    EXPECT_EQ(facts.bitsPerSample, 8);

    ImageCodec back;
    ASSERT_TRUE(loadFile(back, scratch("j95.tif"), kFormatTiff));
    EXPECT_EQ(back.bitsPerPixel(), 24);
    EXPECT_LE(maxDifference(codec.bitmap(), back.bitmap()), 8); // lossy, but the same picture
}

TEST(TiffCodec, CcittOnNonBilevelFramesFallsBackToLzw)
{
    ImageCodec codec;
    codec.bitmap() = grayPicture(8, 8);
    codec.setCompression(kCompressionCcittG4);
    ASSERT_TRUE(codec.save(scratch("g4gray.tif").string(), kFormatTiff));
    EXPECT_EQ(inspectTiff(scratch("g4gray.tif")).compression, COMPRESSION_LZW);
    codec.setCompression(12345); // not a compression libtiff knows
    EXPECT_FALSE(codec.save(scratch("bogus.tif").string(), kFormatTiff));
    EXPECT_FALSE(fs::exists(scratch("bogus.tif"))); // no half-written file stays behind
}

TEST(TiffCodec, MultiPageFilesReportPagesAndDecodeTheSelectedOne)
{
    auto path = makeMultiPageTiff("three.tif", {bilevelPicture(30, 10), grayPicture(12, 7), colourPicture(5, 9)},
                                  kCompressionLzw);
    EXPECT_EQ(tiffPageCount(path.string()), 3);
    int w = 0, h = 0;
    ASSERT_TRUE(tiffPageSize(path.string(), 1, w, h));
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 7);
    ASSERT_TRUE(tiffPageSize(path.string(), 2, w, h));
    EXPECT_EQ(w, 5);
    EXPECT_FALSE(tiffPageSize(path.string(), 3, w, h));
    EXPECT_EQ(tiffPageCount((folvane::test::scratchDir() / "missing.tif").string()), 0);

    ImageCodec codec;
    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.load(path.string(), kFormatTiff));
    EXPECT_EQ(codec.frameCount(), 3);
    EXPECT_EQ(codec.width(), 30);

    codec.setHeaderOnly(false);
    const int expectedDepth[3] = {1, 8, 24};
    for (int page = 0; page < 3; ++page) {
        codec.selectFrame(page);
        ASSERT_TRUE(codec.load(path.string(), kFormatTiff)) << page;
        EXPECT_EQ(codec.frameCount(), 3);
        EXPECT_EQ(codec.bitsPerPixel(), expectedDepth[page]);
    }
    EXPECT_EQ(maxDifference(codec.bitmap(), colourPicture(5, 9)), 0);
    codec.selectFrame(3);
    EXPECT_FALSE(codec.load(path.string(), kFormatTiff));

    // A single-page TIFF reports one frame: the TIFF route counts pages, not animations.
    ImageCodec single;
    single.bitmap() = grayPicture(3, 3);
    ASSERT_TRUE(single.save(scratch("one.tif").string(), kFormatTiff));
    ASSERT_TRUE(loadFile(single, scratch("one.tif"), kFormatTiff));
    EXPECT_EQ(single.frameCount(), 1);
}

TEST(TiffCodec, MinIsWhiteGrayAndSixteenBitSamplesAreRead)
{
    auto path = scratch("miw16.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    uint16_t line[2] = {0, 0xFFFF};
    TIFFWriteScanline(tif, line, 0, 0);
    TIFFClose(tif);
    ImageCodec codec;
    ASSERT_TRUE(loadFile(codec, path, kFormatTiff));
    EXPECT_TRUE(codec.isGrayscalePalette());
    EXPECT_EQ(codec.bitmap().row(0)[0], 255); // 0 is white in min-is-white
    EXPECT_EQ(codec.bitmap().row(0)[1], 0);
}

TEST(BmpCodec, TwentyFourBitBottomUpFile)
{
    // 2 × 2, bottom-up: the first stored row is the bottom one; rows padded to 8 bytes.
    ByteWriter w;
    w.text("BM").u32le(14 + 40 + 16).u32le(0).u32le(54);
    w.u32le(40).u32le(2).u32le(2).u16le(1).u16le(24).u32le(0).u32le(16).u32le(2835).u32le(2835).u32le(0).u32le(0);
    w.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(0).u8(0);           // bottom row, B G R
    w.u8(10).u8(20).u8(30).u8(40).u8(50).u8(60).u8(0).u8(0);     // top row
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, w.bytes, kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_LE(codec.frameCount(), 0); // a BMP never reports frames
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{30, 20, 10}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 1), (Rgb{6, 5, 4}));

    // Round trip of a saved JPEG of it decodes to the same size.
    ASSERT_TRUE(codec.save(scratch("bmp.jpg").string(), kFormatJpeg));
    ImageCodec back;
    ASSERT_TRUE(loadFile(back, scratch("bmp.jpg"), kFormatJpeg));
    EXPECT_EQ(back.width(), 2);
}

} // namespace
} // namespace folvane::codec
