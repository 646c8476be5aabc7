// JPEG 2000 through OpenJPEG: JP2 files and bare J2K code streams. One component gives 8-bit
// gray, two give gray with alpha, three or more give RGB (with alpha when a fourth component is
// not CMYK ink). Samples of any precision are scaled to 8 bits; sYCC and CMYK are converted.
// Truncated code streams fail instead of decoding partly.
#include <algorithm>
#include <cstring>
#include <vector>

#include <openjpeg.h>

#include "codec_internal.h"
#include "codec/image_codec.h"

namespace folvane::codec {

namespace {

struct Source {
    std::span<const uint8_t> data;
    size_t pos = 0;
};

OPJ_SIZE_T streamRead(void* buffer, OPJ_SIZE_T size, void* user)
{
    auto* src = static_cast<Source*>(user);
    if (src->pos >= src->data.size())
        return static_cast<OPJ_SIZE_T>(-1);
    size_t n = std::min(static_cast<size_t>(size), src->data.size() - src->pos);
    std::memcpy(buffer, src->data.data() + src->pos, n);
    src->pos += n;
    return n;
}

OPJ_OFF_T streamSkip(OPJ_OFF_T count, void* user)
{
    auto* src = static_cast<Source*>(user);
    if (count < 0) {
        if (static_cast<size_t>(-count) > src->pos)
            return -1;
        src->pos -= static_cast<size_t>(-count);
        return count;
    }
    size_t n = std::min(static_cast<size_t>(count), src->data.size() - std::min(src->pos, src->data.size()));
    src->pos += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL streamSeek(OPJ_OFF_T offset, void* user)
{
    auto* src = static_cast<Source*>(user);
    if (offset < 0 || static_cast<uint64_t>(offset) > src->data.size())
        return OPJ_FALSE;
    src->pos = static_cast<size_t>(offset);
    return OPJ_TRUE;
}

void quiet(const char*, void*) {}

class Decoder {
public:
    Decoder(Source& source, OPJ_CODEC_FORMAT format)
    {
        m_stream = opj_stream_create(64 * 1024, OPJ_TRUE);
        m_codec = opj_create_decompress(format);
        if (!m_stream || !m_codec)
            return;
        opj_stream_set_user_data(m_stream, &source, nullptr);
        opj_stream_set_user_data_length(m_stream, source.data.size());
        opj_stream_set_read_function(m_stream, streamRead);
        opj_stream_set_skip_function(m_stream, streamSkip);
        opj_stream_set_seek_function(m_stream, streamSeek);
        opj_set_info_handler(m_codec, quiet, nullptr);
        opj_set_warning_handler(m_codec, quiet, nullptr);
        opj_set_error_handler(m_codec, quiet, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        m_ready = opj_setup_decoder(m_codec, &parameters) && opj_decoder_set_strict_mode(m_codec, OPJ_TRUE);
    }
    ~Decoder()
    {
        if (m_image)
            opj_image_destroy(m_image);
        if (m_codec)
            opj_destroy_codec(m_codec);
        if (m_stream)
            opj_stream_destroy(m_stream);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool readHeader() { return m_ready && opj_read_header(m_stream, m_codec, &m_image) && m_image; }
    bool decode() { return opj_decode(m_codec, m_stream, m_image) && opj_end_decompress(m_codec, m_stream); }
    opj_image_t* image() const { return m_image; }

private:
    opj_stream_t* m_stream = nullptr;
    opj_codec_t* m_codec = nullptr;
    opj_image_t* m_image = nullptr;
    bool m_ready = false;
};

// Reads component c at frame position (x, y), scaled to 0..255; subsampled components are
// stretched over the frame.
class ComponentReader {
public:
    ComponentReader(const opj_image_comp_t& comp, uint32_t width, uint32_t height)
        : m_comp(comp), m_width(width), m_height(height)
    {
        m_max = comp.prec >= 32 ? 0xFFFFFFFFull : (uint64_t(1) << comp.prec) - 1;
        m_offset = comp.sgnd && comp.prec > 0 && comp.prec < 32 ? int64_t(1) << (comp.prec - 1) : 0;
    }
    bool valid() const { return m_comp.data && m_comp.w > 0 && m_comp.h > 0 && m_comp.prec >= 1 && m_comp.prec <= 31; }
    uint8_t at(uint32_t x, uint32_t y) const
    {
        const uint64_t cx = std::min<uint64_t>(static_cast<uint64_t>(x) * m_comp.w / m_width, m_comp.w - 1);
        const uint64_t cy = std::min<uint64_t>(static_cast<uint64_t>(y) * m_comp.h / m_height, m_comp.h - 1);
        int64_t v = static_cast<int64_t>(m_comp.data[cy * m_comp.w + cx]) + m_offset;
        v = std::clamp<int64_t>(v, 0, static_cast<int64_t>(m_max));
        return static_cast<uint8_t>((static_cast<uint64_t>(v) * 255 + m_max / 2) / m_max);
    }

private:
    const opj_image_comp_t& m_comp;
    uint32_t m_width;
    uint32_t m_height;
    uint64_t m_max = 1;
    int64_t m_offset = 0;
};

uint8_t clampByte(double v)
{
    return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

bool convert(const opj_image_t& image, Bitmap& bitmap)
{
    const uint32_t width = image.x1 - image.x0, height = image.y1 - image.y0;
    const uint32_t n = image.numcomps;
    std::vector<ComponentReader> comps;
    for (uint32_t c = 0; c < std::min<uint32_t>(n, 4); ++c) {
        comps.emplace_back(image.comps[c], width, height);
        if (!comps.back().valid())
            return false;
    }
    const bool cmyk = image.color_space == OPJ_CLRSPC_CMYK && n >= 4;
    const bool alpha = n == 2 || (n >= 4 && !cmyk);
    const bool gray = n <= 2;
    const int depth = alpha ? 32 : (gray ? 8 : 24);
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), depth))
        return false;
    if (depth == 8)
        bitmap.setGrayPalette();
    const bool ycc = image.color_space == OPJ_CLRSPC_SYCC && n >= 3;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* out = bitmap.row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t r, g, b, a = 255;
            if (gray) {
                r = g = b = comps[0].at(x, y);
                if (alpha)
                    a = comps[1].at(x, y);
            } else {
                r = comps[0].at(x, y);
                g = comps[1].at(x, y);
                b = comps[2].at(x, y);
                if (ycc) {
                    const double yy = r, cb = g - 128.0, cr = b - 128.0;
                    r = clampByte(yy + 1.402 * cr);
                    g = clampByte(yy - 0.344136 * cb - 0.714136 * cr);
                    b = clampByte(yy + 1.772 * cb);
                } else if (cmyk) {
                    const unsigned k = 255u - comps[3].at(x, y);
                    r = static_cast<uint8_t>((255u - r) * k / 255u);
                    g = static_cast<uint8_t>((255u - g) * k / 255u);
                    b = static_cast<uint8_t>((255u - b) * k / 255u);
                }
                if (alpha)
                    a = comps[3].at(x, y);
            }
            if (depth == 8) {
                out[x] = r;
            } else {
                uint8_t* p = out + (depth == 32 ? 4 : 3) * x;
                p[0] = r;
                p[1] = g;
                p[2] = b;
                if (depth == 32)
                    p[3] = a;
            }
        }
    }
    return true;
}

} // namespace

bool readJp2(const LoadRequest& request, LoadResult& result)
{
    if (request.frame != 0 || request.data.size() < 12)
        return false;
    // The layout decides the decoder: a JP2 box signature or a bare code stream.
    static const uint8_t box[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    const bool jp2 = std::equal(box, box + 12, request.data.begin());
    const bool codestream = request.data[0] == 0xFF && request.data[1] == 0x4F;
    if (!jp2 && !codestream)
        return false;
    Source source{request.data, 0};
    Decoder decoder(source, jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (!decoder.readHeader())
        return false;
    const opj_image_t& image = *decoder.image();
    if (image.numcomps == 0 || image.x1 <= image.x0 || image.y1 <= image.y0)
        return false;
    const uint32_t width = image.x1 - image.x0, height = image.y1 - image.y0;
    const int depth = image.numcomps == 1 ? 8 : image.numcomps == 3 ? 24 : 32;
    if (!frameSizeAllowed(width, height, depth))
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), depth);
    if (!decoder.decode() || !convert(*decoder.image(), result.bitmap)) {
        result.bitmap.clear();
        return false;
    }
    if (result.bitmap.bitsPerPixel() == 32 && !dropUnusedAlpha(result.bitmap, false))
        return false;
    return finishLoad(result);
}

} // namespace folvane::codec
