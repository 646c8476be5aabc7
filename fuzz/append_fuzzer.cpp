// Feeds arbitrary bytes to the opener of an existing PDF for an incremental update. When the
// opener accepts the file, one page is appended and the file closed; the result must then be
// read back by the same reader with exactly one page more, or the update broke the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "pdf/document.h"
#include "pdf/reader.h"

using namespace folvane::pdf;

namespace {

// Pages the reader finds in the file behind fd, or -1 when it refuses the file.
long pagesIn(int fd)
{
    long pages = -1;
    FILE* file = fdopen(dup(fd), "rb");
    if (!file)
        return -1;
    std::fseek(file, 0, SEEK_SET);
    PdfDocument* doc = newPdfDocument();
    if (doc && readPdfStructure(doc, file) == 1)
        pages = static_cast<long>(doc->existing.pages.size());
    if (doc)
        freePdfDocument(doc);
    std::fclose(file);
    return pages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 20))
        return 0;
    int fd = memfd_create("append_fuzz", 0);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const long before = pagesIn(fd);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    PdfDocument* doc = newPdfDocument();
    if (doc && openForAppend(doc, path) == 1) {
        beginPage(doc, 200, 100);
        endPage(doc);
        if (closePdfDocument(doc) == 1) {
            // An accepted file was read before; after the update it must read with one page more.
            long after = pagesIn(fd);
            if (before < 0 || after != before + 1)
                __builtin_trap();
        }
    }
    if (doc)
        freePdfDocument(doc);
    close(fd);
    return 0;
}
