// The TIFF importer: which data are copied as stored and with which filter parameters, strips,
// bit order, palettes, colour spaces, refusals, pages and resolution.
#include <fcntl.h>
#include <unistd.h>

#include "pdf/images_fixtures.h"

namespace folvane::test {
namespace {

using namespace folvane::pdf;

class TiffImportTest : public ImageTest {};

// The raw bytes of strip `strip` as libtiff reads them from the file.
std::string rawStrip(const std::filesystem::path& path, uint32_t strip)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return {};
    uint64_t count = TIFFGetStrileByteCount(tif, strip);
    std::string bytes(count, '\0');
    TIFFReadRawStrip(tif, strip, bytes.data(), static_cast<tmsize_t>(count));
    TIFFClose(tif);
    return bytes;
}

TEST_F(TiffImportTest, CcittDecodeParametersFollowTheCodingAndPhotometric)
{
    struct Case {
        const char* name;
        uint16_t compression;
        uint16_t photometric;
        uint32_t width;
        uint32_t group3Options;
        const char* k;       // expected /K entry, "" for none
        bool blackIs1;
        bool byteAlign;
        bool invert;
    };
    const Case cases[] = {
        {"g4_minisblack", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, 100, 0, "-1", true, false, false},
        {"g4_miniswhite", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 100, 0, "-1", false, false, false},
        {"g3_miniswhite", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 100, 0, "", false, false, false},
        // Group 3 never carries black-is-1; min-is-black data get an inverting decode instead.
        {"g3_minisblack", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISBLACK, 100, 0, "", false, false, true},
        {"g3_2d", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 100, GROUP3OPT_2DENCODING, "1", false, false, false},
        {"g3_fill", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 100, GROUP3OPT_FILLBITS, "", false, false, false},
        {"mh_miniswhite", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISWHITE, 100, 0, "0", false, true, false},
        {"mh_minisblack", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISBLACK, 100, 0, "0", true, true, false},
        {"g4_fax_width", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1728, 0, "-1", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffDirectory page = patternPage(c.width, 24, 1, 1, c.photometric, c.compression);
        page.group3Options = c.group3Options;
        Converted out = convert(c.name, kImageTiff, writeTiffFile(std::string(c.name) + ".tif", {page}));
        ASSERT_EQ(out.slot, 0);
        std::string xobject = out.pdf.pageXObject(1, "I0");
        EXPECT_EQ(entry(xobject, "/Filter"), "/CCITTFaxDecode");
        EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "1");
        EXPECT_EQ(entry(xobject, "/ColorSpace"), "/DeviceGray");
        std::string params = entry(xobject, "/DecodeParms");
        EXPECT_EQ(entry(params, "/K"), c.k) << params;
        EXPECT_EQ(params.find("/BlackIs1 true") != std::string::npos, c.blackIs1) << params;
        EXPECT_EQ(params.find("/EncodedByteAlign true") != std::string::npos, c.byteAlign) << params;
        EXPECT_EQ(entry(params, "/Rows"), "24");
        // 1728 is the filter's default width and is left out.
        EXPECT_EQ(entry(params, "/Columns"), c.width == 1728 ? "" : std::to_string(c.width)) << params;
        EXPECT_EQ(entry(xobject, "/Decode"), c.invert ? "[1 0 ]" : "") << xobject;
        EXPECT_EQ(rawStreamData(xobject), rawStrip(scratchDir() / (std::string(c.name) + ".tif"), 0));
    }
}

TEST_F(TiffImportTest, EveryStripBecomesAnXObjectDrawnTopDown)
{
    TiffDirectory page = patternPage(30, 100, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    page.rowsPerStrip = 40;
    auto path = writeTiffFile("strips.tif", {page});
    Converted out = convert("strips", kImageTiff, path);
    ASSERT_EQ(out.slot, 0);
    EXPECT_EQ(out.info.stripCount, 3);
    ASSERT_EQ(out.pdf.pageXObjectNames(1), (std::vector<std::string>{"I0", "I1", "I2"}));
    const char* heights[] = {"40", "40", "20"};
    for (uint32_t k = 0; k < 3; ++k) {
        std::string xobject = out.pdf.pageXObject(1, "I" + std::to_string(k));
        EXPECT_EQ(entry(xobject, "/Height"), heights[k]);
        EXPECT_EQ(entry(xobject, "/Width"), "30");
        EXPECT_EQ(entry(xobject, "/Filter"), "/LZWDecode");
        EXPECT_EQ(rawStreamData(xobject), rawStrip(path, k)) << "strip " << k;
    }
    // Strip 1 at the top: rows 0-39 occupy y 60..100, rows 80-99 occupy y 0..20.
    std::string content = out.pdf.pageContent(1);
    size_t a = content.find("30 0 0 40 0 60 cm\r/I0 Do");
    size_t b = content.find("30 0 0 40 0 20 cm\r/I1 Do");
    size_t c = content.find("30 0 0 20 0 0 cm\r/I2 Do");
    EXPECT_NE(a, std::string::npos) << content;
    EXPECT_NE(b, std::string::npos) << content;
    EXPECT_NE(c, std::string::npos) << content;
}

TEST_F(TiffImportTest, FillOrderTwoIsWrittenBitReversed)
{
    TiffDirectory page = patternPage(64, 16, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
    page.fillOrder = FILLORDER_LSB2MSB;
    auto path = writeTiffFile("lsb.tif", {page});
    Converted out = convert("lsb", kImageTiff, path);
    ASSERT_EQ(out.slot, 0);
    std::string stored = rawStrip(path, 0);
    ASSERT_FALSE(stored.empty());
    std::string reversed = stored;
    TIFFReverseBits(reinterpret_cast<uint8_t*>(reversed.data()), static_cast<tmsize_t>(reversed.size()));
    ASSERT_NE(reversed, stored);
    EXPECT_EQ(rawStreamData(out.pdf.pageXObject(1, "I0")), reversed);
}

TEST_F(TiffImportTest, PredictorAndInvertOfLzwDeflateAndPackBits)
{
    struct Case {
        const char* name;
        uint16_t compression;
        uint16_t photometric;
        uint16_t samples;
        uint16_t bits;
        uint16_t predictor;
        const char* filter;
        const char* params;
        const char* decode;
    };
    const Case cases[] = {
        {"lzw_rgb_pred", COMPRESSION_LZW, PHOTOMETRIC_RGB, 3, 8, 2, "/LZWDecode",
         "<</Predictor 2 /Columns 20 /Colors 3 >>", ""},
        {"lzw_white", COMPRESSION_LZW, PHOTOMETRIC_MINISWHITE, 1, 8, 1, "/LZWDecode", "", "[1 0 ]"},
        {"lzw_black", COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, 1, 4, 1, "/LZWDecode", "", ""},
        {"zip_gray_pred", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK, 1, 8, 2, "/FlateDecode",
         "<</Predictor 2 /Columns 20 >>", ""},
        // Min-is-white frames reach Deflate already negated, so no invert here.
        {"zip_white", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISWHITE, 1, 1, 1, "/FlateDecode", "", ""},
        {"zip_old_code", 32946, PHOTOMETRIC_MINISBLACK, 1, 8, 1, "/FlateDecode", "", ""},
        {"packbits_white", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISWHITE, 1, 1, 1, "/RunLengthDecode", "", "[1 0 ]"},
        {"packbits_rgb", COMPRESSION_PACKBITS, PHOTOMETRIC_RGB, 3, 8, 1, "/RunLengthDecode", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffDirectory page = patternPage(20, 10, c.bits, c.samples, c.photometric, c.compression);
        page.predictor = c.predictor;
        auto path = writeTiffFile(std::string(c.name) + ".tif", {page});
        Converted out = convert(c.name, kImageTiff, path);
        ASSERT_EQ(out.slot, 0);
        std::string xobject = out.pdf.pageXObject(1, "I0");
        EXPECT_EQ(entry(xobject, "/Filter"), c.filter);
        EXPECT_EQ(entry(xobject, "/DecodeParms"), c.params);
        EXPECT_EQ(entry(xobject, "/Decode"), c.decode);
        EXPECT_EQ(entry(xobject, "/BitsPerComponent"), std::to_string(c.bits));
        EXPECT_EQ(rawStreamData(xobject), rawStrip(path, 0));
    }
}

TEST_F(TiffImportTest, PaletteImagesBecomeIndexedWithTheReducedColourMap)
{
    // A 16-bit map is scaled by 255/65535; a map whose values all fit in 8 bits is kept as is.
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "16-bit map" : "8-bit values");
        TiffDirectory page = patternPage(12, 6, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 16; ++i)
                page.colormap.push_back(static_cast<uint16_t>(wide ? i * 4000 + c * 1000 : i * 16 + c));
        std::string name = wide ? "palette_wide" : "palette_narrow";
        Converted out = convert(name, kImageTiff, writeTiffFile(name + ".tif", {page}));
        ASSERT_EQ(out.slot, 0);
        std::string xobject = out.pdf.pageXObject(1, "I0");
        std::string space = entry(xobject, "/ColorSpace");
        ASSERT_EQ(space.rfind("[/Indexed /DeviceRGB 15 ", 0), 0u) << space;
        int palette = std::atoi(space.c_str() + 24);
        std::string expected;
        for (int i = 0; i < 16; ++i)
            for (int c = 0; c < 3; ++c) {
                unsigned v = page.colormap[static_cast<size_t>(c * 16 + i)];
                expected += static_cast<char>(wide ? v * 255 / 65535 : v);
            }
        EXPECT_EQ(streamData(out.pdf.objects.at(palette)), expected);
        EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "4");
        std::string resources = out.pdf.objects.at(static_cast<int>(
            integerAfter(out.pdf.objects.at(out.pdf.pageObject(1)), "/Resources")));
        EXPECT_NE(resources.find("/ImageC /ImageI"), std::string::npos) << resources;
    }
}

TEST_F(TiffImportTest, LayoutsAreCopiedDecodedOrRefused)
{
    struct Case {
        const char* name;
        TiffDirectory page;
        int slot;          // 0 imported, -1 refused
        const char* space;
        bool passthrough;
    };
    auto make = [](uint16_t samples, uint16_t photometric, uint16_t compression) {
        return patternPage(10, 6, 8, samples, photometric, compression);
    };
    TiffDirectory cmykLzw = make(4, PHOTOMETRIC_SEPARATED, COMPRESSION_LZW);
    cmykLzw.inkSet = INKSET_CMYK;
    TiffDirectory cmykOtherInks = cmykLzw;
    cmykOtherInks.inkSet = INKSET_MULTIINK;
    TiffDirectory cmykRaw = make(4, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE);
    TiffDirectory rgbaLzw = make(4, PHOTOMETRIC_RGB, COMPRESSION_LZW);
    rgbaLzw.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    TiffDirectory rgbaRaw = rgbaLzw;
    rgbaRaw.compression = COMPRESSION_NONE;
    TiffDirectory planarLzw = make(3, PHOTOMETRIC_RGB, COMPRESSION_LZW);
    planarLzw.planar = PLANARCONFIG_SEPARATE;
    TiffDirectory tiledLzw = patternPage(40, 36, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    tiledLzw.tileSize = 16;
    TiffDirectory grayAlpha = make(2, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    grayAlpha.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
    const Case cases[] = {
        {"cmyk_lzw", cmykLzw, 0, "/DeviceCMYK", true},
        {"cmyk_other_inks", cmykOtherInks, -1, "", false},
        {"cmyk_raw", cmykRaw, 0, "/DeviceCMYK", false},
        {"rgba_lzw", rgbaLzw, 0, "/DeviceRGB", false},
        {"rgba_raw", rgbaRaw, 0, "/DeviceRGB", false},
        {"planar_lzw", planarLzw, 0, "/DeviceRGB", false},
        {"tiled_lzw", tiledLzw, 0, "/DeviceGray", false},
        {"gray_alpha", grayAlpha, -1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Converted out = convert(c.name, kImageTiff, writeTiffFile(std::string(c.name) + ".tif", {c.page}));
        ASSERT_EQ(out.slot, c.slot);
        if (c.slot < 0)
            continue;
        std::string xobject = out.pdf.pageXObject(1, "I0");
        EXPECT_EQ(entry(xobject, "/ColorSpace"), c.space);
        EXPECT_EQ(out.info.passthrough, c.passthrough);
        if (!c.passthrough) {
            // Decoded samples: 8 bits, deflated, never inverted.
            EXPECT_EQ(entry(xobject, "/Filter"), "/FlateDecode");
            EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "8");
            EXPECT_EQ(entry(xobject, "/DecodeParms"), "");
            EXPECT_EQ(entry(xobject, "/Decode"), "");
        }
    }
    // CMYK read scanline by scanline keeps its samples exactly.
    Converted raw = convert("cmyk_raw_again", kImageTiff, writeTiffFile("cmyk_raw2.tif", {cmykRaw}));
    std::string samples = streamData(raw.pdf.pageXObject(1, "I0"));
    EXPECT_EQ(samples, std::string(cmykRaw.data.begin(), cmykRaw.data.end()));
}

TEST_F(TiffImportTest, RefusedVariantsFailWithoutWritingAnImage)
{
    struct Case {
        const char* name;
        uint16_t tag;
        uint32_t value;
    };
    const Case cases[] = {
        {"mask", TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MASK},
        {"ycbcr", TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR},
        {"cielab", TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CIELAB},
        {"jpeg_new_style", TIFFTAG_COMPRESSION, COMPRESSION_JPEG},
        // Rows padded to 16-bit words fit neither the byte-aligned PDF filter nor libtiff's
        // decoder, so such files are refused rather than shown garbled.
        {"huffman_word_aligned", TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLEW},
        {"bits_3", TIFFTAG_BITSPERSAMPLE, 3},
        {"bits_16", TIFFTAG_BITSPERSAMPLE, 16},
        {"predictor_3", TIFFTAG_PREDICTOR, 3},
        {"predictor_9", TIFFTAG_PREDICTOR, 9},
    };
    TiffDirectory page = patternPage(16, 16, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    page.predictor = PREDICTOR_HORIZONTAL;
    auto good = writeTiffFile("good.tif", {page});
    std::string bytes = readFileBytes(good);
    ASSERT_EQ(convert("good", kImageTiff, good).slot, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string variant = bytes;
        ASSERT_TRUE(patchTiffTag(variant, c.tag, c.value));
        Converted out = convert(c.name, kImageTiff, writeImage(std::string(c.name) + ".tif", variant));
        EXPECT_EQ(out.slot, -1);
        EXPECT_TRUE(out.pdf.pageXObjectNames(1).empty());
        for (const auto& [number, text] : out.pdf.objects)
            EXPECT_EQ(text.find("/XObject"), std::string::npos) << text;
    }
}

TEST_F(TiffImportTest, DamagedFilesFailQuietly)
{
    TiffDirectory page = patternPage(64, 64, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    std::string bytes = readFileBytes(writeTiffFile("whole.tif", {page}));
    TiffDirectory lzw = patternPage(64, 64, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
    std::string lzwBytes = readFileBytes(writeTiffFile("lzw.tif", {lzw}));
    std::string offsetPastEnd = lzwBytes;
    ASSERT_TRUE(patchTiffTag(offsetPastEnd, TIFFTAG_STRIPOFFSETS, 1u << 30));
    std::string countPastEnd = lzwBytes;
    ASSERT_TRUE(patchTiffTag(countPastEnd, TIFFTAG_STRIPBYTECOUNTS, static_cast<uint32_t>(lzwBytes.size())));
    std::string hugeDecoded = bytes;
    ASSERT_TRUE(patchTiffTag(hugeDecoded, TIFFTAG_IMAGEWIDTH, 60000));
    ASSERT_TRUE(patchTiffTag(hugeDecoded, TIFFTAG_IMAGELENGTH, 60000));
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"signature_only", bytes.substr(0, 8)},
        {"truncated_header", bytes.substr(0, 40)},
        {"truncated_data", bytes.substr(0, bytes.size() / 2)},
        {"strip_offset_past_end", offsetPastEnd},
        {"strip_count_past_end", countPastEnd},
        {"huge_decoded", hugeDecoded},
        {"not_a_tiff", "this is not an image at all"},
    };

    // libtiff's messages must not reach the terminal: capture standard error meanwhile.
    auto captured = scratchDir() / "stderr.txt";
    std::fflush(stderr);
    int saved = dup(2);
    int sink = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(sink, 0);
    dup2(sink, 2);
    std::vector<int> slots;
    for (const auto& [name, content] : files)
        slots.push_back(convert(name, kImageTiff, writeImage(std::string(name) + ".tif", content)).slot);
    slots.push_back(convert("missing", kImageTiff, scratchDir() / "no-such-file.tif").slot);
    slots.push_back(convert("directory", kImageTiff, scratchDir()).slot);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(sink);
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], -1) << "file " << i;
    EXPECT_EQ(readFileBytes(captured), "");
}

TEST_F(TiffImportTest, PagesAreSelectedByTheOption)
{
    std::vector<TiffDirectory> pages;
    for (uint32_t i = 0; i < 3; ++i)
        pages.push_back(patternPage(10 + i, 20 + i, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, i));
    auto path = writeTiffFile("three.tif", pages);

    EXPECT_EQ(convert("page1", kImageTiff, path, "page", 1).info.width, 10);
    EXPECT_EQ(convert("page3", kImageTiff, path, "page", 3).info.height, 22);
    EXPECT_EQ(convert("default", kImageTiff, path).info.width, 10);
    EXPECT_EQ(convert("page4", kImageTiff, path, "page", 4).slot, -1);
    EXPECT_EQ(convert("page0", kImageTiff, path, "page", 0).slot, -1);
    Converted other = convert("frame", kImageTiff, path, "frame", 1);
    EXPECT_EQ(other.slot, -1);
    EXPECT_TRUE(other.errors.has(kErrArgument));

    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    int w = 0;
    int h = 0;
    EXPECT_EQ(getImageSize(doc, path.string(), kImageTiff, 0, &w, &h), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(10, 20));
    EXPECT_EQ(getImageSize(doc, path.string(), kImageTiff, 1, &w, &h), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(10, 20));
    EXPECT_EQ(getImageSize(doc, path.string(), kImageTiff, 2, &w, &h), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(11, 21));
    EXPECT_EQ(getImageSize(doc, path.string(), kImageTiff, 4, &w, &h), -1);
    EXPECT_EQ(getImageSize(doc, (scratchDir() / "none.tif").string(), kImageTiff, 1, &w, &h), -1);
    EXPECT_EQ(getImageSize(doc, path.string(), 7, 1, &w, &h), -1);
    EXPECT_TRUE(log.has(kErrArgument));
    freePdfDocument(doc);
}

// One document reads the frames of a file in turn from the file it keeps open, and never from
// a file that has since been replaced at the same path.
TEST_F(TiffImportTest, FramesInTurnComeFromTheFileAsItIsNow)
{
    auto pagesOf = [](uint32_t first) {
        std::vector<TiffDirectory> pages;
        for (uint32_t i = 0; i < 3; ++i)
            pages.push_back(patternPage(first + i, 20, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, i));
        return pages;
    };
    auto path = writeTiffFile("book.tif", pagesOf(10));
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    pdf::openOutput(doc, "");
    auto widthOf = [&](int page) {
        int slot = pdf::openImageFile(doc, kImageTiff, path.string(), "page", page);
        const ImageSlot* image = pdf::imageSlot(doc, slot);
        int width = image ? static_cast<int>(image->width) : -1;
        if (image)
            pdf::closeImage(doc, slot);
        return width;
    };
    EXPECT_EQ(widthOf(1), 10);
    EXPECT_EQ(widthOf(2), 11);
    EXPECT_EQ(widthOf(3), 12);
    EXPECT_EQ(widthOf(2), 11) << "back to an earlier frame";
    auto replacement = writeTiffFile("other.tif", pagesOf(40));
    std::filesystem::rename(replacement, path);
    EXPECT_EQ(widthOf(3), 42) << "the replaced file is read, not the one kept open";
    pdf::beginPage(doc, 10, 10);
    pdf::endPage(doc);
    pdf::closePdfDocument(doc);
    pdf::freePdfDocument(doc);
}

TEST_F(TiffImportTest, ResolutionUnitsAndSigns)
{
    struct Case {
        const char* name;
        float x;
        float y;
        int unit;
        double slotX;
        double slotY;
        int reportedX;
        int reportedY;
    };
    const Case cases[] = {
        {"inch", 300, 200, RESUNIT_INCH, 300, 200, 300, 200},
        {"default_unit_is_inch", 150, 150, -1, 150, 150, 150, 150},
        {"centimetre", 100, 118, RESUNIT_CENTIMETER, 254, 299.72, 254, 299},
        {"aspect_only", 2, 1, RESUNIT_NONE, -2, -1, -2, -1},
        {"missing", 0, 0, RESUNIT_INCH, 0, 0, 0, 0},
        {"only_x", 96, 0, RESUNIT_INCH, 96, 0, 96, 0},
    };
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffDirectory page = patternPage(8, 8, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
        page.xResolution = c.x;
        page.yResolution = c.y;
        page.resolutionUnit = c.unit;
        auto path = writeTiffFile(std::string(c.name) + ".tif", {page});
        Converted out = convert(c.name, kImageTiff, path);
        EXPECT_NEAR(out.info.resolutionX, c.slotX, 1e-3);
        EXPECT_NEAR(out.info.resolutionY, c.slotY, 1e-3);
        int x = 7;
        int y = 7;
        EXPECT_EQ(getImageResolution(doc, path.string(), kImageTiff, 1, &x, &y), 1);
        EXPECT_EQ(x, c.reportedX);
        EXPECT_EQ(y, c.reportedY);
    }
    freePdfDocument(doc);
}

} // namespace
} // namespace folvane::test
