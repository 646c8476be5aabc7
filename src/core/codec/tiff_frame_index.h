#pragma once
// Where each frame of a TIFF file starts and how large it is, read in one pass over the file.
// A job asks about a multi-page file once per frame (its count, a frame's size, the frame's data);
// without the index each question would open the file again and walk its directory chain from
// the start, which costs time growing with the square of the page count.

#include <cstdint>
#include <string>
#include <vector>

#include <tiffio.h>

#include "tiff_handles.h"

namespace folvane::codec {

struct TiffFrameEntry {
    uint64_t offset = 0; // of the frame's directory
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

struct TiffFrameIndex {
    int count = 0;                       // directories in the chain, as libtiff counts them
    std::vector<TiffFrameEntry> frames;  // the frames read, from the first; fewer than `count`
                                         // when a directory could not be read
};

// The index of a file, kept for the last file asked about on this thread and read again when
// the file's identity, size or modification time changed. A count of 0 for a file libtiff
// cannot open.
const TiffFrameIndex& tiffFrameIndex(const std::string& path);

// Opens a file for reading without mapping it and selects its 0-based frame, jumping straight to
// the frame's directory when the index knows it. Null when the file or the frame cannot be read.
TIFF* openTiffFrame(const std::string& path, int frame, const tiffhandles::Options& options);

} // namespace folvane::codec
