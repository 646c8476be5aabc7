// Queries 201 and 202 describe an image file rather than a document, so they also answer
// without a document (handle 0), e.g. for a watermark image chosen before any conversion.
#include "engine/engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <sys/stat.h>

#include "codec/image_codec.h"
#include "engine/engine_document.h"
#include "engine/external_converter.h"
#include "engine/intake.h"

namespace folvane::engine {

namespace {

void store(intptr_t slot, long value)
{
    // A slot carries an output address only when it is above 1000; small values mean no output.
    if (slot > 1000)
        *reinterpret_cast<int*>(slot) = static_cast<int>(value);
}

// What the external converter makes of a file the codec does not read: its frames and the size
// of the first. Kept for the last file asked about on this thread (by path, size and time), since
// a job asks for the count once and for the size once per frame.
struct ConvertedInfo {
    std::string path;
    off_t size = -1;
    struct timespec modified {};
    int frames = 0;
    int width = 0;
    int height = 0;
};

const ConvertedInfo& convertedInfo(const std::string& path)
{
    thread_local ConvertedInfo info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        info = ConvertedInfo{};
        return info;
    }
    if (info.path == path && info.size == st.st_size && info.modified.tv_sec == st.st_mtim.tv_sec &&
        info.modified.tv_nsec == st.st_mtim.tv_nsec)
        return info;
    info = ConvertedInfo{path, st.st_size, st.st_mtim};
    TemporaryFolder folder;
    TemporaryFile converted;
    if (folder.create() && converted.create(folder, "query.tif") &&
        runExternalConverter(path, converted.path()) >= 0) {
        info.frames = codec::tiffPageCount(converted.path());
        if (info.frames > 0 && !codec::tiffPageSize(converted.path(), 0, info.width, info.height))
            info.width = info.height = 0;
    }
    return info;
}

// Files the codec leaves to the external converter: GIF, Photoshop and unrecognised content.
bool needsConverter(int kind)
{
    return kind == codec::kFormatGif || kind == codec::kFormatPsd || kind == codec::kFormatUnknown;
}

} // namespace

int queryImage(int code, intptr_t out1, intptr_t out2, const char* path, const char* frameText, bool autoOrient)
{
    if (!path || !*path)
        return 0;
    int kind = SniffImageFormat(path);
    if (needsConverter(kind) && externalConverterAvailable()) {
        const ConvertedInfo& info = convertedInfo(path);
        if (code == kQueryFrameCount)
            return info.frames;
        if (info.width <= 0)
            return 0;
        store(out1, info.width);
        store(out2, info.height);
        return info.width;
    }
    if (kind < 1 || kind > 19)
        return 0;
    if (code == kQueryFrameCount) {
        if (kind == codec::kFormatTiff)
            return codec::tiffPageCount(path);
        codec::ImageCodec image;
        image.setHeaderOnly(true);
        image.load(path, kind);
        // A recognised file that reports no frames counts as one image.
        return image.frameCount() > 0 ? image.frameCount() : 1;
    }
    int width = 0, height = 0;
    if (kind == codec::kFormatTiff) {
        int frame = frameText && *frameText ? std::atoi(frameText) : 1;
        if (frame < 1 || !codec::tiffPageSize(path, frame - 1, width, height))
            return 0;
    } else {
        codec::ImageCodec image;
        image.setHeaderOnly(true);
        if (!image.load(path, kind))
            return 0;
        width = image.width();
        height = image.height();
        if (autoOrient && image.orientation() >= 5)
            std::swap(width, height); // shown turned by a quarter
    }
    store(out1, width);
    store(out2, height);
    return width;
}

} // namespace folvane::engine
