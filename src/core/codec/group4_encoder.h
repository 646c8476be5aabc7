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

// One run-length code of the T.4 tables: a run of `run` pixels is coded as the `length` low bits
// of `bits`, most significant first.
struct RunCode {
    int run;
    uint16_t bits;
    uint8_t length;
};
// Every terminating and make-up code of one colour (the shared make-up codes included).
std::vector<RunCode> group4RunCodes(bool black);

// Encodes a 1-bit bitmap; with invert, bit 0 of the bitmap is black. False when memory is short.
bool encodeGroup4(const Bitmap& bitmap, bool invert, std::vector<uint8_t>& out);

} // namespace folvane::codec
