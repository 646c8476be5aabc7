// Feeds arbitrary bytes to the TIFF importer as a file: directory reading through libtiff, the
// passthrough and decode decisions, raw strips, decoded rasters, pages and the header queries.
// libtiff must stay silent.
#include "image_import_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return folvane::pdf::fuzzImport(data, size, folvane::pdf::kImageTiff, "tiff_import", 2);
}
