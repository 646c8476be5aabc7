// The codec's own readers: BMP variants, icons, TGA, PCX, WBMP, PNM, Sun raster, PGX and SKA,
// against hand-built files with known pixels and against files written by GraphicsMagick.
#include <gtest/gtest.h>

#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using namespace test;

// The hand-written source picture of the committed fixtures, read through the PNM reader.
Bitmap source(const std::string& name)
{
    ImageCodec codec;
    EXPECT_TRUE(loadFile(codec, fixture(name), kFormatPnm)) << name;
    return codec.bitmap();
}

void expectSamePixels(const Bitmap& expected, const Bitmap& actual, const std::string& what)
{
    ASSERT_EQ(actual.width(), expected.width()) << what;
    ASSERT_EQ(actual.height(), expected.height()) << what;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(pixel(actual, x, y), pixel(expected, x, y)) << what << " at " << x << "," << y;
}

Bytes bmpFile(uint32_t headerSize, int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
              const Bytes& extra, const Bytes& pixels, uint32_t colours = 0)
{
    ByteWriter w;
    const uint32_t offset = 14 + headerSize + static_cast<uint32_t>(extra.size());
    w.text("BM").u32le(offset + static_cast<uint32_t>(pixels.size())).u32le(0).u32le(offset);
    ByteWriter h;
    h.u32le(headerSize).u32le(static_cast<uint32_t>(width)).u32le(static_cast<uint32_t>(height)).u16le(1).u16le(bpp);
    h.u32le(compression).u32le(static_cast<uint32_t>(pixels.size())).u32le(0).u32le(0).u32le(colours).u32le(0);
    h.bytes.resize(headerSize, 0);
    return w.raw(h.bytes).raw(extra).raw(pixels).bytes;
}

TEST(BmpReader, PaletteDepthsAndRunLengthEncodings)
{
    ImageCodec codec;
    // 1 bit, palette (white, black) in file order: stays bilevel with ink on bit 1.
    Bytes pal1 = {255, 255, 255, 0, 0, 0, 0, 0};
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 5, 1, 1, 0, pal1, {0xA8, 0, 0, 0}), kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 1);
    EXPECT_EQ(codec.bitmap().row(0)[0] & 0xF8, 0xA8);

    // 1 bit with black first: the bits are turned so that ink is still bit 1.
    Bytes pal1b = {0, 0, 0, 0, 255, 255, 255, 0};
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 5, 1, 1, 0, pal1b, {0xA8, 0, 0, 0}), kFormatBmp));
    EXPECT_EQ(codec.bitmap().row(0)[0] & 0xF8, 0x50);
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 255, 255}));

    // RLE8, 4 × 2: bottom row "run of 3 × index 1, then 1 × index 2", top row absolute 2 1 0 ...
    Bytes pal8 = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0}; // black, red, green (B G R X)
    Bytes rle8 = {3, 1, 1, 2, 0, 0, 0, 4, 2, 1, 0, 2, 0, 1};
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 4, 2, 8, 1, pal8, rle8, 3), kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 8);
    EXPECT_EQ(pixel(codec.bitmap(), 0, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 3, 1), (Rgb{0, 255, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 3, 0), (Rgb{0, 255, 0}));

    // RLE4, 5 × 1 with a delta: run of 3 alternating 1,2,1 then delta right 1, then absolute "3"
    Bytes pal4(16 * 4, 0);
    pal4[4 + 2] = 255; // index 1 red
    pal4[8 + 1] = 255; // index 2 green
    pal4[12 + 0] = 255; // index 3 blue
    Bytes rle4 = {3, 0x12, 0, 2, 1, 0, 1, 0x30, 0, 1};
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 5, 1, 4, 2, pal4, rle4, 16), kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 4);
    EXPECT_EQ(codec.bitmap().index(0, 0), 1u);
    EXPECT_EQ(codec.bitmap().index(0, 1), 2u);
    EXPECT_EQ(codec.bitmap().index(0, 2), 1u);
    EXPECT_EQ(codec.bitmap().index(0, 3), 0u); // skipped by the delta
    EXPECT_EQ(codec.bitmap().index(0, 4), 3u);
}

TEST(BmpReader, BitFieldsSixteenAndThirtyTwoBitsAndTopDownRows)
{
    ImageCodec codec;
    // 16 bits 5-6-5 with masks after a 40-byte header; top-down (negative height).
    ByteWriter masks;
    masks.u32le(0xF800).u32le(0x07E0).u32le(0x001F);
    ByteWriter px;
    px.u16le(0xF800).u16le(0x07E0).u16le(0x001F).u16le(0); // row 0: red, green, blue, black (+pad)
    px.u16le(0xFFFF).u16le(0x0841).u16le(0).u16le(0);
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 3, -2, 16, 3, masks.bytes, px.bytes), kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 2, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 1), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 1), (Rgb{8, 8, 8})); // 1/31, 2/63, 1/31 of 255

    // 16 bits without masks: 5-5-5.
    ByteWriter px555;
    px555.u16le(0x7C00).u16le(0);
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 1, 1, 16, 0, {}, px555.bytes), kFormatBmp));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 0, 0}));

    // 32 bits with an alpha mask in a V5 header: real transparency, composited onto white.
    ByteWriter v5;
    v5.u32le(124).u32le(2).u32le(1).u16le(1).u16le(32).u32le(3).u32le(8).u32le(0).u32le(0).u32le(0).u32le(0);
    v5.u32le(0x00FF0000).u32le(0x0000FF00).u32le(0x000000FF).u32le(0xFF000000);
    v5.bytes.resize(124, 0);
    ByteWriter file;
    file.text("BM").u32le(14 + 124 + 8).u32le(0).u32le(14 + 124).raw(v5.bytes);
    file.u8(0).u8(0).u8(255).u8(0);   // red, alpha 0
    file.u8(255).u8(0).u8(0).u8(255); // blue, opaque
    ASSERT_TRUE(loadBytes(codec, file.bytes, kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 32);
    ASSERT_TRUE(codec.increaseDepthTo24());
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{0, 0, 255}));

    // 32 bits without masks: the fourth byte is padding, not transparency.
    ByteWriter px32;
    px32.u8(3).u8(2).u8(1).u8(0);
    ASSERT_TRUE(loadBytes(codec, bmpFile(40, 1, 1, 32, 0, {}, px32.bytes), kFormatBmp));
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{1, 2, 3}));
}

TEST(BmpReader, CoreHeaderBareDibAndBitmapArray)
{
    ImageCodec codec;
    // OS/2 core header: 3-byte palette entries.
    ByteWriter core;
    core.text("BM").u32le(0).u32le(0).u32le(14 + 12 + 6);
    core.u32le(12).u16le(2).u16le(1).u16le(1).u16le(8);
    core.u8(0).u8(0).u8(200).u8(0).u8(100).u8(0); // palette: (200,0,0), (0,100,0)
    core.u8(1).u8(0).u8(0).u8(0);
    ASSERT_TRUE(loadBytes(codec, core.bytes, kFormatBmp));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{0, 100, 0}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{200, 0, 0}));

    // A bare header (starts with 0x28 0x00): palette and pixels follow directly.
    Bytes withHeader = bmpFile(40, 1, 1, 24, 0, {}, {7, 8, 9, 0});
    Bytes bare(withHeader.begin() + 14, withHeader.end());
    ASSERT_TRUE(loadBytes(codec, bare, kFormatBmp));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{9, 8, 7}));

    // A bitmap array: the first entry's file header follows the 14-byte array header; its
    // pixel offset counts from the start of the file.
    ByteWriter array;
    array.text("BA").u32le(0).u32le(0).u16le(0).u16le(0);
    array.text("BM").u32le(0).u32le(0).u32le(14 + 14 + 40);
    Bytes info(withHeader.begin() + 14, withHeader.begin() + 54);
    array.raw(info).u8(7).u8(8).u8(9).u8(0);
    ASSERT_TRUE(loadBytes(codec, array.bytes, kFormatBmp));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{9, 8, 7}));
}

Bytes iconDib(int size, uint8_t colourIndex, bool maskFirstPixel)
{
    ByteWriter w;
    w.u32le(40).u32le(size).u32le(size * 2).u16le(1).u16le(8).u32le(0).u32le(0).u32le(0).u32le(0).u32le(2).u32le(0);
    w.u8(0).u8(0).u8(255).u8(0).u8(255).u8(0).u8(0).u8(0); // red, blue
    const int stride = (size + 3) / 4 * 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < stride; ++x)
            w.u8(x < size ? colourIndex : 0);
    const int maskStride = (size + 31) / 32 * 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < maskStride; ++x)
            w.u8(maskFirstPixel && y == size - 1 && x == 0 ? 0x80 : 0); // bottom-up: last row is the top
    return w.bytes;
}

Bytes iconFile(const std::vector<Bytes>& images, int size)
{
    ByteWriter w;
    w.u16le(0).u16le(1).u16le(static_cast<unsigned>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const Bytes& image : images) {
        w.u8(size).u8(size).u8(0).u8(0).u16le(1).u16le(8).u32le(static_cast<uint32_t>(image.size())).u32le(offset);
        offset += static_cast<uint32_t>(image.size());
    }
    for (const Bytes& image : images)
        w.raw(image);
    return w.bytes;
}

TEST(IcoReader, OneImageIsSingleAndSeveralAreFrames)
{
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, iconFile({iconDib(4, 0, false)}, 4), kFormatIco));
    EXPECT_LE(codec.frameCount(), 0);
    EXPECT_EQ(codec.width(), 4);
    EXPECT_EQ(codec.height(), 4); // the stored height covers the AND mask too
    EXPECT_EQ(pixel(codec.bitmap(), 2, 2), (Rgb{255, 0, 0}));

    Bytes png = makePng(3, 2, 2 /* RGB */, 8, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 8, 7, 6, 5, 4, 3, 2, 1}});
    Bytes three = iconFile({iconDib(4, 0, false), iconDib(4, 1, true), png}, 4);
    codec.setHeaderOnly(true);
    ASSERT_TRUE(codec.loadFromMemory(three.data(), three.size(), kFormatIco));
    EXPECT_EQ(codec.frameCount(), 3);

    codec.setHeaderOnly(false);
    codec.selectFrame(1);
    ASSERT_TRUE(codec.loadFromMemory(three.data(), three.size(), kFormatIco));
    EXPECT_EQ(codec.frameCount(), 3);
    EXPECT_EQ(codec.bitsPerPixel(), 32); // the AND mask made one pixel transparent
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{0, 0, 255}));

    codec.selectFrame(2); // an embedded PNG
    ASSERT_TRUE(codec.loadFromMemory(three.data(), three.size(), kFormatIco));
    EXPECT_EQ(codec.width(), 3);
    EXPECT_EQ(pixel(codec.bitmap(), 2, 1), (Rgb{3, 2, 1}));

    codec.selectFrame(3);
    EXPECT_FALSE(codec.loadFromMemory(three.data(), three.size(), kFormatIco));
}

TEST(TgaReader, HandBuiltOrientationsAndRunLengths)
{
    ImageCodec codec;
    // true colour 24 bits, 2 × 2, bottom-up (descriptor 0), raw
    ByteWriter raw;
    raw.u8(0).u8(0).u8(2).u16le(0).u16le(0).u8(0).u16le(0).u16le(0).u16le(2).u16le(2).u8(24).u8(0);
    raw.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6);   // bottom row, B G R
    raw.u8(7).u8(8).u8(9).u8(10).u8(11).u8(12); // top row
    ASSERT_TRUE(loadBytes(codec, raw.bytes, kFormatTga));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{9, 8, 7}));
    EXPECT_EQ(pixel(codec.bitmap(), 1, 1), (Rgb{6, 5, 4}));

    // RLE gray, top-down and right-to-left (descriptor 0x30): a run of 3 × 50, then raw 200
    ByteWriter rle;
    rle.u8(0).u8(0).u8(11).u16le(0).u16le(0).u8(0).u16le(0).u16le(0).u16le(2).u16le(2).u8(8).u8(0x30);
    rle.u8(0x82).u8(50).u8(0x00).u8(200);
    ASSERT_TRUE(loadBytes(codec, rle.bytes, kFormatTga));
    EXPECT_TRUE(codec.isGrayscalePalette());
    EXPECT_EQ(codec.bitmap().row(0)[0], 50);
    EXPECT_EQ(codec.bitmap().row(1)[1], 50);
    EXPECT_EQ(codec.bitmap().row(1)[0], 200); // the last pixel lands at the left of the bottom row

    // 32 bits with 8 alpha bits: transparency is kept and composites onto white
    ByteWriter alpha;
    alpha.u8(0).u8(0).u8(2).u16le(0).u16le(0).u8(0).u16le(0).u16le(0).u16le(1).u16le(1).u8(32).u8(0x28);
    alpha.u8(0).u8(0).u8(0).u8(0);
    ASSERT_TRUE(loadBytes(codec, alpha.bytes, kFormatTga));
    // all alpha 0 is taken as an unused channel: the black pixel is kept opaque
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{0, 0, 0}));
}

TEST(SmallReaders, FilesWrittenByGraphicsMagickMatchTheirSources)
{
    const Bitmap colour = source("colour.ppm");
    const Bitmap gray = source("gray.pgm");
    const Bitmap bw = source("bw.pbm");
    struct Case {
        const char* file;
        int format;
        const Bitmap* expected;
    } cases[] = {
        {"colour.tga", kFormatTga, &colour}, {"colour.ras", kFormatSunRaster, &colour},
        {"colour.pcx", kFormatPcx, &colour}, {"gray.tga", kFormatTga, &gray},
        {"bw.wbmp", kFormatWbmp, &bw},       {"bw.pcx", kFormatPcx, &bw},
        {"bw.ras", kFormatSunRaster, &bw},
    };
    for (const Case& c : cases) {
        ImageCodec codec;
        ASSERT_TRUE(loadFile(codec, fixture(c.file), c.format)) << c.file;
        EXPECT_LE(codec.frameCount(), 0) << c.file;
        expectSamePixels(*c.expected, codec.bitmap(), c.file);
        if (c.expected == &bw) {
            EXPECT_EQ(codec.bitsPerPixel(), 1) << c.file;
        }
    }
}

TEST(PnmReader, EveryKindWithCommentsAndWideSamples)
{
    ImageCodec codec;
    ByteWriter p1;
    p1.text("P1\n# a comment\n3 2\n1 0 1\n010\n"); // digits need no separators
    ASSERT_TRUE(loadBytes(codec, p1.bytes, kFormatPnm));
    EXPECT_EQ(codec.bitsPerPixel(), 1);
    EXPECT_EQ(codec.bitmap().index(0, 0), 1u); // 1 is black in PBM and ink here
    EXPECT_EQ(codec.bitmap().index(1, 1), 1u);
    EXPECT_EQ(pixel(codec.bitmap(), 1, 0), (Rgb{255, 255, 255}));

    ByteWriter p2;
    p2.text("P2 2 1 1000 0 500");
    ASSERT_TRUE(loadBytes(codec, p2.bytes, kFormatPnm));
    EXPECT_EQ(codec.bitmap().row(0)[1], 128); // 500/1000 of 255, rounded

    ByteWriter p4;
    p4.text("P4\n10 1\n").u8(0x80).u8(0x40);
    ASSERT_TRUE(loadBytes(codec, p4.bytes, kFormatPnm));
    EXPECT_EQ(codec.bitmap().index(0, 0), 1u);
    EXPECT_EQ(codec.bitmap().index(0, 9), 1u);
    EXPECT_EQ(codec.bitmap().index(0, 5), 0u);

    ByteWriter p5;
    p5.text("P5 2 1 65535\n").u16be(65535).u16be(257);
    ASSERT_TRUE(loadBytes(codec, p5.bytes, kFormatPnm));
    EXPECT_EQ(codec.bitmap().row(0)[0], 255);
    EXPECT_EQ(codec.bitmap().row(0)[1], 1);

    ByteWriter p6;
    p6.text("P6 1 1 255\n").u8(1).u8(2).u8(3);
    ASSERT_TRUE(loadBytes(codec, p6.bytes, kFormatPnm));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{1, 2, 3}));

    const Bitmap colour = source("colour.ppm"); // the P3 source itself
    EXPECT_EQ(pixel(colour, 1, 1), (Rgb{200, 100, 50}));
    EXPECT_EQ(pixel(colour, 4, 2), (Rgb{90, 180, 45}));

    ByteWriter p7;
    p7.text("P7\nWIDTH 1\n");
    EXPECT_FALSE(loadBytes(codec, p7.bytes, kFormatPnm));
    ByteWriter beyond;
    beyond.text("P2 1 1 10 11");
    EXPECT_FALSE(loadBytes(codec, beyond.bytes, kFormatPnm)); // sample above the maximum
}

TEST(SunReader, ByteEncodedDataAndColourMap)
{
    ByteWriter w;
    w.u32be(0x59A66A95).u32be(4).u32be(1).u32be(8).u32be(0).u32be(2).u32be(1).u32be(6);
    w.u8(10).u8(250).u8(20).u8(240).u8(30).u8(230); // map: R R, G G, B B
    w.u8(0x80).u8(2).u8(1).u8(0x80).u8(0);           // three 1s, then a literal 0x80
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, w.bytes, kFormatSunRaster));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 0), (Rgb{250, 240, 230}));
    EXPECT_EQ(pixel(codec.bitmap(), 2, 0), (Rgb{250, 240, 230}));
    EXPECT_EQ(codec.bitmap().row(0)[3], 0x80); // index beyond the map
}

TEST(PgxReader, UnsignedAndSignedDepths)
{
    ImageCodec codec;
    ByteWriter eight;
    eight.text("PG ML + 8 3 1\n").u8(0).u8(128).u8(255);
    ASSERT_TRUE(loadBytes(codec, eight.bytes, kFormatPgx));
    EXPECT_TRUE(codec.isGrayscalePalette());
    EXPECT_EQ(codec.bitmap().row(0)[1], 128);

    ByteWriter twelve; // 12-bit signed little-endian: -2048 → 0, 0 → middle, 2047 → 255
    twelve.text("PG LM - 12 3 1\n").u16le(0xF800).u16le(0).u16le(2047);
    ASSERT_TRUE(loadBytes(codec, twelve.bytes, kFormatPgx));
    EXPECT_EQ(codec.bitmap().row(0)[0], 0);
    EXPECT_EQ(codec.bitmap().row(0)[1], 128);
    EXPECT_EQ(codec.bitmap().row(0)[2], 255);

    ByteWriter big;
    big.text("PG ML 16 1 1\n").u16be(0xFFFF);
    ASSERT_TRUE(loadBytes(codec, big.bytes, kFormatPgx));
    EXPECT_EQ(codec.bitmap().row(0)[0], 255);
}

TEST(SkaReader, PaletteImageWithoutRowPadding)
{
    ByteWriter w;
    w.u16be(3).u16be(2).u8(3).u32be(0x01000000);
    for (int i = 0; i < 256; ++i)
        w.u8(i).u8(255 - i).u8(i / 2);
    w.u8(0).u8(1).u8(2).u8(200).u8(201).u8(255);
    ImageCodec codec;
    ASSERT_TRUE(loadBytes(codec, w.bytes, kFormatSka));
    EXPECT_EQ(codec.bitsPerPixel(), 8);
    EXPECT_EQ(pixel(codec.bitmap(), 2, 0), (Rgb{2, 253, 1}));
    EXPECT_EQ(pixel(codec.bitmap(), 0, 1), (Rgb{200, 55, 100}));
    EXPECT_EQ(pixel(codec.bitmap(), 2, 1), (Rgb{255, 0, 127}));
}

TEST(FormatDispatch, FormatsTheCodecDoesNotReadFail)
{
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    Bytes psd = {'8', 'B', 'P', 'S', 0, 1};
    ImageCodec codec;
    EXPECT_FALSE(loadBytes(codec, gif, kFormatGif));
    EXPECT_FALSE(loadBytes(codec, psd, kFormatPsd));
    EXPECT_FALSE(loadBytes(codec, gif, 16));
    EXPECT_FALSE(loadBytes(codec, gif, kFormatUnknown));
    // A PNG handed over under the wrong number fails too: every reader checks its own layout.
    Bytes png = makePng(1, 1, 0, 8, {{5}});
    EXPECT_FALSE(loadBytes(codec, png, kFormatJpeg));
    EXPECT_FALSE(loadBytes(codec, png, kFormatTiff));
    EXPECT_TRUE(loadBytes(codec, png, kFormatPng));
}

} // namespace
} // namespace folvane::codec
