// Windows icons and cursors: a directory of images, each a DIB with an AND mask or an embedded
// PNG. A file with several images reports them as frames.
#include <algorithm>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

bool readIco(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    const uint16_t reserved = in.u16le(), type = in.u16le(), count = in.u16le();
    if (!in.ok() || reserved != 0 || (type != 1 && type != 2) || count == 0)
        return false;
    if (static_cast<size_t>(count) * 16 > in.remaining())
        return false;
    if (request.frame < 0 || request.frame >= count)
        return false;
    in.skip(static_cast<size_t>(request.frame) * 16 + 8);
    const uint32_t size = in.u32le(), offset = in.u32le();
    if (!in.ok() || offset > request.data.size() || size > request.data.size() - offset || size < 8)
        return false;
    const auto image = request.data.subspan(offset, size);
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    LoadRequest inner = request;
    inner.data = image;
    inner.frame = 0;
    const bool png = std::equal(pngSignature, pngSignature + 8, image.begin());
    if (!(png ? readPng(inner, result) : readDib(image, true, inner, result)))
        return false;
    result.frameCount = count > 1 ? count : 0;
    return true;
}

} // namespace folvane::codec
