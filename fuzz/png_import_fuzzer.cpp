// Feeds arbitrary bytes to the PNG importer as a file: chunk walk, libpng reading, the stored
// and the decoded streams with the soft mask, and the header-only queries.
#include "image_import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return folvane::pdf::fuzzImport(data, size, folvane::pdf::kImagePng, "png_import");
}
