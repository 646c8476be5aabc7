#pragma once
// What a PDF's pages draw, read back through `mutool draw -F trace`: the size of each page as
// shown, where every picture lands, the texts with their positions and the stroked lines. All
// coordinates are points from the top-left corner of the page as displayed.

#include <filesystem>
#include <string>
#include <vector>

namespace folvane::test {

struct TracedBox {
    double x = 0, y = 0, w = 0, h = 0;
};

struct TracedText {
    std::string text;   // the glyphs of one run, in order
    double x = 0;       // the first glyph's origin
    double right = 0;   // where the last glyph's advance ends
    double baseline = 0;
    double size = 0;    // font size in points
    std::string color;  // as mutool prints it, e.g. "0 1 0"
};

struct TracedLine {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double width = 0;
};

struct TracedPage {
    double width = 0, height = 0;
    std::vector<TracedBox> images;
    std::vector<TracedText> texts;
    std::vector<TracedLine> lines;

    // The first text run that contains `part`, or null.
    const TracedText* text(const std::string& part) const;
};

// Every page of `pdf`, in order; empty when mutool cannot read it.
std::vector<TracedPage> tracePdf(const std::filesystem::path& pdf);

} // namespace folvane::test
