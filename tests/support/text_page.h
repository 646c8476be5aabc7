#pragma once
// A scanned page of known text for the text recognition tests: lines of words drawn with a real
// font (DejaVu Sans, 11 points at 300 dpi) on a 2550 x 3300 black-and-white page by GraphicsMagick,
// with the ink box of every word measured on the drawn pixels. Also the words a PDF text
// extractor finds, and their matching in reading order.

#include <filesystem>
#include <string>
#include <vector>

namespace folvane::test {

struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
};

struct PlacedWord {
    std::string text;
    Box box; // pixels of the page (drawn words) or points from the page's top-left (extracted)
};

inline constexpr int kTextPageWidth = 2550;
inline constexpr int kTextPageHeight = 3300;

// Draws the page and saves it as `path`: a 300 dpi CCITT Group 4 TIFF, or a JPEG for a path
// ending in ".jpg". `tiltDegrees` turns the finished page (clockwise) about its centre; the
// boxes are those before turning. Fails the running test when GraphicsMagick cannot draw it.
std::vector<PlacedWord> drawTextPage(const std::filesystem::path& path, double tiltDegrees = 0);

// The words of `pdf`'s first page as pdftotext -bbox reports them, in its reading order.
// `options` go before the file, such as "-upw secret".
std::vector<PlacedWord> extractedWords(const std::filesystem::path& pdf, const std::string& options = "");

// The longest run of `expected` words found in `found` in the same order (equal texts): pairs of
// indexes (expected, found).
std::vector<std::pair<size_t, size_t>> wordsInOrder(const std::vector<PlacedWord>& expected,
                                                    const std::vector<PlacedWord>& found);

} // namespace folvane::test
