#pragma once
// The caps every reader of untrusted files works within, in one place. Each is far above what
// real files need, and far below what would let a small damaged or hostile file take gigabytes
// of memory or minutes of time. A file that reaches past a cap is refused like any other damaged
// file: the read fails and the file's conversion is reported as failed.
//
// This header depends on nothing, so every layer (codec, pdf, engine) may include it.

#include <cstdint>

namespace folvane::limits {

// Pixels of one decoded frame. 2^28 is a 16384 × 16384 image, or a 600 dpi scan of a page
// 0.7 m on a side; camera and scanner files stay well below.
inline constexpr uint64_t kMaxFramePixels = uint64_t{1} << 28;

// Bytes of any single allocation whose size is decided by a value read from a file: a decoded
// frame (kMaxFramePixels at 4 bytes each), a decoded image of the PDF importer, a strip buffer,
// a libtiff working buffer.
inline constexpr uint64_t kMaxAllocationBytes = uint64_t{1} << 30;

// Scans of one JPEG file. A progressive file has about ten (a few dozen with an unusual script);
// libjpeg decodes every scan in full, so a file of thousands of tiny scans would take minutes.
inline constexpr int kMaxJpegScans = 500;

// The PDF reader. Object numbers: the common implementation limit of PDF (a file may further use
// no number above its size in bytes plus 4096). Nesting of
// dictionaries and arrays in one value: real files rarely go beyond ten. Depth of the page tree:
// a balanced tree of ten levels holds more pages than any file has, but some writers chain
// their nodes; the walk keeps its path on the heap, so the cap only bounds a degenerate tree.
// Cross-reference sections: one per incremental update; a file appended to every day for
// decades stays below.
inline constexpr int kMaxPdfObjectNumber = 8388607;
inline constexpr int kMaxPdfNestingDepth = 256;
inline constexpr int kMaxPageTreeDepth = 4096;
inline constexpr int kMaxXrefSections = 10000;

// True when an allocation of `bytes` (computed in 64 bits from values read from a file) may be
// made; zero-sized requests count as allowed.
constexpr bool allocationAllowed(uint64_t bytes)
{
    return bytes <= kMaxAllocationBytes;
}

} // namespace folvane::limits
