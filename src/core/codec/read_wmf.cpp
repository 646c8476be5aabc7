// Windows metafiles through libwmf: the picture is played by libwmf's raster device onto a
// white canvas and handed over as PNG in memory, which readWmf (extra_codecs.cpp) decodes. Enhanced metafiles are not
// read by libwmf and fail, so they can take another route.
//
// Size in pixels, for a display of 96 dots per inch: a placeable metafile (key 0x9AC6CDD7, a
// header checksum equal to the exclusive-or of its first ten 16-bit words, 1 to 2540 units per
// inch) maps each side of its bounding box as (side × 96 + units per inch / 2) / units per inch;
// other metafiles take libwmf's own display size at 96 dots per inch. A side above 10000 pixels
// becomes 10000 and the other side shrinks in proportion (width first, then height); a picture
// of zero width or height fails.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

constexpr unsigned kDisplayDpi = 96;
constexpr unsigned kMaxSide = 10000;

int collect(void* context, char* buffer, int length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    if (length > 0)
        out->insert(out->end(), buffer, buffer + length);
    return length;
}

// Size from a valid placeable header, and its frame in libwmf's device units (points); false
// when the file has none.
bool placeableSize(std::span<const uint8_t> data, uint64_t& width, uint64_t& height, wmfD_Rect& frame)
{
    ByteReader in(data);
    uint16_t words[10];
    for (uint16_t& w : words)
        w = in.u16le();
    const uint16_t checksum = in.u16le();
    if (!in.ok() || words[0] != 0xCDD7 || words[1] != 0x9AC6)
        return false;
    uint16_t x = 0;
    for (uint16_t w : words)
        x ^= w;
    const unsigned inch = words[7];
    if (x != checksum || inch < 1 || inch > 2540)
        return false;
    const int64_t left = static_cast<int16_t>(words[3]), top = static_cast<int16_t>(words[4]);
    const int64_t right = static_cast<int16_t>(words[5]), bottom = static_cast<int16_t>(words[6]);
    width = (static_cast<uint64_t>(std::llabs(right - left)) * kDisplayDpi + inch / 2) / inch;
    height = (static_cast<uint64_t>(std::llabs(bottom - top)) * kDisplayDpi + inch / 2) / inch;
    const float toPoints = 72.0f / static_cast<float>(inch);
    frame.TL.x = static_cast<float>(std::min(left, right)) * toPoints;
    frame.TL.y = static_cast<float>(std::min(top, bottom)) * toPoints;
    frame.BR.x = static_cast<float>(std::max(left, right)) * toPoints;
    frame.BR.y = static_cast<float>(std::max(top, bottom)) * toPoints;
    return true;
}

void limitSides(uint64_t& width, uint64_t& height)
{
    if (width > kMaxSide) {
        height = height * kMaxSide / width;
        width = kMaxSide;
    }
    if (height > kMaxSide) {
        width = width * kMaxSide / height;
        height = kMaxSide;
    }
}

// libwmf allocates its record buffer from the header's largest-record field before reading a
// single record, so a damaged header could ask for gigabytes. No record can be larger than the
// file holding it (and none is below three words), which real files always satisfy.
bool recordSizeFits(std::span<const uint8_t> data)
{
    ByteReader in(data);
    size_t header = in.u32le() == 0x9AC6CDD7u ? 22 : 0;
    ByteReader standard(data.subspan(std::min(header, data.size())));
    standard.skip(12); // type, header size, version, file size
    const uint64_t maxRecordWords = standard.u32le();
    return standard.ok() && maxRecordWords >= 3 && maxRecordWords * 2 <= data.size();
}

class Api {
public:
    Api()
    {
        wmfAPI_Options options {};
        options.function = wmf_gd_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None) {
            if (m_api)
                wmf_api_destroy(m_api);
            m_api = nullptr;
        }
    }
    ~Api()
    {
        if (m_api) {
            if (m_open)
                wmf_mem_close(m_api);
            wmf_api_destroy(m_api);
        }
    }
    Api(const Api&) = delete;
    Api& operator=(const Api&) = delete;
    wmfAPI* get() const { return m_api; }
    bool open(std::span<const uint8_t> data)
    {
        m_open = wmf_mem_open(m_api, const_cast<unsigned char*>(data.data()), static_cast<long>(data.size())) == wmf_E_None;
        return m_open;
    }

private:
    wmfAPI* m_api = nullptr;
    bool m_open = false;
};

} // namespace

bool playWmf(const LoadRequest& request, LoadResult& result, std::vector<uint8_t>& png)
{
    if (request.frame != 0 || request.data.size() < 18 || request.data.size() > 0x7FFFFFFF ||
        !recordSizeFits(request.data))
        return false;
    Api api;
    if (!api.get() || !api.open(request.data))
        return false;
    wmfD_Rect box {};
    if (wmf_scan(api.get(), 0, &box) != wmf_E_None)
        return false;
    // The whole picture frame is played, not only the extent of what is drawn, so that empty
    // margins of the picture stay white.
    uint64_t width = 0, height = 0;
    if (!placeableSize(request.data, width, height, box)) {
        unsigned int w = 0, h = 0;
        if (wmf_display_size(api.get(), &w, &h, kDisplayDpi, kDisplayDpi) != wmf_E_None)
            return false;
        width = w;
        height = h;
    }
    limitSides(width, height);
    if (width == 0 || height == 0)
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), 24);

    wmf_gd_t* device = WMF_GD_GetData(api.get());
    if (!device || !(device->flags & WMF_GD_SUPPORTS_PNG))
        return false;
    device->type = wmf_gd_png;
    device->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
    device->sink.context = &png;
    device->sink.function = collect;
    device->file = nullptr;
    device->width = static_cast<unsigned>(width);
    device->height = static_cast<unsigned>(height);
    device->bbox = box;
    if (wmf_play(api.get(), 0, &box) != wmf_E_None || png.empty())
        return false;
    return finishLoad(result, static_cast<int>(width), static_cast<int>(height), 24);
}

} // namespace folvane::codec
