// Feeds arbitrary bytes to the engine's image intake the way a user's file reaches it: the first
// byte picks the file name's extension, the rest is the file. Format recognition, the frame
// count and adding the image to a new document must end with a result, never a crash or a hang,
// and a document that took the image must still close into a complete file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "engine/engine.h"

namespace {

constexpr const char* kExtensions[] = {".bmp", ".gif", ".jpg", ".png", ".ico", ".tif", ".tga", ".pcx",
                                       ".wbmp", ".wmf", ".jp2", ".jpc", ".pgx", ".pnm", ".ras", ".mng",
                                       ".ska", ".raw", ".dib", ".cur", ".pbm", ".jpeg", ".tiff", ""};

std::string scratchName(const char* suffix)
{
    return "/dev/shm/folvane-intake-fuzz-" + std::to_string(getpid()) + suffix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (4u << 20))
        return 0;
    const char* extension = kExtensions[data[0] % std::size(kExtensions)];
    const std::string image = scratchName(extension);
    const std::string pdf = scratchName(".pdf");
    FILE* file = std::fopen(image.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    using namespace folvane::engine;
    ImageProbe probe = probeImage(image);
    const int frames = probe.frames;
    const int width = probe.width;
    const int height = probe.height;
    // Frames up to the codec's pixel cap are allowed, and converting one that large takes seconds
    // under the sanitizers however small the file; the time is linear in the pixels, so larger
    // frames are left out of the conversion.
    if (int64_t{width} * height > (int64_t{1} << 24)) {
        std::remove(image.c_str());
        return 0;
    }
    Opened opened = Document::create(pdf);
    if (opened.status.ok) {
        Document& document = opened.document;
        if (frames > 1)
            document.setFrameRange(1, 2);
        bool added = document.addImage(image).status.ok;
        if (!document.close().ok && added)
            __builtin_trap(); // the image was taken, so the file must be complete
    }
    std::remove(pdf.c_str());
    std::remove(image.c_str());
    return 0;
}
