// Arbitrary bytes as TGA images: decoding must fail cleanly or succeed, never crash.
#include "codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return folvane::codec::fuzzLoad(data, size, folvane::codec::kFormatTga);
}
