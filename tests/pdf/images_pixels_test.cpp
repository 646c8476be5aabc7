// Rendered pixels: every lossless way into the PDF (copied as stored or decoded) must show the
// source's pixels exactly. Pages are the image's size and rendered at 72 dpi with MuPDF, so one
// image pixel is one rendered pixel (poppler smooths 1-bit images and cannot be used here).
#include "pdf/images_fixtures.h"

namespace folvane::test {
namespace {

using namespace folvane::pdf;

class ImagePixelsTest : public ImageTest {
protected:
    void SetUp() override
    {
        if (!haveTool("mutool"))
            GTEST_SKIP() << "mutool is not installed";
    }

    // Converts the page, renders it and compares with `expected` (or the page's own pixels).
    void expectPixels(const std::string& name, const TiffDirectory& page, std::vector<uint8_t> expected = {})
    {
        SCOPED_TRACE(name);
        if (expected.empty())
            expected = expectedPixels(page);
        bool color = expected.size() == size_t{page.width} * page.height * 3;
        Converted converted;
        Raster raster = convertAndRender(name, writeTiffFile(name + ".tif", {page}), color, &converted);
        ASSERT_EQ(raster.error, "");
        ASSERT_EQ(raster.width, static_cast<int>(page.width));
        ASSERT_EQ(raster.height, static_cast<int>(page.height));
        size_t mismatches = 0;
        size_t first = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (raster.pixels[i] != expected[i] && mismatches++ == 0)
                first = i;
        }
        EXPECT_EQ(mismatches, 0u) << "first at byte " << first << ": rendered " << int(raster.pixels[first])
                                  << ", expected " << int(expected[first]);
    }
};

std::vector<uint16_t> rampMap(int entries, bool wide)
{
    std::vector<uint16_t> map;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < entries; ++i) {
            unsigned v = static_cast<unsigned>((i * 97 + c * 61) % 256);
            map.push_back(static_cast<uint16_t>(wide ? v * 257 : v));
        }
    return map;
}

TEST_F(ImagePixelsTest, UncompressedImagesAreDecodedExactly)
{
    expectPixels("gray8", patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE));
    expectPixels("gray8_white", patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE));
    expectPixels("gray1_white", patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE));
    expectPixels("gray2", patternPage(37, 23, 2, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE));
    expectPixels("gray4_white", patternPage(37, 23, 4, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE));
    expectPixels("rgb", patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE));
    TiffDirectory palette = patternPage(37, 23, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_NONE);
    palette.colormap = rampMap(256, true);
    expectPixels("palette_decoded", palette);
}

TEST_F(ImagePixelsTest, CcittDataRenderAsTheSource)
{
    struct Case {
        const char* name;
        uint16_t compression;
        uint16_t photometric;
        uint32_t group3Options;
        uint16_t fillOrder;
        uint32_t width;
        uint32_t rowsPerStrip;
    };
    const Case cases[] = {
        {"mh_white", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_MSB2LSB, 61, 0},
        {"mh_black", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISBLACK, 0, FILLORDER_MSB2LSB, 61, 0},
        {"g3_white", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_MSB2LSB, 61, 0},
        {"g3_black", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISBLACK, 0, FILLORDER_MSB2LSB, 61, 0},
        {"g3_2d", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, GROUP3OPT_2DENCODING, FILLORDER_MSB2LSB, 61, 0},
        {"g3_fill", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, GROUP3OPT_FILLBITS, FILLORDER_MSB2LSB, 61, 0},
        {"g3_2d_fill", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS,
         FILLORDER_MSB2LSB, 61, 0},
        {"g4_white", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_MSB2LSB, 61, 0},
        {"g4_black", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, 0, FILLORDER_MSB2LSB, 61, 0},
        {"g4_lsb_first", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_LSB2MSB, 61, 0},
        {"g3_lsb_first", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_LSB2MSB, 61, 0},
        {"g4_fax_width", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_MSB2LSB, 1728, 0},
        {"g4_strips", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 0, FILLORDER_MSB2LSB, 61, 7},
    };
    for (const Case& c : cases) {
        TiffDirectory page = patternPage(c.width, 30, 1, 1, c.photometric, c.compression, 3);
        page.group3Options = c.group3Options;
        page.fillOrder = c.fillOrder;
        page.rowsPerStrip = c.rowsPerStrip;
        expectPixels(c.name, page);
    }
}

TEST_F(ImagePixelsTest, LzwDeflateAndPackBitsStripsRenderAsTheSource)
{
    expectPixels("lzw_gray", patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW));
    expectPixels("lzw_bilevel_white", patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_LZW));
    TiffDirectory lzwRgb = patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW);
    lzwRgb.predictor = PREDICTOR_HORIZONTAL;
    expectPixels("lzw_rgb_predictor", lzwRgb);
    TiffDirectory lzwStrips = patternPage(30, 100, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    lzwStrips.rowsPerStrip = 40;
    expectPixels("lzw_three_strips", lzwStrips);
    TiffDirectory lzwLsb = patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    lzwLsb.fillOrder = FILLORDER_LSB2MSB;
    expectPixels("lzw_lsb_first", lzwLsb);

    TiffDirectory zipGray = patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE);
    zipGray.predictor = PREDICTOR_HORIZONTAL;
    expectPixels("zip_gray_predictor", zipGray);
    expectPixels("zip_rgb", patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE));
    TiffDirectory zipStrips = patternPage(37, 50, 4, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE);
    zipStrips.rowsPerStrip = 16;
    expectPixels("zip_strips", zipStrips);
    // Min-is-white Deflate frames are negated before they are saved, so the samples are shown
    // as stored: the opposite of what the file's photometric interpretation says.
    TiffDirectory zipWhite = patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_ADOBE_DEFLATE);
    TiffDirectory asStored = zipWhite;
    asStored.photometric = PHOTOMETRIC_MINISBLACK;
    expectPixels("zip_white_as_stored", zipWhite, expectedPixels(asStored));

    expectPixels("packbits_bilevel_white", patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS));
    expectPixels("packbits_rgb", patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS));
    TiffDirectory packStrips = patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS);
    packStrips.rowsPerStrip = 5;
    expectPixels("packbits_strips", packStrips);
}

TEST_F(ImagePixelsTest, PaletteImagesRenderTheirColours)
{
    TiffDirectory lzw4 = patternPage(37, 23, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW);
    lzw4.colormap = rampMap(16, true);
    expectPixels("palette_lzw_4bit", lzw4);
    TiffDirectory pack8 = patternPage(37, 23, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS);
    pack8.colormap = rampMap(256, false);
    expectPixels("palette_packbits_8bit_values", pack8);
    TiffDirectory zip8 = patternPage(37, 23, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_ADOBE_DEFLATE);
    zip8.colormap = rampMap(256, true);
    zip8.rowsPerStrip = 10;
    expectPixels("palette_zip_strips", zip8);
}

TEST_F(ImagePixelsTest, TiledAndAlphaImagesAreDecoded)
{
    TiffDirectory tiledRaw = patternPage(37, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    tiledRaw.tileSize = 16;
    expectPixels("tiled_raw", tiledRaw);
    TiffDirectory tiledLzw = patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW);
    tiledLzw.tileSize = 16;
    expectPixels("tiled_lzw_rgb", tiledLzw);
    TiffDirectory tiledBilevel = patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS);
    tiledBilevel.tileSize = 16;
    expectPixels("tiled_packbits_bilevel_white", tiledBilevel);
    TiffDirectory tiledG4 = patternPage(37, 23, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
    tiledG4.tileSize = 16;
    expectPixels("tiled_g4", tiledG4);

    for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_PACKBITS}) {
        TiffDirectory rgba = patternPage(37, 23, 8, 4, PHOTOMETRIC_RGB, compression);
        rgba.extraSamples = {EXTRASAMPLE_UNASSALPHA};
        for (size_t i = 3; i < rgba.data.size(); i += 4)
            rgba.data[i] = 255; // opaque, so the colours do not depend on compositing
        expectPixels("rgba_" + std::to_string(compression), rgba);
    }
    TiffDirectory planar = patternPage(37, 23, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW);
    planar.planar = PLANARCONFIG_SEPARATE;
    expectPixels("planar_lzw", planar);
}

} // namespace
} // namespace folvane::test
