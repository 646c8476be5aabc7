// The PNG importer. The file is read into memory once and libpng reads it from end to end (every
// critical chunk's checksum, the whole compressed stream, the row filters), so a damaged file is
// refused before anything is written. A non-interlaced gray, RGB or palette image without
// transparency then goes in as stored: its IDAT data, one after the other, are the Flate stream
// and PNG's row filters the predictor (/Predictor 15), at the file's own bit depth and with its
// palette; nothing is inflated twice or deflated again. Any other image (interlaced, with an alpha
// channel or a tRNS chunk) is decoded by libpng with its bit depth kept and written as samples;
// its opacity becomes a second image, the soft mask of the first. libpng's messages never reach
// the terminal: its error handler ends the import.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "image_import.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkOverhead = 12; // length, type and checksum around the data
constexpr double kInchesPerMetre = 0.0254;
// A decoded image may expand its file by this factor at most (Deflate itself stops near 1032);
// small files get a fixed allowance.
constexpr uint64_t kExpansionPerFileByte = 2048;
constexpr uint64_t kSmallFileAllowance = uint64_t{64} << 20;
// No chunk libpng keeps (a palette, an ICC profile) may need more memory than this.
constexpr png_alloc_size_t kChunkMemoryLimit = png_alloc_size_t{8} << 20;

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// What the walk over the chunks found; pointers lead into the file's bytes.
struct PngLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;
    int colourType = 0;
    int interlace = 0;
    bool transparency = false; // a tRNS chunk
    const uint8_t* palette = nullptr;
    int paletteCount = 0;
    double resolutionX = 0;
    double resolutionY = 0;
    size_t firstData = 0; // offset of the first IDAT chunk
};

// Walks the chunks from the signature to IEND, each length checked against the bytes that
// remain. Only the layout is taken here; libpng checks the content.
bool walkChunks(const uint8_t* data, size_t size, PngLayout* layout)
{
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
        return false;
    size_t pos = sizeof kSignature;
    while (size - pos >= kChunkOverhead) {
        size_t length = be32(data + pos);
        if (length > size - pos - kChunkOverhead)
            return false;
        const uint8_t* type = data + pos + 4;
        const uint8_t* body = data + pos + 8;
        if (std::memcmp(type, "IHDR", 4) == 0 && length == 13) {
            layout->width = be32(body);
            layout->height = be32(body + 4);
            layout->depth = body[8];
            layout->colourType = body[9];
            layout->interlace = body[12];
        } else if (std::memcmp(type, "PLTE", 4) == 0 && length % 3 == 0 && length <= 768) {
            layout->palette = body;
            layout->paletteCount = static_cast<int>(length / 3);
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            layout->transparency = true;
        } else if (std::memcmp(type, "pHYs", 4) == 0 && length == 9 && be32(body) && be32(body + 4)) {
            // Unit 1 is pixels per metre; unit 0 gives only the aspect ratio, stored negated.
            double x = be32(body), y = be32(body + 4);
            bool metres = body[8] == 1;
            layout->resolutionX = metres ? x * kInchesPerMetre : -x;
            layout->resolutionY = metres ? y * kInchesPerMetre : -y;
        } else if (std::memcmp(type, "IDAT", 4) == 0 && layout->firstData == 0) {
            layout->firstData = pos;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            return layout->width > 0 && layout->firstData > 0;
        }
        pos += kChunkOverhead + length;
    }
    return false;
}

// Reads the whole file into the document's strip buffer; null when it cannot be read.
const uint8_t* readWholeFile(PdfDocument* doc, const std::string& path, size_t* size)
{
    int64_t fileSize = regularFileSize(path);
    if (fileSize < static_cast<int64_t>(sizeof kSignature) ||
        !limits::allocationAllowed(static_cast<uint64_t>(fileSize)))
        return nullptr;
    uint8_t* buffer = growStripBuffer(doc, static_cast<size_t>(fileSize));
    FILE* file = buffer ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file)
        return nullptr;
    *size = std::fread(buffer, 1, static_cast<size_t>(fileSize), file);
    std::fclose(file);
    return *size == static_cast<size_t>(fileSize) ? buffer : nullptr;
}

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (length > input->size - input->pos)
        png_error(png, "read beyond the end of the file");
    std::memcpy(out, input->data + input->pos, length);
    input->pos += length;
}

// A damaged file fails the import like any other unreadable image; the engine, which decodes
// the file itself then, tells why.
void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Ancillary chunks are skipped unread (a text chunk may claim 2 GiB) and no chunk libpng keeps
// may need more than kChunkMemoryLimit.
void limitChunks(png_structp png)
{
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_cache_max(png, 256);
    png_set_chunk_malloc_max(png, kChunkMemoryLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    static const png_byte unused[] = "tEXt\0zTXt\0iTXt\0pCAL\0sCAL\0sPLT\0hIST\0tIME\0iCCP\0eXIf\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unused, static_cast<int>(sizeof unused / 5));
}

// Buffers the import owns while libpng runs; released by the caller whatever happens, since
// libpng's errors jump past the functions that made them.
struct Buffers {
    uint8_t* samples = nullptr; // decoded rows, or one row when only checking
    uint8_t* alpha = nullptr;   // the opacity plane
    size_t sampleBytes = 0;
    size_t alphaBytes = 0;
};

// How the image is written: as stored, or decoded with the depth and channels libpng gives.
struct Decoding {
    bool stored = false;
    int bits = 8;
    int colours = 1;      // colour channels: 1 gray or palette indices, 3 RGB
    bool indexed = false;
    bool alpha = false;   // an opacity channel follows the colour channels
};

bool decodedSizeAllowed(uint64_t bytes, size_t fileSize)
{
    uint64_t allowance = fileSize > kSmallFileAllowance / kExpansionPerFileByte ? fileSize * kExpansionPerFileByte
                                                                                : kSmallFileAllowance;
    return bytes > 0 && limits::allocationAllowed(bytes) && bytes <= allowance;
}

uint8_t* allocate(PdfDocument* doc, size_t bytes, const char* what)
{
    auto* block = static_cast<uint8_t*>(allocateZeroed(doc, bytes, what));
    if (!block)
        reportError(doc, kErrAllocation, "no memory for %s of %zu bytes", what, bytes);
    return block;
}

// Separates the opacity samples (the last channel of each pixel) from the colour samples, which
// close up in place. False when every pixel is opaque, so that no mask is needed.
bool splitAlpha(Buffers* buffers, uint64_t pixels, const Decoding& d)
{
    const auto sample = static_cast<size_t>(d.bits / 8);
    const size_t colourBytes = sample * static_cast<size_t>(d.colours);
    const size_t pixelBytes = colourBytes + sample;
    bool opaque = true;
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint8_t* from = buffers->samples + i * pixelBytes;
        uint8_t* alpha = buffers->alpha + i * sample;
        std::memmove(buffers->samples + i * colourBytes, from, colourBytes);
        for (size_t b = 0; b < sample; ++b) {
            alpha[b] = from[colourBytes + b];
            opaque = opaque && alpha[b] == 0xFF;
        }
    }
    return !opaque;
}

// Runs inside libpng's error scope: no object with a destructor may live here.
bool readImage(PdfDocument* doc, png_structp png, png_infop info, size_t fileSize, Buffers* buffers,
               Decoding* d)
{
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    int colourType = png_get_color_type(png, info);
    bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (uint64_t{width} * height > kMaxDecodedPixels)
        return false;
    d->stored = png_get_interlace_type(png, info) == PNG_INTERLACE_NONE && !transparency &&
                !(colourType & PNG_COLOR_MASK_ALPHA);
    if (transparency)
        png_set_tRNS_to_alpha(png); // also widens palettes to RGB and low gray depths to 8 bits
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const int channels = png_get_channels(png, info);
    colourType = png_get_color_type(png, info);
    d->bits = png_get_bit_depth(png, info);
    d->alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
    d->colours = channels - (d->alpha ? 1 : 0);
    d->indexed = colourType == PNG_COLOR_TYPE_PALETTE;

    // Stored data are checked a row at a time; decoded rows are all kept.
    const uint64_t bytes = d->stored ? rowBytes : uint64_t{rowBytes} * height;
    if (!decodedSizeAllowed(bytes, fileSize))
        return false;
    buffers->sampleBytes = static_cast<size_t>(bytes);
    buffers->samples = allocate(doc, buffers->sampleBytes, "decoded PNG rows");
    if (!buffers->samples)
        return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, buffers->samples + (d->stored ? 0 : y * rowBytes), nullptr);
    png_read_end(png, info);
    if (d->stored || !d->alpha)
        return true;

    const uint64_t pixels = uint64_t{width} * height;
    buffers->alphaBytes = static_cast<size_t>(pixels * static_cast<uint64_t>(d->bits / 8));
    buffers->alpha = allocate(doc, buffers->alphaBytes, "PNG opacity");
    if (!buffers->alpha)
        return false;
    if (!splitAlpha(buffers, pixels, *d)) {
        releaseBlock(doc, buffers->alpha);
        buffers->alpha = nullptr;
        buffers->alphaBytes = 0;
    }
    buffers->sampleBytes = static_cast<size_t>(pixels) * static_cast<size_t>(d->colours * d->bits / 8);
    return true;
}

// Reads the file through libpng. False when libpng finds it damaged or it is too large.
bool decodePng(PdfDocument* doc, const uint8_t* data, size_t size, Buffers* buffers, Decoding* d)
{
    MemoryInput input{data, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    limitChunks(png);
    png_set_read_fn(png, &input, readFromMemory);
    bool read = readImage(doc, png, info, size, buffers, d);
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}

// The IDAT chunks' data in turn, straight from the file's bytes.
class StoredSource : public ImageSource {
public:
    StoredSource(const uint8_t* data, size_t size, size_t firstData) : m_data(data), m_size(size), m_first(firstData) {}

    bool openPart(int) override
    {
        m_pos = m_first;
        return true;
    }

    size_t nextChunk(const uint8_t** bytes) override
    {
        // The walk checked every length; IDAT chunks follow one another.
        while (m_size - m_pos >= kChunkOverhead && std::memcmp(m_data + m_pos + 4, "IDAT", 4) == 0) {
            size_t length = be32(m_data + m_pos);
            *bytes = m_data + m_pos + 8;
            m_pos += kChunkOverhead + length;
            if (length > 0)
                return length;
        }
        return 0;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_first;
    size_t m_pos = 0;
};

// Decoded colour samples, then the opacity samples for the soft mask.
class DecodedSource : public ImageSource {
public:
    explicit DecodedSource(const Buffers& buffers) : m_buffers(buffers) {}

    bool openPart(int) override
    {
        m_next = m_buffers.samples;
        m_length = m_buffers.sampleBytes;
        return m_next != nullptr;
    }

    bool openMask() override
    {
        m_next = m_buffers.alpha;
        m_length = m_buffers.alphaBytes;
        return m_next != nullptr;
    }

    size_t nextChunk(const uint8_t** bytes) override
    {
        *bytes = m_next;
        size_t length = m_next ? m_length : 0;
        m_next = nullptr;
        return length;
    }

private:
    const Buffers& m_buffers;
    const uint8_t* m_next = nullptr;
    size_t m_length = 0;
};

void describe(const PngLayout& layout, const Decoding& d, const Buffers& buffers, ImageSlot* slot)
{
    slot->width = layout.width;
    slot->height = layout.height;
    slot->bitsPerComponent = d.stored ? layout.depth : d.bits;
    slot->components = d.colours;
    slot->colorSpace = d.indexed ? kImageIndexed : d.colours == 3 ? kImageRgb : kImageGray;
    if (d.indexed) {
        std::memcpy(slot->palette, layout.palette, static_cast<size_t>(layout.paletteCount) * 3);
        slot->paletteCount = layout.paletteCount;
    }
    slot->passthrough = d.stored;
    slot->filter = d.stored ? kFilterFlate : kFilterNone;
    slot->predictor = d.stored ? 15 : 1;
    slot->maskBits = buffers.alpha ? d.bits : 0;
    slot->resolutionX = layout.resolutionX;
    slot->resolutionY = layout.resolutionY;
    slot->stripCount = 1;
}

void release(PdfDocument* doc, Buffers* buffers)
{
    if (buffers->samples)
        releaseBlock(doc, buffers->samples);
    if (buffers->alpha)
        releaseBlock(doc, buffers->alpha);
    *buffers = Buffers{};
}

} // namespace

int importPng(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option)
{
    if (!option.empty()) {
        reportError(doc, kErrArgument, "PNG import takes no option (\"%s\" given)", option.c_str());
        return -1;
    }
    size_t size = 0;
    const uint8_t* data = readWholeFile(doc, path, &size);
    PngLayout layout;
    if (!data || !walkChunks(data, size, &layout))
        return -1;
    Buffers buffers;
    Decoding decoding;
    bool read = decodePng(doc, data, size, &buffers, &decoding);
    if (read && decoding.indexed && layout.paletteCount == 0)
        read = false; // libpng refuses this too; the walk must agree before the palette is used
    bool written = false;
    if (read) {
        describe(layout, decoding, buffers, slot);
        StoredSource stored(data, size, layout.firstData);
        DecodedSource decoded(buffers);
        if (decoding.stored) {
            releaseBlock(doc, buffers.samples); // the row libpng checked; not needed any more
            buffers.samples = nullptr;
            slot->source = &stored;
        } else {
            slot->source = &decoded;
        }
        written = writeImageObjects(doc, slot);
        slot->source = nullptr;
    }
    release(doc, &buffers);
    return written ? 1 : -1;
}

bool readPngHeader(PdfDocument* doc, const std::string& path, ImageHeader* header)
{
    size_t size = 0;
    const uint8_t* data = readWholeFile(doc, path, &size);
    PngLayout layout;
    if (!data || !walkChunks(data, size, &layout))
        return false;
    header->width = static_cast<int>(layout.width);
    header->height = static_cast<int>(layout.height);
    header->resolutionX = layout.resolutionX;
    header->resolutionY = layout.resolutionY;
    return true;
}

} // namespace folvane::pdf
