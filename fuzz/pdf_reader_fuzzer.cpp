// Feeds arbitrary bytes to the reader of existing PDF files as if they were a file on disk: the
// structure read (cross-reference chain, trailers, encryption, information, catalog, page tree)
// must end with 1 or 0 and never crash, hang or allocate without bound.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "pdf/document.h"
#include "pdf/reader.h"

using namespace folvane::pdf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::vector<uint8_t> copy(data, data + size);
    FILE* file = fmemopen(copy.data(), copy.size(), "rb");
    if (!file)
        return 0;
    PdfDocument* doc = newPdfDocument();
    if (doc) {
        if (ReadPdfStructure(doc, file) == 1) {
            // Reading again over the same tables must give the same pages.
            size_t pages = doc->existing.pages.size();
            if (ReadPageTree(doc, file) != 1 || doc->existing.pages.size() != pages)
                __builtin_trap();
            ReadInfoDictionary(doc, file);
        }
        appendHeaderOffset(copy.data(), copy.size());
        freePdfDocument(doc);
    }
    std::fclose(file);
    return 0;
}
