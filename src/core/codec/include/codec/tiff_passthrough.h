#pragma once
// Black-and-white TIFF frames whose CCITT data can go into a PDF as stored: which frames qualify
// and what such a frame holds. The writer embeds a qualifying frame straight from its file.

#include <cstdint>
#include <string>

namespace folvane::codec {

struct StoredBilevelFrame {
    int compression = 0;  // the TIFF compression number (3 CCITT Group 3, 4 CCITT Group 4)
    int orientation = 1;  // the TIFF Orientation tag, 1 to 8
    int width = 0;
    int height = 0;
};

// True when the 0-based frame of a TIFF file is black and white (1 bit, min-is-white or
// min-is-black), CCITT Group 4 coded in one strip, and that strip codes every row exactly (PDF
// readers refuse data that libtiff would read leniently); `frame` then describes it.
bool storedGroup4Frame(const std::string& path, int index, StoredBilevelFrame& frame);

// True when the 0-based frame of a TIFF file holds 16-bit unsigned gray or RGB samples, in strips
// of one plane with no extra samples and no JPEG coding: the writer can keep all 16 bits of them.
// `orientation` then gets the frame's Orientation tag (1 to 8).
bool sixteenBitFrame(const std::string& path, int index, int& orientation);

// True for a regular file that starts like a TIFF file. Never waits on a FIFO or a device.
bool isTiffFile(const std::string& path);

} // namespace folvane::codec
