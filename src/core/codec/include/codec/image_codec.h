#pragma once
// The image codec: one object per use, holding at most one decoded frame.
//
// Results follow the engine's model: true for success, false for any failure (unreadable file,
// unknown or damaged data, a frame beyond the limits of 2^28 pixels or 1 GiB). Nothing is printed
// and nothing throws. One object is used by one thread at a time; distinct objects are
// independent, so several workers may decode at once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/bitmap.h"

namespace folvane::codec {

// Format numbers, shared with format recognition.
enum FormatId : int {
    kFormatUnknown = -1,
    kFormatBmp = 1,
    kFormatGif = 2,
    kFormatJpeg = 3,
    kFormatPng = 4,
    kFormatIco = 5,
    kFormatTiff = 6,
    kFormatTga = 7,
    kFormatPcx = 8,
    kFormatWbmp = 9,
    kFormatMetafile = 10,
    kFormatJp2 = 11,
    kFormatJ2k = 12,
    kFormatPgx = 13,
    kFormatPnm = 14,
    kFormatSunRaster = 15,
    kFormatMng = 17,
    kFormatSka = 18,
    kFormatCameraRaw = 19,
    kFormatPsd = 20,
};

// TIFF compression numbers for setCompression (the TIFF compression tag values).
enum TiffCompression : int {
    kCompressionDefault = 0,
    kCompressionCcittG3 = 3,
    kCompressionCcittG4 = 4,
    kCompressionLzw = 5,
    kCompressionOldJpeg = 6, // treated like kCompressionJpeg
    kCompressionJpeg = 7,
    kCompressionPackBits = 32773,
    kCompressionDeflate = 32946,
};

inline constexpr int kDefaultJpegQuality = 90;

class ImageCodec {
public:
    // In header-only mode a load reports the frame count and the size without decoding pixels.
    void setHeaderOnly(bool headerOnly) { m_headerOnly = headerOnly; }
    // 0-based frame that the next load decodes.
    void selectFrame(int index) { m_frame = index; }
    // TIFF frames with an alpha channel load as 32 bits with it (straight alpha) instead of being
    // painted onto white; other formats keep alpha as they always do.
    void setKeepAlpha(bool keepAlpha) { m_keepAlpha = keepAlpha; }

    // Decodes the selected frame of a file in the given format (a FormatId). GIF, PSD and
    // unknown numbers are not read here and fail.
    bool load(const std::string& path, int formatId);
    bool loadFromMemory(const uint8_t* data, size_t size, int formatId);

    // Frames found by the last load: the page count for TIFF, the image count for icons and
    // animations with more than one image, and 0 for a single-image file.
    int frameCount() const { return m_frameCount; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bpp; }
    bool hasFrame() const { return !m_bitmap.empty(); }
    // The EXIF orientation the file records beside its pixels (1 to 8; 1 when none). The pixels
    // stay as stored until turnUpright(), which applies it (orientations 5 to 8 swap the sides).
    int orientation() const { return m_orientation; }
    bool turnUpright();
    // Why the last load failed, in words a user can act on, when the reader knew; else empty.
    const std::string& failureReason() const { return m_failureReason; }

    bool isGrayscalePalette() const { return codec::isGrayscalePalette(m_bitmap); }
    bool convertToGrayscale();
    bool increaseDepthTo24();
    bool negate();

    // 1..100 for JPEG encoding, also inside TIFF; values outside are ignored.
    void setJpegQuality(int quality);
    int jpegQuality() const { return m_jpegQuality; }

    // TIFF compression number used by save; 0 lets the encoder choose by depth: 1 bit CCITT
    // Group 4, 4 and 8 bits LZW, 24 and 32 bits JPEG, others none.
    void setCompression(int compression) { m_compression = compression; }
    int compression() const { return m_compression; }

    // Writes kFormatJpeg, a single-frame kFormatTiff or kFormatPng. 1-bit frames are written as
    // TIFF min-is-white with bit 1 = black; JPEG and TIFF composite alpha onto white, PNG keeps it
    // (and keeps palettes at their depth). A failed save leaves no file behind.
    bool save(const std::string& path, int formatId) const;

    // Drops the decoded frame (the settings stay).
    void release();

    // The rows of a decoded 1-bit frame (bit 1 = ink, most significant bit first) and their
    // stride in bytes (a multiple of 4); null and 0 for other depths.
    uint8_t* pixelRows();
    size_t rowStride() const;

    Bitmap& bitmap() { return m_bitmap; }
    const Bitmap& bitmap() const { return m_bitmap; }

private:
    void syncInfo();

    Bitmap m_bitmap;
    std::string m_failureReason;
    int m_orientation = 1;
    bool m_headerOnly = false;
    bool m_keepAlpha = false;
    int m_frame = 0;
    int m_frameCount = 0;
    int m_width = 0;
    int m_height = 0;
    int m_bpp = 0;
    int m_jpegQuality = kDefaultJpegQuality;
    int m_compression = kCompressionDefault;
};

// Pages of a TIFF file, read from its directories without decoding; 0 for a damaged or missing
// file.
int tiffPageCount(const std::string& path);
// Size of a 0-based page of a TIFF file without decoding; false when it cannot be read.
bool tiffPageSize(const std::string& path, int page, int& width, int& height);

// Saves a portable gray or pix map whose samples are wider than 8 bits (a maximum value above
// 255) as a 16-bit PNG, every sample scaled to 0..65535, so that the writer keeps all their bits.
// False for 1- and 8-bit files and for anything that cannot be read or written (no file is left).
bool saveWidePnmAsPng(const std::string& source, const std::string& pngPath);

} // namespace folvane::codec
