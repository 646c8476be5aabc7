// The module of less common decoders (libfolvane-codecs.so): the readers of camera raw,
// metafiles, MNG and JPEG 2000, built from the codec's own sources, behind one C entry point.
// Nothing here throws across the module's boundary.
#include <exception>
#include <vector>

#include "codec_internal.h"
#include "extra_codecs_abi.h"

namespace folvane::codec {
namespace {

using Reader = bool (*)(const LoadRequest&, LoadResult&);

Reader readerFor(int format)
{
    switch (format) {
    case FOLVANE_EXTRA_RAW: return readRaw;
    case FOLVANE_EXTRA_MNG: return readMng;
    case FOLVANE_EXTRA_JP2: return readJp2;
    default: return nullptr;
    }
}

int decode(int format, const uint8_t* data, size_t size, int frame, int headerOnly, const FolvaneDecodeSink* sink)
{
    try {
        Reader reader = readerFor(format);
        if (!reader && format != FOLVANE_EXTRA_WMF) {
            sink->failed(sink->context, "the image decoders do not know this format");
            return 1;
        }
        LoadRequest request;
        request.data = std::span<const uint8_t>(data, size);
        request.frame = frame;
        request.headerOnly = headerOnly != 0;
        LoadResult result;
        std::vector<uint8_t> png;
        if (reader ? !reader(request, result) : !playWmf(request, result, png)) {
            sink->failed(sink->context, result.reason.c_str());
            return 1;
        }
        const Bitmap& bitmap = result.bitmap;
        FolvaneDecoded decoded{};
        decoded.frameCount = result.frameCount;
        decoded.width = result.width;
        decoded.height = result.height;
        decoded.bitsPerPixel = result.bitsPerPixel;
        decoded.orientation = result.orientation;
        decoded.png = png.empty() ? nullptr : png.data();
        decoded.pngSize = png.size();
        if (!bitmap.empty()) {
            decoded.pixels = bitmap.row(0);
            decoded.stride = bitmap.stride();
            static_assert(sizeof(Rgb) == 3, "palette entries are R, G, B bytes");
            decoded.palette = reinterpret_cast<const uint8_t*>(bitmap.palette().data());
            decoded.paletteSize = static_cast<int>(bitmap.palette().size());
        }
        return sink->done(sink->context, &decoded) ? 0 : 1;
    } catch (const std::exception& error) {
        sink->failed(sink->context, error.what());
        return 1;
    } catch (...) {
        sink->failed(sink->context, "");
        return 1;
    }
}

constexpr FolvaneCodecsModule kModule = {FOLVANE_CODECS_MODULE_VERSION, decode};

} // namespace
} // namespace folvane::codec

extern "C" __attribute__((visibility("default"))) const FolvaneCodecsModule* folvane_codecs_module()
{
    return &folvane::codec::kModule;
}
