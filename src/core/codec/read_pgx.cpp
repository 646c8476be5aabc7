// PGX, the one-component test format of JPEG 2000: "PG", the byte order ("ML" big-endian or
// "LM" little-endian), an optional sign, the bit depth (1..16 here), width and height on one
// line, then the samples in 1 or 2 bytes each. Samples are scaled to 8-bit gray.
#include <algorithm>
#include <cstring>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

void skipBlanks(ByteReader& in)
{
    while (!in.atEnd() && (in.data()[in.pos()] == ' ' || in.data()[in.pos()] == '\t'))
        in.skip(1);
}

bool readNumber(ByteReader& in, uint32_t& value)
{
    skipBlanks(in);
    value = 0;
    int digits = 0;
    while (!in.atEnd() && in.data()[in.pos()] >= '0' && in.data()[in.pos()] <= '9') {
        value = value * 10 + (in.u8() - '0');
        if (++digits > 9)
            return false;
    }
    return digits > 0;
}

} // namespace

bool readPgx(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    if (in.u8() != 'P' || in.u8() != 'G' || request.frame != 0)
        return false;
    skipBlanks(in);
    const uint8_t a = in.u8(), b = in.u8();
    bool bigEndian;
    if (a == 'M' && b == 'L')
        bigEndian = true;
    else if (a == 'L' && b == 'M')
        bigEndian = false;
    else
        return false;
    skipBlanks(in);
    bool isSigned = false;
    if (!in.atEnd() && (in.data()[in.pos()] == '+' || in.data()[in.pos()] == '-'))
        isSigned = in.u8() == '-';
    uint32_t depth = 0, width = 0, height = 0;
    if (!readNumber(in, depth) || !readNumber(in, width) || !readNumber(in, height))
        return false;
    if (depth < 1 || depth > 16 || !frameSizeAllowed(width, height, 8))
        return false;
    skipBlanks(in);
    if (!in.atEnd() && in.data()[in.pos()] == '\r')
        in.skip(1);
    if (in.u8() != '\n' || !in.ok())
        return false;
    const uint64_t bytes = depth > 8 ? 2 : 1;
    if (static_cast<uint64_t>(width) * height * bytes > in.remaining())
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), 8);

    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), 8))
        return false;
    bitmap.setGrayPalette();
    const uint32_t maxValue = (1u << depth) - 1;
    const int32_t offset = isSigned ? 1 << (depth - 1) : 0;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* out = bitmap.row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t raw = bytes == 2 ? (bigEndian ? in.u16be() : in.u16le()) : in.u8();
            // Signed samples: the depth's low bits in two's complement, shifted to 0..max.
            uint32_t v = std::min(raw, maxValue);
            if (isSigned) {
                const uint32_t bits = raw & maxValue;
                const int32_t value = (bits >> (depth - 1)) & 1u ? static_cast<int32_t>(bits) - (1 << depth)
                                                                 : static_cast<int32_t>(bits);
                v = static_cast<uint32_t>(value + offset);
            }
            out[x] = static_cast<uint8_t>((v * 255u + maxValue / 2) / maxValue);
        }
    }
    return finishLoad(result);
}

} // namespace folvane::codec
