// Text operators and text state as they reach the content stream: lazy parameters, the
// next-line form, escaping, widths, scopes and the colour cache.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "pdf/font_test_util.h"

using namespace folvane::pdf;
using folvane::test::bytesOf;
using folvane::test::countOf;

namespace {

class TextTest : public folvane::test::DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        helvetica = findFont(doc, "Helvetica", kEncodingAnsiAlias);
        ASSERT_GE(helvetica, 0);
        beginPage(doc, 300, 300);
        mark = bytesOf(doc).size();
    }
    // What was written since the last call (or since the page began).
    std::string written()
    {
        std::string all = bytesOf(doc);
        std::string fresh = all.substr(mark);
        mark = all.size();
        return fresh;
    }
    TextState& state() { return doc->graphics[doc->graphicsDepth].text; }

    int helvetica = -1;
    size_t mark = 0;
};

} // namespace

TEST_F(TextTest, ShowAndContinueWriteTheLeadingOnceThenUseTheApostrophe)
{
    setFont(doc, helvetica, 12);
    setTextPosition(doc, 10, 200);
    showText(doc, "first");
    continueText(doc, "second");
    continueText(doc, "third");
    EXPECT_EQ(written(), "BT\r/F0 12 Tf\r1 0 0 1 10 200 Tm\r12 TL\r(first) Tj\r(second) '\r(third) '\r");
    EXPECT_DOUBLE_EQ(state().textMatrix[5], 176);
    EXPECT_NEAR(state().textMatrix[4], 10 + (278 + 556 + 222 + 333 + 556) * 12 / 1000.0, 1e-9); // after "third"
    EXPECT_EQ(doc->procSets & kProcText, kProcText);
}

TEST_F(TextTest, ContinueTextWithAnEmptyStringStillMovesDown)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 5, 100);
    showText(doc, "");
    EXPECT_EQ(written(), "BT\r/F0 10 Tf\r1 0 0 1 5 100 Tm\r"); // an empty showText writes nothing
    continueText(doc, "");
    EXPECT_EQ(written(), "10 TL\r() '\r");
    EXPECT_DOUBLE_EQ(state().textMatrix[5], 90);
}

TEST_F(TextTest, ContinueTextOpensATextObjectAtTheNextLine)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 20, 100);
    showText(doc, "AB");
    EXPECT_NEAR(state().textMatrix[4], 20 + (667 + 667) * 10 / 1000.0, 1e-9);
    endTextObject(doc);
    written();
    continueText(doc, "C");
    EXPECT_EQ(written(), "BT\r1 0 0 1 20 90 Tm\r10 TL\r(C) Tj\r");
}

TEST_F(TextTest, EscapesDelimitersAndLineEndsInStrings)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 0, 0);
    written();
    showText(doc, "a(b)c\\d\ne\rf");
    EXPECT_EQ(written(), "10 TL\r(a\\(b\\)c\\\\d\\ne\\rf) Tj\r");
    // Bytes after a zero are shown when the length says so.
    showText(doc, "x\0y", 3);
    EXPECT_EQ(written(), std::string("(x\0y) Tj\r", 9));
}

TEST_F(TextTest, MeasuresStringsWithSpacingScalingAndMatrix)
{
    setWordSpacing(doc, 2);
    EXPECT_NEAR(stringWidth(doc, "A A", helvetica, 10), 18.12, 1e-9);
    setCharSpacing(doc, 0.5);
    EXPECT_NEAR(stringWidth(doc, "A A", helvetica, 10), 19.62, 1e-9);
    setHorizontalScaling(doc, 50);
    EXPECT_NEAR(stringWidth(doc, "A A", helvetica, 10), 9.81, 1e-9);

    EXPECT_EQ(stringWidth(doc, "", helvetica, 10), 0);
    EXPECT_EQ(stringWidth(doc, nullptr, helvetica, 10), 0);
    EXPECT_EQ(stringWidth(doc, "A", 7, 10), 0);
    EXPECT_EQ(stringWidth(doc, "A", -1, 10), 0);
    EXPECT_EQ(stringWidth(nullptr, "A", helvetica, 10), 0);

    int courier = findFont(doc, "Courier", "host");
    setHorizontalScaling(doc, 100);
    setCharSpacing(doc, 0);
    setWordSpacing(doc, 0);
    EXPECT_NEAR(stringWidth(doc, "\x80\xff\x01 ", courier, 12), 4 * 7.2, 1e-9);
}

TEST_F(TextTest, SpacingIsWrittenAtOnceOnlyWhenZero)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 0, 0);
    written();
    setCharSpacing(doc, 1.5);
    setWordSpacing(doc, 3);
    EXPECT_EQ(written(), "");
    showText(doc, "x");
    EXPECT_EQ(written(), "10 TL\r3 Tw\r1.5 Tc\r(x) Tj\r");
    showText(doc, "y");
    EXPECT_EQ(written(), "(y) Tj\r");
    setCharSpacing(doc, 0);
    EXPECT_EQ(written(), "0 Tc\r");
    showText(doc, "z"); // the parameters are written again after a change
    EXPECT_EQ(written(), "10 TL\r3 Tw\r(z) Tj\r");
    setLeading(doc, 10); // unchanged: nothing to write later
    showText(doc, "w");
    EXPECT_EQ(written(), "(w) Tj\r");
    setLeading(doc, 14);
    EXPECT_EQ(written(), "");
    continueText(doc, "v");
    EXPECT_EQ(written(), "14 TL\r3 Tw\r(v) '\r");
}

TEST_F(TextTest, ScalingRenderingModeAndRiseAreWrittenWhenTheyChange)
{
    setHorizontalScaling(doc, 100);
    setTextRendering(doc, 0);
    setTextRise(doc, 0);
    EXPECT_EQ(written(), "");
    setHorizontalScaling(doc, 80);
    setTextRendering(doc, 2);
    setTextRise(doc, 3);
    EXPECT_EQ(written(), "BT\r80 Tz\r2 Tr\r3 Ts\r");
    setHorizontalScaling(doc, 80);
    setTextRendering(doc, 2);
    setTextRise(doc, 3);
    setTextRendering(doc, 8);
    setTextRendering(doc, -1);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(state().renderingMode, 2);
    EXPECT_DOUBLE_EQ(state().horizontalScaling, 0.8);
}

TEST_F(TextTest, ClippingModesEndTheTextObjectAfterEachShow)
{
    setFont(doc, helvetica, 10);
    setTextRendering(doc, 7);
    setTextPosition(doc, 0, 50);
    written();
    showText(doc, "clip");
    EXPECT_EQ(written(), "10 TL\r(clip) Tj\rET\r");
    EXPECT_FALSE(doc->textObjectOpen);
    showText(doc, "again"); // a new text object at the advanced position
    std::string next = written();
    EXPECT_EQ(next.rfind("BT\r1 0 0 1 ", 0), 0u) << next;
}

TEST_F(TextTest, TextStateSetInDocumentScopeIsOnlyStored)
{
    endPage(doc);
    written();
    setCharSpacing(doc, 0);
    setHorizontalScaling(doc, 90);
    setTextRendering(doc, 1);
    setTextRise(doc, 2);
    setColor(doc, kColorFill, kColorRgb, 1, 0, 0);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(state().renderingMode, 1);
    EXPECT_EQ(doc->graphics[0].color.fillSpace, kColorRgb);
    // A page starts from the default state.
    beginPage(doc, 100, 100);
    EXPECT_EQ(state().renderingMode, 0);
    EXPECT_DOUBLE_EQ(state().horizontalScaling, 1.0);
    EXPECT_EQ(doc->graphics[0].color.fillSpace, kColorGray);
}

TEST_F(TextTest, MisuseWritesNothing)
{
    showText(doc, "no font yet");
    continueText(doc, "no font yet");
    setFont(doc, 5, 12);
    setFont(doc, -1, 12);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(state().font, -1);

    setFont(doc, helvetica, 12);
    moveTo(doc, 1, 1); // path scope: text operators are refused
    written();
    showText(doc, "inside a path");
    setTextPosition(doc, 3, 3);
    setColor(doc, kColorFill, kColorGray, 0.5);
    EXPECT_EQ(written(), "");
    lineTo(doc, 2, 2);
    strokePath(doc);
    endPage(doc);
    written();
    showText(doc, "outside a page");
    setTextPosition(doc, 3, 3);
    EXPECT_EQ(written(), "");
}

TEST_F(TextTest, EndingThePageClosesAnOpenTextObject)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 0, 0);
    showText(doc, "open");
    endPage(doc);
    std::string page = written();
    size_t et = page.find("ET\r");
    ASSERT_NE(et, std::string::npos);
    EXPECT_LT(et, page.find("endstream"));
}

TEST_F(TextTest, NumericParametersRouteToTheSetters)
{
    setFont(doc, helvetica, 10);
    setTextPosition(doc, 0, 0);
    written();
    setNumericParameter(doc, "charspacing", 0);
    setNumericParameter(doc, "wordspacing", 0);
    setNumericParameter(doc, "hscaling", 75);
    setNumericParameter(doc, "textrendering", 3);
    setNumericParameter(doc, "textrise", -2);
    setNumericParameter(doc, "leading", 20);
    EXPECT_EQ(written(), "0 Tc\r0 Tw\r75 Tz\r3 Tr\r-2 Ts\r");
    EXPECT_DOUBLE_EQ(state().leading, 20);
    setNumericParameter(doc, "textrendering", 2.5);
    setNumericParameter(doc, "textrendering", 9);
    EXPECT_EQ(state().renderingMode, 3);
    EXPECT_EQ(written(), "");
}

TEST_F(TextTest, ColourOperatorsAreWrittenOnlyWhenTheColourChanges)
{
    setColor(doc, kColorFill, kColorRgb, 0.5, 0.5, 0.5);
    EXPECT_EQ(written(), "0.5 g\r");
    setColor(doc, kColorFill, kColorRgb, 0.5, 0.5, 0.5);
    setColor(doc, kColorFill, kColorGray, 0.5);
    EXPECT_EQ(written(), "");
    setColor(doc, kColorStroke, kColorRgb, 1, 0, 0.25);
    EXPECT_EQ(written(), "1 0 0.25 RG\r");
    setColor(doc, kColorBoth, kColorRgb, 1, 0, 0.25);
    EXPECT_EQ(written(), "1 0 0.25 rg\r");
    setColor(doc, kColorBoth, kColorCmyk, 0, 0.1, 0.2, 1);
    EXPECT_EQ(written(), "0 0.1 0.2 1 k\r0 0.1 0.2 1 K\r");
    // Byte / 255 rounding may pass 1 a little; beyond that, or below 0, the call is ignored.
    setColor(doc, kColorFill, kColorGray, 1.00001);
    EXPECT_EQ(written(), "1 g\r");
    setColor(doc, kColorFill, kColorGray, 1.1);
    setColor(doc, kColorFill, kColorRgb, 0.2, -0.1, 0.3);
    setColor(doc, kColorFill, kColorGray, std::nan(""));
    setColor(doc, 0, kColorGray, 0.3);
    setColor(doc, kColorFill, 7, 0.3);
    EXPECT_EQ(written(), "");
}

TEST_F(TextTest, EachGraphicsLevelKeepsItsOwnColour)
{
    saveState(doc);
    setColor(doc, kColorFill, kColorRgb, 1, 0, 0);
    restoreState(doc);
    written();
    setColor(doc, kColorFill, kColorRgb, 1, 0, 0); // the restored level is black again
    EXPECT_EQ(written(), "1 0 0 rg\r");
    resetGraphicsState(doc);
    EXPECT_EQ(written(), "0 g\r");
    setColor(doc, kColorBoth, kColorGray, 0);
    EXPECT_EQ(written(), "");
}
