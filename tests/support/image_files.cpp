#include "support/image_files.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/test_support.h"

namespace folvane::test {

using codec::Rgb;

namespace {

void put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void writeBmp(const std::filesystem::path& path, int width, int height, int bits, const std::vector<uint32_t>& palette,
              const std::function<void(std::string&, int, int)>& pixel)
{
    size_t rowBytes = (static_cast<size_t>(width) * static_cast<size_t>(bits) / 8 + 3) & ~size_t(3);
    uint32_t offset = 54 + static_cast<uint32_t>(palette.size()) * 4;
    std::string out = "BM";
    put32(out, offset + static_cast<uint32_t>(rowBytes * static_cast<size_t>(height)));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(rowBytes * static_cast<size_t>(height)));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, static_cast<uint32_t>(palette.size()));
    put32(out, 0);
    for (uint32_t c : palette)
        put32(out, c);
    for (int y = height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < width; ++x)
            pixel(out, x, y);
        out.append(rowBytes - (out.size() - start), '\0');
    }
    writeFileBytes(path, out);
}

} // namespace

std::vector<uint8_t> patternBytes(size_t count, unsigned seed)
{
    std::vector<uint8_t> bytes(count);
    uint32_t state = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

void writeBmp24(const std::filesystem::path& path, int width, int height, const PixelFn& pixel)
{
    writeBmp(path, width, height, 24, {}, [&](std::string& out, int x, int y) {
        uint32_t c = pixel(x, y);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
        out += static_cast<char>((c >> 16) & 0xFF);
    });
}

void writeBmp8(const std::filesystem::path& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::function<uint8_t(int, int)>& index)
{
    writeBmp(path, width, height, 8, palette, [&](std::string& out, int x, int y) { out += static_cast<char>(index(x, y)); });
}

namespace {

void pngAppend(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}

} // namespace

Bytes makePng(int width, int height, int colourType, int depth, const std::vector<Bytes>& rows,
              const std::vector<Rgb>& palette, const Bytes& trns, bool interlaced)
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
    png_set_IHDR(png, info, width, height, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
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
    int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (const Bytes& row : rows)
            png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<PngChunk> pngChunks(const Bytes& png)
{
    std::vector<PngChunk> chunks;
    for (size_t pos = 8; pos + 12 <= png.size();) {
        size_t length = size_t{png[pos]} << 24 | size_t{png[pos + 1]} << 16 | size_t{png[pos + 2]} << 8 | png[pos + 3];
        if (length > png.size() - pos - 12)
            break;
        auto data = png.begin() + static_cast<std::ptrdiff_t>(pos + 8);
        chunks.push_back({std::string(png.begin() + static_cast<std::ptrdiff_t>(pos + 4), data),
                          Bytes(data, data + static_cast<std::ptrdiff_t>(length))});
        pos += 12 + length;
    }
    return chunks;
}

Bytes joinPngChunks(const std::vector<PngChunk>& chunks)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto put32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(v >> shift));
    };
    for (const PngChunk& chunk : chunks) {
        put32(static_cast<uint32_t>(chunk.data.size()));
        Bytes typed(chunk.type.begin(), chunk.type.end());
        typed.insert(typed.end(), chunk.data.begin(), chunk.data.end());
        out.insert(out.end(), typed.begin(), typed.end());
        put32(static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
    }
    return out;
}

void writePngGray(const std::filesystem::path& path, int width, int height, const std::function<uint8_t(int, int)>& value)
{
    std::vector<Bytes> rows(static_cast<size_t>(height), Bytes(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = value(x, y);
    Bytes png = makePng(width, height, PNG_COLOR_TYPE_GRAY, 8, rows);
    writeFileBytes(path, std::string(png.begin(), png.end()));
}

TiffDirectory patternPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t samplesPerPixel,
                     uint16_t photometric, uint16_t compression, unsigned seed)
{
    TiffDirectory page;
    page.width = width;
    page.height = height;
    page.bits = bits;
    page.samplesPerPixel = samplesPerPixel;
    page.photometric = photometric;
    page.compression = compression;
    page.data = patternBytes(page.rowBytes() * height, seed);
    return page;
}

namespace {

void setFields(TIFF* tif, const TiffDirectory& p)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.planar);
    if (p.fillOrder != FILLORDER_MSB2LSB)
        TIFFSetField(tif, TIFFTAG_FILLORDER, p.fillOrder);
    if (p.predictor != PREDICTOR_NONE)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, p.predictor);
    if (p.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, p.group3Options);
    if (p.inkSet >= 0)
        TIFFSetField(tif, TIFFTAG_INKSET, static_cast<uint16_t>(p.inkSet));
    if (!p.extraSamples.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(p.extraSamples.size()), p.extraSamples.data());
    if (!p.colormap.empty()) {
        size_t n = p.colormap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + n, p.colormap.data() + 2 * n);
    }
    if (p.xResolution > 0)
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xResolution);
    if (p.yResolution > 0)
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yResolution);
    if (p.resolutionUnit >= 0)
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, static_cast<uint16_t>(p.resolutionUnit));
    if (p.tileSize) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tileSize);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tileSize);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : p.height);
    }
}

bool writeTiles(TIFF* tif, const TiffDirectory& p)
{
    size_t pixelBits = size_t{p.samplesPerPixel} * p.bits;
    size_t tileRow = p.tileSize * pixelBits / 8;
    std::vector<uint8_t> tile(tileRow * p.tileSize);
    for (uint32_t ty = 0; ty < p.height; ty += p.tileSize) {
        for (uint32_t tx = 0; tx < p.width; tx += p.tileSize) {
            std::fill(tile.begin(), tile.end(), 0);
            size_t start = tx * pixelBits / 8;
            size_t count = std::min(tileRow, p.rowBytes() - start);
            for (uint32_t y = 0; y < p.tileSize && ty + y < p.height; ++y)
                std::memcpy(tile.data() + y * tileRow, p.data.data() + (ty + y) * p.rowBytes() + start, count);
            if (TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0) < 0)
                return false;
        }
    }
    return true;
}

bool writeRows(TIFF* tif, const TiffDirectory& p)
{
    if (p.planar == PLANARCONFIG_SEPARATE) {
        std::vector<uint8_t> plane(p.width);
        for (uint16_t s = 0; s < p.samplesPerPixel; ++s) {
            for (uint32_t y = 0; y < p.height; ++y) {
                for (uint32_t x = 0; x < p.width; ++x)
                    plane[x] = p.data[y * p.rowBytes() + x * p.samplesPerPixel + s];
                if (TIFFWriteScanline(tif, plane.data(), y, s) < 0)
                    return false;
            }
        }
        return true;
    }
    std::vector<uint8_t> row(p.rowBytes());
    for (uint32_t y = 0; y < p.height; ++y) {
        std::memcpy(row.data(), p.data.data() + y * p.rowBytes(), row.size());
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
            return false;
    }
    return true;
}

} // namespace

bool writeTiff(const std::filesystem::path& path, const std::vector<TiffDirectory>& pages)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    bool ok = true;
    for (const TiffDirectory& p : pages) {
        setFields(tif, p);
        ok = ok && (p.tileSize ? writeTiles(tif, p) : writeRows(tif, p));
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}

void writeTiff(const std::filesystem::path& path, const std::vector<TiffPage>& pages)
{
    std::vector<TiffDirectory> directories;
    for (const TiffPage& p : pages) {
        TiffDirectory d;
        d.width = static_cast<uint32_t>(p.width);
        d.height = static_cast<uint32_t>(p.height);
        d.bits = static_cast<uint16_t>(p.bitsPerSample);
        d.samplesPerPixel = static_cast<uint16_t>(p.samples);
        d.photometric = static_cast<uint16_t>(p.photometric);
        d.compression = static_cast<uint16_t>(p.compression);
        d.xResolution = 72.0f;
        d.yResolution = 72.0f;
        d.resolutionUnit = RESUNIT_INCH;
        d.data.assign(d.rowBytes() * d.height, 0);
        for (int y = 0; y < p.height; ++y) {
            uint8_t* row = d.data.data() + static_cast<size_t>(y) * d.rowBytes();
            for (int x = 0; x < p.width; ++x) {
                for (int s = 0; s < p.samples; ++s) {
                    uint8_t v = p.value(x, y, s);
                    if (p.bitsPerSample == 1) {
                        if (v)
                            row[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                    } else {
                        row[static_cast<size_t>(x * p.samples + s)] = v;
                    }
                }
            }
        }
        directories.push_back(std::move(d));
    }
    writeTiff(path, directories);
}

std::string makeJpeg(const JpegSpec& spec)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(spec.width);
    c.image_height = static_cast<JDIMENSION>(spec.height);
    c.input_components = spec.components;
    c.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, spec.quality, TRUE);
    if (spec.components == 4)
        c.write_Adobe_marker = spec.adobeMarker ? TRUE : FALSE;
    c.write_JFIF_header = spec.jfif ? TRUE : FALSE;
    c.density_unit = static_cast<UINT8>(spec.densityUnit);
    c.X_density = static_cast<UINT16>(spec.xDensity);
    c.Y_density = static_cast<UINT16>(spec.yDensity);
    if (spec.progressive)
        jpeg_simple_progression(&c);
    c.arith_code = spec.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    for (const auto& [code, payload] : spec.markers)
        jpeg_write_marker(&c, code, reinterpret_cast<const JOCTET*>(payload.data()),
                          static_cast<unsigned>(payload.size()));
    auto rowBytes = static_cast<size_t>(spec.width * spec.components);
    std::vector<uint8_t> pixels = patternBytes(rowBytes * static_cast<size_t>(spec.height), 7);
    if (spec.sample)
        for (int y = 0; y < spec.height; ++y)
            for (int x = 0; x < spec.width; ++x)
                for (int k = 0; k < spec.components; ++k)
                    pixels[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x * spec.components + k)] = spec.sample(x, y, k);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = pixels.data() + c.next_scanline * rowBytes;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    jpeg_destroy_compress(&c);
    return bytes;
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
} // namespace folvane::test
