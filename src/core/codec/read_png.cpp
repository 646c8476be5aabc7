// PNG decoding through libpng. Results by colour type: 1-bit gray and 1-bit palettes stay
// bilevel, other gray depths become 8-bit gray, palettes become 8-bit palettes, RGB becomes
// 24 bits; any transparency (alpha channel or tRNS) gives 32-bit RGBA. 16-bit samples are
// scaled to 8 bits.
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

#include "codec_internal.h"
#include "exif_orientation.h"

namespace folvane::codec {

namespace {

struct Source {
    std::span<const uint8_t> data;
    size_t pos = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    if (length > src->data.size() - src->pos)
        png_error(png, "read beyond the end of the data");
    std::memcpy(out, src->data.data() + src->pos, length);
    src->pos += length;
}

// libpng's message becomes the reason of the failed load.
void onError(png_structp png, png_const_charp message)
{
    if (auto* reason = static_cast<std::string*>(png_get_error_ptr(png)); reason && message)
        *reason = std::string("damaged PNG file: ") + message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// A chunk may claim up to 2 GiB, and libpng would allocate and inflate that much for a text chunk
// nobody reads. Ancillary chunks the decoder does not use are skipped unread, and no chunk may
// need more than 8 MiB of memory, so a tiny file with a huge chunk is refused at once.
void limitChunks(png_structp png)
{
    static const png_byte unused[] = "tEXt\0zTXt\0iTXt\0pCAL\0sCAL\0sPLT\0hIST\0tIME\0iCCP\0";
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_cache_max(png, 256);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unused, static_cast<int>(sizeof unused / 5));
}

void noteOrientation(png_structp png, png_infop info, LoadResult& result)
{
    png_uint_32 size = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &size, &exif) && exif)
        result.orientation = exifOrientation(std::span<const uint8_t>(exif, size));
}

// An eXIf chunk after the image data, which libpng reads only once the pixels are decoded: found
// by walking the chunk lengths of the file, each checked against the bytes that remain.
int trailingOrientation(std::span<const uint8_t> file)
{
    constexpr size_t kOverhead = 12; // length, type and checksum around the data
    size_t pos = 8;
    while (file.size() - pos >= kOverhead) {
        const uint8_t* chunk = file.data() + pos;
        size_t length = (size_t{chunk[0]} << 24) | (size_t{chunk[1]} << 16) | (size_t{chunk[2]} << 8) | chunk[3];
        if (length > file.size() - pos - kOverhead || std::memcmp(chunk + 4, "IEND", 4) == 0)
            return 1;
        if (std::memcmp(chunk + 4, "eXIf", 4) == 0)
            return exifOrientation(file.subspan(pos + 8, length));
        pos += kOverhead + length;
    }
    return 1;
}

bool decode(png_structp png, png_infop info, const LoadRequest& request, LoadResult& result,
            std::vector<png_bytep>& rows)
{
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    const bool transparent = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
    const bool gray = colourType == PNG_COLOR_TYPE_GRAY;

    int bpp = 24;
    if (transparent)
        bpp = 32;
    else if ((gray || palette) && depth == 1)
        bpp = 1;
    else if (gray || palette)
        bpp = 8;
    if (!frameSizeAllowed(width, height, bpp))
        return false;
    noteOrientation(png, info, result);
    if (request.headerOnly) {
        png_uint_32 size = 0;
        png_bytep exif = nullptr;
        if (!png_get_eXIf_1(png, info, &size, &exif))
            result.orientation = trailingOrientation(request.data);
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), bpp);
    }

    if (depth == 16)
        png_set_scale_16(png);
    if (transparent) {
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    } else if (gray && depth > 1 && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    } else if (palette && depth > 1 && depth < 8) {
        png_set_packing(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);

    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), bpp))
        return false;
    if (rowBytes > bitmap.stride())
        return false;
    if (palette && !transparent) {
        png_colorp entries = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &entries, &count))
            return false;
        for (int i = 0; i < count; ++i)
            bitmap.palette().push_back({entries[i].red, entries[i].green, entries[i].blue});
    } else if (gray && !transparent) {
        if (bpp == 1)
            bitmap.palette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
        else
            bitmap.setGrayPalette();
    }
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = bitmap.row(static_cast<int>(y));
    png_read_image(png, rows.data());
    png_read_end(png, info);
    noteOrientation(png, info, result); // an eXIf chunk may follow the image data
    if (bpp == 1 && !normalizeBilevel(bitmap))
        return false;
    if (bpp == 32 && !dropUnusedAlpha(bitmap, false)) // a tRNS entry that no pixel uses
        return false;
    return finishLoad(result);
}

} // namespace

bool readPng(const LoadRequest& request, LoadResult& result)
{
    if (request.frame != 0 || request.data.size() < 8 || png_sig_cmp(request.data.data(), 0, 8) != 0)
        return false;
    // Declared before setjmp so that a jump out of libpng skips no destructor.
    std::vector<png_bytep> rows;
    Source source{request.data, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &result.reason, onError, onWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        result.bitmap.clear();
        return false;
    }
    limitChunks(png);
    png_set_read_fn(png, &source, readFromMemory);
    bool ok = decode(png, info, request, result, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok)
        result.bitmap.clear();
    return ok;
}

} // namespace folvane::codec
