#pragma once
// Shared body of the image importer fuzz targets: the bytes become an in-memory file, reached
// through its descriptor's path like any other file, whose first `pages` pages are imported and
// drawn, then its size and resolution asked for. Every outcome must be a clean result.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "pdf/document.h"
#include "pdf/images.h"

namespace folvane::pdf {

// `name` names the in-memory file; `pages` > 0 imports pages 1 to `pages` with the "page" option.
inline int fuzzImport(const uint8_t* data, size_t size, int kind, const char* name, int pages = 0)
{
    static const int fd = memfd_create(name, 0);
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
    for (int page = 1; page <= (pages > 0 ? pages : 1); ++page) {
        int slot = pages > 0 ? openImageFile(doc, kind, path, "page", page) : openImageFile(doc, kind, path, "", 0);
        if (slot < 0)
            break;
        placeImage(doc, slot, 10, 10, 0.5);
        closeImage(doc, slot);
    }
    int a = 0;
    int b = 0;
    getImageSize(doc, path, kind, pages > 0 ? 2 : 0, &a, &b);
    getImageResolution(doc, path, kind, pages > 0 ? 1 : 0, &a, &b);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}

} // namespace folvane::pdf
