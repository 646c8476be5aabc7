#pragma once
// What the page composer and the stamps draw, read once from the output settings: the page
// size, margins and grid, the stamps of every page and the bookmark rule. Everything a setting
// switches off is absent here, so the composer only asks whether a stamp exists.

#include <optional>
#include <string>

#include "app/output_settings.h"

namespace folvane::layout {

struct PageDimensions {
    int width = 0;
    int height = 0;
    bool operator==(const PageDimensions&) const = default;
};

// Columns × rows of a layout and the order in which its cells are filled.
struct Grid {
    int columns = 1;
    int rows = 1;
    bool rowsFirst = true; // left to right, then top to bottom; else top to bottom, then left to right
    int cells() const { return columns * rows; }
    bool operator==(const Grid&) const = default;
};

// Points kept free on each side of a fixed-size page (and of an image-sized one).
struct Margins {
    int top = 0;
    int left = 0;
    int right = 0;
    int bottom = 0;
};

// Places on the page of stamps: column 0 left, 1 centre, 2 right; row 0 top, 1 middle, 2 bottom.
struct StampPlace {
    int column = 0;
    int row = 0;
};

// Header or footer: a text with macros, in a column of the top or bottom line.
struct TextStamp {
    std::string text;
    int column = 0;
    unsigned color = 0; // 0x00BBGGRR
};

struct TextWatermark {
    std::string text;
    StampPlace place;
    int size = 0; // points; one the font does not take leaves the current size
    unsigned color = 0;
};

struct ImageWatermark {
    std::string path;
    StampPlace place;
    int width = 0; // points, at least 1
    int height = 0;
};

// The document information the header and footer macros show.
struct MacroTexts {
    std::string title;
    std::string subject;
    std::string author;
    std::string keywords;
};

struct BookmarkRule {
    app::BookmarkLabel label = app::BookmarkLabel::PageNumber; // a value outside the list: full path
    bool perFile = false; // one bookmark per file (its first frame) instead of one per frame
};

struct PageLayout {
    std::optional<PageDimensions> fixedPage; // none: every picture on a page of its own size
    int dpiX = 0; // resolution of image-sized pages; 0 one pixel a point
    int dpiY = 0;
    Margins margins;
    Grid grid;             // of fixed-size pages
    bool repeat = false;   // every cell of a page shows the same picture
    bool stretch = false;  // pictures fill their cells instead of keeping their proportions
    bool cellBorders = false;
    std::optional<TextStamp> header;
    std::optional<TextStamp> footer;
    std::optional<TextWatermark> textWatermark;
    std::optional<ImageWatermark> imageWatermark;
    std::optional<BookmarkRule> bookmarks; // none: no bookmarks
    MacroTexts macros;
};

// Page size for the page-size setting: 1 A3, 2 A4, 3 A5, 4 B5 (403 × 729), 5 Letter, 6 Legal,
// 7 custom width × height when both are non-zero; Letter for a custom size lacking one side and
// for codes outside 1..7. Every page is portrait.
PageDimensions pageSizeFor(int pageSize, int customWidth, int customHeight);

// Grid of a layout (images per page: 1, 2, 4, 6, 9, 16; any other value gives the single cell
// of layout 1). Order 1 fills columns first and picks the upright shapes 1 × 2 and 2 × 3;
// with repeat on cells are always filled rows first and order only picks the shape.
Grid gridFor(int layout, int order, int repeat);

// The layout of `settings`. A header, footer or watermark is present when its switch is above 0
// and its text (path) is not empty, an image watermark also only with a width and height of at
// least 1.
PageLayout pageLayoutFor(const app::OutputSettings& settings);

} // namespace folvane::layout
