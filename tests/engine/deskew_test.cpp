// Skew estimation on synthetic pages: accuracy on tilted text, the blob and noise rules, the run
// fold, the line placement rules, vertical columns and the angle fit.
#include "deskew.h"

#include "deskew_internal.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace folvane::engine {
namespace {

using deskew::SkewReport;
using test::BilevelPage;
using test::LayoutBox;

constexpr double kDegree = M_PI / 180.0;

// Twenty equal boxes in one row, 20 × 28 pixels with 10-pixel gaps.
std::vector<LayoutBox> twentyBoxes()
{
    std::vector<LayoutBox> boxes;
    for (int i = 0; i < 20; ++i)
        boxes.push_back({150.0 + i * 30, 200.0, 150.0 + i * 30 + 19, 227.0});
    return boxes;
}

// A page of twelve text lines of x-height glyph boxes with varied widths, letter and word gaps.
BilevelPage textPage(double angle, uint32_t seed, bool ascenders = false)
{
    return test::drawTilted(1600, 900, test::textLines(150, 150, 1300, 12, 50, seed, 22, ascenders), angle);
}

SkewReport estimate(BilevelPage& page)
{
    SkewReport report;
    deskew::estimateSkew(page.view(), &report);
    return report;
}

TEST(SkewEstimate, SingleLineOfTwentyBoxesIsMeasuredAndTurnedBack)
{
    BilevelPage page = test::drawTilted(900, 500, twentyBoxes(), 0.02);
    const SkewReport report = estimate(page);
    EXPECT_EQ(report.boxesMade, 20);
    EXPECT_EQ(report.measurements, 1);
    EXPECT_TRUE(report.horizontalMeasured);
    // Box centres are whole pixels, so the first running slopes of a short line are coarse.
    EXPECT_NEAR(report.angle, 0.02, 0.0025);
    EXPECT_DOUBLE_EQ(estimateSkew(page.view()), report.angle);

    const double applied = straightenFrame(page.view());
    EXPECT_DOUBLE_EQ(applied, -report.angle);
    EXPECT_NEAR(test::profileAngle(page), 0.0, 0.15 * kDegree);
}

TEST(SkewEstimate, ProjectionProfileUsedForResidualsFindsTheTilt)
{
    for (double d : {1.0, -0.3}) {
        BilevelPage page = textPage(d * kDegree, 9);
        EXPECT_NEAR(test::profileAngle(page, 0.03), d * kDegree, 0.02 * kDegree) << d;
    }
}

TEST(SkewEstimate, TiltedPagesComeBackLevel)
{
    const double degrees[] = {0.5, -0.5, 1, -1, 2, -2};
    uint32_t seed = 1;
    for (double d : degrees) {
        SCOPED_TRACE(d);
        BilevelPage page = textPage(d * kDegree, seed++);
        const SkewReport report = estimate(page);
        EXPECT_EQ(report.measurements, 2) << "the scan stops at the second measurement";
        const double applied = straightenFrame(page.view());
        EXPECT_NEAR(applied, -d * kDegree, 0.1 * kDegree);
        EXPECT_NEAR(test::profileAngle(page), 0.0, 0.1 * kDegree);
    }
}

TEST(SkewEstimate, TextWithAscendersIsMostlyStraightened)
{
    // Ascenders and descenders shift box centres off the line; the estimate is coarser than for
    // x-height boxes but must still remove most of the tilt, in the right direction.
    for (double d : {3.0, -3.0}) {
        SCOPED_TRACE(d);
        BilevelPage page = textPage(d * kDegree, 5, true);
        straightenFrame(page.view());
        EXPECT_LT(std::fabs(test::profileAngle(page, 0.03)), std::fabs(d) * kDegree / 3);
    }
}

TEST(SkewEstimate, BlankFrameMeasuresNothingAndStaysUnchanged)
{
    BilevelPage page(700, 400);
    const SkewReport report = estimate(page);
    EXPECT_EQ(report.measurements, 0);
    EXPECT_EQ(report.boxesMade, 0);
    EXPECT_EQ(report.angle, 0.0);
    const std::vector<uint8_t> before = page.bits;
    EXPECT_EQ(straightenFrame(page.view()), 0.0);
    EXPECT_EQ(page.bits, before);
}

TEST(SkewEstimate, SmallIsolatedBlobsAreErasedAsNoise)
{
    struct Blob {
        int x, y, w, h;
        int noise, boxes;
    };
    const Blob blobs[] = {
        {50, 50, 3, 3, 1, 0}, // counts sum to 9
        {50, 50, 5, 5, 1, 0}, // the largest noise: 5 wide, 5 rows, sum 25
        {0, 50, 3, 3, 1, 0},  // at the left edge
        {50, 50, 6, 3, 0, 1}, // one column too wide
        {50, 50, 3, 6, 0, 1}, // one row too tall
        {50, 0, 4, 4, 1, 0},  // in the first row
    };
    for (const Blob& b : blobs) {
        SCOPED_TRACE(testing::Message() << b.x << "," << b.y << " " << b.w << "x" << b.h);
        BilevelPage page(200, 120);
        page.fill(b.x, b.y, b.x + b.w - 1, b.y + b.h - 1);
        const SkewReport report = estimate(page);
        EXPECT_EQ(report.noiseErased, b.noise);
        EXPECT_EQ(report.boxesMade, b.boxes);
    }
}

TEST(SkewEstimate, SmallBlobTouchingInkIsNotNoise)
{
    // A 3 × 3 blob whose right neighbour column goes on downwards belongs to that stroke.
    BilevelPage page(200, 120);
    page.fill(10, 10, 12, 12);
    page.fill(13, 12, 13, 40);
    const SkewReport report = estimate(page);
    EXPECT_EQ(report.noiseErased, 0);
    EXPECT_EQ(report.boxesMade, 1);
}

TEST(SkewEstimate, RowWithTooManyRunsIsFoldedIntoOneStroke)
{
    // 800 one-pixel dots in one row. After the 389th run the second run is stretched over the
    // runs behind it, twice; the first dot and the 24 dots after the last fold stay separate.
    BilevelPage page(1632, 12);
    for (int i = 0; i < 800; ++i)
        page.set(2 * i, 5);
    const SkewReport report = estimate(page);
    EXPECT_EQ(report.boxesMade, 1);
    EXPECT_EQ(report.noiseErased, 25);
}

TEST(SkewEstimate, PixelsBeyondTheWidthAreIgnored)
{
    // The same page stored twice: packed, and with a wider stride whose padding is all ones.
    BilevelPage packed = test::drawTilted(1601, 700, test::textLines(100, 100, 1400, 8, 50, 4, 22, false), 0.015);
    BilevelPage padded(packed.width, packed.height, packed.stride + 16);
    std::fill(padded.bits.begin(), padded.bits.end(), 0xFF);
    for (int y = 0; y < packed.height; ++y)
        for (int x = 0; x < packed.width; ++x)
            padded.set(x, y, packed.ink(x, y));
    const double expected = estimateSkew(packed.view());
    ASSERT_NE(expected, 0.0);
    EXPECT_EQ(estimateSkew(padded.view()), expected);
}

TEST(SkewEstimate, ColumnOfEqualBoxesIsMeasuredAsVerticalStructure)
{
    // An upright column measures exactly 0; slight tilts are found too.
    for (double angle : {0.0, 0.003, 0.01, -0.02}) {
        SCOPED_TRACE(angle);
        std::vector<LayoutBox> boxes;
        for (int r = 0; r < 16; ++r)
            boxes.push_back({100.0, 100.0 + r * 36, 129.0, 129.0 + r * 36});
        BilevelPage page = test::drawTilted(600, 800, boxes, angle);
        const SkewReport report = estimate(page);
        EXPECT_TRUE(report.verticalMeasured);
        EXPECT_FALSE(report.horizontalMeasured);
        EXPECT_EQ(report.measurements, 2);
        EXPECT_NEAR(report.angle, angle, angle == 0.0 ? 0.0 : 0.002);
    }
}

TEST(SkewEstimate, ViewsThatAreNotBilevelFramesGiveZero)
{
    BilevelPage page = test::drawTilted(900, 500, twentyBoxes(), 0.02);
    FrameView view = page.view();
    view.bitsPerPixel = 8;
    EXPECT_EQ(estimateSkew(view), 0.0);
    view = page.view();
    view.stride = (view.width + 7) / 8 - 1;
    EXPECT_EQ(estimateSkew(view), 0.0);
    view = page.view();
    view.rows = nullptr;
    EXPECT_EQ(estimateSkew(view), 0.0);
    view = page.view();
    view.height = 0;
    EXPECT_EQ(estimateSkew(view), 0.0);
}

// Placement rules of the current line, driven box by box.
class LinePlacement : public testing::Test {
protected:
    LinePlacement() : m_page(2000, 400), m_estimator(m_page.view()) {}
    void SetUp() override { ASSERT_TRUE(m_estimator.prepare()); }

    deskew::Placement add(int x0, int y0, int x1, int y1, bool mayEvaluate = false)
    {
        deskew::SkewBox* box = m_estimator.makeBox(x0, y0, x1, y1);
        return m_estimator.addToLine(box, mayEvaluate);
    }
    static std::vector<std::tuple<int, int, int, int>> boxes(const deskew::Chain& chain)
    {
        std::vector<std::tuple<int, int, int, int>> out;
        for (const deskew::SkewBox* b = chain.head; b; b = b->next)
            out.emplace_back(b->x0, b->y0, b->x1, b->y1);
        return out;
    }
    std::vector<std::tuple<int, int, int, int>> line() const { return boxes(m_estimator.currentLine()); }

    BilevelPage m_page;
    deskew::SkewEstimator m_estimator;
};

using Boxes = std::vector<std::tuple<int, int, int, int>>;
using deskew::Placement;

TEST_F(LinePlacement, BoxesLeftOfTheHeadOrAfterTheTailMustOverlapVertically)
{
    EXPECT_EQ(add(100, 10, 110, 20), Placement::Placed);
    EXPECT_EQ(add(80, 15, 100, 25), Placement::Placed); // x1 == head.x0 still counts as left
    EXPECT_EQ(add(60, 26, 70, 30), Placement::NotPlaced);
    EXPECT_EQ(add(120, 18, 130, 30), Placement::Placed);
    EXPECT_EQ(add(140, 31, 150, 40), Placement::NotPlaced);
    EXPECT_EQ(line(), (Boxes{{80, 15, 100, 25}, {100, 10, 110, 20}, {120, 18, 130, 30}}));
    EXPECT_EQ(m_estimator.currentLine().count, 3);
    EXPECT_EQ(m_estimator.currentLine().tail->x0, 120);
}

TEST_F(LinePlacement, BoxesReachingABoxHorizontallyAreMergedIntoIt)
{
    add(100, 10, 110, 20);
    add(200, 10, 210, 20);
    EXPECT_EQ(add(105, 18, 115, 30), Placement::Placed); // joins the head
    EXPECT_EQ(add(190, 5, 200, 12), Placement::Placed);  // joins the right neighbour
    EXPECT_EQ(line(), (Boxes{{100, 10, 115, 30}, {190, 5, 210, 20}}));
    EXPECT_EQ(m_estimator.currentLine().count, 2);
}

TEST_F(LinePlacement, BoxInAGapCutsTheLineWhenCloserThan48PixelsToTheSideItMisses)
{
    // Touching only the right neighbour, starting 47 pixels after the left one: the left part
    // is cut off.
    add(100, 10, 110, 20);
    add(200, 18, 210, 40);
    EXPECT_EQ(add(157, 30, 165, 45), Placement::Placed);
    EXPECT_EQ(line(), (Boxes{{157, 30, 165, 45}, {200, 18, 210, 40}}));
    EXPECT_EQ(m_estimator.currentLine().count, 2);
}

TEST_F(LinePlacement, BoxInAGapFarFromTheSideItMissesIsInserted)
{
    add(100, 10, 110, 20);
    add(200, 18, 210, 40);
    EXPECT_EQ(add(158, 30, 165, 45), Placement::Placed); // 48 pixels after the left box
    EXPECT_EQ(line(), (Boxes{{100, 10, 110, 20}, {158, 30, 165, 45}, {200, 18, 210, 40}}));
    EXPECT_EQ(m_estimator.currentLine().count, 3);
}

TEST_F(LinePlacement, BoxTouchingOnlyTheLeftSideCutsTheRightPart)
{
    add(100, 10, 110, 20);
    add(200, 18, 210, 40);
    add(300, 30, 310, 40);
    ASSERT_EQ(m_estimator.currentLine().count, 3);
    EXPECT_EQ(add(140, 5, 153, 15), Placement::Placed); // 47 pixels before the right box
    EXPECT_EQ(line(), (Boxes{{100, 10, 110, 20}, {140, 5, 153, 15}}));
    EXPECT_EQ(m_estimator.currentLine().tail->x0, 140);
    EXPECT_EQ(add(170, 50, 180, 60), Placement::NotPlaced); // touches nothing
}

TEST_F(LinePlacement, BoxBelowAHeadItCoversReplacesItWhenItTouchesTheNext)
{
    add(100, 10, 110, 20);
    add(130, 18, 140, 35);
    EXPECT_EQ(add(95, 30, 112, 40), Placement::Placed);
    EXPECT_EQ(line(), (Boxes{{95, 30, 112, 40}, {130, 18, 140, 35}}));
}

TEST_F(LinePlacement, MisfitsStartTheCandidateLineWhichReplacesTheLineOnceLong)
{
    // A line of twelve boxes, then boxes of the next line below it.
    for (int i = 0; i < 12; ++i)
        add(100 + 30 * i, 10, 119 + 30 * i, 30);
    EXPECT_EQ(add(100, 60, 119, 80, true), Placement::Placed);
    EXPECT_EQ(m_estimator.candidateLine().count, 1);
    EXPECT_EQ(m_estimator.currentLine().count, 12);
    // The candidate grows until it spans about half the line; then the line is measured and
    // the candidate takes its place.
    int i = 1;
    while (m_estimator.candidateLine().count > 0 && i < 12) {
        add(100 + 30 * i, 60, 119 + 30 * i, 80, true);
        ++i;
    }
    EXPECT_EQ(m_estimator.candidateLine().count, 0);
    EXPECT_EQ(m_estimator.currentLine().count, i);
    EXPECT_EQ(std::get<1>(line().front()), 60);
    EXPECT_EQ(m_estimator.measurements(), 0) << "a level line has angle 0 and adds nothing";
}

TEST(AngleFit, FewPointsUseThePlainLeastSquaresAngle)
{
    deskew::AngleFit fit;
    fit.add(0, 0);
    fit.add(10, 1);
    fit.add(20, 1);
    fit.add(30, 3);
    // slope = (4·120 − 60·5) / (4·1400 − 60²) = 180 / 2000
    EXPECT_NEAR(fit.angle(), std::atan(0.09), 1e-12);

    deskew::AngleFit upright;
    for (int y = 0; y < 5; ++y)
        upright.add(7, y * 10);
    EXPECT_NEAR(upright.angle(), deskew::kHalfPi, 1e-12);

    deskew::AngleFit single;
    single.add(3, 4);
    EXPECT_EQ(single.angle(), 0.0);
}

TEST(AngleFit, ManyPointsAverageTheRunningSlopes)
{
    deskew::AngleFit fit;
    for (int x = 0; x < 5; ++x)
        fit.add(x, 0);
    fit.add(5, 10);
    // Running slopes after 2..5 points are 0; after 6 points 150 / 105.
    EXPECT_NEAR(fit.angle(), std::atan((150.0 / 105.0) / 5), 1e-12);

    deskew::AngleFit upright;
    for (int y = 0; y < 8; ++y)
        upright.add(7, y * 10);
    EXPECT_NEAR(upright.angle(), std::atan(100.0), 1e-12);
}

} // namespace
} // namespace folvane::engine
