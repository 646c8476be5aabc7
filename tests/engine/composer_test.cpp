// Page composition: page sizes, grids, fitting, boxes, the life of pages and the grid lines,
// checked call by call against a recording engine.
#include "layout/composer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/recording_engine.h"

using namespace folvane::engine;
using namespace folvane::layout;
using folvane::app::OutputSettings;
using folvane::test::RecordingEngine;
using Calls = std::vector<std::string>;

namespace {

constexpr DocHandle kHandle = 7;

OutputSettings a4(int layout, int order = 0)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::A4;
    s.imagesPerPage = layout;
    s.cellOrder = static_cast<folvane::app::CellOrder>(order);
    return s;
}

size_t countOf(const Calls& calls, const std::string& call) { return std::count(calls.begin(), calls.end(), call); }

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
        EXPECT_EQ(FitImageToCell(c.cw, c.ch, c.iw, c.ih, c.imgFit), c.expected)
            << c.cw << "x" << c.ch << " cell, " << c.iw << "x" << c.ih << " image, fit " << c.imgFit;
}

TEST(Composer, ImageSizedPageSequenceFollowsResolution)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::Image;
    s.dpiX = 300;
    s.dpiY = 0;
    s.imagesPerPage = 4; // no grid on image-sized pages, border or not
    s.cellBorders = 1;
    s.marginLeftPt = 10, s.marginTopPt = 20, s.marginRightPt = 30, s.marginBottomPt = 40;
    s.bookmarksOn = 1, s.bookmarkLabel = folvane::app::BookmarkLabel::FileName;
    s.headerOn = 1, s.headerText = "H";
    RecordingEngine engine;
    engine.pixelSizes["/in/scan.tif"] = {3000, 2000};
    PageComposer composer(engine, s);
    EXPECT_TRUE(composer.ComposeFrame(kHandle, 1, "/in/scan.tif", 3, 0).status.ok);
    EXPECT_EQ(engine.calls, (Calls{"109 720 2000", "110 scan.tif 2/3", "104 10 20 680 1940", "101 2 1",
                                   "add /in/scan.tif", "106 100 42", "text 3 3 'H' 0", "109 0 0"}));
    EXPECT_EQ(engine.queries.front(), "202 /in/scan.tif 1") << "the first frame's size stands for all";
    EXPECT_EQ(composer.cellCounter(), 0);

    s.dpiX = 0;
    RecordingEngine unchanged;
    unchanged.pixelSizes["/in/scan.tif"] = {3000, 2000};
    PageComposer(unchanged, s).ComposeFrame(kHandle, 0, "/in/scan.tif", 1, 0);
    EXPECT_EQ(unchanged.calls.front(), "109 3000 2000");
}

TEST(Composer, RefusedImageSizedPageLeavesThePictureToPlacementWithoutStamps)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::Image;
    s.dpiX = s.dpiY = 72;
    s.marginLeftPt = 5;
    s.headerOn = 1, s.headerText = "Header";
    s.textWatermarkOn = 1, s.watermarkText = "Mark", s.watermarkTextSizePt = 12;
    RecordingEngine engine;
    engine.pixelSizes["big.bmp"] = {20000, 10};
    PageComposer composer(engine, s);
    EXPECT_TRUE(composer.ComposeFrame(kHandle, 0, "big.bmp", 1, 0).status.ok);
    // 14400 points is refused; placement begins and ends the picture's own page, so no box for
    // a page that does not exist and no stamps that would begin a page of their own.
    EXPECT_EQ(engine.calls, (Calls{"109 14400 10", "101 1 1", "add big.bmp", "109 0 0"}));

    // The next image is composed normally again.
    engine.calls.clear();
    engine.pixelSizes["small.bmp"] = {100, 50};
    composer.ComposeFrame(kHandle, 0, "small.bmp", 1, 1);
    EXPECT_EQ(engine.calls.front(), "109 100 50");
    EXPECT_EQ(engine.callsStarting("text").size(), 2u);
}

TEST(Composer, SeveralPerPageBoxesFollowTheGrid)
{
    {
        OutputSettings s = a4(4, 1);
        s.imageFit = folvane::app::ImageFit::Stretch;
        RecordingEngine engine;
        PageComposer composer(engine, s);
        for (int k = 0; k < 4; ++k)
            composer.ComposeFrame(kHandle, 0, "p" + std::to_string(k) + ".png", 1, k);
        EXPECT_EQ(engine.callsStarting("104"),
                  (Calls{"104 0 0 297 421", "104 0 421 297 421", "104 297 0 297 421", "104 297 421 297 421"}))
            << "order 1: the third picture lands in the right column, top row";
    }
    {
        OutputSettings s = a4(6, 0);
        s.imageFit = folvane::app::ImageFit::Stretch;
        RecordingEngine engine;
        PageComposer composer(engine, s);
        for (int k = 0; k < 6; ++k)
            composer.ComposeFrame(kHandle, 0, "p.png", 1, k);
        EXPECT_EQ(engine.callsStarting("104"), (Calls{"104 0 0 198 421", "104 198 0 198 421", "104 396 0 198 421",
                                                      "104 0 421 198 421", "104 198 421 198 421",
                                                      "104 396 421 198 421"}));
    }
    {
        // Fitted pictures are centred in their cells; margins shift the whole grid.
        OutputSettings s = a4(6, 0);
        s.marginLeftPt = 10, s.marginTopPt = 20, s.marginRightPt = 30, s.marginBottomPt = 40;
        RecordingEngine engine;
        engine.pixelSizes["tall.png"] = {100, 200};
        PageComposer composer(engine, s);
        composer.ComposeFrame(kHandle, 0, "tall.png", 1, 0);
        composer.ComposeFrame(kHandle, 0, "tall.png", 1, 1);
        // Area 555 x 782, cells 185 x 391; picture 185 x 370.
        EXPECT_EQ(engine.callsStarting("104"), (Calls{"104 10 30 185 370", "104 195 30 185 370"}));
    }
}

TEST(Composer, TenFramesFillFourFourTwoAndFinishDocumentEndsTheLast)
{
    OutputSettings s = a4(4);
    s.cellBorders = 1;
    s.headerOn = 1, s.headerText = "H";
    s.bookmarksOn = 1, s.bookmarkLabel = folvane::app::BookmarkLabel::PageNumber;
    RecordingEngine engine;
    engine.pixelSizes["ten.tif"] = {100, 100};
    PageComposer composer(engine, s);
    std::vector<int> counters;
    for (int b = 0; b < 10; ++b) {
        composer.ComposeFrame(kHandle, b, "ten.tif", 10, b);
        counters.push_back(composer.cellCounter());
    }
    EXPECT_EQ(counters, (std::vector<int>{1, 2, 3, 0, 1, 2, 3, 0, 1, 2}));
    EXPECT_EQ(countOf(engine.calls, "109 595 842"), 3u);
    EXPECT_EQ(countOf(engine.calls, "109 0 0"), 2u);
    Calls frames = engine.callsStarting("101");
    ASSERT_EQ(frames.size(), 10u);
    for (int b = 0; b < 10; ++b)
        EXPECT_EQ(frames[static_cast<size_t>(b)], "101 " + std::to_string(b + 1) + " 1") << "each picture its frame";
    EXPECT_EQ(engine.callsStarting("110"), (Calls{"110 1", "110 5", "110 9"})) << "a page's first picture";

    size_t before = engine.calls.size();
    composer.FinishDocument(kHandle);
    Calls tail(engine.calls.begin() + static_cast<long>(before), engine.calls.end());
    ASSERT_EQ(tail.size(), 9u);
    EXPECT_EQ(tail[0], "106 100 30");
    EXPECT_EQ(tail[1], "text 3 3 'H' 0");
    EXPECT_EQ(std::count_if(tail.begin(), tail.end(), [](auto& c) { return c.rfind("line", 0) == 0; }), 6);
    EXPECT_EQ(tail.back(), "109 0 0");
    EXPECT_EQ(composer.cellCounter(), 0);
    composer.FinishDocument(kHandle);
    EXPECT_EQ(engine.calls.size(), before + 9) << "a finished page is never finished twice";

    RecordingEngine eight;
    PageComposer exact(eight, s);
    for (int b = 0; b < 8; ++b)
        exact.ComposeFrame(kHandle, b, "eight.tif", 8, b);
    EXPECT_EQ(countOf(eight.calls, "109 0 0"), 2u);
    size_t all = eight.calls.size();
    exact.FinishDocument(kHandle);
    EXPECT_EQ(eight.calls.size(), all) << "two full pages: nothing left to finish";
}

TEST(Composer, FailedPictureStillTakesItsCell)
{
    OutputSettings s = a4(2);
    s.imageFit = folvane::app::ImageFit::Stretch;
    RecordingEngine engine;
    PageComposer composer(engine, s);
    engine.addResult = 0;
    EXPECT_EQ(composer.ComposeFrame(kHandle, 0, "bad.png", 1, 0).status.code, folvane::FailureCode::Damaged);
    engine.addResult = 1;
    EXPECT_TRUE(composer.ComposeFrame(kHandle, 0, "good.png", 1, 1).status.ok);
    EXPECT_EQ(engine.callsStarting("104"), (Calls{"104 0 0 297 842", "104 297 0 297 842"}));
    EXPECT_EQ(countOf(engine.calls, "109 0 0"), 1u);
}

TEST(Composer, RepeatGivesEachFrameAPageWithACopyInEveryCell)
{
    OutputSettings s = a4(6, 1);
    s.repeatImage = 1;
    s.imageFit = folvane::app::ImageFit::Stretch;
    s.bookmarksOn = 1, s.bookmarkLabel = folvane::app::BookmarkLabel::FileName;
    RecordingEngine engine;
    engine.addResult = -1;
    PageComposer composer(engine, s);
    EXPECT_EQ(composer.ComposeFrame(kHandle, 2, "/x/two.tif", 3, 0).status.code, folvane::FailureCode::OutOfRange) << "the last image added decides";
    EXPECT_EQ(engine.calls,
              (Calls{"109 595 842", "110 two.tif 3/3", "101 3 1", "104 0 0 297 280", "add /x/two.tif",
                     "104 297 0 297 280", "add /x/two.tif", "104 0 280 297 280", "add /x/two.tif",
                     "104 297 280 297 280", "add /x/two.tif", "104 0 560 297 280", "add /x/two.tif",
                     "104 297 560 297 280", "add /x/two.tif", "109 0 0"}));
    EXPECT_EQ(composer.cellCounter(), 0);
}

TEST(Composer, SinglePicturePerPageAndCustomSizeFallback)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::Custom;
    s.pageWidthPt = 0;
    s.pageHeightPt = 500;
    s.imagesPerPage = 1;
    s.cellBorders = 1;
    s.marginLeftPt = s.marginRightPt = 6;
    RecordingEngine engine;
    engine.pixelSizes["wide.jpg"] = {300, 200};
    PageComposer composer(engine, s);
    composer.ComposeFrame(kHandle, 0, "wide.jpg", 1, 0);
    // Area 600 x 792: the picture is 600 x 400, centred vertically.
    EXPECT_EQ(engine.calls, (Calls{"109 612 792", "104 6 196 600 400", "101 1 1", "add wide.jpg", "109 0 0"}))
        << "custom size lacking a width gives Letter; one picture per page draws no grid, border or not";

    // An unreadable header gives no proportions: the picture is offered the whole area and
    // AddImageFile decides.
    RecordingEngine unknown;
    unknown.addResult = 0;
    EXPECT_EQ(PageComposer(unknown, s).ComposeFrame(kHandle, 0, "broken.jpg", 1, 0).status.code, folvane::FailureCode::Damaged);
    EXPECT_EQ(unknown.callsStarting("104"), (Calls{"104 6 0 600 792"}));
}

TEST(Composer, RefusedFixedPageNeitherBoxesNorStampsNorRules)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::Custom;
    s.pageWidthPt = 5; // below what the engine accepts
    s.pageHeightPt = 800;
    s.imagesPerPage = 2;
    s.cellBorders = 1;
    s.headerOn = 1, s.headerText = "H";
    RecordingEngine engine;
    engine.pixelSizes["a.png"] = {10, 10};
    PageComposer composer(engine, s);
    composer.ComposeFrame(kHandle, 0, "a.png", 1, 0);
    composer.ComposeFrame(kHandle, 0, "a.png", 1, 1);
    EXPECT_EQ(engine.calls, (Calls{"109 5 800", "101 1 1", "add a.png", "101 1 1", "add a.png", "109 0 0"}));

    s.repeatImage = 1;
    RecordingEngine repeated;
    PageComposer(repeated, s).ComposeFrame(kHandle, 0, "a.png", 1, 0);
    EXPECT_EQ(repeated.calls, (Calls{"109 5 800", "101 1 1", "add a.png", "109 0 0"}))
        << "one page for the frame, not one per cell";
}

TEST(Composer, BoxNeverEmptyOrMirroredWhenMarginsLeaveNoRoom)
{
    OutputSettings s;
    s.pageSize = folvane::app::PageSize::A5; // A5, 420 wide
    s.imagesPerPage = 1;
    s.marginLeftPt = s.marginRightPt = 300;
    RecordingEngine engine;
    engine.pixelSizes["p.png"] = {100, 100};
    PageComposer(engine, s).ComposeFrame(kHandle, 0, "p.png", 1, 0);
    EXPECT_EQ(engine.callsStarting("104"), (Calls{"104 300 387 1 1"}));

    OutputSettings image; // image-sized page of 50 x 50 with margins of 40 all round
    image.marginLeftPt = image.marginTopPt = image.marginRightPt = image.marginBottomPt = 40;
    RecordingEngine sized;
    sized.pixelSizes["p.png"] = {50, 50};
    PageComposer(sized, image).ComposeFrame(kHandle, 0, "p.png", 1, 0);
    EXPECT_EQ(sized.callsStarting("104"), (Calls{"104 40 40 1 1"}));
}

TEST(Border, FrameAndInnerLinesPerLayout)
{
    // A4 with margins 10, 20, 30, 40: l 10, t 20, r 565, btm 802; inner 555 x 782; width 2.
    const Calls frame{"line 10 20 565 20 w2 c0", "line 10 20 10 802 w2 c0", "line 10 802 565 802 w2 c0",
                      "line 565 20 565 802 w2 c0"};
    auto v = [](int x) { return "line " + std::to_string(x) + " 20 " + std::to_string(x) + " 802 w2 c0"; };
    auto h = [](int y) { return "line 10 " + std::to_string(y) + " 565 " + std::to_string(y) + " w2 c0"; };
    struct Case {
        int layout, order;
        Calls inner;
    } cases[] = {
        {2, 0, {v(287)}},
        {2, 1, {h(411)}},
        {4, 0, {v(287), h(411)}},
        {6, 1, {v(287), h(280), h(540)}},
        {6, 0, {v(195), v(380), h(411)}},
        {9, 0, {v(195), v(380), h(280), h(540)}},
        {16, 1, {v(148), v(286), v(424), h(215), h(410), h(605)}},
    };
    for (const auto& c : cases) {
        OutputSettings s = a4(c.layout, c.order);
        s.cellBorders = 1;
        s.marginLeftPt = 10, s.marginTopPt = 20, s.marginRightPt = 30, s.marginBottomPt = 40;
        RecordingEngine engine;
        PageComposer(engine, s).DrawBorder(kHandle, 595, 842);
        Calls expected = frame;
        expected.insert(expected.end(), c.inner.begin(), c.inner.end());
        EXPECT_EQ(engine.calls, expected) << "layout " << c.layout << " order " << c.order;
    }
}

TEST(Border, NothingWithoutBorderGridOrArea)
{
    struct Case {
        int layout, border, mLeft, mRight, mTop, mBottom;
        const char* why;
    } cases[] = {
        {1, 1, 0, 0, 0, 0, "one picture per page"},
        {4, 0, 0, 0, 0, 0, "border off"},
        {4, 1, 300, 312, 0, 0, "margins fill the width"},
        {4, 1, 0, 0, 400, 392, "margins fill the height"},
    };
    for (const auto& c : cases) {
        OutputSettings s = a4(c.layout);
        s.cellBorders = c.border;
        s.marginLeftPt = c.mLeft, s.marginRightPt = c.mRight, s.marginTopPt = c.mTop, s.marginBottomPt = c.mBottom;
        RecordingEngine engine;
        PageComposer(engine, s).DrawBorder(kHandle, 612, 792);
        EXPECT_TRUE(engine.calls.empty()) << c.why;
    }
    // One point of width left still gets its lines; lines are pw / 200 wide, at least 1.
    OutputSettings s = a4(2);
    s.cellBorders = 1;
    s.marginLeftPt = 300, s.marginRightPt = 311;
    RecordingEngine narrow;
    PageComposer(narrow, s).DrawBorder(kHandle, 612, 792);
    EXPECT_EQ(narrow.calls.size(), 5u);
    EXPECT_EQ(narrow.calls.front(), "line 300 0 301 0 w3 c0");
    s.marginLeftPt = s.marginRightPt = 0;
    RecordingEngine tiny;
    PageComposer(tiny, s).DrawBorder(kHandle, 150, 150);
    EXPECT_EQ(tiny.calls.front(), "line 0 0 150 0 w1 c0");
}
