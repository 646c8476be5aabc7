// The external converter library, libquillmar5.so, built on GraphicsMagick: "convert" reads
// every frame of an image and writes them with libtiff as one multi-page TIFF (CCITT Group 4 for
// bilevel frames, LZW otherwise). Returns 0 on success and a negative value on failure; prints nothing
// (but one line before the process ends on a fatal library error).
//
// Safety: the coder is chosen from the file's content, never from its name, and only raster
// coders of the allow-list below may read it. Vector and script formats (MVG, SVG, MSL),
// PostScript and PDF (which run an interpreter), text and URL coders are never reached.
//
// Frames of animations are composed as they are displayed: each page is the whole logical
// screen after the frame was drawn over what the earlier frames and their disposal left,
// transparency shown on white.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <magick/api.h>
#include <sys/stat.h>
#include <tiffio.h>

namespace {

std::once_flag g_initialised;

void silent(const ExceptionType, const char*, const char*) {}

// The image library calls this only when it cannot go on at all (its state is broken), and it
// must not return. Say why in one line and end the process.
// The GNU spelling makes the attribute part of the function type, which the setter requires.
__attribute__((noreturn)) void fatal(const ExceptionType, const char* reason, const char* description)
{
    std::fprintf(stderr, "quillmar5: fatal image library error: %s %s\n", reason ? reason : "",
                 description ? description : "");
    std::_Exit(70);
}

void initialise()
{
    // The host program owns the process's signal handling; the library must not take it over.
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
    DestroyExceptionInfo(&exception);
    SetErrorHandler(silent);
    SetWarningHandler(silent);
    SetFatalErrorHandler(fatal);
}

void copyName(char* target, const std::string& name)
{
    std::strncpy(target, name.c_str(), MaxTextExtent - 1);
    target[MaxTextExtent - 1] = '\0';
}

// Raster coders that may read an input. Anything GraphicsMagick detects outside this list is
// refused.
constexpr const char* kAllowedCoders[] = {
    "AVS", "BMP", "CALS", "CIN", "CUR", "DCM", "DCX", "DIB", "DPX", "FITS", "GIF", "ICO", "JBIG", "JNG", "JP2",
    "JPC", "JPEG", "MAT", "MIFF", "MNG", "OTB", "P7", "PAM", "PBM", "PCD", "PCX", "PDB", "PGM", "PGX", "PICT",
    "PNG", "PPM", "PSD", "PWP", "RLE", "SCT", "SFW", "SGI", "SUN", "TIFF", "TIM", "VICAR", "VIFF", "WEBP", "XBM",
    "XCF", "XPM", "XWD",
};

bool allowed(const std::string& coder)
{
    return std::any_of(std::begin(kAllowedCoders), std::end(kAllowedCoders),
                       [&](const char* name) { return coder == name; });
}

uint32_t bigEndian32(const unsigned char* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Formats without a signature, recognised only when their header and the file's size agree
// exactly: AVS (width and height, then 4 bytes a pixel, frame after frame) and Nokia's OTA
// bitmaps (an info byte, width, height, depth 1, then rows of bits).
std::string coderBySize(const unsigned char* head, size_t length, uint64_t fileSize)
{
    if (length >= 4 && (head[0] & ~0x10) == 0) {
        const bool wide = head[0] & 0x10;
        const size_t header = wide ? 6 : 4;
        const uint64_t width = wide ? (head[1] << 8 | head[2]) : head[1];
        const uint64_t height = wide ? (head[3] << 8 | head[4]) : head[2];
        if (length >= header && head[header - 1] == 1 && width > 0 && height > 0 &&
            fileSize == header + height * ((width + 7) / 8))
            return "OTB";
    }
    if (length >= 8) {
        // Every frame's header is checked when it lies within the bytes read.
        uint64_t offset = 0;
        while (offset + 8 <= length) {
            const uint64_t width = bigEndian32(head + offset), height = bigEndian32(head + offset + 4);
            if (width == 0 || height == 0 || width * height > fileSize / 4)
                return {};
            offset += 8 + 4 * width * height;
            if (offset >= fileSize)
                return offset == fileSize ? "AVS" : std::string();
        }
    }
    return {};
}

// Formats GraphicsMagick's content table leaves out, recognised here by their headers.
std::string coderWithoutMagic(const unsigned char* head, size_t length, uint64_t fileSize)
{
    if (length >= 6 && head[0] == 0 && head[1] == 0 && head[3] == 0 && (head[4] | head[5]) != 0) {
        if (head[2] == 1)
            return "ICO";
        if (head[2] == 2)
            return "CUR";
    }
    if (length >= 8 && std::memcmp(head, "\x10\0\0\0", 4) == 0 && head[4] <= 9 && head[5] == 0)
        return "TIM";
    if (std::string bySize = coderBySize(head, length, fileSize); !bySize.empty())
        return bySize;
    // JBIG's bi-level image header: one plane, the reserved byte zero, nonzero sizes and stripe
    // height, MY zero, and only defined bits in the order and option bytes.
    if (length >= 20 && head[0] <= head[1] && head[2] == 1 && head[3] == 0 && bigEndian32(head + 4) != 0 &&
        bigEndian32(head + 8) != 0 && bigEndian32(head + 12) != 0 && head[17] == 0 && (head[18] & 0xF0) == 0 &&
        (head[19] & 0x80) == 0)
        return "JBIG";
    return {};
}

// The coder for a file, from its first bytes only; empty when unknown or not allowed.
std::string detectCoder(const char* path)
{
    unsigned char head[2 * MaxTextExtent] = {};
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return {};
    size_t length = std::fread(head, 1, sizeof head, file);
    struct stat status {};
    const uint64_t fileSize = ::fstat(::fileno(file), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
    std::fclose(file);
    char format[MaxTextExtent] = {};
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    std::string coder;
    if (GetMagickFileFormat(head, length, format, sizeof format, &exception) == MagickPass)
        coder = format;
    else
        coder = coderWithoutMagic(head, length, fileSize);
    DestroyExceptionInfo(&exception);
    if (coder == "BIGTIFF")
        coder = "TIFF";
    return allowed(coder) ? coder : std::string();
}

// A new image of the given size, every pixel `colour` with its opacity.
Image* filledImage(unsigned long width, unsigned long height, const PixelPacket& colour)
{
    ImageInfo* info = CloneImageInfo(nullptr);
    Image* image = AllocateImage(info);
    DestroyImageInfo(info);
    if (!image)
        return nullptr;
    image->columns = width;
    image->rows = height;
    image->storage_class = DirectClass;
    image->background_color = colour;
    image->matte = MagickTrue;
    SetImage(image, colour.opacity);
    return image;
}

PixelPacket colourOf(Quantum red, Quantum green, Quantum blue, Quantum opacity)
{
    PixelPacket p {};
    p.red = red;
    p.green = green;
    p.blue = blue;
    p.opacity = opacity;
    return p;
}

// The displayed picture: the canvas over white, without alpha. The page is made from the frame
// it shows, so that it keeps the frame's properties the TIFF writer reads.
Image* onWhite(const Image* canvas, const Image* frame, ExceptionInfo* exception)
{
    Image* page = CloneImage(frame, canvas->columns, canvas->rows, MagickTrue, exception);
    if (!page)
        return nullptr;
    page->storage_class = DirectClass;
    page->background_color = colourOf(MaxRGB, MaxRGB, MaxRGB, OpaqueOpacity);
    page->matte = MagickFalse;
    SetImage(page, OpaqueOpacity);
    CompositeImage(page, OverCompositeOp, canvas, 0, 0);
    page->matte = MagickFalse;
    page->page.x = page->page.y = 0;
    page->page.width = page->columns;
    page->page.height = page->rows;
    return page;
}

// Every frame as displayed on the logical screen (the largest of the declared screen and the
// frames' extents), with each frame's disposal applied before the next is drawn.
Image* composeFrames(Image* frames, ExceptionInfo* exception)
{
    unsigned long width = 0, height = 0;
    for (Image* f = frames; f; f = f->next) {
        width = std::max({width, f->page.width, f->columns + static_cast<unsigned long>(std::max(0L, f->page.x))});
        height = std::max({height, f->page.height, f->rows + static_cast<unsigned long>(std::max(0L, f->page.y))});
    }
    const PixelPacket clear = colourOf(MaxRGB, MaxRGB, MaxRGB, TransparentOpacity);
    Image* canvas = filledImage(width, height, clear);
    if (!canvas)
        return nullptr;
    Image* pages = NewImageList();
    bool ok = true;
    for (Image* f = frames; f && ok; f = f->next) {
        Image* previous = f->dispose == PreviousDispose ? CloneImage(canvas, 0, 0, MagickTrue, exception) : nullptr;
        // The opacity of pixels of a frame without alpha is undefined: make them opaque first.
        if (!f->matte)
            SetImageOpacity(f, OpaqueOpacity);
        CompositeImage(canvas, OverCompositeOp, f, f->page.x, f->page.y);
        Image* page = onWhite(canvas, f, exception);
        ok = page != nullptr;
        if (page) {
            page->scene = f->scene;
            AppendImageToList(&pages, page);
        }
        if (f->dispose == BackgroundDispose) {
            Image* hole = filledImage(f->columns, f->rows, clear);
            ok = ok && hole;
            if (hole) {
                CompositeImage(canvas, CopyCompositeOp, hole, f->page.x, f->page.y);
                DestroyImage(hole);
            }
        } else if (previous) {
            DestroyImage(canvas);
            canvas = previous;
            previous = nullptr;
        }
        if (previous)
            DestroyImage(previous);
    }
    DestroyImage(canvas);
    if (!ok) {
        DestroyImageList(pages);
        return nullptr;
    }
    // Appending leaves the list pointer at the last image.
    return GetFirstImageInList(pages);
}

// Writes one page: bilevel pictures as 1-bit CCITT Group 4 (min-is-white, so a black pixel is
// a set bit for every reader), others as 8-bit RGB with LZW.
bool writePage(TIFF* tif, Image* page, ExceptionInfo* exception)
{
    const uint32_t width = static_cast<uint32_t>(page->columns), height = static_cast<uint32_t>(page->rows);
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    if (DispatchImage(page, 0, 0, width, height, "RGB", CharPixel, rgb.data(), exception) != MagickPass)
        return false;
    const bool bilevel = IsMonochromeImage(page, exception);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    std::vector<unsigned char> row;
    if (bilevel) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
        row.assign((width + 7) / 8, 0);
    } else {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    }
    for (uint32_t y = 0; y < height; ++y) {
        unsigned char* line = rgb.data() + static_cast<size_t>(y) * width * 3;
        if (bilevel) {
            std::fill(row.begin(), row.end(), 0);
            for (uint32_t x = 0; x < width; ++x)
                if (line[3 * x] < 128)
                    row[x / 8] |= static_cast<unsigned char>(0x80u >> (x % 8));
            line = row.data();
        }
        if (TIFFWriteScanline(tif, line, y, 0) < 0)
            return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

bool writePages(Image* pages, const char* output, ExceptionInfo* exception)
{
    TIFF* tif = TIFFOpen(output, "w");
    if (!tif)
        return false;
    bool ok = true;
    for (Image* page = pages; page && ok; page = page->next)
        ok = writePage(tif, page, exception);
    TIFFClose(tif);
    return ok;
}

int convert(const char* input, const char* output)
{
    if (std::strlen(input) >= MaxTextExtent - 16 || std::strlen(output) >= MaxTextExtent - 8)
        return -2;
    std::string coder = detectCoder(input);
    if (coder.empty())
        return -5;
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    ImageInfo* readInfo = CloneImageInfo(nullptr);
    // The explicit coder prefix makes GraphicsMagick use exactly this coder.
    copyName(readInfo->filename, coder + ":" + input);
    copyName(readInfo->magick, coder);
    readInfo->affirm = MagickTrue;
    Image* read = ReadImage(readInfo, &exception);
    DestroyImageInfo(readInfo);
    if (!read) {
        DestroyExceptionInfo(&exception);
        return -3;
    }
    Image* frames = composeFrames(read, &exception);
    DestroyImageList(read);
    if (!frames) {
        DestroyExceptionInfo(&exception);
        return -4;
    }
    bool written = writePages(frames, output, &exception);
    DestroyImageList(frames);
    DestroyExceptionInfo(&exception);
    return written ? 0 : -4;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int quillmar5(int argc, char** argv)
{
    if (argc != 4 || !argv || !argv[1] || !argv[2] || !argv[3] || std::strcmp(argv[1], "convert") != 0)
        return -1;
    std::call_once(g_initialised, initialise);
    return convert(argv[2], argv[3]);
}
