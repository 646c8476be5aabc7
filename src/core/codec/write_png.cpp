// PNG encoding through libpng, for frames that must stay exact: 1-, 4- and 8-bit palettes as
// palette images of the same depth (an 8-bit gray ramp as gray), 24 bits as RGB and 32 bits as
// RGBA with the alpha channel kept.
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

// Runs inside libpng's error scope: no object with a destructor may live here.
void encode(png_structp png, png_infop info, const Bitmap& bitmap, FILE* file, std::vector<png_color>& palette)
{
    png_init_io(png, file);
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
    // Fast Deflate with adaptive filters: the file is read once and copied into the PDF as it is.
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < bitmap.height(); ++y)
        png_write_row(png, bitmap.row(y));
    png_write_end(png, info);
}

} // namespace

bool writePngFile(const Bitmap& bitmap, const std::string& path)
{
    const int bpp = bitmap.bitsPerPixel();
    if (bitmap.empty() || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32))
        return false;
    int fd = openForOverwrite(path);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    std::vector<char> buffer(size_t{1} << 18);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    std::vector<png_color> palette;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        ::unlink(path.c_str());
        return false;
    }
    encode(png, info, bitmap, file, palette);
    png_destroy_write_struct(&png, &info);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace folvane::codec
