#include "codec_test_util.h"

#include <gtest/gtest.h>
#include <openjpeg.h>
#include <png.h>
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

void pngAppend(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}

int silentTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

} // namespace

Bytes makePng(int width, int height, int colourType, int depth, const std::vector<Bytes>& rows,
              const std::vector<Rgb>& palette, const Bytes& trns)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the fixture";
        return {};
    }
    png_set_write_fn(png, &out, pngAppend, pngFlush);
    png_set_IHDR(png, info, width, height, depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries;
    for (const Rgb& c : palette)
        entries.push_back({c.r, c.g, c.b});
    if (!entries.empty())
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    if (!trns.empty()) {
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
        } else {
            png_color_16 colour {};
            colour.gray = trns[0];
            colour.red = trns[0];
            colour.green = trns.size() > 1 ? trns[1] : 0;
            colour.blue = trns.size() > 2 ? trns[2] : 0;
            png_set_tRNS(png, info, nullptr, 0, &colour);
        }
    }
    png_write_info(png, info);
    for (const Bytes& row : rows)
        png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

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

namespace {
struct Sink {
    Bytes bytes;
    size_t pos = 0;
};

OPJ_SIZE_T sinkWrite(void* buffer, OPJ_SIZE_T size, void* user)
{
    auto* s = static_cast<Sink*>(user);
    if (s->bytes.size() < s->pos + size)
        s->bytes.resize(s->pos + size);
    std::memcpy(s->bytes.data() + s->pos, buffer, size);
    s->pos += size;
    return size;
}
OPJ_OFF_T sinkSkip(OPJ_OFF_T n, void* user)
{
    static_cast<Sink*>(user)->pos += static_cast<size_t>(n);
    return n;
}
OPJ_BOOL sinkSeek(OPJ_OFF_T n, void* user)
{
    static_cast<Sink*>(user)->pos = static_cast<size_t>(n);
    return OPJ_TRUE;
}

} // namespace

// Lossless JPEG 2000 of a picture with `components` planes; plane c of pixel (x, y) holds
// value(c, x, y).
Bytes encodeJpeg2000(bool jp2, int components, int precision, bool isSigned, int width, int height,
                     int (*value)(int c, int x, int y))
{
    std::vector<opj_image_cmptparm_t> parms(static_cast<size_t>(components));
    for (auto& p : parms) {
        std::memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = static_cast<OPJ_UINT32>(width);
        p.h = static_cast<OPJ_UINT32>(height);
        p.prec = static_cast<OPJ_UINT32>(precision);
        p.sgnd = isSigned ? 1 : 0;
    }
    opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(components), parms.data(),
                                          components >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    for (int c = 0; c < components; ++c)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image->comps[c].data[y * width + x] = value(c, x, y);
    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    params.tcp_rates[0] = 0;
    params.cp_disto_alloc = 1;
    params.numresolution = 1;
    opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_setup_encoder(codec, &params, image);
    Sink sink;
    opj_stream_t* stream = opj_stream_create(4096, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, sinkWrite);
    opj_stream_set_skip_function(stream, sinkSkip);
    opj_stream_set_seek_function(stream, sinkSeek);
    bool ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) && opj_end_compress(codec, stream);
    EXPECT_TRUE(ok);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return sink.bytes;
}


// A linear (already demosaiced) DNG written with libtiff: left half bright, right half dark.
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
