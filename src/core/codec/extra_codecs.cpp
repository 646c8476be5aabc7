// The readers of camera raw, metafiles, MNG and JPEG 2000 as the codec layer sees them: each
// hands the file to the module of less common decoders (extra_codecs_abi.h), opened the first
// time one of these formats is read, and takes its frame back (a metafile as PNG bytes, decoded
// here).
#include <cstring>
#include <mutex>
#include <new>

#include "base/private_module.h"
#include "codec_internal.h"
#include "extra_codecs_abi.h"

namespace folvane::codec {

namespace {

constexpr char kModuleName[] = "libfolvane-codecs.so";

struct Loaded {
    const FolvaneCodecsModule* module = nullptr;
    std::string failure;
};

const FolvaneCodecsModule* codecsModule(std::string& failure)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] {
        std::string reason;
        auto entry = reinterpret_cast<FolvaneCodecsModuleEntry>(
            openPrivateModule(kModuleName, FOLVANE_CODECS_MODULE_ENTRY, reason));
        const FolvaneCodecsModule* module = entry ? entry() : nullptr;
        if (module && module->version == FOLVANE_CODECS_MODULE_VERSION && module->decode)
            loaded.module = module;
        else
            loaded.failure = "the image decoders are not available: " +
                             (entry ? std::string(kModuleName) + " belongs to another version of the program" : reason);
    });
    if (!loaded.module)
        failure = loaded.failure;
    return loaded.module;
}

int takeDecoded(void* context, const FolvaneDecoded* decoded)
{
    LoadResult& result = *static_cast<LoadResult*>(context);
    result.frameCount = decoded->frameCount;
    result.orientation = decoded->orientation;
    if (decoded->png) {
        // A played metafile: true colour, whatever the PNG stored.
        LoadRequest inner;
        inner.data = std::span<const uint8_t>(decoded->png, decoded->pngSize);
        LoadResult picture;
        if (!readPng(inner, picture) || !convertTo24Bits(picture.bitmap))
            return 0;
        result.bitmap = std::move(picture.bitmap);
        finishLoad(result);
        return 1;
    }
    if (decoded->pixels) {
        Bitmap& bitmap = result.bitmap;
        if (!bitmap.create(decoded->width, decoded->height, decoded->bitsPerPixel) ||
            bitmap.stride() != decoded->stride) {
            result.reason = "not enough memory for the picture";
            return 0;
        }
        std::memcpy(bitmap.bits(), decoded->pixels, decoded->stride * static_cast<size_t>(decoded->height));
        try {
            bitmap.palette().resize(static_cast<size_t>(decoded->paletteSize));
        } catch (const std::bad_alloc&) {
            result.reason = "not enough memory for the picture";
            return 0;
        }
        if (decoded->paletteSize > 0)
            std::memcpy(bitmap.palette().data(), decoded->palette, 3 * static_cast<size_t>(decoded->paletteSize));
    }
    finishLoad(result, decoded->width, decoded->height, decoded->bitsPerPixel);
    return 1;
}

void takeFailure(void* context, const char* reason)
{
    static_cast<LoadResult*>(context)->reason = reason;
}

bool readThroughModule(int format, const LoadRequest& request, LoadResult& result)
{
    const FolvaneCodecsModule* module = codecsModule(result.reason);
    if (!module)
        return false;
    FolvaneDecodeSink sink{&result, takeDecoded, takeFailure};
    if (module->decode(format, request.data.data(), request.data.size(), request.frame, request.headerOnly ? 1 : 0,
                       &sink) != 0) {
        result.bitmap.clear();
        return false;
    }
    return true;
}

} // namespace

bool readRaw(const LoadRequest& request, LoadResult& result)
{
    return readThroughModule(FOLVANE_EXTRA_RAW, request, result);
}

bool readWmf(const LoadRequest& request, LoadResult& result)
{
    return readThroughModule(FOLVANE_EXTRA_WMF, request, result);
}

bool readMng(const LoadRequest& request, LoadResult& result)
{
    return readThroughModule(FOLVANE_EXTRA_MNG, request, result);
}

bool readJp2(const LoadRequest& request, LoadResult& result)
{
    return readThroughModule(FOLVANE_EXTRA_JP2, request, result);
}

} // namespace folvane::codec
