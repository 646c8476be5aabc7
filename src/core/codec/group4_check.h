#pragma once
// A strict reading of CCITT Group 4 data: true only when every row codes exactly `width` pixels
// with codes of the standard. libtiff decodes damaged data leniently (a row running past its
// width is cut short), but readers of PDF files refuse it, so data is embedded unchanged only
// when it passes this check.

#include <cstddef>
#include <cstdint>

namespace folvane::codec {

// `lsbFirst` for data stored with fill order 2 (the first pixel in the lowest bit).
bool group4DataValid(const uint8_t* data, size_t size, uint32_t width, uint32_t height, bool lsbFirst);

} // namespace folvane::codec
