// Page stamps, macros and bookmark texts: the rules themselves, and where the stamps land on
// composed pages.
#include "layout/stamps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "support/compose_fixture.h"

using namespace folvane::layout;
using namespace folvane::test;
using folvane::app::OutputSettings;
namespace fs = std::filesystem;

namespace {

// 5 March 2014, 07:08:09.
std::tm fixedTime()
{
    std::tm t{};
    t.tm_year = 114;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    return t;
}

class Stamped : public ComposeFixture {
protected:
    // One picture on a page of `size` with the stamp options given.
    TracedPage stampedPage(const std::string& size, const std::string& options, const std::string& name = "stamped.pdf")
    {
        auto pages = compose({grayImage("p.bmp", 10, 10)}, "--page-size " + size + " " + options, name);
        EXPECT_EQ(pages.size(), 1u) << options;
        return pages.empty() ? TracedPage{} : pages[0];
    }
};

} // namespace

TEST(Stamps, HeaderFontSizeFollowsPageWidth)
{
    struct Case {
        int pw, size;
    } cases[] = {{612, 36}, {95, 6}, {100, 6}, {199, 6}, {200, 12}, {1191, 66}, {0, 6}};
    for (const auto& c : cases)
        EXPECT_EQ(headerFontSize(c.pw), c.size) << c.pw;
}

TEST(Macros, ReplacementsSpellingAndOrder)
{
    OutputSettings s;
    s.title = "Report";
    s.subject = "Sub";
    s.author = "Ann";
    s.keywords = "k1 k2";
    struct Case {
        const char* text;
        const char* expanded;
    } cases[] = {
        {"%Title% - %LocalDate(DD-MM-YY)%", "Report - 05-03-2014"},
        {"%LocalDate(YY-MM-DD)% %LocalTime%", "2014-03-05 07:08:09"},
        {"%Keywords%|%keywordes%|%Keywordes%", "%Keywords%|%keywordes%|k1 k2"},
        {"%Title%%Title% %TITLE%", "ReportReport %TITLE%"},
        {"%Subject% by %Author%", "Sub by Ann"},
        {"no macros", "no macros"},
        {"%Title", "%Title"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expandMacros(c.text, s, fixedTime()), c.expanded) << c.text;

    // A replacement is scanned for the later macros, never for its own or earlier ones.
    OutputSettings nested;
    nested.title = "%Title%/%Author%";
    nested.subject = "%Title%";
    nested.author = "Ann";
    EXPECT_EQ(expandMacros("%Title% %Subject%", nested, fixedTime()), "%Title%/Ann %Title%");
}

TEST(Macros, LongExpansionIsCutAtACharacterBoundary)
{
    OutputSettings s;
    for (int i = 0; i < 255; ++i)
        s.title += "\xC3\xA9"; // é, two bytes
    std::string text = "x%Title%%Title%%Title%";
    std::string expanded = expandMacros(text, s, fixedTime());
    EXPECT_EQ(expanded.size(), 1023u); // "x" and 511 whole characters
    EXPECT_EQ(expanded.substr(expanded.size() - 2), "\xC3\xA9");
}

TEST(Macros, DateAndTimeAreUniversalTime)
{
    // In one of these two zones the local date (or hour) differs from the universal one at any
    // moment, so a local reading would be caught.
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    auto utcText = [] { return utcNow("%Y-%m-%d %H"); };
    for (const char* zone : {"AAA-14", "BBB+12"}) {
        setenv("TZ", zone, 1);
        tzset();
        std::string before = utcText();
        std::string got = expandMacros("%LocalDate(YY-MM-DD)% %LocalTime%", OutputSettings{}).substr(0, 13);
        std::string after = utcText();
        EXPECT_TRUE(got == before || got == after) << zone << ": " << got << " vs " << before;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Bookmarks, SourcesFramesAndUnitForFile)
{
    struct Case {
        int bookmark, sel, unit, frame, frames, number;
        const char* path;
        std::optional<std::string> text;
    } cases[] = {
        {1, 0, 0, 0, 1, 0, "/in/a.tif", "1"},
        {1, 0, 1, 3, 5, 41, "/in/a.tif", "42"}, // page numbers ignore "unit for file"
        {1, 2, 0, 2, 5, 7, "/in/a.tif", "a.tif 3/5"},
        {1, 2, 1, 2, 5, 7, "/in/a.tif", std::nullopt},
        {1, 2, 1, 0, 5, 7, "/in/a.tif", "a.tif"},
        {1, 1, 0, 0, 1, 0, "/in/scan.2014.jpg", "scan.2014"},
        {1, 1, 0, 0, 2, 0, "/in/.hidden", ".hidden 1/2"},
        {1, 1, 0, 0, 1, 0, "noext", "noext"},
        {1, 3, 0, 1, 2, 0, "/in/a.tif", "/in/a.tif 2/2"},
        {1, 9, 0, 0, 1, 0, "/in/a.tif", "/in/a.tif"},
        {0, 0, 0, 0, 1, 0, "/in/a.tif", std::nullopt},
    };
    for (const auto& c : cases) {
        OutputSettings s;
        s.bookmarksOn = c.bookmark;
        s.bookmarkLabel = static_cast<folvane::app::BookmarkLabel>(c.sel);
        s.bookmarkPerFile = c.unit;
        EXPECT_EQ(makeBookmarkText(c.frame, c.frames, c.path, c.number, s), c.text)
            << "source " << c.sel << " frame " << c.frame << "/" << c.frames;
    }
}

TEST_F(Stamped, HeaderIsCentredOnTheExpandedTextAtTheTop)
{
    TracedPage page = stampedPage("Letter", "--title Report --header '%Title% - %LocalDate(DD-MM-YY)%' "
                                            "--header-align center --header-color '#FF0000'");
    const TracedText* header = page.text("Report");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text, "Report - " + utcNow("%d-%m-%Y"));
    EXPECT_EQ(header->size, 36) << "a 17th of the page width";
    EXPECT_NEAR((header->x + header->right) / 2, 306, 1);
    EXPECT_NEAR(header->baseline, 3 + 36, 0.5) << "the line's top at 3";
    EXPECT_EQ(header->color, "1 0 0");
}

TEST_F(Stamped, HeaderAndFooterAlignByTheirOwnPositions)
{
    TracedPage page = stampedPage("Letter", "--header Left --header-align left --footer Page --footer-align right");
    const TracedText* header = page.text("Left");
    const TracedText* footer = page.text("Page");
    ASSERT_TRUE(header && footer);
    EXPECT_NEAR(header->x, 3, 0.5);
    EXPECT_NEAR(header->baseline, 3 + 36, 0.5);
    EXPECT_NEAR(footer->right, 612, 2) << "flush with the right edge";
    EXPECT_NEAR(footer->baseline, 792, 0.5) << "flush with the bottom";

    // Two lines on a narrow page: centred as a block that ends at the bottom.
    page = stampedPage("95x400", "--footer \"$(printf 'Two\\nlines')\" --footer-align center", "lines.pdf");
    const TracedText* first = page.text("Two");
    const TracedText* second = page.text("lines");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size, 6);
    EXPECT_LT(first->baseline, second->baseline);
    EXPECT_GT(first->baseline, 400 - 20);
    EXPECT_LE(second->baseline, 400);
}

TEST_F(Stamped, TextWatermarkLandsAtEachOfTheNinePositions)
{
    const char* positions[] = {"top-left", "top-center", "top-right", "center-left", "center",
                               "center-right", "bottom-left", "bottom-center", "bottom-right"};
    for (int code = 0; code < 9; ++code) {
        const std::string position = positions[code];
        TracedPage page = stampedPage("600x800", "--watermark Mark --watermark-size 20 --watermark-color lime "
                                                 "--watermark-position " + position, position + ".pdf");
        const TracedText* mark = page.text("Mark");
        ASSERT_NE(mark, nullptr) << position;
        EXPECT_EQ(mark->size, 20);
        EXPECT_EQ(mark->color, "0 1 0");
        double width = mark->right - mark->x;
        double expectedX[] = {3, (600 - width) / 2, 600 - width};
        EXPECT_NEAR(mark->x, expectedX[code % 3], 1) << position;
        double top = mark->baseline - 20; // a line of text hangs from its top
        double expectedTop[] = {3, 390, 780};
        EXPECT_NEAR(top, expectedTop[code / 3], 0.5) << position;
    }
    // Two lines at the bottom; watermarks expand no macros.
    TracedPage page = stampedPage("600x800",
                                  "--title T --watermark \"$(printf '%%Title%%\\nsecond')\" --watermark-size 20 "
                                  "--watermark-position bottom-left", "two.pdf");
    ASSERT_NE(page.text("%Title%"), nullptr);
    ASSERT_NE(page.text("second"), nullptr);
    EXPECT_NEAR(page.text("%Title%")->baseline - 20, 752, 0.5);
}

TEST_F(Stamped, TextWiderThanThePageStartsAtItsLeftEdge)
{
    for (const char* align : {"center", "right"}) {
        TracedPage page = stampedPage("100x100",
                                      std::string("--header 'a header text that is far far wider than this small "
                                                  "page' --header-align ") + align, std::string(align) + ".pdf");
        ASSERT_NE(page.text("wider"), nullptr) << align;
        EXPECT_NEAR(page.text("wider")->x, 1, 0.5) << align;
    }
}

TEST_F(Stamped, ImageWatermarkTakesItsPositionAndSize)
{
    fs::path logo = grayImage("logo.bmp", 8, 8, 0);
    struct Case {
        const char* position;
        double x, y;
    } cases[] = {{"bottom-right", 550, 760}, {"center", 275, 380}, {"top-left", 3, 3}};
    for (const auto& c : cases) {
        TracedPage page = stampedPage("600x800", "--watermark-image " + q(logo) + " --watermark-image-size 50x40 "
                                      "--watermark-image-position " + c.position, std::string(c.position) + ".pdf");
        ASSERT_EQ(page.images.size(), 2u) << c.position;
        const TracedBox& b = page.images[1];
        EXPECT_TRUE(b.x == c.x && b.y == c.y && b.w == 50 && b.h == 40)
            << c.position << ": " << b.x << " " << b.y << " " << b.w << " " << b.h;
    }
    TracedPage page = stampedPage("600x800", "--watermark-image " + q(logo) + " --set imgWidth=0", "unsized.pdf");
    EXPECT_EQ(page.images.size(), 1u) << "a watermark image without a size is left out";
}

TEST_F(Stamped, StampsComeInTheirOrderAndOnlyWhenSwitchedOn)
{
    fs::path logo = grayImage("logo.bmp", 8, 8, 0);
    const std::string all = "--header H --footer F --watermark T --watermark-image " + q(logo) +
                            " --watermark-image-size 10x10";
    TracedPage page = stampedPage("200x200", all);
    ASSERT_EQ(page.texts.size(), 3u);
    EXPECT_EQ(page.texts[0].text, "H");
    EXPECT_EQ(page.texts[1].text, "F");
    EXPECT_EQ(page.texts[2].text, "T");
    EXPECT_EQ(page.images.size(), 2u);

    page = stampedPage("200x200", all + " --set header=0 --set footer=0 --set tWatermark= --set imgWatermark=",
                       "off.pdf");
    EXPECT_TRUE(page.texts.empty());
    EXPECT_EQ(page.images.size(), 1u);
}
