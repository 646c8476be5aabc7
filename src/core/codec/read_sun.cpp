// Sun raster files: depths 1 (1 = black unless a colour map says otherwise), 8 (colour map or
// gray), 24 and 32 (BGR, or RGB for the RGB type), raw or byte-encoded, rows padded to 16 bits.
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

enum : uint32_t { kOld = 0, kStandard = 1, kByteEncoded = 2, kRgbFormat = 3 };

// Expands the byte-encoded data: 0x80 n v repeats v n + 1 times, 0x80 0x00 is a single 0x80.
bool expandRle(std::span<const uint8_t> in, std::vector<uint8_t>& out, size_t wanted)
{
    size_t i = 0;
    while (out.size() < wanted && i < in.size()) {
        uint8_t b = in[i++];
        if (b != 0x80) {
            out.push_back(b);
            continue;
        }
        if (i >= in.size())
            return false;
        uint8_t count = in[i++];
        if (count == 0) {
            out.push_back(0x80);
            continue;
        }
        if (i >= in.size())
            return false;
        uint8_t value = in[i++];
        out.insert(out.end(), std::min<size_t>(count + 1u, wanted - out.size()), value);
    }
    return out.size() == wanted;
}

} // namespace

bool readSun(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    const uint32_t magic = in.u32be(), width = in.u32be(), height = in.u32be(), bits = in.u32be();
    in.u32be(); // length of the image data, often 0 in old files
    const uint32_t type = in.u32be(), mapType = in.u32be(), mapLength = in.u32be();
    if (!in.ok() || magic != 0x59A66A95 || request.frame != 0 || type > kRgbFormat || mapType > 1)
        return false;
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32)
        return false;
    const int depth = bits == 32 ? 24 : static_cast<int>(bits);
    if (!frameSizeAllowed(width, height, depth))
        return false;
    if (mapLength > in.remaining() || (mapType == 1 && (mapLength % 3 != 0 || mapLength > 768)))
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), depth);

    auto map = in.bytes(mapLength);
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * bits + 15) / 16 * 2;
    const uint64_t total = rowBytes * height;
    std::vector<uint8_t> expanded;
    std::span<const uint8_t> pixels;
    if (type == kByteEncoded) {
        if (!plausibleCompressed(total, in.remaining(), 86) || !limits::allocationAllowed(total))
            return false;
        expanded.reserve(static_cast<size_t>(total));
        if (!expandRle(in.bytes(in.remaining()), expanded, static_cast<size_t>(total)))
            return false;
        pixels = expanded;
    } else {
        if (total > in.remaining())
            return false;
        pixels = in.bytes(static_cast<size_t>(total));
    }

    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), depth))
        return false;
    if (mapType == 1 && mapLength > 0 && bits <= 8) {
        const size_t n = mapLength / 3;
        for (size_t i = 0; i < n; ++i)
            bitmap.palette().push_back({map[i], map[n + i], map[2 * n + i]});
    } else if (bits == 1) {
        bitmap.palette() = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    } else if (bits == 8) {
        bitmap.setGrayPalette();
    }
    const bool rgbOrder = type == kRgbFormat;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = pixels.data() + rowBytes * y;
        uint8_t* out = bitmap.row(static_cast<int>(y));
        if (bits <= 8) {
            std::memcpy(out, src, std::min<size_t>(static_cast<size_t>(rowBytes), bitmap.stride()));
            continue;
        }
        const size_t step = bits / 8, skip = bits == 32 ? 1 : 0; // 32-bit pixels start with a pad byte
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = src + x * step + skip;
            out[3 * x] = rgbOrder ? p[0] : p[2];
            out[3 * x + 1] = p[1];
            out[3 * x + 2] = rgbOrder ? p[2] : p[0];
        }
    }
    if (bits == 1 && !normalizeBilevel(bitmap)) {
        bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

} // namespace folvane::codec
