// JPEG encoding through libjpeg: grayscale frames (and 1-bit frames) as one-component gray,
// everything else as RGB.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

#include "codec_internal.h"

namespace folvane::codec {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void onError(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr, int) {}
void onOutput(j_common_ptr) {}

bool encode(jpeg_compress_struct& cinfo, const Bitmap& bitmap, FILE* file, int quality, std::vector<uint8_t>& line)
{
    const bool gray = isGrayscalePalette(bitmap) || bitmap.bitsPerPixel() == 1;
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    // 24-bit rows are already R, G, B and go to the encoder as they are; other depths are
    // converted a row at a time.
    const bool direct = !gray && bitmap.bitsPerPixel() == 24;
    line.resize(static_cast<size_t>(bitmap.width()) * 3);
    for (int y = 0; y < bitmap.height(); ++y) {
        JSAMPROW row = line.data();
        if (direct)
            row = const_cast<JSAMPROW>(bitmap.row(y));
        else if (gray)
            rowToGray(bitmap, y, line.data());
        else
            rowToRgb(bitmap, y, line.data());
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

bool writeJpegFile(const Bitmap& bitmap, const std::string& path, int quality)
{
    if (bitmap.empty() || quality < 1 || quality > 100)
        return false;
    if (bitmap.width() > JPEG_MAX_DIMENSION || bitmap.height() > JPEG_MAX_DIMENSION)
        return false;
    std::vector<char> buffer;
    FILE* file = openBufferedOutput(path, buffer);
    if (!file)
        return false;
    std::vector<uint8_t> line;
    jpeg_compress_struct cinfo {};
    ErrorManager err {};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    err.base.output_message = onOutput;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::fclose(file);
        ::unlink(path.c_str());
        return false;
    }
    jpeg_create_compress(&cinfo);
    encode(cinfo, bitmap, file, quality, line);
    jpeg_destroy_compress(&cinfo);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace folvane::codec
