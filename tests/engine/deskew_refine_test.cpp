// The refined skew estimate: text pages tilted by up to five degrees are left within a tenth of
// a degree, and a page without lines keeps the first estimate.
#include <cmath>

#include <gtest/gtest.h>

#include "deskew.h"
#include "synthetic_page.h"

namespace folvane {
namespace {

constexpr double kDegree = M_PI / 180.0;

// A4 pages at 300 dpi with 60 lines of 10-point text.
TEST(refineSkew, LeavesTextPagesTiltedUpToFiveDegreesWithinATenthOfADegree)
{
    for (double tilt : {-4.7, 0.6, 1.8, 5.0}) {
        SCOPED_TRACE(tilt);
        test::BilevelPage page =
            test::drawTilted(2480, 3508, test::textLines(236, 236, 2008, 60, 50, 7, 21, true), tilt * kDegree);
        double first = engine::estimateSkew(page.view());
        double refined = engine::refineSkew(page.view(), first);
        EXPECT_LT(std::fabs(refined - tilt * kDegree), 0.1 * kDegree) << "first estimate " << first / kDegree;
    }
}

TEST(refineSkew, KeepsTheFirstEstimateOnAPageWithoutLines)
{
    test::BilevelPage blank = test::drawTilted(800, 600, {}, 0);
    EXPECT_EQ(engine::refineSkew(blank.view(), 0.01), 0.01);
}

} // namespace
} // namespace folvane
