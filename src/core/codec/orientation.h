#pragma once
// Turning and mirroring a decoded frame so that it shows upright, by the orientation numbers of
// TIFF and EXIF (1 as stored; 2 mirrored; 3 turned 180°; 4 flipped; 5 transposed; 6 turned 90°
// clockwise to show upright; 7 transverse; 8 turned 90° anticlockwise).

#include "codec/bitmap.h"

namespace folvane::codec {

// Rewrites the frame in display order; orientations 5 to 8 swap width and height. Values
// outside 2..8 leave it as it is. False (the frame unchanged) when memory is short.
bool applyOrientation(Bitmap& bitmap, int orientation);

} // namespace folvane::codec
