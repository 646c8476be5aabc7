// The JPEG importer. A JPEG file is never decoded: its header is walked for the frame size,
// sample layout and resolution, and the file's bytes from the start-of-image marker on become
// the DCT stream of the XObject, read in large chunks straight into the document's strip buffer.
#include <cstdio>
#include <cstring>

#include "image_import.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr long kStartWindow = 768; // the start-of-image marker must begin before this offset
// Large enough that a photo takes a handful of reads (stdio reads requests this size straight
// into the buffer), small enough to stay in the cache while it is copied on.
constexpr size_t kChunk = size_t{1} << 18;
constexpr uint16_t kPhotoshopResolution = 0x03ED;

struct JpegInfo {
    long start = 0; // offset of the start-of-image marker
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    bool adobe = false;
    double resolutionX = 0;
    double resolutionY = 0;
};

class File {
public:
    explicit File(const std::string& path)
        : m_file(regularFileSize(path) >= 0 ? std::fopen(path.c_str(), "rb") : nullptr)
    {
    }
    ~File()
    {
        if (m_file)
            std::fclose(m_file);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return m_file; }

private:
    FILE* m_file;
};

int readByte(FILE* f)
{
    return std::fgetc(f);
}

// A big-endian 16-bit value, or -1 at the end of the file.
long read16(FILE* f)
{
    int hi = std::fgetc(f);
    int lo = std::fgetc(f);
    if (hi == EOF || lo == EOF)
        return -1;
    return (static_cast<long>(hi) << 8) | lo;
}

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool readExactly(FILE* f, uint8_t* buffer, size_t length)
{
    return std::fread(buffer, 1, length, f) == length;
}

bool skip(FILE* f, long length)
{
    return std::fseek(f, length, SEEK_CUR) == 0;
}

// The first 0xFF byte followed by 0xD8; other markers and bytes before it are passed over.
bool findStart(FILE* f, JpegInfo* info)
{
    int previous = -1;
    for (long offset = 0; offset <= kStartWindow; ++offset) {
        int c = readByte(f);
        if (c == EOF)
            return false;
        if (previous == 0xFF && c == 0xD8) {
            info->start = offset - 1;
            return info->start < kStartWindow;
        }
        previous = c;
    }
    return false;
}

void readJfif(FILE* f, long length, JpegInfo* info)
{
    uint8_t b[12];
    if (length + 2 < 14 || !readExactly(f, b, sizeof b)) {
        skip(f, length);
        return;
    }
    skip(f, length - static_cast<long>(sizeof b));
    if (std::memcmp(b, "JFIF\0", 5) != 0)
        return;
    int unit = b[7];
    double x = (b[8] << 8) | b[9];
    double y = (b[10] << 8) | b[11];
    if (x == 0 || y == 0) {
        info->resolutionX = info->resolutionY = 0;
    } else if (unit == 1) {
        info->resolutionX = x;
        info->resolutionY = y;
    } else if (unit == 2) {
        info->resolutionX = x * 2.54;
        info->resolutionY = y * 2.54;
    } else if (unit == 0) {
        // Only the pixel aspect ratio is known.
        info->resolutionX = -x;
        info->resolutionY = -y;
    } else {
        info->resolutionX = info->resolutionY = 0;
    }
}

// Walks the image resource blocks of a Photoshop segment for the resolution resource, whose
// horizontal and vertical values are 16.16 fixed-point dots per inch.
void readPhotoshop(PdfDocument* doc, FILE* f, long length, JpegInfo* info)
{
    uint8_t ident[9];
    if (length < static_cast<long>(sizeof ident) || !readExactly(f, ident, sizeof ident)) {
        skip(f, length);
        return;
    }
    long rest = length - static_cast<long>(sizeof ident);
    if (std::memcmp(ident, "Photoshop", sizeof ident) != 0) {
        skip(f, rest);
        return;
    }
    auto* data = static_cast<uint8_t*>(allocateZeroed(doc, static_cast<size_t>(rest) + 1, "photoshop segment"));
    if (!data) {
        skip(f, rest);
        return;
    }
    if (readExactly(f, data, static_cast<size_t>(rest))) {
        // The identifier is "Photoshop 3.0" and a zero byte; the blocks follow it.
        const auto end = static_cast<size_t>(rest);
        size_t p = 14 - sizeof ident;
        while (p + 4 + 2 + 1 <= end && std::memcmp(data + p, "8BIM", 4) == 0) {
            auto id = static_cast<uint16_t>((data[p + 4] << 8) | data[p + 5]);
            size_t nameLength = data[p + 6];
            size_t q = p + 6 + ((1 + nameLength + 1) & ~size_t{1}); // name padded to even length
            if (q + 4 > end)
                break;
            size_t size = be32(data + q);
            q += 4;
            if (size > end - q)
                break;
            if (id == kPhotoshopResolution && size > 15) {
                info->resolutionX = be32(data + q) / 65536.0;
                info->resolutionY = be32(data + q + 8) / 65536.0;
            }
            p = q + ((size + 1) & ~size_t{1});
        }
    }
    releaseBlock(doc, data);
}

void readAdobe(FILE* f, long length, JpegInfo* info)
{
    uint8_t ident[5];
    if (length + 2 > 11 && length >= 5 && readExactly(f, ident, sizeof ident)) {
        if (std::memcmp(ident, "Adobe", 5) == 0)
            info->adobe = true;
        skip(f, length - 5);
        return;
    }
    skip(f, length);
}

// Walks the markers from the start of the image to the frame header. False for a damaged file,
// a refused frame type or a frame this writer cannot pass through.
bool parseJpeg(PdfDocument* doc, FILE* f, JpegInfo* info)
{
    if (!findStart(f, info))
        return false;
    for (;;) {
        int c = readByte(f);
        if (c == EOF)
            return false;
        if (c != 0xFF)
            continue; // stray bytes between segments
        do
            c = readByte(f);
        while (c == 0xFF);
        if (c == EOF)
            return false;
        if (c == 0x00 || c == 0x01 || (c >= 0xD0 && c <= 0xD8))
            continue; // markers without a length
        if (c == 0xD9)
            return false; // end of image before a frame
        long length = read16(f);
        if (length < 2)
            return false;
        length -= 2;

        switch (c) {
        case 0xC0: // baseline, extended sequential, progressive, progressive arithmetic
        case 0xC1:
        case 0xC2:
        case 0xCA: {
            uint8_t b[6];
            if (length < 6 || !readExactly(f, b, sizeof b))
                return false;
            info->precision = b[0];
            info->height = (b[1] << 8) | b[2];
            info->width = (b[3] << 8) | b[4];
            info->components = b[5];
            return info->width > 0 && info->height > 0 && info->components > 0 && info->precision == 8 &&
                   (info->components == 1 || info->components == 3 || info->components == 4);
        }
        case 0xC3: // lossless, hierarchical and the remaining arithmetic frames
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xC9:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            return false;
        case 0xE0:
            readJfif(f, length, info);
            break;
        case 0xED:
            readPhotoshop(doc, f, length, info);
            break;
        case 0xEE:
            readAdobe(f, length, info);
            break;
        default:
            if (!skip(f, length))
                return false;
            break;
        }
    }
}

class JpegSource : public ImageSource {
public:
    JpegSource(PdfDocument* doc, FILE* file, long start) : m_doc(doc), m_file(file), m_start(start) {}

    bool openPart(int) override
    {
        m_chunk = growStripBuffer(m_doc, kChunk);
        return m_chunk && std::fseek(m_file, m_start, SEEK_SET) == 0;
    }

    size_t nextChunk(const uint8_t** bytes) override
    {
        *bytes = m_chunk;
        return std::fread(m_chunk, 1, kChunk, m_file);
    }

private:
    PdfDocument* m_doc;
    FILE* m_file;
    long m_start;
    uint8_t* m_chunk = nullptr;
};

} // namespace

int importJpeg(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option)
{
    File file(path);
    if (!file.get())
        return -1;
    if (!option.empty()) {
        reportError(doc, kErrArgument, "JPEG import takes no option (\"%s\" given)", option.c_str());
        return -1;
    }
    JpegInfo info;
    if (!parseJpeg(doc, file.get(), &info))
        return -1;

    slot->width = info.width;
    slot->height = info.height;
    slot->bitsPerComponent = 8;
    slot->components = info.components;
    slot->filter = kFilterDct;
    slot->passthrough = true;
    slot->colorSpace = info.components == 1 ? kImageGray : info.components == 3 ? kImageRgb : kImageCmyk;
    // Adobe writes CMYK JPEGs with inverted samples.
    slot->invert = info.components == 4 && info.adobe;
    slot->resolutionX = info.resolutionX;
    slot->resolutionY = info.resolutionY;
    slot->stripCount = 1;

    JpegSource source(doc, file.get(), info.start);
    slot->source = &source;
    bool written = writeImageObjects(doc, slot);
    slot->source = nullptr;
    return written ? 1 : -1;
}

bool readJpegHeader(PdfDocument* doc, const std::string& path, ImageHeader* header)
{
    File file(path);
    JpegInfo info;
    if (!file.get() || !parseJpeg(doc, file.get(), &info))
        return false;
    header->width = info.width;
    header->height = info.height;
    header->resolutionX = info.resolutionX;
    header->resolutionY = info.resolutionY;
    return true;
}

} // namespace folvane::pdf
