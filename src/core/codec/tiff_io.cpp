// TIFF through libtiff: decoding one page, writing single-page files with a chosen compression,
// and page count and size without decoding. Every file gets its own silent error and warning
// handlers, so a damaged file is a failure result and nothing is printed.
#include <cstdarg>
#include <cstring>
#include <vector>

#include <tiffio.h>
#include <unistd.h>

#include "codec_internal.h"
#include "group4_encoder.h"
#include "codec/image_codec.h"
#include "orientation.h"
#include "tiff_frame_index.h"
#include "tiff_handles.h"

namespace folvane::codec {

namespace {

using namespace tiffhandles;


// --- reading from memory ---

struct MemorySource {
    std::span<const uint8_t> data;
    toff_t pos = 0;
};

tmsize_t memRead(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* src = static_cast<MemorySource*>(handle);
    if (size <= 0 || src->pos >= src->data.size())
        return 0;
    size_t n = std::min(static_cast<size_t>(size), static_cast<size_t>(src->data.size() - src->pos));
    std::memcpy(buffer, src->data.data() + src->pos, n);
    src->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t memSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* src = static_cast<MemorySource*>(handle);
    uint64_t base = whence == SEEK_CUR ? src->pos : whence == SEEK_END ? src->data.size() : 0;
    uint64_t target = base + offset;
    if (target < base)
        return static_cast<toff_t>(-1);
    src->pos = target;
    return target;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t handle) { return static_cast<MemorySource*>(handle)->data.size(); }

int memMap(thandle_t handle, void** base, toff_t* size)
{
    auto* src = static_cast<MemorySource*>(handle);
    *base = const_cast<uint8_t*>(src->data.data());
    *size = src->data.size();
    return 1;
}

void memUnmap(thandle_t, void*, toff_t) {}

TIFF* openMemory(MemorySource& source, const Options& options)
{
    return TIFFClientOpenExt("memory", "rm", &source, memRead, memWrite, memSeek, memClose, memSize, memMap,
                             memUnmap, options.get());
}

struct PageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bps = 1;
    uint16_t spp = 1;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t extraSamples = 0;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    bool tiled = false;
};

bool readPageInfo(TIFF* tif, PageInfo& page)
{
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &page.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &page.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &page.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &page.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &page.sampleFormat);
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &page.extraSamples, &extra);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &page.photometric))
        page.photometric = page.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    page.tiled = TIFFIsTiled(tif) != 0;
    return page.width > 0 && page.height > 0;
}

bool isGrayPhotometric(uint16_t photometric)
{
    return photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
}

bool scanlinesApply(const PageInfo& page);

bool isBilevel(const PageInfo& page)
{
    return page.spp == 1 && page.bps == 1 &&
           (isGrayPhotometric(page.photometric) || page.photometric == PHOTOMETRIC_PALETTE);
}

// The depth the decoded frame will have.
int frameDepth(const PageInfo& page)
{
    if (isBilevel(page))
        return 1;
    if (!scanlinesApply(page))
        return 24;
    if (page.photometric == PHOTOMETRIC_PALETTE && page.bps == 4)
        return 4;
    return page.spp == 1 ? 8 : 24;
}

bool readColourMap(TIFF* tif, const PageInfo& page, Bitmap& bitmap)
{
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        return false;
    const size_t count = size_t(1) << page.bps;
    // Some writers store 8-bit values in the 16-bit map.
    bool eightBit = true;
    for (size_t i = 0; i < count; ++i)
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255)
            eightBit = false;
    auto scale = [eightBit](uint16_t v) { return static_cast<uint8_t>(eightBit ? v : v / 257); };
    for (size_t i = 0; i < count; ++i)
        bitmap.palette().push_back({scale(red[i]), scale(green[i]), scale(blue[i])});
    return true;
}

// Strip-organised pages of the common kinds are read scanline by scanline, keeping their depth.
bool readScanlines(TIFF* tif, const PageInfo& page, Bitmap& bitmap)
{
    const int depth = frameDepth(page);
    const bool palette = page.photometric == PHOTOMETRIC_PALETTE;
    if (!bitmap.create(static_cast<int>(page.width), static_cast<int>(page.height), depth))
        return false;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0)
        return false;
    std::vector<uint8_t> line(static_cast<size_t>(lineSize));
    const int w = bitmap.width();
    const unsigned maxValue = (1u << page.bps) - 1;
    for (int y = 0; y < bitmap.height(); ++y) {
        if (TIFFReadScanline(tif, line.data(), static_cast<uint32_t>(y), 0) < 0)
            return false;
        uint8_t* out = bitmap.row(y);
        if (depth == 24) {
            std::memcpy(out, line.data(), static_cast<size_t>(w) * 3);
        } else if (depth == 1 || depth == 4 || (depth == 8 && page.bps == 8)) {
            std::memcpy(out, line.data(), std::min(static_cast<size_t>(lineSize), bitmap.stride()));
        } else if (page.bps == 16) {
            const auto* samples = reinterpret_cast<const uint16_t*>(line.data());
            for (int x = 0; x < w; ++x)
                out[x] = static_cast<uint8_t>((samples[x] + 128u) / 257u);
        } else { // 2 bits, or other depths below 8: one index or level per byte
            for (int x = 0; x < w; ++x) {
                const uint64_t bit = static_cast<uint64_t>(x) * page.bps;
                unsigned v = line[bit / 8];
                v = (v >> (8 - page.bps - bit % 8)) & maxValue;
                out[x] = static_cast<uint8_t>(palette ? v : v * 255 / maxValue);
            }
        }
    }
    if (palette) {
        if (!readColourMap(tif, page, bitmap))
            return false;
    } else if (depth != 24) {
        bitmap.setGrayPalette();
        if (depth == 1 && page.photometric == PHOTOMETRIC_MINISBLACK)
            bitmap.palette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
        // Min-is-white gray keeps the identity ramp: the values are inverted instead.
        if (depth == 8 && page.photometric == PHOTOMETRIC_MINISWHITE)
            for (int y = 0; y < bitmap.height(); ++y)
                for (int x = 0; x < w; ++x)
                    bitmap.row(y)[x] = static_cast<uint8_t>(255 - bitmap.row(y)[x]);
    }
    return depth != 1 || normalizeBilevel(bitmap);
}

bool scanlinesApply(const PageInfo& page)
{
    if (page.tiled || page.orientation != ORIENTATION_TOPLEFT || page.sampleFormat != SAMPLEFORMAT_UINT)
        return false;
    if (page.spp == 1 && page.extraSamples == 0) {
        if (isGrayPhotometric(page.photometric))
            return page.bps == 1 || page.bps == 2 || page.bps == 4 || page.bps == 8 || page.bps == 16;
        if (page.photometric == PHOTOMETRIC_PALETTE)
            return page.bps == 1 || page.bps == 2 || page.bps == 4 || page.bps == 8;
    }
    return page.spp == 3 && page.bps == 8 && page.photometric == PHOTOMETRIC_RGB && page.planar == PLANARCONFIG_CONTIG;
}

// The stored pixels in stored order: asking for the file's own orientation makes libtiff flip
// nothing (it only knows flips, not the turns of orientations 5 to 8).
bool readRgbaRaster(TIFF* tif, const PageInfo& page, std::vector<uint32_t>& raster, std::string& reason)
{
    char message[1024] = {};
    TIFFRGBAImage image {};
    if (!TIFFRGBAImageBegin(&image, tif, 1, message)) {
        reason = std::string("unsupported TIFF variant: ") + message;
        return false;
    }
    image.req_orientation = image.orientation;
    bool ok = TIFFRGBAImageGet(&image, raster.data(), page.width, page.height) != 0;
    TIFFRGBAImageEnd(&image);
    return ok;
}

// A raster of premultiplied RGBA as a 32-bit frame with straight alpha; a frame whose every
// pixel is opaque becomes 24 bits.
bool keepAlphaOf(const std::vector<uint32_t>& raster, const PageInfo& page, Bitmap& bitmap)
{
    if (!bitmap.create(static_cast<int>(page.width), static_cast<int>(page.height), 32))
        return false;
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* out = bitmap.row(static_cast<int>(y));
        const uint32_t* in = raster.data() + static_cast<size_t>(y) * page.width;
        for (uint32_t x = 0; x < page.width; ++x) {
            const unsigned alpha = TIFFGetA(in[x]);
            const unsigned channel[3] = {TIFFGetR(in[x]), TIFFGetG(in[x]), TIFFGetB(in[x])};
            for (int c = 0; c < 3; ++c)
                out[4 * x + c] = static_cast<uint8_t>(alpha == 0 ? 0 : std::min(255u, (channel[c] * 255 + alpha / 2) / alpha));
            out[4 * x + 3] = static_cast<uint8_t>(alpha);
        }
    }
    return dropUnusedAlpha(bitmap, false) && applyOrientation(bitmap, page.orientation);
}

// Everything else goes through libtiff's RGBA reader (YCbCr, CMYK, Lab, tiles, 16-bit colour,
// alpha, orientations); alpha comes back premultiplied and is composited onto white here (or
// kept when asked), and the frame is turned upright by its Orientation tag.
bool readRgba(TIFF* tif, const PageInfo& page, bool keepAlpha, Bitmap& bitmap, std::string& reason)
{
    if (page.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        reason = "TIFF with floating-point samples is not supported";
        return false;
    }
    if (!frameSizeAllowed(page.width, page.height, 32))
        return false;
    std::vector<uint32_t> raster;
    try {
        raster.resize(static_cast<size_t>(page.width) * page.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!readRgbaRaster(tif, page, raster, reason))
        return false;
    if (keepAlpha && page.extraSamples > 0)
        return keepAlphaOf(raster, page, bitmap);
    if (!bitmap.create(static_cast<int>(page.width), static_cast<int>(page.height), 24))
        return false;
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* out = bitmap.row(static_cast<int>(y));
        const uint32_t* in = raster.data() + static_cast<size_t>(y) * page.width;
        for (uint32_t x = 0; x < page.width; ++x) {
            const unsigned white = 255 - TIFFGetA(in[x]);
            out[3 * x] = static_cast<uint8_t>(std::min(255u, TIFFGetR(in[x]) + white));
            out[3 * x + 1] = static_cast<uint8_t>(std::min(255u, TIFFGetG(in[x]) + white));
            out[3 * x + 2] = static_cast<uint8_t>(std::min(255u, TIFFGetB(in[x]) + white));
        }
    }
    if (frameDepth(page) == 1) { // bilevel page stored in tiles or turned: back to one bit
        Bitmap bilevel;
        if (!bilevel.create(bitmap.width(), bitmap.height(), 1))
            return false;
        bilevel.setGrayPalette();
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x) {
                const uint8_t* p = bitmap.row(y) + 3 * x;
                bilevel.setIndex(y, x, grayOf(p[0], p[1], p[2]) < 128 ? 1 : 0);
            }
        bitmap = std::move(bilevel);
    }
    return applyOrientation(bitmap, page.orientation);
}

} // namespace

bool readTiff(const LoadRequest& request, LoadResult& result)
{
    Options options;
    MemorySource source{request.data, 0};
    TiffFile file(openMemory(source, options));
    TIFF* tif = file.get();
    if (!tif)
        return false;
    const tdir_t pages = TIFFNumberOfDirectories(tif);
    if (pages == 0 || request.frame < 0 || static_cast<tdir_t>(request.frame) >= pages)
        return false;
    if (!TIFFSetDirectory(tif, static_cast<tdir_t>(request.frame)))
        return false;
    result.frameCount = static_cast<int>(pages);
    PageInfo page;
    if (!readPageInfo(tif, page) || !frameSizeAllowed(page.width, page.height, frameDepth(page)))
        return false;
    if (request.headerOnly) {
        const bool turned = page.orientation >= ORIENTATION_LEFTTOP && page.orientation <= ORIENTATION_LEFTBOT;
        return finishLoad(result, static_cast<int>(turned ? page.height : page.width),
                          static_cast<int>(turned ? page.width : page.height), frameDepth(page));
    }
    bool ok = scanlinesApply(page) ? readScanlines(tif, page, result.bitmap)
                                   : readRgba(tif, page, request.keepAlpha, result.bitmap, result.reason);
    if (!ok) {
        result.bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

int tiffPageCount(const std::string& path)
{
    return tiffFrameIndex(path).count;
}

bool tiffPageSize(const std::string& path, int page, int& width, int& height)
{
    const TiffFrameIndex& index = tiffFrameIndex(path);
    if (page < 0 || page >= index.count)
        return false;
    TiffFrameEntry entry;
    if (static_cast<size_t>(page) < index.frames.size()) {
        entry = index.frames[static_cast<size_t>(page)];
    } else {
        Options options;
        TiffFile file(openTiffFrame(path, page, options));
        if (!file.get() || !TIFFGetField(file.get(), TIFFTAG_IMAGEWIDTH, &entry.width) ||
            !TIFFGetField(file.get(), TIFFTAG_IMAGELENGTH, &entry.height))
            return false;
        TIFFGetFieldDefaulted(file.get(), TIFFTAG_ORIENTATION, &entry.orientation);
    }
    uint32_t w = entry.width, h = entry.height;
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        return false;
    if (entry.orientation >= ORIENTATION_LEFTTOP && entry.orientation <= ORIENTATION_LEFTBOT)
        std::swap(w, h); // shown turned by a quarter
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// --- writing ---

namespace {

using namespace tiffhandles;

enum class Layout { Bilevel, Gray, Palette, Rgb };

int defaultCompression(int bpp)
{
    switch (bpp) {
    case 1: return COMPRESSION_CCITTFAX4;
    case 4:
    case 8: return COMPRESSION_LZW;
    case 24:
    case 32: return COMPRESSION_JPEG;
    default: return COMPRESSION_NONE;
    }
}

// Which sample layout a frame is written in for a compression: JPEG needs 8-bit gray or RGB
// samples, and CCITT applies to bilevel data only (other frames fall back to LZW).
Layout chooseLayout(const Bitmap& bitmap, int& compression)
{
    const bool gray = isGrayscalePalette(bitmap);
    const bool jpeg = compression == COMPRESSION_JPEG;
    if (bitmap.bitsPerPixel() == 1)
        return jpeg ? Layout::Gray : Layout::Bilevel;
    if (compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4)
        compression = COMPRESSION_LZW;
    if (gray)
        return Layout::Gray;
    if (bitmap.bitsPerPixel() <= 8)
        return jpeg ? Layout::Rgb : Layout::Palette;
    return Layout::Rgb;
}

// A 1-bit row with bit 1 = black whatever the frame's palette order.
void bilevelRow(const Bitmap& bitmap, int y, bool invert, uint8_t* out)
{
    const size_t bytes = (static_cast<size_t>(bitmap.width()) + 7) / 8;
    const uint8_t* in = bitmap.row(y);
    for (size_t i = 0; i < bytes; ++i)
        out[i] = invert ? static_cast<uint8_t>(~in[i]) : in[i];
    if (bitmap.width() % 8)
        out[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - bitmap.width() % 8));
}

// The whole page as one Group 4 strip from our own encoder, which writes the bytes libtiff's
// would, only faster.
bool writeGroup4Strip(TIFF* tif, const Bitmap& bitmap, bool invert)
{
    std::vector<uint8_t> strip;
    if (!encodeGroup4(bitmap, invert, strip))
        return false;
    const auto size = static_cast<tmsize_t>(strip.size());
    return TIFFWriteRawStrip(tif, 0, strip.data(), size) == size;
}

bool writeRows(TIFF* tif, const Bitmap& bitmap, Layout layout)
{
    const int w = bitmap.width();
    bool invert = false;
    if (layout == Layout::Bilevel) {
        Rgb a = bitmap.colour(0), b = bitmap.colour(1);
        invert = grayOf(b.r, b.g, b.b) > grayOf(a.r, a.g, a.b); // index 0 is the darker one
        uint16_t compression = COMPRESSION_NONE;
        if (TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression) && compression == COMPRESSION_CCITTFAX4)
            return writeGroup4Strip(tif, bitmap, invert);
    }
    std::vector<uint8_t> line(static_cast<size_t>(w) * 3 + 4);
    for (int y = 0; y < bitmap.height(); ++y) {
        switch (layout) {
        case Layout::Bilevel: bilevelRow(bitmap, y, invert, line.data()); break;
        case Layout::Gray: rowToGray(bitmap, y, line.data()); break;
        case Layout::Rgb: rowToRgb(bitmap, y, line.data()); break;
        case Layout::Palette:
            std::memcpy(line.data(), bitmap.row(y), (static_cast<size_t>(w) * bitmap.bitsPerPixel() + 7) / 8);
            break;
        }
        if (TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0) < 0)
            return false;
    }
    return true;
}

bool writeTiff(TIFF* tif, const Bitmap& bitmap, int compression, int jpegQuality)
{
    const Layout layout = chooseLayout(bitmap, compression);
    if (!TIFFIsCODECConfigured(static_cast<uint16_t>(compression)))
        return false;
    const uint16_t bps = layout == Layout::Bilevel ? 1 : layout == Layout::Palette ? static_cast<uint16_t>(bitmap.bitsPerPixel()) : 8;
    const uint16_t spp = layout == Layout::Rgb ? 3 : 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    if (layout == Layout::Bilevel)
        photometric = PHOTOMETRIC_MINISWHITE;
    else if (layout == Layout::Palette)
        photometric = PHOTOMETRIC_PALETTE;
    else if (layout == Layout::Rgb)
        photometric = compression == COMPRESSION_JPEG ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;

    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bitmap.width())) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bitmap.height())) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<uint16_t>(compression)) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
              // One strip per page: the PDF importer makes one image object per strip.
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(bitmap.height()));
    if (!ok)
        return false;
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, jpegQuality);
        if (photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (layout == Layout::Palette) {
        const size_t count = size_t(1) << bps;
        std::vector<uint16_t> r(count), g(count), b(count);
        for (size_t i = 0; i < count; ++i) {
            Rgb c = bitmap.colour(static_cast<unsigned>(i));
            r[i] = static_cast<uint16_t>(c.r * 257);
            g[i] = static_cast<uint16_t>(c.g * 257);
            b[i] = static_cast<uint16_t>(c.b * 257);
        }
        if (!TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data()))
            return false;
    }
    return writeRows(tif, bitmap, layout);
}

} // namespace

bool writeTiffFile(const Bitmap& bitmap, const std::string& path, int compression, int jpegQuality)
{
    if (bitmap.empty() || jpegQuality < 1 || jpegQuality > 100)
        return false;
    if (compression == kCompressionOldJpeg)
        compression = COMPRESSION_JPEG;
    if (compression == kCompressionDefault)
        compression = defaultCompression(bitmap.bitsPerPixel());
    Options options;
    int fd = openForOverwrite(path);
    if (fd < 0)
        return false;
    TiffFile file(TIFFFdOpenExt(fd, path.c_str(), "w", options.get())); // closes fd from now on
    if (!file.get()) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    bool ok = writeTiff(file.get(), bitmap, compression, jpegQuality);
    ok = file.close() && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

} // namespace folvane::codec
