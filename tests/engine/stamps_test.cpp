// Page stamps, macros and bookmark texts, checked call by call against a recording engine.
#include "layout/stamps.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/recording_engine.h"

using namespace folvane::engine;
using namespace folvane::layout;
using folvane::app::OutputSettings;
using folvane::test::RecordingEngine;
using Calls = std::vector<std::string>;

namespace {

constexpr DocHandle kHandle = 3;

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

Calls stamp(const OutputSettings& s, int pw, int ph, RecordingEngine& engine)
{
    StampPage(engine, kHandle, pw, ph, s, fixedTime);
    return engine.calls;
}

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
        EXPECT_EQ(ExpandMacros(c.text, s, fixedTime()), c.expanded) << c.text;

    // A replacement is scanned for the later macros, never for its own or earlier ones.
    OutputSettings nested;
    nested.title = "%Title%/%Author%";
    nested.subject = "%Title%";
    nested.author = "Ann";
    EXPECT_EQ(ExpandMacros("%Title% %Subject%", nested, fixedTime()), "%Title%/Ann %Title%");
}

TEST(Macros, LongExpansionIsCutAtACharacterBoundary)
{
    OutputSettings s;
    for (int i = 0; i < 255; ++i)
        s.title += "\xC3\xA9"; // é, two bytes
    std::string text = "x%Title%%Title%%Title%";
    std::string expanded = ExpandMacros(text, s, fixedTime());
    EXPECT_EQ(expanded.size(), 1023u); // "x" and 511 whole characters
    EXPECT_EQ(expanded.substr(expanded.size() - 2), "\xC3\xA9");
}

TEST(Macros, DateAndTimeAreUniversalTime)
{
    // In one of these two zones the local date (or hour) differs from the universal one at any
    // moment, so a local reading would be caught.
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    auto utcText = [] {
        std::time_t now = std::time(nullptr);
        std::tm t{};
        gmtime_r(&now, &t);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour);
        return std::string(buffer);
    };
    for (const char* zone : {"AAA-14", "BBB+12"}) {
        setenv("TZ", zone, 1);
        tzset();
        std::string before = utcText();
        std::string got = ExpandMacros("%LocalDate(YY-MM-DD)% %LocalTime%", OutputSettings{}).substr(0, 13);
        std::string after = utcText();
        EXPECT_TRUE(got == before || got == after) << zone << ": " << got << " vs " << before;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Stamps, HeaderIsCentredOnTheExpandedText)
{
    OutputSettings s;
    s.headerOn = 1;
    s.headerText = "%Title% - %LocalDate(DD-MM-YY)%";
    s.title = "Report";
    s.headerPosition = folvane::app::Alignment::Center;
    s.headerColor = 255;
    RecordingEngine engine;
    // 19 characters at 36 points measure 342 in the recording engine: x = 306 - 171.
    EXPECT_EQ(stamp(s, 612, 792, engine), (Calls{"106 100 36", "text 135 3 'Report - 05-03-2014' 255"}));
    EXPECT_EQ(engine.queries, (Calls{"250 100 36 'Report - 05-03-2014'"}));
}

TEST(Stamps, FooterAlignsByItsOwnPositionAtTheBottom)
{
    OutputSettings s;
    s.headerOn = 1, s.headerText = "Left", s.headerPosition = folvane::app::Alignment::Left, s.headerColor = 1;
    s.footerOn = 1, s.footerText = "Page", s.footerPosition = folvane::app::Alignment::Right, s.footerColor = 2;
    RecordingEngine engine;
    // "Page" is 72 wide and 36 high at 36 points.
    EXPECT_EQ(stamp(s, 612, 792, engine),
              (Calls{"106 100 36", "text 3 3 'Left' 1", "106 100 36", "text 540 756 'Page' 2"}));

    RecordingEngine small;
    s.headerOn = 0;
    s.footerPosition = folvane::app::Alignment::Center;
    s.footerText = "Two\nlines"; // measured as its widest line, 2 x (6 + 4) high
    small.textWidths["Two\nlines"] = 20;
    EXPECT_EQ(stamp(s, 95, 400, small), (Calls{"106 100 6", "text 37 380 'Two\nlines' 2"}));
}

TEST(Stamps, TextWatermarkPositionCodes)
{
    OutputSettings s;
    s.textWatermarkOn = 1;
    s.watermarkText = "Mark";
    s.watermarkTextSizePt = 20;
    s.watermarkColor = 0x00FF00;
    struct Case {
        int code, x, y;
    } cases[] = {
        {0, 3, 3},     {1, 250, 3},   {2, 500, 3},   {3, 3, 390},  {4, 250, 390}, {5, 500, 390},
        {6, 3, 780},   {7, 250, 780}, {8, 500, 780}, {9, 3, 3},    {-1, 3, 3},
    };
    for (const auto& c : cases) {
        s.watermarkPosition = static_cast<folvane::app::Position>(c.code);
        RecordingEngine engine;
        engine.textWidths["Mark"] = 100;
        Calls expected{"106 100 20", "text " + std::to_string(c.x) + " " + std::to_string(c.y) + " 'Mark' 65280"};
        EXPECT_EQ(stamp(s, 600, 800, engine), expected) << "position " << c.code;
    }

    // Two lines at position 6: y = ph - 2 * (tsize + 4). No macros in watermarks.
    s.watermarkPosition = folvane::app::Position::BottomLeft;
    s.watermarkText = "%Title%\nsecond";
    s.title = "T";
    RecordingEngine engine;
    EXPECT_EQ(stamp(s, 600, 800, engine), (Calls{"106 100 20", "text 3 752 '%Title%\nsecond' 65280"}));
}

TEST(Stamps, TextReachingBeyondTheLeftEdgeStartsAtOne)
{
    OutputSettings s;
    s.headerOn = 1, s.headerText = "wide", s.headerPosition = folvane::app::Alignment::Center;
    RecordingEngine engine;
    engine.textWidths["wide"] = 300;
    // Centred: 50 - 150 < 0. The engine would refuse it; it is drawn from 1 and runs off the right.
    EXPECT_EQ(stamp(s, 100, 100, engine), (Calls{"106 100 6", "text 1 3 'wide' 0"}));
    RecordingEngine exact;
    exact.textWidths["wide"] = 100;
    s.headerPosition = folvane::app::Alignment::Right; // pw - w = 0 would mean "continue where the last text ended"
    EXPECT_EQ(stamp(s, 100, 100, exact), (Calls{"106 100 6", "text 1 3 'wide' 0"}));
}

TEST(Stamps, ImageWatermarkBoxAndSizeRule)
{
    OutputSettings s;
    s.imageWatermarkOn = 1;
    s.watermarkImagePath = "/w/logo.png";
    s.watermarkImageWidthPt = 50;
    s.watermarkImageHeightPt = 40;
    struct Case {
        int code;
        const char* box;
    } cases[] = {{8, "104 550 760 50 40"}, {4, "104 275 380 50 40"}, {0, "104 3 3 50 40"}, {12, "104 3 3 50 40"}};
    for (const auto& c : cases) {
        s.watermarkImagePosition = static_cast<folvane::app::Position>(c.code);
        RecordingEngine engine;
        // The frame selection of the page's last picture would refuse a single-image file.
        EXPECT_EQ(stamp(s, 600, 800, engine), (Calls{c.box, "101 1 1", "add /w/logo.png"})) << c.code;
    }
    for (auto [w, h] : {std::pair{0, 40}, std::pair{50, 0}, std::pair{-5, 40}}) {
        s.watermarkImageWidthPt = w, s.watermarkImageHeightPt = h;
        RecordingEngine engine;
        EXPECT_TRUE(stamp(s, 600, 800, engine).empty()) << w << " x " << h;
    }
}

TEST(Stamps, OrderAndSwitches)
{
    OutputSettings s;
    s.headerOn = 1, s.headerText = "H";
    s.footerOn = 1, s.footerText = "F";
    s.textWatermarkOn = 1, s.watermarkText = "T", s.watermarkTextSizePt = 10;
    s.imageWatermarkOn = 1, s.watermarkImagePath = "i.png", s.watermarkImageWidthPt = 10, s.watermarkImageHeightPt = 10;
    RecordingEngine all;
    Calls calls = stamp(s, 200, 200, all);
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_NE(calls[1].find("'H'"), std::string::npos);
    EXPECT_NE(calls[3].find("'F'"), std::string::npos);
    EXPECT_NE(calls[5].find("'T'"), std::string::npos);
    EXPECT_EQ(calls[8], "add i.png");

    // Off, negative or empty: skipped.
    s.headerOn = 0;
    s.footerOn = -1;
    s.watermarkText.clear();
    s.watermarkImagePath.clear();
    RecordingEngine none;
    EXPECT_TRUE(stamp(s, 200, 200, none).empty());
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
        EXPECT_EQ(MakeBookmarkText(c.frame, c.frames, c.path, c.number, s), c.text)
            << "source " << c.sel << " frame " << c.frame << "/" << c.frames;
    }
}
