#pragma once
// Shared between the image importers and the XObject writer; not part of the writer's public
// contract.

#include <string>

#include "pdf/images.h"
#include "base/resource_limits.h"

namespace folvane::pdf {

// What getImageSize and getImageResolution report.
struct ImageHeader {
    int width = 0;
    int height = 0;
    double resolutionX = 0; // same sign convention as ImageSlot
    double resolutionY = 0;
};

// Decoded images larger than this are refused (a raster of 4 bytes per pixel stays within
// limits::kMaxAllocationBytes).
constexpr uint64_t kMaxDecodedPixels = limits::kMaxFramePixels;

// The importers. Each describes the image in `slot`, provides the source of its bytes and calls
// writeImageObjects; each returns 1, or -1 after closing its file when the file cannot be read,
// is damaged, or is of a refused variant.
int importJpeg(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option);
int importTiff(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option,
               int optionNumber);

int importPng(PdfDocument* doc, ImageSlot* slot, const std::string& path, const std::string& option);

bool readJpegHeader(PdfDocument* doc, const std::string& path, ImageHeader* header);
bool readPngHeader(PdfDocument* doc, const std::string& path, ImageHeader* header);
// directory: 0-based.
bool readTiffHeader(PdfDocument* doc, const std::string& path, int directory, ImageHeader* header);

// Writes the XObject(s) of `slot` from slot->source: one per strip, then the palette object of an
// indexed image and the soft mask of an image with slot->maskBits. An open content stream is
// ended first and a new one begun afterwards. False when a part could not be read (the parts
// before it stay in the file, unused).
bool writeImageObjects(PdfDocument* doc, ImageSlot* slot);

// The document's strip buffer, grown to hold at least `size` bytes; null when it cannot grow or
// `size` is above limits::kMaxAllocationBytes.
uint8_t* growStripBuffer(PdfDocument* doc, size_t size);

// Size of the regular file at `path`, or -1 when it is missing or not a regular file (a pipe or
// device would block or never end).
int64_t regularFileSize(const std::string& path);

// Rows of XObject `part` of the slot.
int stripRows(const ImageSlot& slot, int part);

} // namespace folvane::pdf
