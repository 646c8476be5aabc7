#pragma once
// The Orientation tag (1 to 8) of EXIF data, as cameras record how they were held.

#include <cstddef>
#include <cstdint>
#include <span>

namespace folvane::codec {

// From EXIF data that starts with its TIFF header ("II*\0" or "MM\0*"); 1 when absent or damaged.
int exifOrientation(std::span<const uint8_t> exif);

// From the EXIF segment (APP1 "Exif\0\0") of a JPEG file's header; 1 when there is none.
int jpegOrientation(std::span<const uint8_t> file);

} // namespace folvane::codec
