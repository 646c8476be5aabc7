// Arbitrary bytes as JPEG 2000 (JP2 files and J2K code streams) through OpenJPEG: decoding
// must fail cleanly or succeed, never crash.
#include "codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return folvane::codec::fuzzLoad(data, size, folvane::codec::kFormatJp2);
}
