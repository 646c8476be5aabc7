// Text written with standard and installed fonts is found again by a PDF text extractor, and
// UTF-8 text is converted to the 8-bit codes the standard fonts expect.
#include <gtest/gtest.h>

#include <string>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using folvane::test::haveTool;
using folvane::test::runCommand;
using folvane::test::shellQuote;

namespace {

class TextExtractTest : public folvane::test::PdfTest {
protected:
    void SetUp() override
    {
        if (!haveTool("pdftotext"))
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    std::string extract(const std::filesystem::path& pdf)
    {
        auto r = runCommand("pdftotext -enc UTF-8 " + shellQuote(pdf.string()) + " -");
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output;
    }
};

} // namespace

TEST_F(TextExtractTest, FindsStandardFontTextAgain)
{
    auto path = pdfPath("standard.pdf");
    PdfDocument* doc = newPdfDocument();
    ASSERT_EQ(openOutput(doc, path.string()), 1);
    int helvetica = findFont(doc, "Helvetica", kEncodingAnsiAlias);
    int times = findFont(doc, "Times-Bold", kEncodingAnsiAlias);
    beginPage(doc, 400, 300);
    setColor(doc, kColorFill, kColorRgb, 0.8, 0.1, 0.1);
    setFont(doc, helvetica, 14);
    setTextPosition(doc, 40, 250);
    showText(doc, utf8ToWinAnsi("Caf\xC3\xA9 (price: 5 \xE2\x82\xAC)").c_str());
    continueText(doc, "second line");
    continueText(doc, "third \\ line");
    setFont(doc, times, 20);
    setTextPosition(doc, 40, 100);
    showText(doc, "Watermark");
    endPage(doc);
    ASSERT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);

    std::string text = extract(path);
    EXPECT_NE(text.find("Caf\xC3\xA9 (price: 5 \xE2\x82\xAC)"), std::string::npos) << text;
    EXPECT_NE(text.find("second line\nthird \\ line"), std::string::npos) << text;
    EXPECT_NE(text.find("Watermark"), std::string::npos) << text;
}

TEST_F(TextExtractTest, FindsInstalledFontTextAgainOnEveryPage)
{
    auto path = pdfPath("installed.pdf");
    PdfDocument* doc = newPdfDocument();
    ASSERT_EQ(openOutput(doc, path.string()), 1);
    int font = findFont(doc, "DejaVu Sans", kEncodingAnsiAlias);
    ASSERT_GE(font, 0);
    for (int page = 1; page <= 3; ++page) {
        beginPage(doc, 300, 200);
        setFont(doc, font, 12);
        setTextPosition(doc, 20, 150);
        std::string line = "Page " + std::to_string(page) + " of 3";
        showText(doc, line.c_str());
        endPage(doc);
    }
    ASSERT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);

    std::string text = extract(path);
    for (int page = 1; page <= 3; ++page)
        EXPECT_NE(text.find("Page " + std::to_string(page) + " of 3"), std::string::npos) << text;
}

TEST(Utf8ToWinAnsi, MapsTheCodePageAndReplacesEverythingElse)
{
    EXPECT_EQ(utf8ToWinAnsi("plain ASCII\n"), "plain ASCII\n");
    EXPECT_EQ(utf8ToWinAnsi("\xC3\xA9\xC3\xBF\xC2\xA0"), "\xE9\xFF\xA0");
    EXPECT_EQ(utf8ToWinAnsi("\xE2\x82\xAC\xE2\x80\xA2\xE2\x80\x94\xC5\x93\xC5\xB8"), "\x80\x95\x97\x9C\x9F");
    EXPECT_EQ(utf8ToWinAnsi("\xE6\xBC\xA2 \xF0\x9F\x98\x80"), "? ?");
    EXPECT_EQ(utf8ToWinAnsi("\xC2\x81"), "?"); // a code the code page leaves unassigned
    // Malformed input: stray continuation bytes, truncated, overlong and surrogate sequences.
    EXPECT_EQ(utf8ToWinAnsi("a\x80z"), "a?z");
    EXPECT_EQ(utf8ToWinAnsi("a\xE2\x82"), "a??");
    EXPECT_EQ(utf8ToWinAnsi("\xC0\xAF"), "??");
    EXPECT_EQ(utf8ToWinAnsi("\xE0\x80\xAF"), "???");
    EXPECT_EQ(utf8ToWinAnsi("\xED\xA0\x80"), "???");
    EXPECT_EQ(utf8ToWinAnsi(""), "");
}
