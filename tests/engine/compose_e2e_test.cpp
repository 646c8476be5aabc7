// Page composition through the real engine: images written by the tests are composed into
// pages, and the files are checked with qpdf, pdftotext, pdfinfo and by rendering.
#include "layout/composer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/intake_fixtures.h"
#include "support/test_support.h"

using namespace folvane::engine;
using namespace folvane::layout;
using namespace folvane::test;
using folvane::app::OutputSettings;
namespace fs = std::filesystem;

namespace {

std::tm march5th2014()
{
    std::tm t{};
    t.tm_year = 114;
    t.tm_mon = 2;
    t.tm_mday = 5;
    return t;
}

uint32_t grayRgb(int g) { return static_cast<uint32_t>(g << 16 | g << 8 | g); }

// Shade of the i-th picture: far enough apart to tell neighbours after JPEG coding.
int shadeOf(int i) { return 60 + 10 * i; }

class ComposeEndToEnd : public PdfTest {
protected:
    void SetUp() override { m_dir = scratchDir(); }

    // Stamps used by every document here; the image watermark is a black square.
    OutputSettings stampedSettings()
    {
        OutputSettings s;
        s.title = "Alpha";
        s.headerOn = 1, s.headerText = "HDR %Title%", s.headerPosition = folvane::app::Alignment::Left;
        s.footerOn = 1, s.footerText = "FTR %LocalDate(YY-MM-DD)%", s.footerPosition = folvane::app::Alignment::Right;
        s.textWatermarkOn = 1, s.watermarkText = "WMARK", s.watermarkPosition = folvane::app::Position::BottomLeft, s.watermarkTextSizePt = 12;
        fs::path mark = m_dir / "mark.bmp";
        writeBmp24(mark, 20, 20, [](int, int) { return 0u; });
        s.imageWatermarkOn = 1, s.watermarkImagePath = mark.string(), s.watermarkImagePosition = folvane::app::Position::TopRight, s.watermarkImageWidthPt = 30, s.watermarkImageHeightPt = 30;
        s.cellBorders = 1;
        return s;
    }

    int pageCount(const fs::path& pdf)
    {
        CommandResult info = runCommand("pdfinfo " + shellQuote(pdf.string()));
        size_t at = info.output.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.output.c_str() + at + 6);
    }

    std::string pageText(const fs::path& pdf, int page)
    {
        std::string p = std::to_string(page);
        return runCommand("pdftotext -f " + p + " -l " + p + " " + shellQuote(pdf.string()) + " -").output;
    }

    fs::path m_dir;
};

::testing::AssertionResult near(int actual, int expected, const std::string& where)
{
    if (std::abs(actual - expected) <= 4)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << where << ": gray " << actual << ", expected " << expected;
}

struct LayoutCase {
    int layout;
    int order;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.layout << "-up, order " << c.order; }

class ComposeLayouts : public ComposeEndToEnd, public ::testing::WithParamInterface<LayoutCase> {};

} // namespace

TEST_P(ComposeLayouts, PicturesStampsAndGridLinesLandWhereComposed)
{
    const auto [layout, order] = GetParam();
    OutputSettings s = stampedSettings();
    s.pageSize = folvane::app::PageSize::Letter; // Letter, 612 x 792
    s.imagesPerPage = layout;
    s.cellOrder = static_cast<folvane::app::CellOrder>(order);
    s.marginLeftPt = s.marginRightPt = 36;
    s.marginTopPt = s.marginBottomPt = 48;
    s.bookmarksOn = 1, s.bookmarkLabel = folvane::app::BookmarkLabel::NameWithoutExtension;

    // One page full and one picture more, which FinishDocument has to finish.
    const int pictures = layout + 1;
    std::vector<fs::path> images;
    for (int i = 0; i < pictures; ++i) {
        images.push_back(m_dir / ("pic" + std::to_string(i) + ".bmp"));
        int shade = shadeOf(i);
        writeBmp24(images.back(), 90, 20, [shade](int, int) { return grayRgb(shade); });
    }
    fs::path pdf = pdfPath("layout" + std::to_string(layout) + ".pdf");
    CEngineClient engine;
    DocHandle h = engine.CreateDocument(pdf.string());
    ASSERT_GT(h, 0);
    PageComposer composer(engine, s);
    composer.setClock(march5th2014);
    for (int i = 0; i < pictures; ++i)
        EXPECT_TRUE(composer.ComposeFrame(h, 0, images[static_cast<size_t>(i)].string(), 1, i).status.ok) << i;
    composer.FinishDocument(h);
    ASSERT_EQ(engine.CloseDocument(h), 1);

    ASSERT_EQ(pageCount(pdf), 2);
    for (int page = 1; page <= 2; ++page) {
        std::string text = pageText(pdf, page);
        EXPECT_NE(text.find("HDR Alpha"), std::string::npos) << page << ": " << text;
        EXPECT_NE(text.find("FTR 2014-03-05"), std::string::npos) << page << ": " << text;
        EXPECT_NE(text.find("WMARK"), std::string::npos) << page << ": " << text;
    }
    CommandResult outline = runCommand("mutool show " + shellQuote(pdf.string()) + " outline");
    EXPECT_NE(outline.output.find("pic0"), std::string::npos) << outline.output;
    EXPECT_NE(outline.output.find("pic" + std::to_string(layout)), std::string::npos) << outline.output;

    // Area 540 x 696 from (36, 48); pictures 4.5 times wider than high span their cells' width.
    // Order 1 fills columns first and stands 2 and 6 upright.
    const int columns = layout == 1 ? 1 : layout == 2 ? (order ? 1 : 2) : layout == 6 ? (order ? 2 : 3)
                      : layout == 4 ? 2 : layout == 9 ? 3 : 4;
    const int rows = layout / columns;
    const int cw = 540 / columns, ch = 696 / rows;
    for (int page = 1; page <= 2; ++page) {
        Rendered r = renderGray(pdf, page, m_dir);
        ASSERT_EQ(r.width, 612);
        ASSERT_EQ(r.height, 792);
        int onPage = page == 1 ? layout : 1;
        for (int k = 0; k < layout; ++k) {
            int column = order == 1 ? k / rows : k % columns;
            int row = order == 1 ? k % rows : k / columns;
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
                         ::testing::Values(LayoutCase{1, 0}, LayoutCase{2, 1}, LayoutCase{4, 0}, LayoutCase{6, 1},
                                           LayoutCase{9, 0}, LayoutCase{16, 1}),
                         [](const auto& info) {
                             return std::to_string(info.param.layout) + "up_order" +
                                    std::to_string(info.param.order);
                         });

TEST_F(ComposeEndToEnd, MultiFrameTiffFillsPagesInOrderAndFinishDocumentEndsTheLast)
{
    fs::path tiff = m_dir / "frames.tif";
    std::vector<TiffPage> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back({40, 40, 8, 1, 1, 1, [i](int, int, int) { return static_cast<uint8_t>(shadeOf(i)); }});
    writeTiff(tiff, frames);

    OutputSettings s;
    s.pageSize = folvane::app::PageSize::A4; // A4: cells 297 x 421, pictures 297 x 297
    s.imagesPerPage = 4;
    s.cellBorders = 1;
    s.headerOn = 1, s.headerText = "Sheet";
    // A single-image watermark on pages whose pictures selected frames 5 to 10.
    fs::path mark = m_dir / "mark.bmp";
    writeBmp24(mark, 10, 10, [](int, int) { return 0u; });
    s.imageWatermarkOn = 1, s.watermarkImagePath = mark.string(), s.watermarkImagePosition = folvane::app::Position::TopRight, s.watermarkImageWidthPt = 30, s.watermarkImageHeightPt = 30;
    auto compose = [&](int count, const fs::path& pdf) {
        CEngineClient engine;
        DocHandle h = engine.CreateDocument(pdf.string());
        PageComposer composer(engine, s);
        for (int b = 0; b < count; ++b)
            EXPECT_TRUE(composer.ComposeFrame(h, b, tiff.string(), 10, b).status.ok) << b;
        composer.FinishDocument(h);
        engine.CloseDocument(h);
    };

    fs::path ten = pdfPath("ten.pdf");
    compose(10, ten);
    ASSERT_EQ(pageCount(ten), 3);
    for (int page = 1; page <= 3; ++page) {
        Rendered r = renderGray(ten, page, m_dir);
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
    EXPECT_NE(pageText(ten, 3).find("Sheet"), std::string::npos) << "the last page is stamped too";

    fs::path eight = pdfPath("eight.pdf");
    compose(8, eight);
    EXPECT_EQ(pageCount(eight), 2);
}

TEST_F(ComposeEndToEnd, OversizedImagePageIsLeftToPlacementWithoutAStampsOnlyPage)
{
    fs::path wide = m_dir / "wide.bmp";
    writeBmp24(wide, 20000, 10, [](int x, int) { return grayRgb(x % 200); });
    OutputSettings s = stampedSettings();
    s.pageSize = folvane::app::PageSize::Image;
    s.dpiX = s.dpiY = 72;
    fs::path pdf = pdfPath("wide.pdf");
    CEngineClient engine;
    DocHandle h = engine.CreateDocument(pdf.string());
    PageComposer composer(engine, s);
    EXPECT_TRUE(composer.ComposeFrame(h, 0, wide.string(), 1, 0).status.ok);
    composer.FinishDocument(h);
    engine.CloseDocument(h);
    EXPECT_EQ(pageCount(pdf), 1);
    CommandResult info = runCommand("pdfinfo " + shellQuote(pdf.string()));
    EXPECT_NE(info.output.find("14400 x 7.2 pts"), std::string::npos) << info.output;
}
