#pragma once
// What the format readers and the encoders share with the image object. Not part of the
// codec's public interface.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "codec/bitmap.h"

namespace folvane::codec {

struct LoadRequest {
    std::span<const uint8_t> data; // the whole file
    int frame = 0;                 // 0-based frame to decode
    bool headerOnly = false;       // report frame count and size without decoding pixels
    bool keepAlpha = false;        // TIFF: give a 32-bit frame with its alpha channel instead of
                                   // painting it onto white
};

// A reader fills the frame count (0 for single-image files), the size and depth of the selected
// frame, and, unless headerOnly, the bitmap itself. It returns false for anything it cannot
// decode completely; it never prints.
struct LoadResult {
    int frameCount = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    Bitmap bitmap;
    // Why a load failed, when the reader can say more than "damaged" (an unsupported variant,
    // the library's own message); empty otherwise.
    std::string reason;
    // How the picture is to be turned to show upright (1 to 8, as EXIF and TIFF number it), for
    // formats that record it beside the pixels (JPEG and PNG EXIF data); 1 otherwise.
    int orientation = 1;
};

bool readBmp(const LoadRequest& request, LoadResult& result);
bool readJpeg(const LoadRequest& request, LoadResult& result);
bool readPng(const LoadRequest& request, LoadResult& result);
bool readIco(const LoadRequest& request, LoadResult& result);
bool readTiff(const LoadRequest& request, LoadResult& result);
bool readTga(const LoadRequest& request, LoadResult& result);
bool readPcx(const LoadRequest& request, LoadResult& result);
bool readWbmp(const LoadRequest& request, LoadResult& result);
bool readWmf(const LoadRequest& request, LoadResult& result);
// Plays a metafile into the PNG file bytes `png` (left empty in header-only mode) and reports its
// size; readWmf decodes them.
bool playWmf(const LoadRequest& request, LoadResult& result, std::vector<uint8_t>& png);
bool readJp2(const LoadRequest& request, LoadResult& result);  // JP2 files and J2K code streams
bool readPgx(const LoadRequest& request, LoadResult& result);
bool readPnm(const LoadRequest& request, LoadResult& result);
bool readSun(const LoadRequest& request, LoadResult& result);
bool readMng(const LoadRequest& request, LoadResult& result);
bool readSka(const LoadRequest& request, LoadResult& result);
bool readRaw(const LoadRequest& request, LoadResult& result);

// A device-independent bitmap without file header (as stored in icons and bare .dib files).
// With iconMask the height covers the colour image and the AND mask below it; masked pixels
// become transparent.
bool readDib(std::span<const uint8_t> data, bool iconMask, const LoadRequest& request, LoadResult& result);

// Reports the size of a finished bitmap, or of a header in header-only mode.
inline bool finishLoad(LoadResult& result, int width, int height, int bitsPerPixel)
{
    result.width = width;
    result.height = height;
    result.bitsPerPixel = bitsPerPixel;
    return true;
}
inline bool finishLoad(LoadResult& result)
{
    return finishLoad(result, result.bitmap.width(), result.bitmap.height(), result.bitmap.bitsPerPixel());
}

// Decompression bombs: a compressed pixel stream cannot expand beyond this many pixels per byte,
// so sizes are refused before allocation when the file is too short to hold them.
inline bool plausibleCompressed(uint64_t pixels, size_t compressedBytes, uint64_t pixelsPerByte = 256)
{
    return pixels <= static_cast<uint64_t>(compressedBytes) * pixelsPerByte;
}

// Opens (creating when missing) a file for writing from its start, with the effect of O_TRUNC but
// without truncating a file that is already empty; -1 on failure.
int openForOverwrite(const std::string& path);
// The same as a stdio stream that buffers through `buffer` (resized to 256 KiB, and required to
// outlive the stream): libraries that hand over 4 KiB at a time make a few large writes. Null on
// failure.
FILE* openBufferedOutput(const std::string& path, std::vector<char>& buffer);

bool writeJpegFile(const Bitmap& bitmap, const std::string& path, int quality);
bool writePngFile(const Bitmap& bitmap, const std::string& path);
// Fills one row of 16-bit samples, big-endian as PNG stores them; false when the source has no
// more valid rows.
using SixteenBitRows = std::function<bool(uint8_t* row)>;
// Writes a 16-bit gray (1 channel) or RGB (3 channels) PNG file row by row.
bool writeSixteenBitPng(int width, int height, int channels, const SixteenBitRows& nextRow, const std::string& path);
// Saves a PNM file with samples above 8 bits (maximum value above 255) as a 16-bit PNG, each
// sample scaled to 0..65535; false for other files or when reading or writing fails.
bool writeWidePnmAsPng(std::span<const uint8_t> data, const std::string& path);
bool writeTiffFile(const Bitmap& bitmap, const std::string& path, int compression, int jpegQuality);

} // namespace folvane::codec
