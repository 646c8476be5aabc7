// Format recognition from a file's first bytes and, where the bytes say nothing, its extension.
#include "intake.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "codec/image_codec.h"

namespace folvane::engine {

namespace {

bool startsWith(const unsigned char* bytes, size_t offset, const char* text, size_t length)
{
    return std::memcmp(bytes + offset, text, length) == 0;
}

} // namespace

int sniffImageFormat(const std::string& path)
{
    using namespace codec;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return kFormatUnknown;
    unsigned char b[128] = {};
    // A short file leaves the rest of the buffer zero, which matches no signature.
    size_t got = std::fread(b, 1, sizeof b, file);
    static_cast<void>(got);
    std::fclose(file);

    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
    auto extIs = [&](const char* e) { return strcasecmp(ext.c_str(), e) == 0; };

    for (const char* sig : {"BA", "BM", "IC", "PI", "CI", "CP"})
        if (startsWith(b, 0, sig, 2))
            return kFormatBmp;
    if (b[0] == 0x28 && b[1] == 0x00)
        return kFormatBmp;
    if (startsWith(b, 0, "GIF8", 4))
        return kFormatGif;
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return kFormatJpeg;
    if (startsWith(b, 0, "\x89PNG\r\n\x1A\n", 8))
        return kFormatPng;
    if (extIs(".ico"))
        return kFormatIco;
    if (startsWith(b, 0, "MM\0*", 4) || startsWith(b, 0, "II*\0", 4))
        return kFormatTiff;
    if (extIs(".tga"))
        return kFormatTga;
    if (b[0] == 0x0A && (b[1] == 0x02 || b[1] == 0x05))
        return kFormatPcx;
    if (extIs(".wbmp"))
        return kFormatWbmp;
    if (startsWith(b, 0, "\xD7\xCD\xC6\x9A", 4) || startsWith(b, 0, "\x01\x00\x09\x00", 4))
        return kFormatMetafile;
    if (startsWith(b, 40, " EMF\0\0\x01\0", 8))
        return kFormatMetafile;
    if (startsWith(b, 4, "jP  \r", 5))
        return kFormatJp2;
    if (b[0] == 0xFF && b[1] == 0x4F)
        return kFormatJ2k;
    if (extIs(".pgx"))
        return kFormatPgx;
    if (b[0] == 'P' && b[1] >= '0' && b[1] <= '9')
        return kFormatPnm;
    if (extIs(".ras"))
        return kFormatSunRaster;
    if (startsWith(b, 0, "\x8AMNG\r\n\x1A\n", 8))
        return kFormatMng;
    if (extIs(".ska"))
        return kFormatSka;
    if (extIs(".raw"))
        return kFormatCameraRaw;
    if (startsWith(b, 0, "8BPS", 4))
        return kFormatPsd;
    return kFormatUnknown;
}

} // namespace folvane::engine
