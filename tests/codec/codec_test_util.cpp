#include "codec_test_util.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/test_support.h"

namespace folvane::codec::test {

ByteWriter& ByteWriter::u8(unsigned v)
{
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
}
ByteWriter& ByteWriter::u16le(unsigned v) { return u8(v & 0xFF).u8(v >> 8); }
ByteWriter& ByteWriter::u32le(uint32_t v) { return u16le(v & 0xFFFF).u16le(v >> 16); }
ByteWriter& ByteWriter::u16be(unsigned v) { return u8(v >> 8).u8(v & 0xFF); }
ByteWriter& ByteWriter::u32be(uint32_t v) { return u16be(v >> 16).u16be(v & 0xFFFF); }
ByteWriter& ByteWriter::text(const std::string& s)
{
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
}
ByteWriter& ByteWriter::raw(const Bytes& b)
{
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

Rgb pixel(const Bitmap& bitmap, int x, int y)
{
    std::vector<uint8_t> line(static_cast<size_t>(bitmap.width()) * 3);
    rowToRgb(bitmap, y, line.data());
    return {line[3 * x], line[3 * x + 1], line[3 * x + 2]};
}

Bitmap colourPicture(int width, int height)
{
    Bitmap b;
    b.create(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 37 + y * 11);
            p[1] = static_cast<uint8_t>(x * 5 + y * 53 + 7);
            p[2] = static_cast<uint8_t>(255 - x * 13 - y * 29);
        }
    return b;
}

Bitmap bilevelPicture(int width, int height)
{
    Bitmap b;
    b.create(width, height, 1);
    b.setGrayPalette();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.setIndex(y, x, x == 0 || ((x / 2 + y) % 2 == 0) ? 1 : 0);
    return b;
}

Bitmap grayPicture(int width, int height)
{
    Bitmap b;
    b.create(width, height, 8);
    b.setGrayPalette();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.row(y)[x] = static_cast<uint8_t>((x * 31 + y * 17) & 0xFF);
    return b;
}

std::filesystem::path writeBytes(const std::string& name, const Bytes& bytes)
{
    auto path = folvane::test::scratchDir() / name;
    folvane::test::writeFileBytes(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

Bytes readBytes(const std::filesystem::path& path)
{
    std::string s = folvane::test::readFileBytes(path);
    return Bytes(s.begin(), s.end());
}

bool loadFile(ImageCodec& codec, const std::filesystem::path& path, int formatId)
{
    codec.setHeaderOnly(false);
    return codec.load(path.string(), formatId);
}

bool loadBytes(ImageCodec& codec, const Bytes& bytes, int formatId)
{
    codec.setHeaderOnly(false);
    return codec.loadFromMemory(bytes.data(), bytes.size(), formatId);
}

namespace {

int silentTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

} // namespace

std::filesystem::path makeMultiPageTiff(const std::string& name, const std::vector<Bitmap>& pages, int compression)
{
    // Each page is encoded by the codec into its own file; libtiff then copies the pages'
    // tags and decoded rows into one file.
    auto path = folvane::test::scratchDir() / name;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, silentTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, silentTiff, nullptr);
    TIFF* out = TIFFOpenExt(path.c_str(), "w", options);
    for (size_t i = 0; i < pages.size(); ++i) {
        ImageCodec codec;
        codec.bitmap() = pages[i];
        codec.setCompression(compression);
        auto single = folvane::test::scratchDir() / ("page" + std::to_string(i) + ".tif");
        EXPECT_TRUE(codec.save(single.string(), kFormatTiff));
        TIFF* in = TIFFOpenExt(single.c_str(), "r", options);
        uint32_t w = 0, h = 0;
        uint16_t bps = 0, spp = 0, photometric = 0, comp = 0;
        TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(in, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(in, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(in, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(in, TIFFTAG_COMPRESSION, &comp);
        TIFFSetField(out, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(out, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(out, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(out, TIFFTAG_COMPRESSION, comp);
        TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, h);
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (TIFFGetField(in, TIFFTAG_COLORMAP, &r, &g, &b))
            TIFFSetField(out, TIFFTAG_COLORMAP, r, g, b);
        std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(in)));
        for (uint32_t y = 0; y < h; ++y) {
            TIFFReadScanline(in, line.data(), y, 0);
            TIFFWriteScanline(out, line.data(), y, 0);
        }
        TIFFClose(in);
        TIFFWriteDirectory(out);
    }
    TIFFClose(out);
    TIFFOpenOptionsFree(options);
    return path;
}

std::filesystem::path fixture(const std::string& name)
{
    return std::filesystem::path(FOLVANE_CODEC_FIXTURES) / name;
}

TiffFacts inspectTiff(const std::filesystem::path& path)
{
    TiffFacts facts;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, silentTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, silentTiff, nullptr);
    TIFF* tif = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tif)
        return facts;
    facts.opened = true;
    facts.pages = static_cast<int>(TIFFNumberOfDirectories(tif));
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &facts.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &facts.height);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &facts.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &facts.photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &facts.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &facts.samplesPerPixel);
    if (facts.compression == COMPRESSION_JPEG && facts.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    const tmsize_t size = TIFFScanlineSize(tif);
    for (uint32_t y = 0; y < facts.height && size > 0; ++y) {
        Bytes line(static_cast<size_t>(size));
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0)
            break;
        facts.rows.push_back(line);
    }
    TIFFClose(tif);
    return facts;
}

std::filesystem::path makeDng()
{
    auto path = folvane::test::scratchDir() / "linear.dng";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    const uint32_t w = 64, h = 32;
    static const uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, 34892); // linear raw
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_MAKE, "Folvane");
    TIFFSetField(tif, TIFFTAG_MODEL, "Test");
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Folvane Test");
    std::vector<uint16_t> line(w * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                line[x * 3 + c] = x < w / 2 ? 50000 : 2000;
        TIFFWriteScanline(tif, line.data(), y, 0);
    }
    TIFFClose(tif);
    return path;
}


// A placeable metafile at 1440 units per inch with a red rectangle over the left half.
Bytes makeWmf(int16_t right, int16_t bottom, uint16_t inch)
{
    ByteWriter w;
    w.u32le(0x9AC6CDD7).u16le(0).u16le(0).u16le(0).u16le(static_cast<uint16_t>(right)).u16le(static_cast<uint16_t>(bottom));
    w.u16le(inch).u32le(0);
    uint16_t checksum = 0;
    for (size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<uint16_t>(w.bytes[i] | (w.bytes[i + 1] << 8));
    w.u16le(checksum);
    ByteWriter records;
    records.u32le(5).u16le(0x020B).u16le(0).u16le(0);                                   // window origin
    records.u32le(5).u16le(0x020C).u16le(static_cast<uint16_t>(bottom)).u16le(static_cast<uint16_t>(right)); // window extent
    records.u32le(7).u16le(0x02FC).u16le(0).u32le(0x000000FF).u16le(0);                 // solid red brush
    records.u32le(4).u16le(0x012D).u16le(0);                                             // select it
    records.u32le(8).u16le(0x02FA).u16le(5).u16le(0).u16le(0).u32le(0);                  // null pen
    records.u32le(4).u16le(0x012D).u16le(1);                                             // select it
    records.u32le(7).u16le(0x041B).u16le(static_cast<uint16_t>(bottom)).u16le(static_cast<uint16_t>(right / 2)).u16le(0).u16le(0);
    records.u32le(3).u16le(0);                                                           // end
    const uint32_t words = 9 + static_cast<uint32_t>(records.bytes.size()) / 2;
    w.u16le(1).u16le(9).u16le(0x0300).u32le(words).u16le(2).u32le(8).u16le(0);
    return w.raw(records.bytes).bytes;
}

} // namespace folvane::codec::test
