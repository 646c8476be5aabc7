// Text in the glyphless font: any Unicode text comes back from a text extractor as it was given,
// with the width the horizontal scaling asks for, also from an encrypted file, and the page
// looks exactly as it does without the invisible text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pdf/document.h"
#include "pdf/security.h"
#include "pdf/unicode_text.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using folvane::test::haveTool;
using folvane::test::runCommand;
using folvane::test::shellQuote;

namespace {

// Latin with accents, Greek, CJK, an emoji beyond the 16-bit range, and a stray byte (which
// becomes U+FFFD).
const std::string kMixed = "Gr\xC3\xBC\xC3\x9F" "e \xCE\xB1\xCE\xB2\xCE\xB3 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 x\xFFy";
const std::string kMixedBack = "Gr\xC3\xBC\xC3\x9F" "e \xCE\xB1\xCE\xB2\xCE\xB3 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 x\xEF\xBF\xBDy";

class UnicodeTextTest : public folvane::test::PdfTest {
protected:
    void SetUp() override
    {
        if (!haveTool("pdftotext") || !haveTool("mutool"))
            GTEST_SKIP() << "pdftotext and mutool are needed";
    }

    // One page with `text` at (50, 100), 20 points, scaled to `width` points; drawn invisibly
    // when `invisible`, over a black bar either way.
    void write(const std::filesystem::path& path, const std::string& text, double width, bool invisible,
               bool encrypted = false)
    {
        PdfDocument* doc = newPdfDocument();
        ASSERT_EQ(openOutput(doc, path.string()), 1);
        if (encrypted)
            enableEncryption(doc, true, kPermitPrint, 16, "boss", "staff");
        int font = glyphlessFont(doc);
        ASSERT_GE(font, 0);
        EXPECT_EQ(glyphlessFont(doc), font) << "registered once";
        beginPage(doc, 400, 200);
        moveTo(doc, 40, 60);
        lineTo(doc, 360, 60);
        strokePath(doc);
        if (invisible) {
            setTextRendering(doc, 3);
            setFont(doc, font, 20);
            setTextPosition(doc, 50, 100);
            double natural = static_cast<double>(unicodeCharacterCount(text)) * kGlyphlessAdvance / 1000 * 20;
            setHorizontalScaling(doc, 100 * width / natural);
            showUnicodeText(doc, text);
        }
        endPage(doc);
        ASSERT_EQ(closePdfDocument(doc), 1);
        freePdfDocument(doc);
    }

    std::string extract(const std::filesystem::path& pdf, const std::string& options = "")
    {
        auto r = runCommand("pdftotext -enc UTF-8 " + options + " " + shellQuote(pdf.string()) + " -");
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.output;
    }
};

} // namespace

TEST_F(UnicodeTextTest, EveryCharacterComesBackFromTheExtractor)
{
    auto path = pdfPath("mixed.pdf");
    write(path, kMixed, 300, true);
    EXPECT_EQ(extract(path), kMixedBack + "\n\n\f");
    // The ToUnicode map names each code's character, the emoji as a surrogate pair.
    auto map = runCommand("mutool show -b " + shellQuote(path.string()) + " pages/1/Resources/Font/F0/ToUnicode");
    EXPECT_EQ(map.exitCode, 0) << map.output;
    EXPECT_NE(map.output.find("<0001> <0047>"), std::string::npos) << "G has the first code\n" << map.output;
    EXPECT_NE(map.output.find("<D83DDE00>"), std::string::npos) << map.output;
    auto qdf = runCommand("qpdf --qdf --object-streams=disable " + shellQuote(path.string()) + " -");
    EXPECT_NE(qdf.output.find("/Identity-H"), std::string::npos);
    EXPECT_NE(qdf.output.find("/FontFile2"), std::string::npos);
}

TEST_F(UnicodeTextTest, ScaledTextSpansTheAskedWidth)
{
    auto path = pdfPath("scaled.pdf");
    write(path, "Searchable", 173, true);
    std::string box = extract(path, "-bbox");
    double xMin = 0, xMax = 0;
    ASSERT_EQ(std::sscanf(box.substr(box.find("<word")).c_str(), "<word xMin=\"%lf\" yMin=\"%*f\" xMax=\"%lf\"", &xMin,
                          &xMax),
              2)
        << box;
    EXPECT_NEAR(xMin, 50, 0.1);
    EXPECT_NEAR(xMax, 50 + 173, 0.1);
}

TEST_F(UnicodeTextTest, InvisibleTextLeavesThePageAsItWasAndIsEncryptedLikeTheRest)
{
    auto plain = pdfPath("plain.pdf");
    auto hidden = pdfPath("hidden.pdf", "staff");
    write(plain, "", 100, false);
    write(hidden, "Confidential words", 200, true, true);
    EXPECT_NE(extract(hidden, "-upw staff").find("Confidential words"), std::string::npos);
    // Nothing readable without the password: not the text, not the ToUnicode map.
    std::string bytes = folvane::test::readFileBytes(hidden);
    EXPECT_EQ(bytes.find("Confidential"), std::string::npos);
    EXPECT_EQ(bytes.find("beginbfchar"), std::string::npos);
    EXPECT_EQ(bytes.find("(Adobe)"), std::string::npos);
    auto render = [](const std::filesystem::path& pdf, const std::string& out) {
        return runCommand("mutool draw -q -p staff -c gray -r 72 -o " + shellQuote(out) + " " +
                          shellQuote(pdf.string()) + " 2>&1").exitCode;
    };
    auto dir = folvane::test::scratchDir();
    ASSERT_EQ(render(plain, (dir / "plain.pgm").string()), 0);
    ASSERT_EQ(render(hidden, (dir / "hidden.pgm").string()), 0);
    EXPECT_EQ(folvane::test::readFileBytes(dir / "plain.pgm"), folvane::test::readFileBytes(dir / "hidden.pgm"));
}
