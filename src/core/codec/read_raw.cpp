// Camera raw files through LibRaw: demosaiced with the camera's white balance into 8-bit RGB
// (or gray for monochrome sensors), turned as the camera recorded.
#include <cstring>
#include <memory>
#include <new>

#include <libraw/libraw.h>

#include "codec_internal.h"

namespace folvane::codec {

namespace {

// LibRaw reports damaged data and memory shortage through callbacks that print by default.
void onDataError(void*, const char*, const int) {}
void onMemoryError(void*, const char*, const char*) {}

struct ImageDeleter {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

bool decode(LibRaw& raw, const LoadRequest& request, LoadResult& result)
{
    raw.set_dataerror_handler(onDataError, nullptr);
    raw.set_memerror_handler(onMemoryError, nullptr);
    auto& params = raw.imgdata.params;
    params.output_bps = 8;
    params.use_camera_wb = 1;
    params.output_color = 1; // sRGB
    if (raw.open_buffer(const_cast<uint8_t*>(request.data.data()), request.data.size()) != LIBRAW_SUCCESS)
        return false;
    const auto& sizes = raw.imgdata.sizes;
    if (!frameSizeAllowed(sizes.raw_width, sizes.raw_height, 32) || !frameSizeAllowed(sizes.width, sizes.height, 24))
        return false;
    const bool turned = sizes.flip == 5 || sizes.flip == 6;
    const int width = turned ? sizes.height : sizes.width;
    const int height = turned ? sizes.width : sizes.height;
    if (request.headerOnly)
        return finishLoad(result, width, height, 24);
    if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS)
        return false;
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, ImageDeleter> image(raw.dcraw_make_mem_image(&error));
    if (!image || error != LIBRAW_SUCCESS || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 ||
        (image->colors != 1 && image->colors != 3))
        return false;
    const int depth = image->colors == 1 ? 8 : 24;
    const uint64_t rowBytes = static_cast<uint64_t>(image->width) * image->colors;
    if (rowBytes * image->height > image->data_size)
        return false;
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(image->width, image->height, depth))
        return false;
    if (depth == 8)
        bitmap.setGrayPalette();
    for (int y = 0; y < image->height; ++y)
        std::memcpy(bitmap.row(y), image->data + rowBytes * static_cast<uint64_t>(y), static_cast<size_t>(rowBytes));
    return finishLoad(result);
}

} // namespace

bool readRaw(const LoadRequest& request, LoadResult& result)
{
    if (request.frame != 0 || request.data.empty())
        return false;
    try {
        // The processor is large; it lives on the heap.
        auto raw = std::make_unique<LibRaw>(0);
        if (decode(*raw, request, result))
            return true;
    } catch (...) {
    }
    result.bitmap.clear();
    return false;
}

} // namespace folvane::codec
