// Feeds arbitrary bytes to the PNG importer as a file: chunk walk, libpng reading, the stored
// and the decoded streams with the soft mask, and the header-only queries. Every outcome must be
// a clean result.
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "pdf/document.h"
#include "pdf/images.h"

using namespace folvane::pdf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An in-memory file, reached through its descriptor's path like any other file.
    static const int fd = memfd_create("png_import", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return 0;
    if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    PdfDocument* doc = newPdfDocument();
    if (!doc)
        return 0;
    openOutput(doc, "");
    beginPage(doc, 200, 200);
    int slot = openImageFile(doc, kImagePng, path, "", 0);
    if (slot >= 0) {
        placeImage(doc, slot, 10, 10, 0.5);
        closeImage(doc, slot);
    }
    int a = 0;
    int b = 0;
    getImageSize(doc, path, kImagePng, 0, &a, &b);
    getImageResolution(doc, path, kImagePng, 0, &a, &b);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}
