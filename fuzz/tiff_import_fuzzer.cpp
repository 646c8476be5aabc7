// Feeds arbitrary bytes to the TIFF importer as a file: directory reading through libtiff, the
// passthrough and decode decisions, raw strips, decoded rasters, pages and the header queries.
// Every outcome must be a clean result, and libtiff must stay silent.
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "pdf/document.h"
#include "pdf/images.h"

using namespace folvane::pdf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int fd = memfd_create("tiff_import", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return 0;
    if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    PdfDocument* doc = newPdfDocument();
    if (!doc)
        return 0;
    openOutput(doc, "");
    setNumericParameter(doc, "compression", 1); // decoded images are deflated; keep that cheap
    beginPage(doc, 200, 200);
    for (int page = 1; page <= 2; ++page) {
        int slot = openImageFile(doc, kImageTiff, path, "page", page);
        if (slot < 0)
            break;
        placeImage(doc, slot, 0, 0, 1);
        closeImage(doc, slot);
    }
    int a = 0;
    int b = 0;
    getImageSize(doc, path, kImageTiff, 2, &a, &b);
    getImageResolution(doc, path, kImageTiff, 1, &a, &b);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}
