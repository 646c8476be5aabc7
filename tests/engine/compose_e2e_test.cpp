// Composed pages as a reader sees them: images written by the tests are converted with every
// stamp on, and the pages are rendered to find each picture, the grid lines and the stamps.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/compose_fixture.h"
#include "support/pixel_compare.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

// Shade of the i-th picture: far enough apart to tell neighbours after JPEG coding.
int shadeOf(int i) { return 60 + 10 * i; }

::testing::AssertionResult near(int actual, int expected, const std::string& where)
{
    if (std::abs(actual - expected) <= 4)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << where << ": gray " << actual << ", expected " << expected;
}

struct LayoutCase {
    int layout;
    const char* order;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.layout << "-up, " << c.order; }

class ComposeLayouts : public ComposeFixture, public ::testing::WithParamInterface<LayoutCase> {};

} // namespace

TEST_P(ComposeLayouts, PicturesStampsAndGridLinesLandWhereComposed)
{
    const auto [layout, order] = GetParam();
    const bool vertical = std::string(order) == "vertical";
    // One page full and one picture more, which the end of the document has to finish.
    std::vector<fs::path> images;
    for (int i = 0; i <= layout; ++i)
        images.push_back(grayImage("pic" + std::to_string(i) + ".bmp", 90, 20, shadeOf(i)));
    fs::path mark = grayImage("mark.bmp", 20, 20, 0);
    auto pages = compose(images, "--page-size Letter --layout " + std::to_string(layout) + " --order " + order +
                                     " --margin 48,36,48,36 --border --bookmarks name --title Alpha"
                                     " --header 'HDR %Title%' --header-align left"
                                     " --footer 'FTR %LocalDate(YY-MM-DD)%' --footer-align right"
                                     " --watermark WMARK --watermark-position bottom-left --watermark-size 12"
                                     " --watermark-image " + q(mark) + " --watermark-image-position top-right"
                                     " --watermark-image-size 30x30");
    ASSERT_EQ(pages.size(), 2u);
    for (const TracedPage& page : pages) {
        EXPECT_NE(page.text("HDR Alpha"), nullptr);
        EXPECT_NE(page.text("FTR " + utcNow("%Y-%m-%d")), nullptr);
        EXPECT_NE(page.text("WMARK"), nullptr);
    }
    EXPECT_NE(outline().find("pic0"), std::string::npos) << outline();
    EXPECT_NE(outline().find("pic" + std::to_string(layout)), std::string::npos) << outline();

    // Area 540 x 696 from (36, 48); pictures 4.5 times wider than high span their cells' width.
    // The vertical order fills columns first and stands 2 and 6 upright.
    const int columns = layout == 1 ? 1 : layout == 2 ? (vertical ? 1 : 2) : layout == 6 ? (vertical ? 2 : 3)
                      : layout == 4 ? 2 : layout == 9 ? 3 : 4;
    const int rows = layout / columns;
    const int cw = 540 / columns, ch = 696 / rows;
    for (int page = 1; page <= 2; ++page) {
        Rendered r = renderGray(last, page, dir);
        ASSERT_EQ(r.width, 612);
        ASSERT_EQ(r.height, 792);
        int onPage = page == 1 ? layout : 1;
        for (int k = 0; k < layout; ++k) {
            int column = vertical ? k / rows : k % columns;
            int row = vertical ? k % rows : k / columns;
            int left = 36 + column * cw, top = 48 + row * ch;
            std::string where = "page " + std::to_string(page) + " cell " + std::to_string(k);
            int expected = k < onPage ? shadeOf((page - 1) * layout + k) : 255;
            EXPECT_TRUE(near(r.at(left + cw / 2, top + ch / 2), expected, where + " centre"));
            EXPECT_TRUE(near(r.at(left + cw / 2, top + 6), 255, where + " above the picture"));
        }
        // Frame lines (3 points wide) and the inner lines, where no picture covers them; a page
        // of one picture has none.
        if (layout > 1) {
            EXPECT_LT(r.at(306, 48), 64) << "top of the frame";
            EXPECT_LT(r.at(36, 400), 64) << "left of the frame";
        } else {
            EXPECT_GT(r.at(306, 48), 240) << "no frame on a page of one picture";
        }
        for (int k = 1; k < columns; ++k)
            EXPECT_LT(r.at(36 + k * cw, 48 + 6), 64) << "vertical line " << k;
        for (int k = 1; k < rows; ++k)
            EXPECT_LT(r.at(36 + 10, 48 + k * ch), 64) << "horizontal line " << k;
        EXPECT_GT(r.at(18, 400), 240) << "left margin stays empty";
        EXPECT_LT(r.at(597, 18), 64) << "image watermark, top right";
    }
}

INSTANTIATE_TEST_SUITE_P(UpCounts, ComposeLayouts,
                         ::testing::Values(LayoutCase{1, "horizontal"}, LayoutCase{2, "vertical"},
                                           LayoutCase{4, "horizontal"}, LayoutCase{6, "vertical"},
                                           LayoutCase{9, "horizontal"}, LayoutCase{16, "vertical"}),
                         [](const auto& info) { return std::to_string(info.param.layout) + "up_" + info.param.order; });

TEST_F(ComposeFixture, MultiFrameTiffFillsPagesInFrameOrder)
{
    // A4: cells 297 x 421, pictures 297 x 297. The single-image watermark is drawn on pages whose
    // pictures selected frames 5 to 10 as well.
    fs::path mark = grayImage("mark.bmp", 10, 10, 0);
    compose({framesTiff("frames.tif", 10)}, "--page-size A4 --layout 4 --border --header Sheet --watermark-image " +
                                                q(mark) + " --watermark-image-position top-right"
                                                          " --watermark-image-size 30x30");
    for (int page = 1; page <= 3; ++page) {
        Rendered r = renderGray(last, page, dir);
        ASSERT_EQ(r.width, 595);
        for (int k = 0; k < 4; ++k) {
            int frame = (page - 1) * 4 + k;
            int x = (k % 2) * 297 + 148, y = (k / 2) * 421 + 210;
            EXPECT_TRUE(near(r.at(x, y), frame < 10 ? shadeOf(frame) : 255,
                             "page " + std::to_string(page) + " cell " + std::to_string(k)));
        }
        EXPECT_LT(r.at(297, 30), 64) << "inner vertical line on page " << page;
        EXPECT_LT(r.at(580, 18), 64) << "image watermark on page " << page;
    }
}
