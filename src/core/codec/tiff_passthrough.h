#pragma once
// Black-and-white TIFF frames whose CCITT data can go into a PDF as stored: what a frame holds,
// and a copy of it as a one-frame TIFF file without decoding.

#include <string>

namespace folvane::codec {

struct StoredBilevelFrame {
    int compression = 0;  // the TIFF compression number (3 CCITT Group 3, 4 CCITT Group 4)
    int orientation = 1;  // the TIFF Orientation tag, 1 to 8
    int width = 0;
    int height = 0;
};

// True when the 0-based frame of a TIFF file is black and white (1 bit, min-is-white or
// min-is-black), CCITT Group 4 coded in one strip, in which case `frame` describes it.
bool storedGroup4Frame(const std::string& path, int index, StoredBilevelFrame& frame);

// Writes that frame's coded strip with the tags that describe it into a new one-frame TIFF file
// (orientation left out: the caller turns the picture). False when anything cannot be read or
// written.
bool copyStoredFrame(const std::string& path, int index, const std::string& target);

} // namespace folvane::codec
