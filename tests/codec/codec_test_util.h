#pragma once
// Fixture builders and pixel helpers for the codec tests: little byte writers for the small
// formats, PNG and TIFF files written through the libraries, and pixel access by colour.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/bitmap.h"
#include "codec/image_codec.h"
#include "support/image_files.h"

namespace folvane::codec::test {

using Bytes = std::vector<uint8_t>;
// The shared image-file makers, for the codec tests' unqualified use.
using folvane::test::encodeJpeg2000;
using folvane::test::makePng;

struct ByteWriter {
    Bytes bytes;
    ByteWriter& u8(unsigned v);
    ByteWriter& u16le(unsigned v);
    ByteWriter& u32le(uint32_t v);
    ByteWriter& u16be(unsigned v);
    ByteWriter& u32be(uint32_t v);
    ByteWriter& text(const std::string& s);
    ByteWriter& raw(const Bytes& b);
};

// The colour of pixel (x, y) as R, G, B whatever the depth (alpha composited onto white).
Rgb pixel(const Bitmap& bitmap, int x, int y);

// A small true-colour test picture: every pixel a different, reproducible colour.
Bitmap colourPicture(int width, int height);
// A bilevel picture with a checkerboard of ink (bit 1) and a solid ink first column.
Bitmap bilevelPicture(int width, int height);
// An 8-bit picture on the identity gray ramp.
Bitmap grayPicture(int width, int height);

std::filesystem::path writeBytes(const std::string& name, const Bytes& bytes);
Bytes readBytes(const std::filesystem::path& path);

// Loads a file fully (not header-only) and returns the codec, failing the test when it fails.
bool loadFile(ImageCodec& codec, const std::filesystem::path& path, int formatId);
bool loadBytes(ImageCodec& codec, const Bytes& bytes, int formatId);

// A TIFF of several pages written with libtiff; each page is given as a bitmap and saved with
// the codec's own encoder settings (compression number).
std::filesystem::path makeMultiPageTiff(const std::string& name, const std::vector<Bitmap>& pages, int compression);

// The folder of the committed fixtures.
std::filesystem::path fixture(const std::string& name);

// Reads a TIFF tag of the first page with libtiff (for checking what the encoder wrote).
struct TiffFacts {
    bool opened = false;
    uint32_t width = 0, height = 0;
    uint16_t compression = 0, photometric = 0, bitsPerSample = 0, samplesPerPixel = 0;
    int pages = 0;
    std::vector<Bytes> rows; // decoded scanlines of the first page
};
TiffFacts inspectTiff(const std::filesystem::path& path);

// A linear (demosaiced) DNG of 64 × 32 pixels written with libtiff: left half bright, right dark.
std::filesystem::path makeDng();

// A placeable metafile of right × bottom units at the given units per inch, with a red
// rectangle over the left half.
Bytes makeWmf(int16_t right, int16_t bottom, uint16_t inch);

} // namespace folvane::codec::test
