// Portable any-maps P1 to P6: bitmaps (1 = black), gray maps and pix maps, in text or binary
// form, with any maximum value up to 65535 (scaled to 8 bits, or to 16 bits for a PNG copy that
// keeps them).
#include <cstring>

#include "byte_reader.h"
#include "codec_internal.h"

namespace folvane::codec {

namespace {

bool isSpace(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Skips white space and comments, then reads a decimal number (false when there is none or it
// exceeds the limit).
bool readNumber(ByteReader& in, uint32_t limit, uint32_t& value)
{
    while (!in.atEnd()) {
        uint8_t c = in.data()[in.pos()];
        if (c == '#') {
            while (!in.atEnd() && in.data()[in.pos()] != '\n' && in.data()[in.pos()] != '\r')
                in.skip(1);
        } else if (isSpace(c)) {
            in.skip(1);
        } else {
            break;
        }
    }
    value = 0;
    int digits = 0;
    while (!in.atEnd() && in.data()[in.pos()] >= '0' && in.data()[in.pos()] <= '9') {
        value = value * 10 + (in.u8() - '0');
        if (value > limit)
            return false;
        ++digits;
    }
    return digits > 0;
}

// A plain bitmap's pixels are single digits that need no separators.
bool readBit(ByteReader& in, uint32_t& value)
{
    while (!in.atEnd() && (isSpace(in.data()[in.pos()]) || in.data()[in.pos()] == '#')) {
        if (in.data()[in.pos()] == '#')
            while (!in.atEnd() && in.data()[in.pos()] != '\n')
                in.skip(1);
        else
            in.skip(1);
    }
    uint8_t c = in.u8();
    value = c == '1' ? 1 : 0;
    return in.ok() && (c == '0' || c == '1');
}

// What comes before the raster: kind 1 to 6, size, maximum value and sample layout.
struct PnmHeader {
    int kind = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maxValue = 1;
    bool bitmapKind() const { return kind == 1 || kind == 4; }
    bool binary() const { return kind >= 4; }
    int depth() const { return bitmapKind() ? 1 : (kind == 2 || kind == 5) ? 8 : 24; }
    int channels() const { return depth() == 24 ? 3 : 1; }
};

// Reads the header and leaves `in` at the first byte of the raster.
bool readHeader(ByteReader& in, PnmHeader& header)
{
    if (in.u8() != 'P')
        return false;
    header.kind = in.u8() - '0';
    if (!in.ok() || header.kind < 1 || header.kind > 6)
        return false;
    if (!readNumber(in, 0x7FFFFFFF, header.width) || !readNumber(in, 0x7FFFFFFF, header.height))
        return false;
    if (!header.bitmapKind() && (!readNumber(in, 65535, header.maxValue) || header.maxValue == 0))
        return false;
    if (!frameSizeAllowed(header.width, header.height, header.depth()))
        return false;
    return !header.binary() || isSpace(in.u8()); // exactly one white-space byte before the raster
}

// One gray or colour sample of a text or binary any-map (not a bitmap); false when it is missing
// or above the maximum value.
bool readSample(ByteReader& in, const PnmHeader& header, uint32_t& value)
{
    if (!header.binary())
        return readNumber(in, header.maxValue, value);
    value = header.maxValue > 255 ? in.u16be() : in.u8();
    return in.ok() && value <= header.maxValue;
}

} // namespace

bool writeWidePnmAsPng(std::span<const uint8_t> data, const std::string& path)
{
    ByteReader in(data);
    PnmHeader header;
    if (!readHeader(in, header) || header.bitmapKind() || header.maxValue <= 255)
        return false;
    const uint32_t samples = header.width * static_cast<uint32_t>(header.channels());
    if (header.binary() && uint64_t{samples} * header.height * 2 > in.remaining())
        return false;
    auto nextRow = [&](uint8_t* row) {
        for (uint32_t x = 0; x < samples; ++x) {
            uint32_t v = 0;
            if (!readSample(in, header, v))
                return false;
            v = (v * 65535u + header.maxValue / 2) / header.maxValue;
            row[2 * x] = static_cast<uint8_t>(v >> 8);
            row[2 * x + 1] = static_cast<uint8_t>(v);
        }
        return true;
    };
    return writeSixteenBitPng(static_cast<int>(header.width), static_cast<int>(header.height), header.channels(),
                              nextRow, path);
}

bool readPnm(const LoadRequest& request, LoadResult& result)
{
    ByteReader in(request.data);
    PnmHeader header;
    if (request.frame != 0 || !readHeader(in, header))
        return false;
    const int kind = header.kind;
    const uint32_t width = header.width, height = header.height, maxValue = header.maxValue;
    const bool bitmapKind = header.bitmapKind(), binary = header.binary();
    const int depth = header.depth(), channels = header.channels();
    const uint64_t samples = static_cast<uint64_t>(width) * height * channels;
    const uint64_t sampleBytes = maxValue > 255 ? 2 : 1;
    const uint64_t needed = kind == 4 ? (width + 7) / 8 * static_cast<uint64_t>(height)
                          : binary    ? samples * sampleBytes
                                      : samples; // text needs at least one byte per sample
    if (needed > in.remaining())
        return false;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(width), static_cast<int>(height), depth);

    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(width), static_cast<int>(height), depth))
        return false;
    if (bitmapKind)
        bitmap.palette() = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    else if (depth == 8)
        bitmap.setGrayPalette();
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* out = bitmap.row(static_cast<int>(y));
        if (kind == 4) {
            auto row = in.bytes(static_cast<size_t>((width + 7) / 8));
            std::memcpy(out, row.data(), row.size());
            continue;
        }
        for (uint32_t x = 0; x < width * static_cast<uint32_t>(channels); ++x) {
            uint32_t v = 0;
            bool ok = true;
            if (kind == 1)
                ok = readBit(in, v);
            else
                ok = readSample(in, header, v);
            if (!ok || !in.ok() || v > maxValue) {
                bitmap.clear();
                return false;
            }
            if (kind == 1)
                bitmap.setIndex(static_cast<int>(y), static_cast<int>(x), v);
            else
                out[x] = static_cast<uint8_t>((v * 255u + maxValue / 2) / maxValue);
        }
    }
    if (!in.ok() || (bitmapKind && !normalizeBilevel(bitmap))) {
        bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

} // namespace folvane::codec
