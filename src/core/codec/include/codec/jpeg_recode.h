#pragma once
// Re-encoding a colour JPEG at another quality without going through RGB: the decoder's YCbCr
// planes go straight to the encoder, a band of rows at a time.

#include <string>

namespace folvane::codec {

// Writes `input` (a baseline JPEG in YCbCr with the encoder's own 2x2, 1x1, 1x1 sampling) to
// `output` coded at `quality` (1 to 100), without colour conversion or resampling and without
// holding the whole picture. False for any other file or any trouble reading it; `output` then
// holds nothing useful and the caller takes the general route, which also gives the reason.
bool recodeJpegPlanes(const std::string& input, const std::string& output, int quality);

} // namespace folvane::codec
