#pragma once
// Page composition: for every frame of every input image, which page it goes on, how large that
// page is and where on it the picture goes. The composer begins pages, sends each picture's box
// and frame to the engine and adds the image; it finishes pages with the stamps and the grid
// lines. It draws into the engine::Document it was given.
//
// All lengths are PDF points, boxes are measured from the page's top-left corner with y growing
// downwards, and the layout arithmetic uses integer divisions truncating toward zero.

#include <string>
#include <utility>

#include "engine/engine.h"
#include "layout/page_layout.h"
#include "layout/stamps.h"

namespace folvane::layout {

// One side of an image-sized page: `pixels` at `dpi` dots per inch (0: one pixel per point),
// rounded, then clamped to 3..14400.
int imageSizedLength(int pixels, int dpi);

struct Cell {
    int column = 0;
    int row = 0;
    bool operator==(const Cell&) const = default;
};

// The cell that the index-th picture of a page (from 0) fills.
Cell cellAt(const Grid& grid, int index);

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// Picture size of an iw × ih image in a cw × ch cell. Stretch (imgFit not 0) fills the cell.
// Fit scales by the smaller of cw / iw (double precision) and ch / ih (rounded to single
// precision; it wins a tie) and truncates both sides toward zero. An image of unknown size
// (iw or ih not positive) has no proportions to keep and fills the cell.
PictureSize fitImageToCell(int cw, int ch, int iw, int ih, int imgFit);

// Composes frames into pages for one output document; one object per document, kept by the
// caller from the document's opening to finishDocument. Not for concurrent use.
class PageComposer {
public:
    // `document` must outlive the composer; the layout is copied.
    PageComposer(engine::Document& document, const PageLayout& layout);

    // Replaces the clock of the date and time macros (tests).
    void setClock(UtcClock clock) { m_clock = std::move(clock); }

    // Places frame `frame` (0-based) of the `frames`-frame image at `path`; `bookmarkNumber`
    // counts the frames already composed into this document. The result is that of the last
    // image added (a repeated picture is added once per cell).
    engine::ImageAdded composeFrame(int frame, const std::string& path, int frames, int bookmarkNumber);

    // Finishes a page that still has free cells (stamps, grid lines, end); nothing when no
    // page is open. Called immediately before the document is closed.
    void finishDocument();

    // Frame and inner lines of the grid on a pw × ph page; nothing for a single-cell layout,
    // with the border off, or when the margins leave no area.
    void drawBorder(int pw, int ph) const;

    // Pictures already on the page being filled (0 when no page waits for more).
    int cellCounter() const { return m_cells; }
    // Pages the document accepted from this composer so far.
    int pagesBegun() const { return m_pagesBegun; }

private:
    struct Box {
        int x, y, width, height;
    };

    engine::ImageAdded imageSizedPage(int frame, const std::string& path, int frames, int number, int iw, int ih);
    engine::ImageAdded singlePicturePage(int frame, const std::string& path, int frames, int number, int iw,
                          int ih);
    engine::ImageAdded nextCell(int frame, const std::string& path, int frames, int number, int iw, int ih);
    engine::ImageAdded repeatedPage(int frame, const std::string& path, int frames, int number, int iw, int ih);

    void beginPage(PageDimensions size, int frame, const std::string& path, int frames,
                   int number, bool whenPlaced = false);
    void finishPage(bool gridLines = true);
    Box cellBox(const Grid& grid, int index, PageDimensions page, int iw, int ih) const;
    void placeBox(const Box& box);
    void selectFrame(int frame);
    engine::ImageAdded addPicture(int frame, const std::string& path, const Box& box);

    engine::Document& m_document;
    PageLayout m_layout;
    UtcClock m_clock = currentUtcTime;
    int m_cells = 0;         // pictures on the page being filled
    PageDimensions m_page;   // size of the current page
    bool m_pageBegun = true; // false when the engine refused the current page
    int m_pagesBegun = 0;
};

} // namespace folvane::layout
