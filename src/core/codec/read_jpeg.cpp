// JPEG decoding through libjpeg. Gray stays gray (8 bits with the identity ramp), everything
// else becomes 24-bit RGB; CMYK and YCCK are converted to RGB here because libjpeg does not.
// A file with more than limits::kMaxJpegScans scans is refused while libjpeg reads it: libjpeg
// decodes every scan of a progressive file in full, so thousands of tiny scans would take minutes.
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "codec_internal.h"
#include "exif_orientation.h"
#include "jpeg_errors.h"

namespace folvane::codec {

namespace {

// Called by libjpeg while it absorbs the scans of a multi-scan file, at least once per scan.
void onProgress(j_common_ptr cinfo)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > limits::kMaxJpegScans)
        longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

bool decode(jpeg_decompress_struct& cinfo, JpegErrors& err, const LoadRequest& request, LoadResult& result,
            std::vector<uint8_t>& line)
{
    result.orientation = jpegOrientation(request.data);
    jpeg_mem_src(&cinfo, request.data.data(), static_cast<unsigned long>(request.data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    const int width = static_cast<int>(cinfo.image_width);
    const int height = static_cast<int>(cinfo.image_height);
    const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (!frameSizeAllowed(cinfo.image_width, cinfo.image_height, gray ? 8 : 24))
        return false;
    // Even a flat picture costs a few bits per 8 x 8 block; a file claiming far more pixels than
    // its bytes can describe is a decompression bomb, refused before decoding a huge canvas.
    if (!plausibleCompressed(uint64_t{cinfo.image_width} * cinfo.image_height, request.data.size(), kJpegPixelsPerByte))
        return false;
    if (request.headerOnly)
        return finishLoad(result, width, height, gray ? 8 : 24);

    cinfo.out_color_space = gray ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_RGB);
    jpeg_start_decompress(&cinfo);
    const int components = cinfo.output_components;
    if ((gray && components != 1) || (cmyk && components != 4) || (!gray && !cmyk && components != 3))
        return false;
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(width, height, gray ? 8 : 24))
        return false;
    if (gray)
        bitmap.setGrayPalette();
    line.resize(static_cast<size_t>(width) * static_cast<size_t>(components));
    // Adobe writes CMYK inverted; plain CMYK files store ink amounts directly.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rowPointer = cmyk ? line.data() : bitmap.row(y);
        if (jpeg_read_scanlines(&cinfo, &rowPointer, 1) != 1 || err.truncated)
            return false;
        if (cmyk) {
            uint8_t* out = bitmap.row(y);
            for (int x = 0; x < width; ++x) {
                unsigned c = line[4 * x], m = line[4 * x + 1], ye = line[4 * x + 2], k = line[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    ye = 255 - ye;
                    k = 255 - k;
                }
                out[3 * x] = static_cast<uint8_t>((c * k + 127) / 255);
                out[3 * x + 1] = static_cast<uint8_t>((m * k + 127) / 255);
                out[3 * x + 2] = static_cast<uint8_t>((ye * k + 127) / 255);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (err.truncated)
        return false;
    return finishLoad(result);
}

} // namespace

bool readJpeg(const LoadRequest& request, LoadResult& result)
{
    if (request.data.size() < 4 || request.frame != 0)
        return false;
    // Declared before setjmp: nothing with a destructor lives between setjmp and the libjpeg
    // frames that may jump back.
    std::vector<uint8_t> line;
    jpeg_decompress_struct cinfo {};
    JpegErrors err {};
    jpeg_progress_mgr progress {};
    progress.progress_monitor = onProgress;
    cinfo.err = useJpegErrors(err);
    if (setjmp(err.jump)) {
        if (err.base.msg_code == JERR_BAD_PRECISION)
            result.reason = std::to_string(cinfo.data_precision) + "-bit JPEG is not supported";
        else if (err.base.msg_code == JERR_NOT_COMPILED || err.base.msg_code == JERR_ARITH_NOTIMPL)
            result.reason = "a JPEG coding this decoder lacks (arithmetic or lossless)";
        jpeg_destroy_decompress(&cinfo);
        result.bitmap.clear();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    bool ok = decode(cinfo, err, request, result, line);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        result.bitmap.clear();
    return ok;
}

} // namespace folvane::codec
