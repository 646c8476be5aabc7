#pragma once
// Text recognition of a decoded frame through Tesseract (in the module text_module.h loads): the
// words with their boxes, line by line in reading order. Engine-internal; the text layer
// (text_layer.cpp) draws the result.
//
// Threads: each thread keeps its own recogniser (loading a language takes a noticeable fraction
// of a second, so it is kept for the thread's next frames), so frames of different documents may
// be read at once on different threads.

#include <string>
#include <vector>

#include "codec/image_codec.h"

namespace folvane::engine {

// Boxes are in pixels of the frame as given, from its top-left corner, y growing downwards;
// right and bottom are exclusive.
struct RecognisedWord {
    std::string text; // UTF-8
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct RecognisedLine {
    int left = 0, top = 0, right = 0, bottom = 0;
    double slope = 0; // of the baseline: pixels down per pixel to the right
    std::vector<RecognisedWord> words;
};

// Resolution below which a frame is enlarged before it is read, and the largest enlargement.
inline constexpr double kMinRecognitionDpi = 200;
inline constexpr double kMaxEnlargement = 4;

// Reads a decoded frame: 1-bit frames as they are, others as 8-bit gray; `dpi` is the frame's
// resolution, and a frame below kMinRecognitionDpi is enlarged to it first (at most
// kMaxEnlargement times). False with `failure` set when the recognition module or the languages
// cannot be loaded or the recognition fails; a frame without text gives true and no lines.
bool recogniseFrame(codec::ImageCodec& frame, double dpi, const std::string& languages,
                    std::vector<RecognisedLine>& lines, std::string& failure);

// The folder of the installed language data: $TESSDATA_PREFIX when set, else the folder of the
// Debian packages.
std::string textDataFolder();

} // namespace folvane::engine
