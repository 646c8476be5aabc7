// The Group 4 encoder against libtiff's: same strip bytes for pages of every kind, and a saved
// Group 4 TIFF that decodes to the frame's pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include <tiffio.h>

#include "group4_check.h"
#include "group4_encoder.h"
#include "codec/image_codec.h"
#include "codec_test_util.h"
#include "support/test_support.h"

namespace folvane::codec {
namespace {

using test::Bytes;

void setInk(Bitmap& bitmap, int x, int y, bool ink)
{
    bitmap.setIndex(y, x, ink ? 1 : 0);
}

Bitmap blankPage(int width, int height)
{
    Bitmap bitmap;
    EXPECT_TRUE(bitmap.create(width, height, 1));
    bitmap.setGrayPalette(); // index 0 white, 1 black
    return bitmap;
}

// The strip libtiff's own Group 4 encoder makes of the same rows (bit 1 = black).
Bytes libtiffStrip(const Bitmap& bitmap, bool invert, const std::string& name)
{
    std::filesystem::path path = folvane::test::scratchDir() / name;
    TIFF* out = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(out, nullptr);
    if (!out)
        return {};
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bitmap.width()));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bitmap.height()));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(bitmap.height()));
    std::vector<uint8_t> line(bitmap.stride());
    for (int y = 0; y < bitmap.height(); ++y) {
        for (size_t i = 0; i < line.size(); ++i)
            line[i] = invert ? static_cast<uint8_t>(~bitmap.row(y)[i]) : bitmap.row(y)[i];
        TIFFWriteScanline(out, line.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(out);
    TIFF* in = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(in, nullptr);
    if (!in)
        return {};
    Bytes strip(static_cast<size_t>(TIFFRawStripSize(in, 0)));
    TIFFReadRawStrip(in, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(in);
    return strip;
}

void expectSameAsLibtiff(const Bitmap& bitmap, const std::string& what, bool invert = false)
{
    Bytes ours;
    ASSERT_TRUE(encodeGroup4(bitmap, invert, ours)) << what;
    Bytes theirs = libtiffStrip(bitmap, invert, "g4-reference.tif");
    ASSERT_FALSE(theirs.empty()) << what;
    EXPECT_EQ(ours.size(), theirs.size()) << what;
    EXPECT_TRUE(ours == theirs) << what;
}

Bitmap randomPage(int width, int height, double ink, unsigned seed)
{
    Bitmap bitmap = blankPage(width, height);
    std::mt19937 random(seed);
    std::bernoulli_distribution draw(ink);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setInk(bitmap, x, y, draw(random));
    return bitmap;
}

// Text-like rows: strokes of random length whose edges move a little from row to row, which
// exercises the vertical and pass modes as printed text does.
Bitmap strokePage(int width, int height, unsigned seed)
{
    Bitmap bitmap = blankPage(width, height);
    std::mt19937 random(seed);
    for (int block = 0; block < height / 12; ++block) {
        int top = block * 12 + static_cast<int>(random() % 4);
        for (int stroke = 0; stroke < width / 20; ++stroke) {
            int x = static_cast<int>(random() % static_cast<unsigned>(width));
            int length = 1 + static_cast<int>(random() % 30);
            for (int y = top; y < std::min(height, top + 8); ++y) {
                int shift = static_cast<int>(random() % 3) - 1;
                for (int i = 0; i < length; ++i)
                    if (x + shift + i >= 0 && x + shift + i < width)
                        setInk(bitmap, x + shift + i, y, true);
            }
        }
    }
    return bitmap;
}

TEST(Group4Encoder, MatchesLibtiffOnRandomAndTextLikePages)
{
    for (int width : {1, 7, 8, 9, 31, 33, 63, 64, 65, 127, 129, 1728, 2480}) {
        expectSameAsLibtiff(randomPage(width, 20, 0.5, static_cast<unsigned>(width)), "noise " + std::to_string(width));
        expectSameAsLibtiff(randomPage(width, 20, 0.03, static_cast<unsigned>(width) + 1),
                            "sparse " + std::to_string(width));
        expectSameAsLibtiff(strokePage(width, 60, static_cast<unsigned>(width) + 2), "strokes " + std::to_string(width));
    }
}

TEST(Group4Encoder, MatchesLibtiffOnBlankFullAndLongRuns)
{
    expectSameAsLibtiff(blankPage(2480, 50), "white page");
    Bitmap black = blankPage(6000, 6);
    for (int y = 0; y < black.height(); ++y)
        for (int x = 0; x < black.width(); ++x)
            setInk(black, x, y, true);
    expectSameAsLibtiff(black, "black page with runs beyond 2560");

    // Alternating runs of every length from 0 to 2700 in both colours, so every terminating and
    // make-up code of both tables is written; the next row is shifted to force horizontal mode.
    Bitmap ladder = blankPage(7000, 6);
    for (int y = 0; y < ladder.height(); ++y) {
        int x = y * 5, length = y, colour = y % 2;
        while (x < ladder.width()) {
            for (int i = 0; i < length && x + i < ladder.width(); ++i)
                setInk(ladder, x + i, y, colour != 0);
            x += length;
            colour ^= 1;
            length = length >= 2700 ? 1 : length + 37;
        }
    }
    expectSameAsLibtiff(ladder, "run ladder");

    // Runs of 1 to 63 and of 64 k + j for k = 1..42 (every make-up code, the shared ones and
    // the repeated 2560 code beyond 2623), each once in white and once in black.
    std::vector<int> lengths;
    for (int length = 1; length < 64; ++length)
        lengths.push_back(length);
    for (int k = 1; k <= 42; ++k)
        lengths.push_back(64 * k + (k * 7) % 64);
    Bitmap runs = blankPage(140000, 2);
    int x = 0;
    for (int length : lengths) {
        x += length; // white run
        for (int i = 0; i < length; ++i)
            setInk(runs, x + i, 0, true);
        x += length;
    }
    ASSERT_LT(x, runs.width());
    expectSameAsLibtiff(runs, "every run code");
}

TEST(Group4Encoder, InvertedPaletteAndPaddingBits)
{
    Bitmap page = strokePage(100, 40, 9);
    // Ink beyond the width in the row padding must not reach the coded rows.
    for (int y = 0; y < page.height(); ++y)
        for (int x = page.width(); x < static_cast<int>(page.stride() * 8); ++x)
            page.setIndex(y, x, 1);
    Bytes padded;
    ASSERT_TRUE(encodeGroup4(page, false, padded));
    for (int y = 0; y < page.height(); ++y)
        for (int x = page.width(); x < static_cast<int>(page.stride() * 8); ++x)
            page.setIndex(y, x, 0);
    Bytes clean;
    ASSERT_TRUE(encodeGroup4(page, false, clean));
    EXPECT_TRUE(padded == clean);
    expectSameAsLibtiff(page, "inverted", true);

    Bitmap gray;
    ASSERT_TRUE(gray.create(8, 8, 8));
    Bytes out;
    EXPECT_FALSE(encodeGroup4(gray, false, out));
    EXPECT_FALSE(encodeGroup4(Bitmap {}, false, out));
}

TEST(Group4Encoder, SavedTiffDecodesToTheFramePixelsWithEitherPaletteOrder)
{
    Bitmap page = strokePage(300, 90, 4);
    for (bool blackFirst : {false, true}) {
        ImageCodec codec;
        codec.bitmap() = page;
        if (blackFirst) { // same picture, stored with index 0 as black
            codec.bitmap().palette() = {Rgb {0, 0, 0}, Rgb {255, 255, 255}};
            for (int y = 0; y < page.height(); ++y)
                for (int x = 0; x < page.width(); ++x)
                    codec.bitmap().setIndex(y, x, page.index(y, x) ? 0 : 1);
        }
        codec.setCompression(kCompressionCcittG4);
        std::filesystem::path path = folvane::test::scratchDir() / "g4-saved.tif";
        ASSERT_TRUE(codec.save(path.string(), kFormatTiff));
        test::TiffFacts facts = test::inspectTiff(path);
        ASSERT_TRUE(facts.opened);
        EXPECT_EQ(facts.compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(facts.photometric, PHOTOMETRIC_MINISWHITE);
        ASSERT_EQ(facts.rows.size(), static_cast<size_t>(page.height()));
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                ASSERT_EQ((facts.rows[static_cast<size_t>(y)][static_cast<size_t>(x / 8)] >> (7 - x % 8)) & 1,
                          static_cast<int>(page.index(y, x)))
                    << "pixel " << x << "," << y << (blackFirst ? " (black first)" : "");
    }
}

// The strict reading that decides whether a scan's data may go into a PDF as stored: it takes
// whole pages as encoders write them, in either bit order, and refuses data cut short or read
// against the wrong width.
TEST(Group4Check, TakesWholePagesAndRefusesCutOrMismatchedData)
{
    for (const Bitmap& page : {randomPage(301, 97, 0.3, 5), strokePage(1275, 330, 9), blankPage(64, 8)}) {
        Bytes strip;
        ASSERT_TRUE(encodeGroup4(page, false, strip));
        const auto width = static_cast<uint32_t>(page.width());
        const auto height = static_cast<uint32_t>(page.height());
        EXPECT_TRUE(group4DataValid(strip.data(), strip.size(), width, height, false)) << width;
        Bytes reversed = strip;
        TIFFReverseBits(reversed.data(), static_cast<tmsize_t>(reversed.size()));
        EXPECT_TRUE(group4DataValid(reversed.data(), reversed.size(), width, height, true)) << width;
        EXPECT_FALSE(group4DataValid(strip.data(), strip.size(), width, height + 4, false)) << width;
        if (width == 64)
            continue; // blank rows: one bit each, and the same at every width
        EXPECT_FALSE(group4DataValid(strip.data(), strip.size() / 2, width, height, false)) << width;
        EXPECT_FALSE(group4DataValid(strip.data(), strip.size(), width - 7, height, false)) << width;
    }
}

} // namespace
} // namespace folvane::codec
