// The PNG importer: compressed rows copied as stored under the PNG predictor with depth and
// palette kept, transparency written as a soft mask that shows on white, damaged files refused
// before anything is written.
#include <png.h>

#include "pdf/images_fixtures.h"

namespace folvane::test {
namespace {

using namespace folvane::pdf;

std::vector<Bytes> patternRows(int width, int height, int channels, int depth, unsigned seed)
{
    const size_t rowBytes = (static_cast<size_t>(width) * static_cast<size_t>(channels * depth) + 7) / 8;
    std::vector<Bytes> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back(patternBytes(rowBytes, seed + static_cast<unsigned>(y)));
    return rows;
}

// The IDAT data of a PNG file, one chunk after the other.
std::string imageData(const Bytes& png)
{
    std::string data;
    for (const PngChunk& chunk : pngChunks(png))
        if (chunk.type == "IDAT")
            data.append(chunk.data.begin(), chunk.data.end());
    return data;
}

std::vector<codec::Rgb> rampPalette(int entries)
{
    std::vector<codec::Rgb> palette;
    for (int i = 0; i < entries; ++i)
        palette.push_back({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                           static_cast<uint8_t>(i * 5)});
    return palette;
}

// The soft-mask image of the page's first image; empty when it has none.
std::string softMask(const Converted& out)
{
    long number = integerAfter(out.pdf.pageXObject(1, "I0"), "/SMask");
    auto found = out.pdf.objects.find(static_cast<int>(number));
    return found == out.pdf.objects.end() ? std::string() : found->second;
}

class PngImportTest : public ImageTest {
protected:
    Converted import(const std::string& name, const Bytes& png)
    {
        return convert(name, kImagePng, writeImage(name + ".png", std::string(png.begin(), png.end())));
    }
};

TEST_F(PngImportTest, StoredRowsGoInUnderThePredictorWithDepthAndPaletteKept)
{
    struct Case {
        const char* name;
        int colourType;
        int depth;
        int channels;
        const char* colorSpace;
    };
    const Case cases[] = {
        {"gray1", PNG_COLOR_TYPE_GRAY, 1, 1, "/DeviceGray"},    {"gray2", PNG_COLOR_TYPE_GRAY, 2, 1, "/DeviceGray"},
        {"gray4", PNG_COLOR_TYPE_GRAY, 4, 1, "/DeviceGray"},    {"gray16", PNG_COLOR_TYPE_GRAY, 16, 1, "/DeviceGray"},
        {"rgb8", PNG_COLOR_TYPE_RGB, 8, 3, "/DeviceRGB"},       {"rgb16", PNG_COLOR_TYPE_RGB, 16, 3, "/DeviceRGB"},
        {"palette4", PNG_COLOR_TYPE_PALETTE, 4, 1, "[/Indexed /DeviceRGB 15 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto palette = c.colourType == PNG_COLOR_TYPE_PALETTE ? rampPalette(1 << c.depth) : std::vector<codec::Rgb>{};
        Bytes png = makePng(29, 13, c.colourType, c.depth, patternRows(29, 13, c.channels, c.depth, 3), palette);
        // The data split over several IDAT chunks, as large files and some writers store it.
        std::vector<PngChunk> chunks = pngChunks(png);
        auto idat = std::find_if(chunks.begin(), chunks.end(), [](const PngChunk& k) { return k.type == "IDAT"; });
        ASSERT_NE(idat, chunks.end());
        Bytes whole = idat->data;
        size_t third = whole.size() / 3;
        idat->data.assign(whole.begin(), whole.begin() + static_cast<long>(third));
        chunks.insert(idat + 1, {{"IDAT", {}}, {"IDAT", Bytes(whole.begin() + static_cast<long>(third), whole.end())}});
        png = joinPngChunks(chunks);

        Converted out = import(c.name, png);
        ASSERT_EQ(out.slot, 0);
        std::string xobject = out.pdf.pageXObject(1, "I0");
        EXPECT_EQ(entry(xobject, "/BitsPerComponent"), std::to_string(c.depth));
        EXPECT_EQ(entry(xobject, "/ColorSpace").rfind(c.colorSpace, 0), 0u) << entry(xobject, "/ColorSpace");
        EXPECT_EQ(entry(xobject, "/Filter"), "/FlateDecode");
        std::string params = entry(xobject, "/DecodeParms");
        EXPECT_EQ(integerAfter(params, "/Predictor"), 15) << params;
        EXPECT_EQ(integerAfter(params, "/Columns"), 29) << params;
        EXPECT_EQ(entry(xobject, "/SMask"), "");
        EXPECT_EQ(rawStreamData(xobject), imageData(png));
        EXPECT_EQ(out.pdf.bytes.find("/Version /1.5") != std::string::npos, c.depth == 16);
    }
}

TEST_F(PngImportTest, TransparencyBecomesASoftMaskThatShowsOnWhite)
{
    // Opaque red, transparent green, half-transparent blue, opaque gray.
    const Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 128, 90, 90, 90, 255};
    Converted out;
    Raster page = convertAndRender("rgba", writeImage("rgba.png", [&] {
        Bytes png = makePng(4, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {rgba});
        return std::string(png.begin(), png.end());
    }()), true, &out);
    ASSERT_EQ(page.error, "");
    const std::vector<uint8_t> want = {255, 0, 0, 255, 255, 255, 127, 127, 255, 90, 90, 90};
    ASSERT_EQ(page.pixels.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(page.pixels[i], want[i], 1) << "byte " << i;
    std::string xobject = out.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/ColorSpace"), "/DeviceRGB");
    std::string maskObject = softMask(out);
    EXPECT_EQ(entry(maskObject, "/ColorSpace"), "/DeviceGray");
    EXPECT_EQ(streamData(maskObject), std::string("\xFF\x00\x80\xFF", 4));

    // 16-bit gray with alpha keeps 16 bits in both images; a palette with tRNS is widened to RGB.
    Bytes grayAlpha = makePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {{0x12, 0x34, 0xFF, 0xFF, 0xAB, 0xCD, 0x80, 0x00}});
    out = import("gray_alpha16", grayAlpha);
    ASSERT_EQ(out.slot, 0);
    xobject = out.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "16");
    EXPECT_EQ(streamData(xobject), std::string("\x12\x34\xAB\xCD", 4));
    EXPECT_EQ(entry(softMask(out), "/BitsPerComponent"), "16");
    EXPECT_NE(out.pdf.bytes.find("/Version /1.5"), std::string::npos);

    out = import("palette_trns", makePng(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {{0x1B}}, rampPalette(4), {0, 255}));
    xobject = out.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/ColorSpace"), "/DeviceRGB");
    EXPECT_NE(softMask(out), "");

    // Every pixel opaque: no mask is needed.
    out = import("opaque", makePng(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 255, 4, 5, 6, 255}}));
    EXPECT_EQ(entry(out.pdf.pageXObject(1, "I0"), "/SMask"), "");
}

TEST_F(PngImportTest, InterlacedImagesAreDecodedWithTheirDepthAndPalette)
{
    auto rows = patternRows(11, 9, 1, 2, 5);
    for (Bytes& row : rows)
        row.back() &= 0xFC; // decoded rows end in zero bits after the 11th pixel
    Converted out = import("interlaced", makePng(11, 9, PNG_COLOR_TYPE_PALETTE, 2, rows, rampPalette(4), {}, true));
    ASSERT_EQ(out.slot, 0);
    std::string xobject = out.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/BitsPerComponent"), "2");
    EXPECT_EQ(entry(xobject, "/ColorSpace").rfind("[/Indexed /DeviceRGB 3 ", 0), 0u);
    EXPECT_EQ(entry(xobject, "/DecodeParms"), "");
    std::string samples;
    for (const Bytes& row : rows)
        samples.append(row.begin(), row.end());
    EXPECT_EQ(streamData(xobject), samples);
}

TEST_F(PngImportTest, DamagedFilesAreRefusedBeforeAnythingIsWritten)
{
    Bytes good = makePng(16, 16, PNG_COLOR_TYPE_RGB, 8, patternRows(16, 16, 3, 8, 7));
    std::vector<PngChunk> chunks = pngChunks(good);
    auto idat = std::find_if(chunks.begin(), chunks.end(), [](const PngChunk& k) { return k.type == "IDAT"; });
    ASSERT_NE(idat, chunks.end());

    std::vector<PngChunk> halved = chunks;
    halved[static_cast<size_t>(idat - chunks.begin())].data.resize(idat->data.size() / 2);
    Bytes badChecksum = good;
    size_t idatEnd = 8;
    for (auto k = chunks.begin(); k <= idat; ++k)
        idatEnd += 12 + k->data.size();
    badChecksum[idatEnd - 1] ^= 0x01;
    std::vector<PngChunk> noEnd(chunks.begin(), chunks.end() - 1);

    const std::pair<const char*, Bytes> files[] = {
        {"truncated_data", joinPngChunks(halved)},
        {"bad_checksum", badChecksum},
        {"cut_in_data", Bytes(good.begin(), good.begin() + static_cast<long>(idatEnd - 40))},
        {"no_end", joinPngChunks(noEnd)},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        Converted out = import(name, bytes);
        EXPECT_EQ(out.slot, -1);
        EXPECT_EQ(out.pdf.bytes.find("/Subtype /Image"), std::string::npos);
    }
    EXPECT_EQ(import("good", good).slot, 0);
}

} // namespace
} // namespace folvane::test
