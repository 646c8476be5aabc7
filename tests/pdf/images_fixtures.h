#pragma once
// The image import tests' means to read back what the writer made of an image file: XObject
// dictionaries, stream bytes and rendered pixels. The image files come from support/image_files.h.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <tiffio.h>

#include "pdf/images.h"
#include "pdf/pdf_inspect.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {

// How a viewer shows the page: one gray byte (1 sample) or R, G, B bytes per pixel, rows top down.
std::vector<uint8_t> expectedPixels(const TiffDirectory& page);

// A Photoshop APP13 payload holding a resolution resource with the given 16.16 values.
std::string photoshopResolution(uint32_t horizontal, uint32_t vertical);

// Offset of the first frame header (0xFF 0xC0..0xC2) in a JPEG made by makeJpeg.
size_t frameHeaderOffset(const std::string& jpeg);

// The writer's objects, read back from an in-memory document.
struct ImagePdf {
    std::string bytes;
    std::string error;                 // non-empty when the file could not be read
    std::map<int, std::string> objects;

    // The object text of XObject `name` ("I0") as listed by page `page` (1-based); empty when
    // the page does not list it.
    std::string pageXObject(int page, const std::string& name) const;
    // The names of the image resources of page `page`, in the order listed.
    std::vector<std::string> pageXObjectNames(int page) const;
    // The content of page `page`: its content streams inflated and joined.
    std::string pageContent(int page) const;
    int pageObject(int page) const;
};
ImagePdf readImagePdf(const std::string& bytes);

// The text of a dictionary entry's value up to the next key, e.g. "<</K -1 /Rows 8 >>".
std::string entry(const std::string& objectText, const std::string& key);

// Renders page 1 with MuPDF at `dpi`: gray (1 byte per pixel) or RGB (3 bytes).
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
    std::string error;
};
Raster renderPage(const std::filesystem::path& pdf, int dpi, bool color);

// Sets the value of a SHORT or LONG entry of the first directory of a little-endian TIFF, to
// make variants that libtiff refuses to write. False when the tag is absent.
bool patchTiffTag(std::string& tiff, uint16_t tag, uint32_t value);

// The plain fields of an ImageSlot (its path pointer does not outlive the slot).
struct ImageSlotCopy {
    double width = 0;
    double height = 0;
    int bitsPerComponent = 0;
    int components = 0;
    int filter = -1;
    int colorSpace = -1;
    bool passthrough = false;
    bool invert = false;
    int stripCount = 0;
    double resolutionX = 0;
    double resolutionY = 0;
    int xobjectIndex = -1;
};

// What importing one image into a fresh in-memory document gave.
struct Converted {
    int slot = -1;          // openImageFile's result
    ImageSlotCopy info;     // the slot's description before it was closed
    ImagePdf pdf;
    ErrorLog errors;
};

class ImageTest : public PdfTest {
protected:
    std::filesystem::path writeImage(const std::string& name, const std::string& bytes);
    std::filesystem::path writeTiffFile(const std::string& name, const std::vector<TiffDirectory>& pages);
    // Imports the file and, when that succeeds, draws it at one point per pixel on a page of its
    // own size; a failed import leaves a blank page. The PDF is kept for the qpdf check.
    Converted convert(const std::string& name, int kind, const std::filesystem::path& image,
                      const std::string& option = "", int number = 0, int compressionLevel = 6);
    // The same, written to a file and rendered with MuPDF at 72 dpi (one pixel per point).
    Raster convertAndRender(const std::string& name, const std::filesystem::path& image, bool color,
                            Converted* converted = nullptr);
};

} // namespace folvane::test
