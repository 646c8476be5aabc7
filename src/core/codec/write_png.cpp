// PNG encoding through libpng, for frames that must stay exact: 1-, 4- and 8-bit palettes as
// palette images of the same depth (an 8-bit gray ramp as gray), 24 bits as RGB and 32 bits as
// RGBA with the alpha channel kept; and rows of 16-bit samples handed over one at a time.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <png.h>
#include <unistd.h>

#include "codec_internal.h"

namespace folvane::codec {

namespace {

void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Fast Deflate with adaptive filters: the file is read once and copied into the PDF as it is.
constexpr int kCompressionLevel = 3;

struct BitmapBody {
    const Bitmap& bitmap;
    std::vector<png_color>& palette;
};

// Runs inside libpng's error scope: no object with a destructor may live here.
void encodeBitmap(png_structp png, png_infop info, const void* context)
{
    const Bitmap& bitmap = static_cast<const BitmapBody*>(context)->bitmap;
    std::vector<png_color>& palette = static_cast<const BitmapBody*>(context)->palette;
    const int bpp = bitmap.bitsPerPixel();
    const bool gray = bpp == 8 && isGrayscalePalette(bitmap);
    int colourType = PNG_COLOR_TYPE_PALETTE;
    int depth = bpp <= 8 ? bpp : 8;
    if (gray)
        colourType = PNG_COLOR_TYPE_GRAY;
    else if (bpp == 24)
        colourType = PNG_COLOR_TYPE_RGB;
    else if (bpp == 32)
        colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width()), static_cast<png_uint_32>(bitmap.height()),
                 depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        // Every index the depth can hold has an entry, so no pixel points past the palette.
        palette.assign(size_t{1} << depth, png_color{0, 0, 0});
        for (size_t i = 0; i < palette.size() && i < bitmap.palette().size(); ++i)
            palette[i] = {bitmap.palette()[i].r, bitmap.palette()[i].g, bitmap.palette()[i].b};
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    for (int y = 0; y < bitmap.height(); ++y)
        png_write_row(png, bitmap.row(y));
    png_write_end(png, info);
}

struct SixteenBitBody {
    int width;
    int height;
    int channels;
    const SixteenBitRows& nextRow;
    std::vector<uint8_t>& row;
};

// Runs inside libpng's error scope: no object with a destructor may live here. A row the source
// cannot give ends the file as an error.
void encodeSixteenBit(png_structp png, png_infop info, const void* context)
{
    const SixteenBitBody& body = *static_cast<const SixteenBitBody*>(context);
    png_set_IHDR(png, info, static_cast<png_uint_32>(body.width), static_cast<png_uint_32>(body.height), 16,
                 body.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    for (int y = 0; y < body.height; ++y) {
        if (!body.nextRow(body.row.data()))
            png_error(png, "row missing");
        png_write_row(png, body.row.data());
    }
    png_write_end(png, info);
}

using EncodeBody = void (*)(png_structp, png_infop, const void* context);

// Writes a PNG file whose header and rows `body` gives; a failed file is removed.
bool writePng(const std::string& path, EncodeBody body, const void* context)
{
    std::vector<char> buffer;
    FILE* file = openBufferedOutput(path, buffer);
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        ::unlink(path.c_str());
        return false;
    }
    png_init_io(png, file);
    body(png, info, context);
    png_destroy_write_struct(&png, &info);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace

bool writePngFile(const Bitmap& bitmap, const std::string& path)
{
    const int bpp = bitmap.bitsPerPixel();
    if (bitmap.empty() || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32))
        return false;
    std::vector<png_color> palette;
    const BitmapBody body{bitmap, palette};
    return writePng(path, encodeBitmap, &body);
}

bool writeSixteenBitPng(int width, int height, int channels, const SixteenBitRows& nextRow, const std::string& path)
{
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3))
        return false;
    std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(channels) * 2);
    const SixteenBitBody body{width, height, channels, nextRow, row};
    return writePng(path, encodeSixteenBit, &body);
}

} // namespace folvane::codec
