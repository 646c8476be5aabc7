// Feeds arbitrary bytes to the reader of existing PDF files as if they were a file on disk: the
// structure read (cross-reference chain of tables and streams, object streams, trailers,
// encryption, information, catalog, page tree) must end with 1, or with 0 and a reason, and never
// crash, hang or allocate without bound.
#include <cstdint>
#include <cstdio>
#include <string>
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
        std::string refusal;
        if (readPdfStructure(doc, file, &refusal) == 1) {
            // Reading again over the same tables must give the same pages, and every object the
            // page walk found must lie below the numbers an update would use.
            size_t pages = doc->existing.pages.size();
            if (readPageTree(doc, file) != 1 || doc->existing.pages.size() != pages)
                __builtin_trap();
            for (int page : doc->existing.pages)
                if (page > doc->existing.highestNumber)
                    __builtin_trap();
            readInfoDictionary(doc, file);
        } else if (refusal.empty()) {
            __builtin_trap(); // a refusal always says why
        }
        appendHeaderOffset(copy.data(), copy.size());
        freePdfDocument(doc);
    }
    std::fclose(file);
    return 0;
}
