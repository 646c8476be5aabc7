// The TIFF importer. Strips whose compression a PDF filter understands (CCITT fax, LZW, Deflate,
// PackBits) are copied into the PDF as stored, one XObject per strip; everything else is decoded
// by libtiff and written as 8-bit samples. libtiff's messages never reach the terminal: its
// handlers are replaced for each file, and an error while reading makes the import fail.
// libtiff allocates its own working memory; what the importer keeps (the strip buffer, a decoded
// image) comes from the document's hooks.
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <memory>

#include <sys/stat.h>
#include <tiffio.h>

#include "image_import.h"
#include "tiff_file.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

// A decoded image may expand its file by this factor at most; small files get a fixed allowance.
constexpr uint64_t kExpansionPerFileByte = 4096;
constexpr uint64_t kSmallFileAllowance = uint64_t{64} << 20;
// No single allocation inside libtiff may exceed this.
constexpr auto kLibraryAllocationLimit = static_cast<tmsize_t>(limits::kMaxAllocationBytes);

constexpr uint16_t kCompressionDeflateOld = 32946;

int recordError(TIFF*, void* user, const char*, const char*, va_list)
{
    *static_cast<bool*>(user) = true;
    return 1; // handled: the process-wide handlers stay silent
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

// The directory fields the importer works with.
struct TiffImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;
    uint16_t samples = 1;
    uint16_t photometric = 0;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t fillOrder = FILLORDER_MSB2LSB;
    uint16_t extraSamples = 0;
    uint16_t inkSet = INKSET_CMYK;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    bool tiled = false;
    double resolutionX = 0;
    double resolutionY = 0;
};

double resolutionValue(TIFF* tif, ttag_t tag, uint16_t unit)
{
    float value = 0;
    if (!TIFFGetField(tif, tag, &value) || !(value > 0) || !std::isfinite(value))
        return 0;
    switch (unit) {
    case RESUNIT_INCH:
        return value;
    case RESUNIT_CENTIMETER:
        return value * 2.54;
    case RESUNIT_NONE:
        return -static_cast<double>(value); // aspect ratio only
    default:
        return 0;
    }
}

bool readImage(TIFF* tif, TiffImage* image)
{
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image->width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image->height))
        return false;
    if (image->width == 0 || image->height == 0 || image->width > INT_MAX || image->height > INT_MAX)
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &image->bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &image->samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &image->compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &image->planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &image->fillOrder);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &image->inkSet);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &image->sampleFormat);
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &image->extraSamples, &extraTypes);
    image->tiled = TIFFIsTiled(tif) != 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    image->resolutionX = resolutionValue(tif, TIFFTAG_XRESOLUTION, unit);
    image->resolutionY = resolutionValue(tif, TIFFTAG_YRESOLUTION, unit);
    return TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &image->photometric) != 0;
}

bool isCcitt(uint16_t compression)
{
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4;
}

void appendParam(ImageSlot* slot, const char* text)
{
    size_t used = std::strlen(slot->decodeParams);
    std::snprintf(slot->decodeParams + used, sizeof slot->decodeParams - used, "%s", text);
}

// CCITT data are described by their coding scheme; the sample meaning follows the photometric
// interpretation. The filter yields 0 for black runs unless told that black is 1, and min-is-black
// files code their 0 samples as white runs, so those need black-is-1 (or an inverting decode).
void describeCcitt(TIFF* tif, const TiffImage& image, ImageSlot* slot)
{
    slot->filter = kFilterCcitt;
    bool minIsBlack = image.photometric == PHOTOMETRIC_MINISBLACK;
    switch (image.compression) {
    case COMPRESSION_CCITTFAX3: {
        uint32_t options = 0;
        TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &options);
        if (options & GROUP3OPT_2DENCODING)
            appendParam(slot, "/K 1 ");
        // Group 3 data never carry black-is-1; an inverting decode gives the same samples.
        slot->invert = minIsBlack;
        break;
    }
    case COMPRESSION_CCITTFAX4:
        appendParam(slot, "/K -1 ");
        if (minIsBlack)
            appendParam(slot, "/BlackIs1 true ");
        break;
    default: // modified Huffman: one-dimensional rows starting on byte boundaries
        appendParam(slot, "/K 0 /EncodedByteAlign true ");
        if (minIsBlack)
            appendParam(slot, "/BlackIs1 true ");
        break;
    }
}

bool describePalette(TIFF* tif, const TiffImage& image, ImageSlot* slot)
{
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (image.samples != 1 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        return false;
    int count = 1 << image.bits;
    bool wide = false;
    for (int i = 0; i < count; ++i)
        wide = wide || red[i] > 255 || green[i] > 255 || blue[i] > 255;
    // 16-bit maps are scaled down; some writers store 8-bit values in them, which are kept.
    auto reduce = [wide](uint16_t v) { return static_cast<uint8_t>(wide ? v * 255 / 65535 : v); };
    for (int i = 0; i < count; ++i) {
        slot->palette[3 * i] = reduce(red[i]);
        slot->palette[3 * i + 1] = reduce(green[i]);
        slot->palette[3 * i + 2] = reduce(blue[i]);
    }
    slot->paletteCount = count;
    slot->colorSpace = kImageIndexed;
    slot->components = 1;
    return true;
}

// 16-bit unsigned gray or RGB samples in strips, one plane, nothing else: read scanline by
// scanline and written with 16 bits per sample, most significant byte first.
bool sixteenBitPlain(const TiffImage& image)
{
    return image.bits == 16 && image.sampleFormat == SAMPLEFORMAT_UINT && !image.tiled && image.extraSamples == 0 &&
           image.planar == PLANARCONFIG_CONTIG &&
           ((image.samples == 1 &&
             (image.photometric == PHOTOMETRIC_MINISBLACK || image.photometric == PHOTOMETRIC_MINISWHITE)) ||
            (image.samples == 3 && image.photometric == PHOTOMETRIC_RGB));
}

// Fills the slot for data copied as stored. False when the image must be decoded instead.
// *refused is set when the image cannot be imported at all.
bool describePassthrough(TIFF* tif, const TiffImage& image, ImageSlot* slot, bool* refused)
{
    if (image.bits == 16)
        return false; // stored in the file's byte order, which need not be the PDF's
    bool plain = !image.tiled && image.extraSamples == 0 &&
                 !(image.planar == PLANARCONFIG_SEPARATE && image.samples > 1);
    if (isCcitt(image.compression)) {
        if (image.tiled || image.samples != 1 || image.bits != 1 ||
            (image.photometric != PHOTOMETRIC_MINISWHITE && image.photometric != PHOTOMETRIC_MINISBLACK))
            return false;
        describeCcitt(tif, image, slot);
        slot->colorSpace = kImageGray;
        slot->components = 1;
        return true;
    }
    switch (image.compression) {
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case kCompressionDeflateOld: {
        uint16_t predictor = PREDICTOR_NONE;
        TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
        if (predictor != PREDICTOR_NONE && predictor != PREDICTOR_HORIZONTAL) {
            *refused = true;
            return false;
        }
        slot->predictor = predictor;
        slot->filter = image.compression == COMPRESSION_LZW ? kFilterLzw : kFilterFlate;
        break;
    }
    case COMPRESSION_PACKBITS:
        slot->filter = kFilterRunLength;
        break;
    default:
        return false;
    }
    // Tiles, extra samples and separate planes have no counterpart in an image XObject's
    // stream; such images are decoded instead.
    if (!plain)
        return false;

    if (image.photometric == PHOTOMETRIC_PALETTE) {
        if (!describePalette(tif, image, slot))
            *refused = true;
        return !*refused;
    }
    slot->components = image.samples;
    if (image.samples == 1) {
        slot->colorSpace = kImageGray;
    } else if (image.samples == 3) {
        slot->colorSpace = kImageRgb;
    } else if (image.samples == 4 && image.photometric == PHOTOMETRIC_SEPARATED) {
        if (image.inkSet != INKSET_CMYK)
            *refused = true;
        slot->colorSpace = kImageCmyk;
    } else if (image.samples == 4) {
        return false;
    } else {
        *refused = true;
    }
    // Deflate data keep their samples: min-is-white frames saved with Deflate are negated first.
    slot->invert = image.photometric == PHOTOMETRIC_MINISWHITE && slot->filter != kFilterFlate;
    return !*refused;
}

// Raw strips of a passed-through image, one XObject each; every strip's extent is checked
// against the file before anything is written.
class StripSource : public ImageSource {
public:
    StripSource(PdfDocument* doc, TIFF* tif, bool reverseBits) : m_doc(doc), m_tif(tif), m_reverse(reverseBits) {}

    bool openPart(int part) override
    {
        auto strip = static_cast<uint32_t>(part);
        uint64_t count = TIFFGetStrileByteCount(m_tif, strip);
        m_bytes = growStripBuffer(m_doc, static_cast<size_t>(count));
        if (!m_bytes)
            return false;
        tmsize_t read = TIFFReadRawStrip(m_tif, strip, m_bytes, static_cast<tmsize_t>(count));
        if (read < 0 || static_cast<uint64_t>(read) != count)
            return false;
        if (m_reverse)
            TIFFReverseBits(m_bytes, read);
        m_length = static_cast<size_t>(count);
        return true;
    }

    size_t nextChunk(const uint8_t** bytes) override
    {
        *bytes = m_bytes;
        size_t length = m_length;
        m_length = 0;
        return length;
    }

private:
    PdfDocument* m_doc;
    TIFF* m_tif;
    bool m_reverse;
    uint8_t* m_bytes = nullptr;
    size_t m_length = 0;
};

bool planStrips(const TiffFile& file, const TiffImage& image, ImageSlot* slot)
{
    TIFF* tif = file.tif();
    uint32_t rowsPerStrip = image.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > image.height)
        rowsPerStrip = image.height;
    uint32_t strips = image.height / rowsPerStrip + (image.height % rowsPerStrip ? 1 : 0);
    if (TIFFNumberOfStrips(tif) < strips)
        return false;
    auto fileSize = static_cast<uint64_t>(file.size());
    for (uint32_t k = 0; k < strips; ++k) {
        uint64_t offset = TIFFGetStrileOffset(tif, k);
        uint64_t count = TIFFGetStrileByteCount(tif, k);
        if (count == 0 || offset > fileSize || count > fileSize - offset)
            return false;
    }
    slot->stripCount = static_cast<int>(strips);
    slot->rowsPerStrip = static_cast<int>(rowsPerStrip);
    return true;
}

// Decoded samples, held once for the whole image and handed out row by row.
class DecodedSource : public ImageSource {
public:
    DecodedSource(PdfDocument* doc) : m_doc(doc) {}
    DecodedSource(const DecodedSource&) = delete;
    DecodedSource& operator=(const DecodedSource&) = delete;
    ~DecodedSource() { release(); }

    // An RGBA raster (one 32-bit word per pixel, top row first) emitted as `components` bytes
    // per pixel: R, G, B, or the R byte alone for gray.
    bool readRaster(TiffFile& file, const TiffImage& image, int components)
    {
        char message[1024];
        uint64_t pixels = uint64_t{image.width} * image.height;
        if (!TIFFRGBAImageOK(file.tif(), message) || !allocate(file, pixels * 4))
            return false;
        m_width = image.width;
        m_rows = image.height;
        m_components = components;
        m_rowBytes = 0;
        return TIFFReadRGBAImageOriented(file.tif(), image.width, image.height,
                                         reinterpret_cast<uint32_t*>(m_data), ORIENTATION_TOPLEFT, 1) &&
               !file.failed();
    }

    // CMYK or 16-bit samples as stored, read scanline by scanline. libtiff hands 16-bit samples
    // over in the machine's byte order; a PDF wants the most significant byte first.
    bool readScanlines(TiffFile& file, const TiffImage& image)
    {
        tmsize_t line = TIFFScanlineSize(file.tif());
        if (line <= 0 || !allocate(file, static_cast<uint64_t>(line) * image.height))
            return false;
        m_rows = image.height;
        m_rowBytes = static_cast<size_t>(line);
        for (uint32_t row = 0; row < image.height; ++row)
            if (TIFFReadScanline(file.tif(), m_data + row * m_rowBytes, row, 0) < 0)
                return false;
        if constexpr (std::endian::native == std::endian::little) {
            if (image.bits == 16)
                TIFFSwabArrayOfShort(reinterpret_cast<uint16_t*>(m_data),
                                     static_cast<tmsize_t>(m_rowBytes * m_rows / 2));
        }
        return !file.failed();
    }

    bool openPart(int) override
    {
        m_row = 0;
        return m_data != nullptr;
    }

    size_t nextChunk(const uint8_t** bytes) override
    {
        if (m_row >= m_rows)
            return 0;
        if (m_rowBytes) { // scanlines: all rows at once
            m_row = m_rows;
            *bytes = m_data;
            return m_rowBytes * m_rows;
        }
        // Packs the row in place: each pixel's bytes land at or before its own word.
        uint8_t* row = m_data + size_t{m_row} * m_width * 4;
        const auto* words = reinterpret_cast<const uint32_t*>(row);
        for (size_t x = 0; x < m_width; ++x) {
            uint32_t pixel = words[x];
            if (m_components == 3) {
                row[3 * x] = static_cast<uint8_t>(TIFFGetR(pixel));
                row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(pixel));
                row[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(pixel));
            } else {
                row[x] = static_cast<uint8_t>(TIFFGetR(pixel));
            }
        }
        ++m_row;
        *bytes = row;
        return m_width * static_cast<size_t>(m_components);
    }

    void release()
    {
        if (m_data)
            releaseBlock(m_doc, m_data);
        m_data = nullptr;
    }

private:
    // Sizes are checked against the file before anything is allocated: no image decodes to more
    // than kMaxDecodedPixels, nor to more than the file could plausibly hold.
    bool allocate(const TiffFile& file, uint64_t bytes)
    {
        uint64_t fileSize = static_cast<uint64_t>(file.size());
        uint64_t allowance = fileSize > kSmallFileAllowance / kExpansionPerFileByte
                                 ? fileSize * kExpansionPerFileByte
                                 : kSmallFileAllowance;
        if (bytes == 0 || !limits::allocationAllowed(bytes) || bytes > allowance)
            return false;
        m_data = static_cast<uint8_t*>(allocateZeroed(m_doc, static_cast<size_t>(bytes), "decoded image"));
        if (!m_data)
            reportError(m_doc, kErrAllocation, "no memory for a decoded image of %llu bytes",
                        static_cast<unsigned long long>(bytes));
        return m_data != nullptr;
    }

    PdfDocument* m_doc;
    uint8_t* m_data = nullptr;
    size_t m_width = 0;
    uint32_t m_rows = 0;
    uint32_t m_row = 0;
    int m_components = 3;
    size_t m_rowBytes = 0; // non-zero for scanline data
};

bool describeDecoded(const TiffImage& image, ImageSlot* slot, bool* scanlines)
{
    slot->passthrough = false;
    slot->filter = kFilterNone;
    slot->predictor = 1;
    slot->decodeParams[0] = 0;
    slot->paletteCount = 0;
    // Decoded samples already follow the photometric interpretation.
    slot->invert = false;
    slot->bitsPerComponent = 8;
    slot->stripCount = 1;
    slot->rowsPerStrip = 0;
    *scanlines = false;
    if (sixteenBitPlain(image)) {
        *scanlines = true;
        slot->colorSpace = image.samples == 1 ? kImageGray : kImageRgb;
        slot->components = image.samples;
        slot->bitsPerComponent = 16;
        slot->invert = image.photometric == PHOTOMETRIC_MINISWHITE;
        return true;
    }
    if (image.samples == 4 && image.photometric == PHOTOMETRIC_SEPARATED) {
        if (image.inkSet != INKSET_CMYK)
            return false;
        if (!image.tiled && image.planar == PLANARCONFIG_CONTIG) {
            *scanlines = true;
            slot->colorSpace = kImageCmyk;
            slot->components = 4;
            slot->bitsPerComponent = image.bits;
            return true;
        }
        slot->colorSpace = kImageRgb;
        slot->components = 3;
        return true;
    }
    if (image.samples == 1) {
        bool mapped = image.photometric == PHOTOMETRIC_PALETTE;
        slot->colorSpace = mapped ? kImageRgb : kImageGray;
        slot->components = mapped ? 3 : 1;
        return true;
    }
    if (image.samples == 3 || image.samples == 4) {
        slot->colorSpace = kImageRgb;
        slot->components = 3;
        return true;
    }
    return false;
}

bool acceptable(const TiffImage& image)
{
    switch (image.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_PALETTE:
    case PHOTOMETRIC_SEPARATED:
        break;
    default: // masks, YCbCr, the Lab variants and the rest have no device colour space here
        return false;
    }
    if (image.bits != 1 && image.bits != 2 && image.bits != 4 && image.bits != 8 && !sixteenBitPlain(image))
        return false;
    // Modified Huffman with rows padded to 16-bit words cannot be copied (the PDF filter aligns
    // rows to bytes only), and libtiff 4.5 misreads its rows, so it cannot be decoded either.
    return image.compression != COMPRESSION_JPEG && image.compression != COMPRESSION_CCITTRLEW;
}

} // namespace

TiffFile::~TiffFile()
{
    if (m_tif)
        TIFFClose(m_tif);
}

bool TiffFile::open(const std::string& path, int directory)
{
    struct stat st {};
    if (directory < 0 || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    m_path = path;
    m_stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options, recordError, &m_failed);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLibraryAllocationLimit);
    // Memory-mapped reading: libtiff 4.5's buffered path misreads uncompressed tiles.
    m_tif = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!m_tif)
        return false;
    if (directory > 0 && !TIFFSetDirectory(m_tif, static_cast<tdir_t>(directory)))
        return false;
    m_failed = false;
    return true;
}

bool TiffFile::advanceTo(const std::string& path, int directory)
{
    if (!m_tif || path != m_path || directory < 1 || static_cast<tdir_t>(directory) != TIFFCurrentDirectory(m_tif) + 1 ||
        !(fileStamp(path) == m_stamp))
        return false;
    m_failed = false;
    if (!TIFFReadDirectory(m_tif) || m_failed)
        return false;
    return true;
}

int importTiff(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option,
               int optionNumber)
{
    int directory = 0;
    if (!option.empty()) {
        if (option != "page") {
            reportError(doc, kErrArgument, "unknown TIFF import option \"%s\"", option.c_str());
            return -1;
        }
        directory = optionNumber - 1;
    }
    // The file last imported from is read on when this is its next frame; otherwise it is closed
    // and this one opened.
    std::unique_ptr<TiffFile>& kept = doc->keptTiff;
    if (!kept || !kept->advanceTo(path, directory)) {
        kept = std::make_unique<TiffFile>();
        if (!kept->open(path, directory)) {
            kept.reset();
            return -1;
        }
    }
    TiffFile& file = *kept;
    TiffImage image;
    if (!readImage(file.tif(), &image) || !acceptable(image))
        return -1;

    slot->width = image.width;
    slot->height = image.height;
    slot->bitsPerComponent = image.bits;
    slot->resolutionX = image.resolutionX;
    slot->resolutionY = image.resolutionY;

    bool refused = false;
    if (describePassthrough(file.tif(), image, slot, &refused)) {
        if (!planStrips(file, image, slot))
            return -1;
        slot->passthrough = true;
        StripSource source(doc, file.tif(), image.fillOrder == FILLORDER_LSB2MSB);
        slot->source = &source;
        bool written = writeImageObjects(doc, slot);
        slot->source = nullptr;
        return written ? 1 : -1;
    }
    if (refused)
        return -1;

    bool scanlines = false;
    if (!describeDecoded(image, slot, &scanlines))
        return -1;
    DecodedSource source(doc);
    bool read = scanlines ? source.readScanlines(file, image) : source.readRaster(file, image, slot->components);
    if (!read)
        return -1;
    slot->source = &source;
    bool written = writeImageObjects(doc, slot);
    slot->source = nullptr;
    source.release(); // the decoded image is not kept once its XObject is written
    return written ? 1 : -1;
}

bool readTiffHeader(PdfDocument*, const std::string& path, int directory, ImageHeader* header)
{
    TiffFile file;
    TiffImage image;
    if (!file.open(path, directory) || !readImage(file.tif(), &image))
        return false;
    header->width = static_cast<int>(image.width);
    header->height = static_cast<int>(image.height);
    header->resolutionX = image.resolutionX;
    header->resolutionY = image.resolutionY;
    return true;
}

} // namespace folvane::pdf
