// The page layout of the output settings.
#include "layout/page_layout.h"

namespace folvane::layout {

namespace {

// Position codes 0..8 run row by row from the top-left; any other value counts as 0.
StampPlace placeOf(app::Position position)
{
    int code = static_cast<int>(position);
    if (code < 0 || code > 8)
        code = 0;
    return {code % 3, code / 3};
}

// Header and footer: 1 centre, 2 right, anything else left.
int columnOf(app::Alignment alignment)
{
    int code = static_cast<int>(alignment);
    return code == 1 || code == 2 ? code : 0;
}

} // namespace

PageDimensions pageSizeFor(int pageSize, int customWidth, int customHeight)
{
    switch (pageSize) {
    case 1: return {842, 1191};
    case 2: return {595, 842};
    case 3: return {420, 595};
    case 4: return {403, 729};
    case 6: return {612, 1008};
    case 7:
        if (customWidth != 0 && customHeight != 0)
            return {customWidth, customHeight};
        return {612, 792};
    default: return {612, 792};
    }
}

Grid gridFor(int layout, int order, int repeat)
{
    bool upright = order == 1;
    bool rowsFirst = repeat != 0 || !upright;
    switch (layout) {
    case 2: return upright ? Grid{1, 2, rowsFirst} : Grid{2, 1, rowsFirst};
    case 4: return {2, 2, rowsFirst};
    case 6: return upright ? Grid{2, 3, rowsFirst} : Grid{3, 2, rowsFirst};
    case 9: return {3, 3, rowsFirst};
    case 16: return {4, 4, rowsFirst};
    default: return {1, 1, true};
    }
}

PageLayout pageLayoutFor(const app::OutputSettings& s)
{
    PageLayout layout;
    if (s.pageSize != app::PageSize::Image)
        layout.fixedPage = pageSizeFor(static_cast<int>(s.pageSize), s.pageWidthPt, s.pageHeightPt);
    layout.dpiX = s.dpiX;
    layout.dpiY = s.dpiY;
    layout.margins = {s.marginTopPt, s.marginLeftPt, s.marginRightPt, s.marginBottomPt};
    layout.grid = gridFor(s.imagesPerPage, static_cast<int>(s.cellOrder), s.repeatImage);
    layout.repeat = s.repeatImage != 0;
    layout.stretch = static_cast<int>(s.imageFit) != 0;
    layout.cellBorders = s.cellBorders != 0;
    if (s.headerOn > 0 && !s.headerText.empty())
        layout.header = TextStamp {s.headerText, columnOf(s.headerPosition), static_cast<unsigned>(s.headerColor)};
    if (s.footerOn > 0 && !s.footerText.empty())
        layout.footer = TextStamp {s.footerText, columnOf(s.footerPosition), static_cast<unsigned>(s.footerColor)};
    if (s.textWatermarkOn > 0 && !s.watermarkText.empty())
        layout.textWatermark = TextWatermark {s.watermarkText, placeOf(s.watermarkPosition), s.watermarkTextSizePt,
                                              static_cast<unsigned>(s.watermarkColor)};
    if (s.imageWatermarkOn > 0 && !s.watermarkImagePath.empty() && s.watermarkImageWidthPt >= 1 &&
        s.watermarkImageHeightPt >= 1)
        layout.imageWatermark = ImageWatermark {s.watermarkImagePath, placeOf(s.watermarkImagePosition),
                                                s.watermarkImageWidthPt, s.watermarkImageHeightPt};
    if (s.bookmarksOn != 0)
        layout.bookmarks = BookmarkRule {s.bookmarkLabel, s.bookmarkPerFile == 1};
    layout.macros = {s.title, s.subject, s.author, s.keywords};
    return layout;
}

} // namespace folvane::layout
