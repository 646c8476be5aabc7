// ZSoft PCX: run-length encoded planes. Supported: 1 bit × 1 plane (monochrome), 1 bit × 2..4
// planes and 4 bits × 1 plane (16 colours from the header palette), 8 bits × 1 plane (256-colour
// palette at the end of the file, or gray without one) and 8 bits × 3 planes (true colour).
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

bool readPcx(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    const uint8_t maker = in.u8(), version = in.u8(), encoding = in.u8(), bits = in.u8();
    const uint16_t xMin = in.u16le(), yMin = in.u16le(), xMax = in.u16le(), yMax = in.u16le();
    in.seek(16);
    auto headerPalette = in.bytes(48);
    in.seek(65);
    const uint8_t planes = in.u8();
    const uint16_t bytesPerLine = in.u16le();
    if (!in.ok() || in.size() < 128 || maker != 0x0A || encoding > 1 || request.frame != 0 || xMax < xMin || yMax < yMin)
        return false;
    const int width = xMax - xMin + 1, height = yMax - yMin + 1;
    int depth = 0;
    if (bits == 1 && planes == 1)
        depth = 1;
    else if ((bits == 1 && planes >= 2 && planes <= 4) || (bits == 4 && planes == 1))
        depth = 4;
    else if (bits == 8 && planes == 1)
        depth = 8;
    else if (bits == 8 && planes == 3)
        depth = 24;
    else
        return false;
    if (static_cast<uint64_t>(bytesPerLine) * 8 < static_cast<uint64_t>(width) * bits || !frameSizeAllowed(width, height, depth))
        return false;
    if (request.headerOnly)
        return finishLoad(result, width, height, depth);

    const size_t lineBytes = static_cast<size_t>(bytesPerLine) * planes;
    if (encoding == 1 ? !plausibleCompressed(static_cast<uint64_t>(lineBytes) * height, in.size() - 128, 32)
                      : static_cast<uint64_t>(lineBytes) * height > in.size() - 128)
        return false;
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(width, height, depth))
        return false;
    in.seek(128);
    std::vector<uint8_t> line(lineBytes);
    unsigned runLeft = 0;
    uint8_t runValue = 0;
    for (int y = 0; y < height; ++y) {
        // Runs may continue from one line into the next.
        for (size_t i = 0; i < lineBytes; ++i) {
            if (encoding == 0) {
                line[i] = in.u8();
                continue;
            }
            if (runLeft == 0) {
                uint8_t b = in.u8();
                if ((b & 0xC0) == 0xC0) {
                    runLeft = b & 0x3Fu;
                    runValue = in.u8();
                } else {
                    runLeft = 1;
                    runValue = b;
                }
            }
            if (runLeft > 0) {
                line[i] = runValue;
                --runLeft;
            }
        }
        if (!in.ok()) {
            bitmap.clear();
            return false;
        }
        uint8_t* out = bitmap.row(y);
        if (depth == 24) {
            for (int x = 0; x < width; ++x)
                for (int p = 0; p < 3; ++p)
                    out[3 * x + p] = line[static_cast<size_t>(p) * bytesPerLine + x];
        } else if (depth == 4 && bits == 1) {
            for (int x = 0; x < width; ++x) {
                unsigned v = 0;
                for (int p = 0; p < planes; ++p)
                    v |= ((line[static_cast<size_t>(p) * bytesPerLine + x / 8] >> (7 - x % 8)) & 1u) << p;
                bitmap.setIndex(y, x, v);
            }
        } else {
            std::memcpy(out, line.data(), std::min(static_cast<size_t>(bytesPerLine), bitmap.stride()));
        }
    }
    if (depth == 1) {
        bitmap.palette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
        if (!normalizeBilevel(bitmap))
            return false;
    } else if (depth == 4) {
        for (int i = 0; i < 16; ++i)
            bitmap.palette().push_back({headerPalette[3 * i], headerPalette[3 * i + 1], headerPalette[3 * i + 2]});
    } else if (depth == 8) {
        // The 256-colour palette: marker 0x0C and 768 bytes at the very end of the file.
        const size_t size = request.data.size();
        if (size >= 128 + 769 && request.data[size - 769] == 0x0C) {
            const uint8_t* p = request.data.data() + size - 768;
            for (int i = 0; i < 256; ++i)
                bitmap.palette().push_back({p[3 * i], p[3 * i + 1], p[3 * i + 2]});
        } else if (version >= 5) {
            bitmap.clear(); // version 5 always ends with its palette: the file was cut short
            return false;
        } else {
            bitmap.setGrayPalette();
        }
    }
    return finishLoad(result);
}

} // namespace folvane::codec
