#include "codec/jpeg_recode.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include "codec_internal.h"
#include "jpeg_errors.h"

namespace folvane::codec {

namespace {

// One band of rows per component: row pointers into a buffer of whole blocks.
struct Planes {
    std::vector<uint8_t> samples[3];
    std::vector<JSAMPROW> rows[3];
    JSAMPARRAY arrays[3] = {};

    void allocate(const jpeg_component_info* components)
    {
        for (int c = 0; c < 3; ++c) {
            const jpeg_component_info& info = components[c];
            const size_t width = static_cast<size_t>(info.width_in_blocks) * DCTSIZE;
            const size_t count = static_cast<size_t>(info.v_samp_factor) * DCTSIZE;
            samples[c].assign(width * count, 0);
            rows[c].resize(count);
            for (size_t r = 0; r < count; ++r)
                rows[c][r] = samples[c].data() + r * width;
            arrays[c] = rows[c].data();
        }
    }
};

bool sampledAsTheEncoderSamples(const jpeg_decompress_struct& in)
{
    if (in.num_components != 3 || in.jpeg_color_space != JCS_YCbCr || in.progressive_mode ||
        in.data_precision != 8)
        return false;
    const jpeg_component_info* c = in.comp_info;
    return c[0].h_samp_factor == 2 && c[0].v_samp_factor == 2 && c[1].h_samp_factor == 1 &&
           c[1].v_samp_factor == 1 && c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
}

bool recode(jpeg_decompress_struct& in, jpeg_compress_struct& out, FILE* source, FILE* target, int quality,
            Planes& planes, const JpegErrors& err)
{
    jpeg_stdio_src(&in, source);
    if (jpeg_read_header(&in, TRUE) != JPEG_HEADER_OK || !sampledAsTheEncoderSamples(in))
        return false;
    struct stat st {};
    if (::fstat(fileno(source), &st) != 0 ||
        !frameSizeAllowed(in.image_width, in.image_height, 24) ||
        !plausibleCompressed(uint64_t{in.image_width} * in.image_height, static_cast<size_t>(st.st_size),
                             kJpegPixelsPerByte))
        return false;
    in.raw_data_out = TRUE;
    jpeg_start_decompress(&in);

    jpeg_stdio_dest(&out, target);
    out.image_width = in.image_width;
    out.image_height = in.image_height;
    out.input_components = 3;
    out.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, quality, TRUE);
    out.raw_data_in = TRUE;
    jpeg_start_compress(&out, TRUE);
    for (int c = 0; c < 3; ++c)
        if (out.comp_info[c].width_in_blocks != in.comp_info[c].width_in_blocks)
            return false;

    const JDIMENSION band = static_cast<JDIMENSION>(in.max_v_samp_factor * DCTSIZE);
    planes.allocate(in.comp_info);
    while (in.output_scanline < in.output_height) {
        if (jpeg_read_raw_data(&in, planes.arrays, band) != band || err.truncated)
            return false;
        jpeg_write_raw_data(&out, planes.arrays, band);
    }
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    return !err.truncated;
}

// Runs the recode with the error manager's jump set here: a libjpeg error returns false.
bool guardedRecode(jpeg_decompress_struct& in, jpeg_compress_struct& out, FILE* source, FILE* target,
                   int quality, Planes& planes, JpegErrors& err)
{
    if (setjmp(err.jump))
        return false;
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    return recode(in, out, source, target, quality, planes, err);
}

} // namespace

bool recodeJpegPlanes(const std::string& input, const std::string& output, int quality)
{
    if (quality < 1 || quality > 100)
        return false;
    FILE* source = std::fopen(input.c_str(), "rb");
    if (!source)
        return false;
    std::vector<char> outBuffer;
    FILE* target = openBufferedOutput(output, outBuffer);
    if (!target) {
        std::fclose(source);
        return false;
    }
    // libjpeg reads 4 KiB at a time; a large stdio buffer makes that a few large calls.
    std::vector<char> inBuffer(size_t{1} << 18);
    std::setvbuf(source, inBuffer.data(), _IOFBF, inBuffer.size());
    // One error manager serves both objects; everything with a destructor lives outside the
    // frames libjpeg may jump out of.
    Planes planes;
    jpeg_decompress_struct in {};
    jpeg_compress_struct out {};
    JpegErrors err {};
    in.err = out.err = useJpegErrors(err);
    const bool done = guardedRecode(in, out, source, target, quality, planes, err);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    std::fclose(source);
    const bool written = done && std::ferror(target) == 0;
    return std::fclose(target) == 0 && written;
}

} // namespace folvane::codec
