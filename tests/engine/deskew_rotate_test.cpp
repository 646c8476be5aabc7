// In-place rotation of 1-bit frames and the limits of straightening.
#include "deskew.h"

#include "deskew_internal.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace folvane::engine {
namespace {

using test::BilevelPage;
using test::LayoutBox;
using test::PageRandom;

constexpr double kDegree = M_PI / 180.0;

BilevelPage noisePage(int w, int h, uint32_t seed)
{
    BilevelPage page(w, h);
    PageRandom random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            page.set(x, y, random.next() % 3 == 0);
    return page;
}

// Nearest-neighbour rotation about the centre computed directly, out of place. Positions that
// fall within a hair of a rounding boundary are reported as ambiguous (-1), since fixed-point
// stepping may round them either way.
std::vector<int> expectedRotation(const BilevelPage& source, double angle)
{
    const double cx = (source.width - 1) / 2.0;
    const double cy = (source.height - 1) / 2.0;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    std::vector<int> out(size_t(source.width) * size_t(source.height));
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x) {
            const double sx = cx + (x - cx) * c + (y - cy) * s + 0.5;
            const double sy = cy - (x - cx) * s + (y - cy) * c + 0.5;
            const bool ambiguous = std::fabs(sx - std::round(sx)) < 0.01 || std::fabs(sy - std::round(sy)) < 0.01;
            const int ix = int(std::floor(sx));
            const int iy = int(std::floor(sy));
            out[size_t(y) * size_t(source.width) + size_t(x)] = ambiguous ? -1 : source.ink(ix, iy);
        }
    return out;
}

TEST(rotateFrame, MatchesADirectNearestNeighbourRotation)
{
    struct Case {
        int w, h;
        double angle;
    };
    const Case cases[] = {
        {257, 199, 0.3},  {256, 200, -0.3}, {301, 173, 0.449}, {120, 411, -0.02},
        {500, 31, 0.25},  {33, 500, -0.4},  {211, 97, 1.2},    {160, 150, 3.0},
        {150, 161, -2.0}, {77, 1, 0.1},     {1, 50, 0.2},      {640, 480, 0.0002},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " by " << c.angle);
        BilevelPage page = noisePage(c.w, c.h, seed++);
        const std::vector<int> expected = expectedRotation(page, c.angle);
        rotateFrame(page.view(), c.angle);
        int64_t wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const int want = expected[size_t(y) * size_t(c.w) + size_t(x)];
                if (want >= 0 && page.ink(x, y) != bool(want))
                    ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(rotateFrame, TurnsAHorizontalStrokeThroughTheCentre)
{
    BilevelPage page(401, 301);
    page.fill(50, 150, 350, 150);
    const double angle = 0.1;
    rotateFrame(page.view(), angle);
    // Every column the stroke now crosses has its ink where the turned stroke passes.
    for (int x = 60; x <= 340; x += 20) {
        const double expectedY = 150 + (x - 200) * std::tan(angle);
        int found = -1;
        for (int y = 0; y < page.height; ++y)
            if (page.ink(x, y))
                found = y;
        ASSERT_GE(found, 0) << x;
        EXPECT_NEAR(found, expectedY, 1.0) << x;
    }
}

TEST(rotateFrame, TinyAnglesAndNonNumbersLeaveTheFrameUnchanged)
{
    // So wide that 0.00005 radians would already move the ends of a stroke by half a pixel.
    BilevelPage page(20480, 16);
    page.fill(0, 8, 20479, 8);
    const std::vector<uint8_t> before = page.bits;
    for (double angle : {0.00005, -0.00005, 0.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()}) {
        rotateFrame(page.view(), angle);
        EXPECT_EQ(page.bits, before) << angle;
    }
    rotateFrame(page.view(), 0.0001);
    EXPECT_NE(page.bits, before);
    EXPECT_TRUE(page.ink(10240, 8));
    EXPECT_TRUE(page.ink(0, 7));
    EXPECT_TRUE(page.ink(20479, 9));
}

TEST(rotateFrame, LeavesTheFrameUnchangedWithoutWorkMemory)
{
    BilevelPage page = noisePage(300, 200, 9);
    const std::vector<uint8_t> before = page.bits;
    EXPECT_FALSE(deskew::rotateFrame(page.view(), 0.2, 100));
    EXPECT_EQ(page.bits, before);
    EXPECT_TRUE(deskew::rotateFrame(page.view(), 0.2, size_t(1) << 20));
    EXPECT_NE(page.bits, before);
}

TEST(rotateFrame, KeepsRowPaddingAsItWas)
{
    // 101 pixels: 13 bytes per row, the last 3 bits and 7 more bytes of each row are padding.
    BilevelPage page(101, 80, 20);
    std::fill(page.bits.begin(), page.bits.end(), 0xA5);
    BilevelPage padding = page;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            padding.set(x, y, false);
    rotateFrame(page.view(), 0.3);
    for (int y = 0; y < page.height; ++y)
        for (int x = page.width; x < 20 * 8; ++x)
            EXPECT_EQ(page.ink(x, y), padding.ink(x, y)) << x << "," << y;
    for (size_t i = 0; i < page.bits.size(); ++i) {
        if (i % 20 >= 13) {
            ASSERT_EQ(page.bits[i], 0xA5) << i;
        }
    }
}

TEST(straightenFrame, OnlyEstimatesStrictlyInsideTheLimitAreApplied)
{
    BilevelPage page = noisePage(200, 150, 3);
    const std::vector<uint8_t> before = page.bits;
    for (double skew : {0.45, -0.45, 0.5, std::numeric_limits<double>::quiet_NaN(), 0.00005, -0.00009}) {
        EXPECT_EQ(applySkewCorrection(page.view(), skew), 0.0) << skew;
        EXPECT_EQ(page.bits, before) << skew;
    }
    EXPECT_DOUBLE_EQ(applySkewCorrection(page.view(), 0.449), -0.449);
    EXPECT_NE(page.bits, before);
    BilevelPage other = noisePage(200, 150, 3);
    EXPECT_DOUBLE_EQ(applySkewCorrection(other.view(), -0.449), 0.449);
    EXPECT_NE(other.bits, before);
}

TEST(straightenFrame, SteepPagesAreLeftAloneAndLessSteepOnesTurned)
{
    // A line tilted by 0.5 radians is measured as such and judged untrustworthy; at 0.4 radians
    // it is turned back.
    std::vector<LayoutBox> boxes;
    for (int i = 0; i < 20; ++i)
        boxes.push_back({150.0 + i * 40, 400.0, 169.0 + i * 40, 427.0});
    BilevelPage steep = test::drawTilted(1100, 1000, boxes, 0.5);
    ASSERT_GE(estimateSkew(steep.view()), 0.45);
    const std::vector<uint8_t> before = steep.bits;
    EXPECT_EQ(straightenFrame(steep.view()), 0.0);
    EXPECT_EQ(steep.bits, before);

    BilevelPage lessSteep = test::drawTilted(1100, 1000, boxes, 0.4);
    EXPECT_NEAR(straightenFrame(lessSteep.view()), -0.4, 0.005);
    EXPECT_NEAR(estimateSkew(lessSteep.view()), 0.0, 0.005);
}

// A few text lines tilted by one degree at the top of a frame of the given size.
BilevelPage tiltedTextFrame(int width, int height)
{
    return test::drawTilted(width, height, test::textLines(40, 40, 560, 3, 50, 2, 22, false), 1.0 * kDegree);
}

TEST(straightenFrame, FramesAboveTheSizeLimitAreLeftAlone)
{
    struct Case {
        int width, height;
        bool straightened;
    };
    const Case cases[] = {
        {640, 10240, true}, {640, 10241, false}, {10240, 200, true}, {10241, 200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        BilevelPage page = tiltedTextFrame(c.width, c.height);
        const std::vector<uint8_t> before = page.bits;
        const double applied = straightenFrame(page.view());
        if (c.straightened) {
            EXPECT_NE(applied, 0.0);
            EXPECT_NE(page.bits, before);
        } else {
            EXPECT_EQ(applied, 0.0);
            EXPECT_EQ(page.bits, before);
        }
    }
}

TEST(straightenFrame, OnlyBilevelFramesAreStraightened)
{
    BilevelPage page = tiltedTextFrame(700, 300);
    const std::vector<uint8_t> before = page.bits;
    FrameView view = page.view();
    view.bitsPerPixel = 8;
    EXPECT_EQ(straightenFrame(view), 0.0);
    view = page.view();
    view.stride = 0;
    EXPECT_EQ(straightenFrame(view), 0.0);
    rotateFrame(view, 0.2);
    EXPECT_EQ(page.bits, before);
    EXPECT_NE(straightenFrame(page.view()), 0.0);
}

} // namespace
} // namespace folvane::engine
