// Pixel classes and the conversions between them, with exact values.
#include <gtest/gtest.h>

#include "codec/bitmap.h"
#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using test::pixel;

TEST(BitmapLimits, RefusesFramesBeyondPixelAndByteLimits)
{
    EXPECT_TRUE(frameSizeAllowed(16384, 16384, 8));          // exactly 2^28 pixels, 256 MiB
    EXPECT_FALSE(frameSizeAllowed(16384, 16385, 1));         // one row more than 2^28 pixels
    EXPECT_TRUE(frameSizeAllowed(16384, 16384, 32));         // 2^28 pixels of 4 bytes = 1 GiB exactly
    EXPECT_FALSE(frameSizeAllowed(1u << 20, 1u << 20, 1));   // product overflows 32 bits
    EXPECT_FALSE(frameSizeAllowed(0, 10, 8));
    EXPECT_FALSE(frameSizeAllowed(10, 0, 8));
    EXPECT_FALSE(frameSizeAllowed(uint64_t(1) << 40, 1, 1)); // width alone far beyond

    Bitmap b;
    EXPECT_FALSE(b.create(16385, 16384, 8));
    EXPECT_TRUE(b.empty());
    EXPECT_FALSE(b.create(10, 10, 16)); // depths are 1, 4, 8, 24, 32
    EXPECT_FALSE(b.create(-1, 10, 8));
}

TEST(BitmapLayout, RowsArePaddedToFourBytes)
{
    Bitmap b;
    ASSERT_TRUE(b.create(33, 2, 1));
    EXPECT_EQ(b.stride(), 8u); // 33 bits → 64 bits: width rounded up to a multiple of 32
    ASSERT_TRUE(b.create(5, 2, 24));
    EXPECT_EQ(b.stride(), 16u);
    ASSERT_TRUE(b.create(3, 1, 4));
    EXPECT_EQ(b.stride(), 4u);
    b.setIndex(0, 0, 0xA);
    b.setIndex(0, 1, 0x5);
    b.setIndex(0, 2, 0xF);
    EXPECT_EQ(b.row(0)[0], 0xA5);
    EXPECT_EQ(b.row(0)[1], 0xF0);
    EXPECT_EQ(b.index(0, 2), 0xFu);
}

TEST(GrayscalePalette, OnlyTheIdentityRampCounts)
{
    Bitmap b;
    ASSERT_TRUE(b.create(2, 2, 8));
    b.setGrayPalette();
    EXPECT_TRUE(isGrayscalePalette(b));
    b.palette()[200] = Rgb{200, 200, 201};
    EXPECT_FALSE(isGrayscalePalette(b));
    b.palette().resize(16); // shorter ramps still map every index i to (i, i, i)
    for (unsigned i = 0; i < 16; ++i)
        b.palette()[i] = Rgb{uint8_t(i), uint8_t(i), uint8_t(i)};
    EXPECT_TRUE(isGrayscalePalette(b));

    Bitmap four;
    ASSERT_TRUE(four.create(2, 2, 4));
    four.setGrayPalette();
    EXPECT_FALSE(isGrayscalePalette(four)); // grayscale is an 8-bit class
    Bitmap rgb = test::colourPicture(2, 2);
    EXPECT_FALSE(isGrayscalePalette(rgb));
}

TEST(ConvertToGrayscale, UsesTheWeightedSumWithIntegerDivision)
{
    Bitmap b;
    ASSERT_TRUE(b.create(5, 1, 24));
    const uint8_t samples[5][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {10, 200, 33}};
    for (int x = 0; x < 5; ++x)
        for (int k = 0; k < 3; ++k)
            b.row(0)[3 * x + k] = samples[x][k];
    ASSERT_TRUE(convertToGrayscale(b));
    ASSERT_EQ(b.bitsPerPixel(), 8);
    EXPECT_TRUE(isGrayscalePalette(b));
    EXPECT_EQ(b.row(0)[0], 306 * 255 / 1024); // 76
    EXPECT_EQ(b.row(0)[1], 601 * 255 / 1024); // 149
    EXPECT_EQ(b.row(0)[2], 117 * 255 / 1024); // 29
    EXPECT_EQ(b.row(0)[3], 255);
    EXPECT_EQ(b.row(0)[4], (117 * 33 + 601 * 200 + 306 * 10) / 1024);
}

TEST(ConvertToGrayscale, PaletteFramesMapThroughTheirPalette)
{
    Bitmap b;
    ASSERT_TRUE(b.create(3, 1, 8));
    b.palette() = {Rgb{0, 0, 0}, Rgb{100, 150, 200}, Rgb{255, 0, 255}};
    b.row(0)[0] = 1;
    b.row(0)[1] = 2;
    b.row(0)[2] = 7; // beyond the palette: black
    ASSERT_TRUE(convertToGrayscale(b));
    EXPECT_EQ(b.row(0)[0], (117 * 200 + 601 * 150 + 306 * 100) / 1024);
    EXPECT_EQ(b.row(0)[1], (117 * 255 + 306 * 255) / 1024);
    EXPECT_EQ(b.row(0)[2], 0);
}

TEST(ConvertTo24Bits, ExpandsPalettesAndCompositesAlphaOntoWhite)
{
    Bitmap four;
    ASSERT_TRUE(four.create(2, 1, 4));
    four.palette() = {Rgb{1, 2, 3}, Rgb{4, 5, 6}};
    four.setIndex(0, 0, 1);
    ASSERT_TRUE(convertTo24Bits(four));
    EXPECT_EQ(four.bitsPerPixel(), 24);
    EXPECT_EQ(pixel(four, 0, 0), (Rgb{4, 5, 6}));
    EXPECT_EQ(pixel(four, 1, 0), (Rgb{1, 2, 3}));

    Bitmap rgba;
    ASSERT_TRUE(rgba.create(3, 1, 32));
    const uint8_t px[3][4] = {{0, 0, 0, 0}, {0, 0, 0, 255}, {200, 100, 0, 128}};
    for (int x = 0; x < 3; ++x)
        for (int k = 0; k < 4; ++k)
            rgba.row(0)[4 * x + k] = px[x][k];
    ASSERT_TRUE(convertTo24Bits(rgba));
    EXPECT_EQ(pixel(rgba, 0, 0), (Rgb{255, 255, 255})); // fully transparent becomes white, not black
    EXPECT_EQ(pixel(rgba, 1, 0), (Rgb{0, 0, 0}));
    // c·a/255 + 255·(1 − a/255), rounded: 200 → 227, 100 → 177, 0 → 127
    EXPECT_EQ(pixel(rgba, 2, 0), (Rgb{227, 177, 127}));
}

TEST(Negate, InvertsWhatThePixelsShow)
{
    Bitmap bw = test::bilevelPicture(9, 2);
    const Rgb before = pixel(bw, 1, 0);
    negate(bw);
    EXPECT_EQ(bw.bitsPerPixel(), 1);
    EXPECT_EQ(pixel(bw, 0, 0), (Rgb{255, 255, 255})); // the ink column turns white
    EXPECT_EQ(pixel(bw, 1, 0).r, 255 - before.r);
    EXPECT_EQ(bw.index(0, 0), 1u); // the bits are kept: ink stays bit 1 for the straightener

    Bitmap gray = test::grayPicture(4, 2);
    const uint8_t v = gray.row(1)[3];
    negate(gray);
    EXPECT_TRUE(isGrayscalePalette(gray)); // grayscale stays grayscale
    EXPECT_EQ(gray.row(1)[3], 255 - v);

    Bitmap rgba;
    ASSERT_TRUE(rgba.create(1, 1, 32));
    rgba.row(0)[0] = 10;
    rgba.row(0)[3] = 77;
    negate(rgba);
    EXPECT_EQ(rgba.row(0)[0], 245);
    EXPECT_EQ(rgba.row(0)[1], 255);
    EXPECT_EQ(rgba.row(0)[3], 77); // alpha is not a colour
}

TEST(NormalizeBilevel, PutsInkOnBitOneAndWidensColourPalettes)
{
    Bitmap b;
    ASSERT_TRUE(b.create(3, 1, 1));
    b.palette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}}; // bit 1 white, as in PNG gray
    b.setIndex(0, 1, 1);                              // only the middle pixel is white
    ASSERT_TRUE(normalizeBilevel(b));
    EXPECT_EQ(b.palette()[1], (Rgb{0, 0, 0}));
    EXPECT_EQ(b.index(0, 0), 1u);
    EXPECT_EQ(b.index(0, 1), 0u);
    EXPECT_EQ(b.index(0, 2), 1u);
    EXPECT_EQ(b.row(0)[0] & 0x1F, 0); // padding beyond the width holds no ink

    Bitmap colour;
    ASSERT_TRUE(colour.create(2, 1, 1));
    colour.palette() = {Rgb{255, 0, 0}, Rgb{0, 0, 255}};
    colour.setIndex(0, 1, 1);
    ASSERT_TRUE(normalizeBilevel(colour));
    EXPECT_EQ(colour.bitsPerPixel(), 8);
    EXPECT_EQ(pixel(colour, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(colour, 1, 0), (Rgb{0, 0, 255}));
}

TEST(DropUnusedAlpha, KeepsRealTransparencyOnly)
{
    Bitmap opaque;
    ASSERT_TRUE(opaque.create(2, 1, 32));
    opaque.row(0)[3] = opaque.row(0)[7] = 255;
    opaque.row(0)[0] = 9;
    ASSERT_TRUE(dropUnusedAlpha(opaque));
    EXPECT_EQ(opaque.bitsPerPixel(), 24);
    EXPECT_EQ(opaque.row(0)[0], 9);

    Bitmap padding; // fourth byte never filled in
    ASSERT_TRUE(padding.create(2, 1, 32));
    padding.row(0)[0] = 40;
    ASSERT_TRUE(dropUnusedAlpha(padding));
    EXPECT_EQ(pixel(padding, 0, 0), (Rgb{40, 0, 0}));

    Bitmap clear;
    ASSERT_TRUE(clear.create(2, 1, 32));
    ASSERT_TRUE(dropUnusedAlpha(clear, false)); // a format with real alpha: all clear is white
    EXPECT_EQ(clear.bitsPerPixel(), 32);
    EXPECT_EQ(pixel(clear, 0, 0), (Rgb{255, 255, 255}));
}

TEST(ImageCodecObject, OperationsNeedAFrameAndQualityKeepsItsRange)
{
    ImageCodec codec;
    EXPECT_EQ(codec.jpegQuality(), 90);
    codec.setJpegQuality(0);
    codec.setJpegQuality(101);
    EXPECT_EQ(codec.jpegQuality(), 90);
    codec.setJpegQuality(1);
    EXPECT_EQ(codec.jpegQuality(), 1);
    EXPECT_EQ(codec.compression(), 0);
    EXPECT_FALSE(codec.negate());
    EXPECT_FALSE(codec.convertToGrayscale());
    EXPECT_FALSE(codec.increaseDepthTo24());
    EXPECT_FALSE(codec.save((folvane::test::scratchDir() / "x.jpg").string(), kFormatJpeg));
    EXPECT_EQ(codec.pixelRows(), nullptr);
    EXPECT_FALSE(codec.load("/nonexistent/file.png", kFormatPng));

    codec.bitmap() = test::bilevelPicture(40, 3);
    ASSERT_NE(codec.pixelRows(), nullptr);
    EXPECT_EQ(codec.rowStride(), 8u);
    EXPECT_EQ(codec.pixelRows()[0] & 0x80, 0x80); // first column is ink
    EXPECT_TRUE(codec.increaseDepthTo24());
    EXPECT_EQ(codec.bitsPerPixel(), 24);
    EXPECT_EQ(codec.pixelRows(), nullptr);
    EXPECT_FALSE(codec.save((folvane::test::scratchDir() / "x.gif").string(), kFormatGif));
}

} // namespace
} // namespace folvane::codec
