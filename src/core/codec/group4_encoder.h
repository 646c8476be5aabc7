#pragma once
// CCITT Group 4 (T.6) encoding of a 1-bit frame into one strip, as the TIFF writer stores it:
// two-dimensional coding of every row against the row above (an all-white row before the first),
// the end-of-facsimile-block code at the end, the last byte padded with zero bits, bits packed
// most significant first. White is bit 0 in the coded rows.
//
// The coding procedure of the standard leaves no choices, so the result equals libtiff's Group 4
// encoder byte for byte; this one finds colour changes a machine word at a time, which makes
// text pages several times faster to encode.

#include <cstdint>
#include <vector>

#include "codec/bitmap.h"

namespace folvane::codec {

// Encodes a 1-bit bitmap; with invert, bit 0 of the bitmap is black. False when memory is short.
bool encodeGroup4(const Bitmap& bitmap, bool invert, std::vector<uint8_t>& out);

} // namespace folvane::codec
