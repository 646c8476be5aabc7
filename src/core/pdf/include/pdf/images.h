#pragma once
// Image import and image XObjects. The writer reads TIFF, JPEG and PNG files itself and, wherever
// the file's compressed data is already in a form a PDF filter decodes (JPEG as DCT, CCITT fax,
// LZW, Deflate, PackBits, PNG's predicted Deflate), copies that data into the PDF without decoding
// it; anything else is decoded and written as samples through Flate at the document's compression
// level. PNG images keep their bit depth (1 to 16) and palette; their transparency becomes a soft
// mask.
//
// An image is imported by openImageFile, which writes its XObject(s) at once and returns a slot
// index; placeImage draws it on the current page as often as wanted; closeImage releases the slot
// (the XObjects stay in the file). Slots and the XObject table belong to the PdfDocument, grow by
// doubling through its allocation hooks and are released by closePdfDocument.
// One thread per document, like the rest of the writer.

#include <cstdint>
#include <string>

#include "pdf/document.h"

namespace folvane::pdf {

enum ImageFileKind : int {
    kImageTiff = 1,
    kImageJpeg = 2,
    kImagePng = 3,
};

// How the stream data of an XObject are encoded.
enum FilterKind : int {
    kFilterNone = 0,
    kFilterLzw = 1,
    kFilterRunLength = 2, // TIFF PackBits
    kFilterCcitt = 3,
    kFilterDct = 4,
    kFilterFlate = 5,
};

enum ImageColorSpace : int {
    kImageGray = 0,
    kImageRgb = 1,
    kImageCmyk = 2,
    kImageIndexed = 6, // indexed over device RGB, palette in the slot
};

// Where the bytes of an image's stream(s) come from while its XObjects are written. An importer
// provides one for the duration of openImageFile; the XObject writer asks it for each part
// (strip) in turn and copies the chunks it yields into the stream.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Makes the bytes of part `part` (0-based strip; 0 for an image written as one XObject)
    // ready. False when they cannot be read; nothing of that part has been written then.
    virtual bool openPart(int part) = 0;
    // The next chunk of the open part: its length, 0 at the end. *bytes stays valid until the
    // next call.
    virtual size_t nextChunk(const uint8_t** bytes) = 0;
    // Makes the bytes of the soft mask ready for nextChunk: one gray sample of
    // ImageSlot::maskBits bits per pixel, rows top to bottom. Only asked of images with a mask.
    virtual bool openMask() { return false; }
};

constexpr int kMaxDecodeParams = 96;

// One imported image. Plain data: the slot table is grown with the document's reallocate hook.
struct ImageSlot {
    bool inUse = false;
    char* path = nullptr;        // copy of the source path, from the document's hooks
    double width = 0;            // pixels
    double height = 0;
    int bitsPerComponent = 8;    // 1, 2, 4, 8 or 16 (16 raises the file to PDF 1.5)
    int components = 1;          // 1, 3 or 4
    int filter = kFilterNone;
    int colorSpace = kImageGray;
    bool passthrough = false;    // the stream data are the file's bytes as stored
    bool invert = false;         // write a decode array [1 0 ...] swapping the sample meaning
    int predictor = 1;           // predictor of LZW and Flate data: 1 none, 2 TIFF, 15 PNG
    char decodeParams[kMaxDecodeParams] = {}; // filter parameters of the CCITT case
    uint8_t palette[768] = {};   // RGB triplets of an indexed image
    int paletteCount = 0;
    int paletteObject = 0;
    int maskBits = 0;            // bits of the soft mask written beside the image; 0 = none
    int maskObject = 0;
    // Dots per inch when positive; when negative the pair gives only the pixel aspect ratio;
    // 0 when unknown.
    double resolutionX = 0;
    double resolutionY = 0;
    int stripCount = 1;          // XObjects the image is split into
    int rowsPerStrip = 0;        // rows of each but the last; 0 = the whole height
    int xobjectIndex = -1;       // table index of the first XObject
    ImageSource* source = nullptr; // set only while openImageFile writes the XObjects
};

// Document-level XObject table entry. Entry i is the resource "/I<prefix>i".
enum XObjectFlag : unsigned {
    kXObjectLive = 1u << 0,
    kXObjectUsedOnPage = 1u << 1, // drawn on the current page, cleared by its resources
};

struct XObjectEntry {
    int32_t number = 0;  // object number (without numberBase)
    uint32_t flags = 0;
    int32_t kind = 1;    // 1 = image, the only kind this writer makes
};

// Imports an image file and writes its XObject(s). kind: kImageTiff, kImageJpeg or kImagePng.
// The only option is "page" (TIFF only), which selects the 1-based page `optionNumber`; any other
// non-empty option is reported (kErrArgument) and refused. Allowed in document and page scope;
// an open content stream is ended before the image objects and a new one begun after them.
// Returns the slot index, or -1 when the file cannot be read, is damaged or is of a variant the
// importer refuses (the slot stays free).
int openImageFile(PdfDocument* doc, int kind, const std::string& path, const std::string& option,
                  int optionNumber);

// Draws the image of `slot` on the current page with its lower-left corner at (x, y) in the
// current user space, `scale` points per pixel. An invalid slot or a scale whose magnitude is
// below 0.000015 is reported (kErrArgument) and nothing is drawn.
void placeImage(PdfDocument* doc, int slot, double x, double y, double scale);

// Releases a slot; its XObjects stay in the file. An invalid slot is reported (kErrArgument).
void closeImage(PdfDocument* doc, int slot);

// The slot's description (size, resolution, colour), or null for a slot not in use.
const ImageSlot* imageSlot(const PdfDocument* doc, int slot);

// Pixel size of a TIFF page, a JPEG or a PNG file without importing it. For TIFF, page p >= 2 selects
// the p-th page and 0 or 1 the first. Returns 1, or -1 when the header cannot be read.
int getImageSize(PdfDocument* doc, const std::string& path, int kind, int page, int* width, int* height);

// Resolution as getImageSize reads it: integers (truncated) in dots per inch, negative when the
// file states only the aspect ratio, 0 when unknown. Returns 1 or -1.
int getImageResolution(PdfDocument* doc, const std::string& path, int kind, int page, int* horizontal,
                       int* vertical);

} // namespace folvane::pdf
