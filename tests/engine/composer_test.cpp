// Page composition: the rules for page sizes, grids and fitting, and what the composed PDF shows:
// pages, where each picture lands, and the grid lines.
#include "layout/composer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/compose_fixture.h"

using namespace folvane::engine;
using namespace folvane::layout;
using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

using Composed = ComposeFixture;

// Boxes compare to the point, up to the single-precision scale of the placement.
::testing::AssertionResult boxIs(const TracedBox& b, double x, double y, double w, double h)
{
    if (std::abs(b.x - x) < 0.05 && std::abs(b.y - y) < 0.05 && std::abs(b.w - w) < 0.05 && std::abs(b.h - h) < 0.05)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "box " << b.x << " " << b.y << " " << b.w << " " << b.h << ", expected "
                                         << x << " " << y << " " << w << " " << h;
}

// The positions of the vertical (x) or horizontal (y) lines of a page, in drawing order.
std::vector<double> linesAt(const TracedPage& page, bool vertical)
{
    std::vector<double> at;
    for (const TracedLine& l : page.lines)
        if (vertical ? l.x1 == l.x2 : l.y1 == l.y2)
            at.push_back(vertical ? l.x1 : l.y1);
    return at;
}

} // namespace

TEST(PageSizes, TableCustomSizeAndFallbacks)
{
    struct Case {
        int code, customW, customH;
        PageDimensions expected;
    } cases[] = {
        {1, 0, 0, {842, 1191}}, {2, 0, 0, {595, 842}},    {3, 0, 0, {420, 595}},    {4, 0, 0, {403, 729}},
        {5, 0, 0, {612, 792}},  {6, 0, 0, {612, 1008}},   {7, 300, 400, {300, 400}}, {7, 0, 400, {612, 792}},
        {7, 300, 0, {612, 792}}, {8, 300, 400, {612, 792}}, {-1, 0, 0, {612, 792}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pageSizeFor(c.code, c.customW, c.customH), c.expected) << "pageSize " << c.code;
}

TEST(PageSizes, ImageSizedSideFromResolutionRoundedAndClamped)
{
    struct Case {
        int pixels, dpi, expected;
    } cases[] = {
        {3000, 300, 720}, {3000, 0, 3000}, {20000, 72, 14400}, {100, 144, 50}, {1001, 300, 240},
        {1003, 300, 241}, // 240.72 + 0.5 rounds up
        {1, 0, 3},        {0, 0, 3},       {5, 300, 3},        {100000, 0, 14400}, {2147483647, 1, 14400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(imageSizedLength(c.pixels, c.dpi), c.expected) << c.pixels << " px at " << c.dpi;
}

TEST(Grids, ShapesAndFillingOrderPerLayout)
{
    struct Case {
        int layout, order, repeat;
        Grid grid;
    } cases[] = {
        {1, 0, 0, {1, 1, true}},  {2, 0, 0, {2, 1, true}},  {2, 1, 0, {1, 2, false}}, {4, 0, 0, {2, 2, true}},
        {4, 1, 0, {2, 2, false}}, {6, 0, 0, {3, 2, true}},  {6, 1, 0, {2, 3, false}}, {9, 1, 0, {3, 3, false}},
        {16, 0, 0, {4, 4, true}}, {16, 1, 0, {4, 4, false}},
        // With repeat, rows first always; order still picks the shape of 2 and 6.
        {6, 1, 1, {2, 3, true}},  {2, 1, 1, {1, 2, true}},  {4, 1, 1, {2, 2, true}},
        // Values outside the table place one picture per page.
        {0, 0, 0, {1, 1, true}},  {3, 1, 0, {1, 1, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gridFor(c.layout, c.order, c.repeat), c.grid) << "layout " << c.layout << " order " << c.order;

    auto order = [](const Grid& g) {
        std::vector<Cell> cells;
        for (int k = 0; k < g.cells(); ++k)
            cells.push_back(cellAt(g, k));
        return cells;
    };
    EXPECT_EQ(order(gridFor(6, 1, 0)), (std::vector<Cell>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}));
    EXPECT_EQ(order(gridFor(6, 1, 1)), (std::vector<Cell>{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}}));
    EXPECT_EQ(order(gridFor(6, 0, 0)), (std::vector<Cell>{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(cellAt(gridFor(4, 1, 0), 2), (Cell{1, 0})) << "third picture: right column, top row";
}

TEST(Fitting, ProportionsPrecisionAndStretch)
{
    struct Case {
        int cw, ch, iw, ih, imgFit;
        PictureSize expected;
    } cases[] = {
        {100, 100, 300, 200, 0, {100, 66}},
        {100, 100, 300, 200, 1, {100, 100}},
        {100, 100, 300, 200, 7, {100, 100}},
        {200, 200, 50, 100, 0, {100, 200}}, // enlarged to the cell
        // cw / iw = 0.04 in double precision, ch / ih = 0.04 rounded to single precision is a
        // little below: the single-precision scale wins and both sides lose a point.
        {400, 100, 10000, 2500, 0, {399, 99}},
        // Here cw / iw is the smaller scale and stays in double precision: no point is lost.
        {400, 1000, 10000, 2500, 0, {400, 100}},
        {100, 100, 0, 50, 0, {100, 100}}, // no proportions to keep
        {100, 100, 50, -1, 0, {100, 100}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitImageToCell(c.cw, c.ch, c.iw, c.ih, c.imgFit), c.expected)
            << c.cw << "x" << c.ch << " cell, " << c.iw << "x" << c.ih << " image, fit " << c.imgFit;
}


TEST_F(Composed, ImageSizedPagesFollowTheResolutionOfEachFrame)
{
    // 600 x 400 pixels at 300 x 150 dpi: 144 x 192 points. No grid on image-sized pages, border
    // or not; margins shrink the picture's place; every frame gets its page, stamps and bookmark.
    fs::path tiff = framesTiff("scan.tif", 3, 600, 400);
    auto pages = compose({tiff}, "--page-size image --dpi 300x150 --layout 4 --border --margin 20,30,40,10 "
                                 "--header H --bookmarks filename");
    ASSERT_EQ(pages.size(), 3u);
    for (const TracedPage& page : pages) {
        EXPECT_EQ(page.width, 144);
        EXPECT_EQ(page.height, 192);
        ASSERT_EQ(page.images.size(), 1u);
        EXPECT_TRUE(boxIs(page.images[0], 10, 20, 104, 132));
        EXPECT_TRUE(page.lines.empty());
        EXPECT_NE(page.text("H"), nullptr);
    }
    EXPECT_NE(outline().find("scan.tif 2/3"), std::string::npos) << outline();

    // At the image's own 72 dpi; each frame gets a page of its own size (a batch of portrait
    // and landscape scans is not stretched to the first page's shape).
    fs::path mixed = dir / "mixed.tif";
    writeTiff(mixed, {{300, 200, 8, 1, 1, 1, [](int, int, int) { return uint8_t{100}; }},
                      {100, 400, 8, 1, 1, 1, [](int, int, int) { return uint8_t{50}; }}});
    pages = compose({mixed}, "--page-size image --dpi keep", "mixed.pdf");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0].width == 300 && pages[0].height == 200) << pages[0].width << " x " << pages[0].height;
    EXPECT_TRUE(pages[1].width == 100 && pages[1].height == 400) << pages[1].width << " x " << pages[1].height;
}

TEST_F(Composed, OversizedImagePageIsLeftToPlacementWithoutStamps)
{
    // 20000 pixels at 72 dpi ask for a page wider than allowed: the picture gets a page of its
    // own, without stamps, and the next image is composed normally again.
    fs::path big = grayImage("big.bmp", 20000, 10), small = grayImage("small.bmp", 100, 50);
    auto pages = compose({big, small}, "--page-size image --dpi 72 --margin 0,0,0,5 --header Header --watermark Mark");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].width, 14400);
    EXPECT_NEAR(pages[0].height, 7.2, 0.01) << "scaled down with the width";
    EXPECT_TRUE(pages[0].texts.empty());
    EXPECT_EQ(pages[1].width, 100);
    EXPECT_EQ(pages[1].height, 50);
    EXPECT_NE(pages[1].text("Header"), nullptr);
    EXPECT_NE(pages[1].text("Mark"), nullptr);
}

TEST_F(Composed, RotationTurnsEveryPageWithItsPicture)
{
    fs::path square = grayImage("square.bmp", 20, 20);
    auto pages = compose({square, square}, "--page-size Letter --rotate 90");
    ASSERT_EQ(pages.size(), 2u);
    for (const TracedPage& page : pages) {
        EXPECT_EQ(page.width, 792);
        EXPECT_EQ(page.height, 612);
        ASSERT_EQ(page.images.size(), 1u);
        EXPECT_TRUE(boxIs(page.images[0], 90, 0, 612, 612)) << "centred on the upright page, then turned";
    }
}

TEST_F(Composed, PicturesFollowTheGridOrderAndAreCentredInTheirCells)
{
    std::vector<fs::path> four(4, grayImage("p.bmp", 30, 20));
    auto pages = compose(four, "--page-size A4 --layout 4 --order vertical --fit stretch", "vertical.pdf");
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].images.size(), 4u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 0, 0, 297, 421));
    EXPECT_TRUE(boxIs(pages[0].images[1], 0, 421, 297, 421));
    EXPECT_TRUE(boxIs(pages[0].images[2], 297, 0, 297, 421)) << "the third picture: right column, top row";
    EXPECT_TRUE(boxIs(pages[0].images[3], 297, 421, 297, 421));

    std::vector<fs::path> six(6, four[0]);
    pages = compose(six, "--page-size A4 --layout 6 --order horizontal --fit stretch", "horizontal.pdf");
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].images.size(), 6u);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(boxIs(pages[0].images[k], 198 * (k % 3), 421 * (k / 3), 198, 421)) << k;

    // Area 555 x 782 from (10, 20), cells 185 x 391, upright pictures 185 x 370.
    fs::path tall = grayImage("tall.bmp", 100, 200);
    pages = compose({tall, tall}, "--page-size A4 --layout 6 --margin 20,30,40,10", "margins.pdf");
    ASSERT_EQ(pages[0].images.size(), 2u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 10, 30, 185, 370));
    EXPECT_TRUE(boxIs(pages[0].images[1], 195, 30, 185, 370));
}

TEST_F(Composed, TenFramesFillFourFourTwoAndTheLastPageIsFinished)
{
    auto pages = compose({framesTiff("ten.tif", 10)}, "--page-size A4 --layout 4 --border --header H --bookmarks page");
    ASSERT_EQ(pages.size(), 3u);
    for (size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(pages[p].images.size(), p < 2 ? 4u : 2u) << p;
        EXPECT_EQ(pages[p].lines.size(), 6u) << "frame and inner lines on page " << p;
        EXPECT_NE(pages[p].text("H"), nullptr) << p;
    }
    std::string marks = outline();
    EXPECT_NE(marks.find("\"9\""), std::string::npos) << "bookmarks name a page's first picture: " << marks;
    EXPECT_EQ(marks.find("\"2\""), std::string::npos) << marks;

    EXPECT_EQ(compose({framesTiff("eight.tif", 8)}, "--page-size A4 --layout 4", "eight.pdf").size(), 2u)
        << "two full pages: nothing left to finish";
}

TEST_F(Composed, FailedPictureStillTakesItsCell)
{
    fs::path bad = dir / "bad.bmp";
    writeFileBytes(bad, "BM this is no bitmap");
    auto pages =
        compose({bad, grayImage("good.bmp", 10, 10)}, "--page-size A4 --layout 2 --fit stretch", "failed.pdf", 1);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].images.size(), 1u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 297, 0, 297, 842));
}

TEST_F(Composed, RepeatGivesEachFrameAPageWithACopyInEveryCell)
{
    auto pages = compose({framesTiff("two.tif", 3)},
                         "--page-size A4 --layout 6 --order vertical --repeat --fit stretch --bookmarks filename");
    ASSERT_EQ(pages.size(), 3u);
    for (const TracedPage& page : pages) {
        ASSERT_EQ(page.images.size(), 6u);
        for (int k = 0; k < 6; ++k) // rows first, in the upright shape of the vertical order
            EXPECT_TRUE(boxIs(page.images[k], 297 * (k % 2), 280 * (k / 2), 297, 280)) << k;
    }
    EXPECT_NE(outline().find("two.tif 3/3"), std::string::npos) << outline();
}

TEST_F(Composed, CustomSizeWithoutWidthFallsBackToLetterWithoutGrid)
{
    // Area 600 x 792: the picture is 600 x 400, centred vertically; one picture per page draws no
    // grid, border or not.
    auto pages = compose({grayImage("wide.bmp", 300, 200)},
                         "--set pageSize=7 --set page_W=0 --set page_H=500 --border --margin 0,6,0,6");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].width, 612);
    EXPECT_EQ(pages[0].height, 792);
    ASSERT_EQ(pages[0].images.size(), 1u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 6, 196, 600, 400));
    EXPECT_TRUE(pages[0].lines.empty());
}

TEST_F(Composed, RefusedFixedPageSizeLeavesPicturesToPlacementWithoutStampsOrLines)
{
    fs::path a = grayImage("a.bmp", 10, 10);
    const std::string tooNarrow = "--set pageSize=7 --set page_W=2 --set page_H=800 --layout 2 --border --header H";
    auto pages = compose({a, a}, tooNarrow);
    ASSERT_EQ(pages.size(), 2u) << "each picture on a page of its own";
    for (const TracedPage& page : pages) {
        EXPECT_EQ(page.images.size(), 1u);
        EXPECT_TRUE(page.texts.empty());
        EXPECT_TRUE(page.lines.empty());
    }
    EXPECT_EQ(compose({a}, tooNarrow + " --repeat", "repeat.pdf").size(), 1u)
        << "one page for the frame, not one per cell";
}

TEST_F(Composed, PictureNeverEmptyOrMirroredWhenMarginsLeaveNoRoom)
{
    fs::path p = grayImage("p.bmp", 100, 100);
    auto pages = compose({p}, "--page-size A5 --margin 0,300,0,300", "a5.pdf");
    ASSERT_EQ(pages[0].images.size(), 1u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 300, 387, 1, 1));

    pages = compose({grayImage("small.bmp", 50, 50)}, "--page-size image --dpi 72 --margin 40", "sized.pdf");
    ASSERT_EQ(pages[0].images.size(), 1u);
    EXPECT_TRUE(boxIs(pages[0].images[0], 40, 40, 1, 1));
}

TEST_F(Composed, BorderFramesTheAreaAndSeparatesTheCells)
{
    // A4 with margins 10, 20, 30, 40: the area spans x 10..565 and y 20..802; lines 2 wide.
    struct Case {
        int layout;
        const char* order;
        std::vector<double> xs, ys; // inner lines
    } cases[] = {
        {2, "horizontal", {287}, {}},
        {2, "vertical", {}, {411}},
        {4, "horizontal", {287}, {411}},
        {6, "vertical", {287}, {280, 540}},
        {6, "horizontal", {195, 380}, {411}},
        {9, "horizontal", {195, 380}, {280, 540}},
        {16, "vertical", {148, 286, 424}, {215, 410, 605}},
    };
    fs::path p = grayImage("p.bmp", 10, 10);
    for (const auto& c : cases) {
        std::string name = std::to_string(c.layout) + c.order;
        auto pages = compose({p}, "--page-size A4 --border --margin 20,30,40,10 --layout " + std::to_string(c.layout) +
                                      " --order " + c.order, name + ".pdf");
        ASSERT_EQ(pages.size(), 1u) << name;
        std::vector<double> xs{10, 565}, ys{20, 802};
        xs.insert(xs.end(), c.xs.begin(), c.xs.end());
        ys.insert(ys.end(), c.ys.begin(), c.ys.end());
        std::vector<double> vertical = linesAt(pages[0], true), horizontal = linesAt(pages[0], false);
        std::sort(vertical.begin(), vertical.end()), std::sort(horizontal.begin(), horizontal.end());
        std::sort(xs.begin(), xs.end()), std::sort(ys.begin(), ys.end());
        EXPECT_EQ(vertical, xs) << name;
        EXPECT_EQ(horizontal, ys) << name;
        for (const TracedLine& l : pages[0].lines)
            EXPECT_EQ(l.width, 2) << name;
    }
}

TEST_F(Composed, NoBorderWithoutGridSwitchOrArea)
{
    struct Case {
        const char* options;
        const char* why;
    } cases[] = {
        {"--layout 1 --border", "one picture per page"},
        {"--layout 4", "border off"},
        {"--layout 4 --border --margin 0,312,0,300", "margins fill the width"},
        {"--layout 4 --border --margin 400,0,392,0", "margins fill the height"},
    };
    fs::path p = grayImage("p.bmp", 10, 10);
    int n = 0;
    for (const auto& c : cases) {
        auto pages = compose({p}, std::string("--page-size Letter ") + c.options, std::to_string(n++) + ".pdf");
        ASSERT_EQ(pages.size(), 1u) << c.why;
        EXPECT_TRUE(pages[0].lines.empty()) << c.why;
    }
    // One point of width left still gets its lines; lines are a 200th of the page width, at least 1.
    auto pages = compose({p}, "--page-size Letter --layout 2 --border --margin 0,311,0,300", "narrow.pdf");
    ASSERT_EQ(pages[0].lines.size(), 5u);
    EXPECT_EQ(pages[0].lines[0].width, 3);
    pages = compose({p}, "--page-size 150x150 --layout 2 --border", "tiny.pdf");
    ASSERT_FALSE(pages[0].lines.empty());
    EXPECT_EQ(pages[0].lines[0].width, 1);
}
