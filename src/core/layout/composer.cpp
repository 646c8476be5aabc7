// The page composer: page sizes, grids, picture boxes, and the life of each page.
#include "layout/composer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace folvane::layout {

namespace {

// Settings read from a file may hold any integer; the layout arithmetic runs in 64 bits and
// every number handed to the engine is brought back into int range (the engine refuses what
// lies outside a page anyway).
int toInt(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

int truncated(double value) { return static_cast<int>(std::clamp<double>(std::trunc(value), INT_MIN, INT_MAX)); }

} // namespace

int imageSizedLength(int pixels, int dpi)
{
    double length = dpi == 0 ? pixels : (72.0 / dpi) * pixels + 0.5;
    return static_cast<int>(std::clamp(std::trunc(length), 3.0, 14400.0));
}

Cell cellAt(const Grid& grid, int index)
{
    if (grid.rowsFirst)
        return {index % grid.columns, index / grid.columns};
    return {index / grid.rows, index % grid.rows};
}

PictureSize fitImageToCell(int cw, int ch, int iw, int ih, int imgFit)
{
    if (imgFit != 0 || iw <= 0 || ih <= 0)
        return {cw, ch};
    double scale = static_cast<double>(cw) / iw;
    float vertical = static_cast<float>(static_cast<double>(ch) / ih);
    if (vertical <= scale)
        scale = vertical;
    return {truncated(iw * scale), truncated(ih * scale)};
}

PageComposer::PageComposer(engine::Document& document, const PageLayout& layout)
    : m_document(document), m_layout(layout)
{
}

engine::ImageAdded PageComposer::composeFrame(int frame, const std::string& path, int frames, int bookmarkNumber)
{
    // Each frame has its own size: the pages of a scan batch may be portrait and landscape.
    int iw = 0, ih = 0;
    engine::ImageProbe probe = engine::probeImage(path, frame + 1, m_document.autoOrient());
    if (probe.width > 0) {
        iw = probe.width;
        ih = probe.height;
    }
    if (!m_layout.fixedPage)
        return imageSizedPage(frame, path, frames, bookmarkNumber, iw, ih);
    if (m_layout.grid.cells() == 1)
        return singlePicturePage(frame, path, frames, bookmarkNumber, iw, ih);
    if (m_layout.repeat)
        return repeatedPage(frame, path, frames, bookmarkNumber, iw, ih);
    return nextCell(frame, path, frames, bookmarkNumber, iw, ih);
}

void PageComposer::finishDocument()
{
    if (m_cells == 0)
        return;
    finishPage();
    m_cells = 0;
}

void PageComposer::drawBorder(int pw, int ph) const
{
    const Grid& grid = m_layout.grid;
    const Margins& m = m_layout.margins;
    if (grid.cells() == 1 || !m_layout.cellBorders)
        return;
    long long l = m.left, t = m.top;
    long long r = static_cast<long long>(pw) - m.right, btm = static_cast<long long>(ph) - m.bottom;
    if (l >= r || t >= btm)
        return;
    long long iw = r - l, ih = btm - t;
    int width = std::max(pw / 200, 1);
    auto line = [&](long long x1, long long y1, long long x2, long long y2) {
        m_document.drawLine(toInt(x1), toInt(y1), toInt(x2), toInt(y2), width, 0);
    };
    line(l, t, r, t);
    line(l, t, l, btm);
    line(l, btm, r, btm);
    line(r, t, r, btm);
    // The inner lines lie on the cell boundaries: iw / columns apart across, ih / rows down.
    for (int k = 1; k < grid.columns; ++k)
        line(l + k * (iw / grid.columns), t, l + k * (iw / grid.columns), btm);
    for (int k = 1; k < grid.rows; ++k)
        line(l, t + k * (ih / grid.rows), r, t + k * (ih / grid.rows));
}

engine::ImageAdded PageComposer::imageSizedPage(int frame, const std::string& path, int frames, int number,
                                 int iw, int ih)
{
    const Margins& m = m_layout.margins;
    PageDimensions page{imageSizedLength(iw, m_layout.dpiX), imageSizedLength(ih, m_layout.dpiY)};
    // The page begins only with its picture: a frame that cannot be read leaves no empty page.
    beginPage(page, frame, path, frames, number, true);
    // Stretched into the margins, not fitted.
    Box box{m.left, m.top, toInt(static_cast<long long>(page.width) - m.right - m.left),
            toInt(static_cast<long long>(page.height) - m.bottom - m.top)};
    engine::ImageAdded result = addPicture(frame, path, box);
    if (!result.status.ok)
        m_pageBegun = false;
    finishPage(false);
    return result;
}

engine::ImageAdded PageComposer::singlePicturePage(int frame, const std::string& path, int frames, int number,
                                    int iw, int ih)
{
    PageDimensions page = *m_layout.fixedPage;
    beginPage(page, frame, path, frames, number, true);
    engine::ImageAdded result = addPicture(frame, path, cellBox(Grid{}, 0, page, iw, ih));
    if (!result.status.ok)
        m_pageBegun = false;
    finishPage();
    return result;
}

engine::ImageAdded PageComposer::nextCell(int frame, const std::string& path, int frames, int number, int iw,
                           int ih)
{
    const Grid& grid = m_layout.grid;
    if (m_cells == 0)
        beginPage(*m_layout.fixedPage, frame, path, frames, number);
    // A failed picture still takes its cell, so the pictures after it keep their places.
    engine::ImageAdded result = addPicture(frame, path, cellBox(grid, m_cells, m_page, iw, ih));
    if (++m_cells >= grid.cells()) {
        finishPage();
        m_cells = 0;
    }
    return result;
}

engine::ImageAdded PageComposer::repeatedPage(int frame, const std::string& path, int frames, int number, int iw,
                               int ih)
{
    const Grid& grid = m_layout.grid;
    PageDimensions page = *m_layout.fixedPage;
    beginPage(page, frame, path, frames, number);
    selectFrame(frame);
    engine::ImageAdded result;
    // On a page the engine refused, each copy would become a page of its own: one is enough.
    int copies = m_pageBegun ? grid.cells() : 1;
    for (int k = 0; k < copies; ++k) {
        placeBox(cellBox(grid, k, page, iw, ih));
        result = m_document.addImage(path);
    }
    finishPage();
    return result;
}

void PageComposer::beginPage(PageDimensions size, int frame, const std::string& path, int frames,
                             int number, bool whenPlaced)
{
    m_page = size;
    m_pageBegun = m_document.beginPage(engine::Size {size.width, size.height},
                                       whenPlaced ? engine::PageStart::WhenPlaced : engine::PageStart::Now);
    if (m_pageBegun)
        m_pagesBegun += 1;
    std::optional<std::string> bookmark = makeBookmarkText(frame, frames, path, number, m_layout.bookmarks);
    if (bookmark && !bookmark->empty())
        m_document.setBookmarkText(*bookmark);
}

void PageComposer::finishPage(bool gridLines)
{
    // When the engine refused the page, placement put each picture on a page of its own and
    // already ended it; stamps or lines now would begin a page holding nothing else.
    if (m_pageBegun) {
        stampPage(m_document, m_page.width, m_page.height, m_layout, m_clock);
        if (gridLines)
            drawBorder(m_page.width, m_page.height);
    }
    m_document.endPage();
}

PageComposer::Box PageComposer::cellBox(const Grid& grid, int index, PageDimensions page, int iw, int ih) const
{
    const Margins& m = m_layout.margins;
    long long aw = static_cast<long long>(page.width) - m.right - m.left;
    long long ah = static_cast<long long>(page.height) - m.bottom - m.top;
    long long cw = aw / grid.columns, ch = ah / grid.rows;
    PictureSize picture = fitImageToCell(toInt(cw), toInt(ch), iw, ih, m_layout.stretch ? 1 : 0);
    Cell cell = cellAt(grid, index);
    long long x = m.left + cell.column * cw + (cw - picture.width) / 2;
    long long y = m.top + cell.row * ch + (ch - picture.height) / 2;
    return {toInt(x), toInt(y), picture.width, picture.height};
}

void PageComposer::placeBox(const Box& box)
{
    // On a refused page the picture goes whole onto a page of its own size, so no box is set.
    if (!m_pageBegun)
        return;
    // The engine reads a size of 0 as the image's natural size and a negative one mirrors the
    // picture; a cell too small for the picture still gets at least one point.
    m_document.setPlacementBox(engine::Box {box.x, box.y, std::max(box.width, 1), std::max(box.height, 1)});
}

void PageComposer::selectFrame(int frame)
{
    m_document.setFrameRange(frame + 1, 1);
}

engine::ImageAdded PageComposer::addPicture(int frame, const std::string& path, const Box& box)
{
    placeBox(box);
    selectFrame(frame);
    return m_document.addImage(path);
}

} // namespace folvane::layout
