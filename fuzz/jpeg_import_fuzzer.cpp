// Feeds arbitrary bytes to the JPEG importer as a file: header walk, segment parsing, the
// passthrough stream, and the header-only queries.
#include "image_import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return folvane::pdf::fuzzImport(data, size, folvane::pdf::kImageJpeg, "jpeg_import");
}
