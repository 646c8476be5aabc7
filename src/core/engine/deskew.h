#pragma once
// Skew estimation and correction of black-and-white frames.
//
// The estimator looks at 1-bit pixel data only: a pixel whose bit is 1 (most significant bit
// first in each byte) counts as ink, whatever the palette says. Frames must therefore be
// straightened before anything inverts their bits (for example a negation for Deflate output),
// or the estimator sees an inverted page and finds nothing useful.
//
// Angles are in radians, positive from the +x axis towards the +y axis, with y the row index
// (row 0 first). A page whose lines fall to the right has a positive skew and is straightened
// by rotating it through the negative of that angle.
//
// All functions work on caller-owned memory, keep no state between calls and may be called from
// any thread, one call per frame at a time. They never allocate more than they can release
// before returning and never report anything: a frame they cannot handle is left unchanged.

#include <cstddef>
#include <cstdint>

namespace folvane::engine {

// A view of decoded pixel rows. Rows are stored top to bottom; row y starts at
// rows + y * stride. Only the first (width + 7) / 8 bytes of each row are read or written;
// bits beyond the width in the last byte count as white.
struct FrameView {
    uint8_t* rows = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next, at least (width + 7) / 8
    int bitsPerPixel = 1;
};

// Largest frame side (width rounded up to a multiple of 32, or height) that is straightened.
inline constexpr int kMaxStraightenSide = 10240;
// Estimates at or beyond this magnitude are not trusted and leave the frame as it is.
inline constexpr double kMaxSkewAngle = 0.45;
// Rotations smaller than this are not worth the work.
inline constexpr double kMinRotationAngle = 0.0001;

// The tilt of the text lines (or of tall columns of equal boxes) of a 1-bit frame, averaged over
// the first two measurements. 0 when nothing could be measured, and for a view that is not a
// valid 1-bit frame.
double estimateSkew(const FrameView& frame);

// A finer estimate near `estimate`: the tilt within 0.6 degrees of it at which the page's rows,
// sheared back, give the sharpest projection profile; `estimate` itself when no tilt does better
// (a page without lines) or the view is not a valid 1-bit frame.
double refineSkew(const FrameView& frame, double estimate);

// Rotates a 1-bit frame in place about its centre by angle, keeping its size: each pixel takes
// the nearest source pixel, pixels whose source lies outside the frame become 0. Angles whose
// magnitude is below kMinRotationAngle (or that are not numbers) do nothing; so does a shortage
// of memory for the work rows, which leaves the frame unchanged.
void rotateFrame(const FrameView& frame, double angle);

// Straightens a black-and-white frame: only 1-bit frames whose width rounded up to 32 and whose
// height are at most kMaxStraightenSide are considered. The skew is estimated over the whole
// frame and, when it lies strictly inside ±kMaxSkewAngle, the frame is rotated by its negative.
// Returns the rotation applied, or 0 when the frame was left unchanged.
// With `refined`, the estimate is refined by refineSkew before the rotation.
double straightenFrame(const FrameView& frame, bool refined = false);

// The last step of straightenFrame on its own: rotates the frame by −skew when skew lies strictly
// inside ±kMaxSkewAngle. Returns the rotation applied, or 0.
double applySkewCorrection(const FrameView& frame, double skew);

} // namespace folvane::engine
