// The standard-font table and the font registry: encoding resolution, deduplication, growth,
// the multiple-master cut and the route from the standard table to installed fonts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "fonts_internal.h"
#include "pdf/font_test_util.h"

using namespace folvane::pdf;
using folvane::test::FakeFonts;

namespace {

const StandardFont* standard(const char* name)
{
    for (const StandardFont& font : kStandardFonts)
        if (std::strcmp(font.name, name) == 0)
            return &font;
    return nullptr;
}

using FontRegistryTest = folvane::test::DocumentTest;

} // namespace

TEST(StandardFontTable, HoldsTheFourteenFontsWithTheirPublishedWidths)
{
    const char* names[] = {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique", "Helvetica",
                           "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique", "Times-Roman",
                           "Times-Bold", "Times-Italic", "Times-BoldItalic", "Symbol", "ZapfDingbats"};
    for (const char* name : names)
        ASSERT_NE(standard(name), nullptr) << name;

    const StandardFont* helvetica = standard("Helvetica");
    EXPECT_EQ(helvetica->widths[' '], 278);
    EXPECT_EQ(helvetica->widths['A'], 667);
    EXPECT_EQ(helvetica->widths[128], 556); // Euro
    EXPECT_EQ(standard("Helvetica-Bold")->widths['A'], 722);
    EXPECT_EQ(standard("Times-Roman")->widths[' '], 250);
    EXPECT_EQ(standard("Times-Roman")->widths['%'], 833);
    EXPECT_EQ(standard("Symbol")->widths[160], 750);

    for (const char* courier : {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"})
        for (int c = 0; c < 256; ++c)
            ASSERT_EQ(standard(courier)->widths[c], 600) << courier << " code " << c;
}

TEST(StandardFontTable, FillsControlAndUnassignedCodesOfTheLatinFonts)
{
    for (const StandardFont& font : kStandardFonts) {
        if (font.encoding != 0)
            continue;
        for (int c = 0; c < 32; ++c)
            EXPECT_EQ(font.widths[c], font.widths[' ']) << font.name << " code " << c;
        for (int c : {127, 129, 141, 143, 144, 157})
            EXPECT_EQ(font.widths[c], font.widths[149]) << font.name << " code " << c;
        EXPECT_EQ(font.widths[160], font.widths[' ']) << font.name; // no-break space
        EXPECT_EQ(font.widths[173], font.widths['-']) << font.name; // soft hyphen
    }
    EXPECT_EQ(standard("Symbol")->encoding, -1);
    EXPECT_EQ(standard("ZapfDingbats")->encoding, -1);
    EXPECT_EQ(standard("Times-Italic")->italicAngle, -15.5);
    EXPECT_EQ(standard("Courier-BoldOblique")->flags, kFontFixedPitch | kFontNonsymbolic | kFontItalic | kFontForceBold);
}

TEST_F(FontRegistryTest, ResolvesEncodingNames)
{
    int ansi = findFont(doc, "Helvetica", kEncodingAnsiAlias);
    int byName = findFont(doc, "Helvetica", "winansi");
    EXPECT_GE(ansi, 0);
    EXPECT_EQ(ansi, byName); // the alias is slot 0
    EXPECT_EQ(doc->fonts.records[static_cast<size_t>(ansi)].encoding, 0);

    int symbol = findFont(doc, "Symbol", kEncodingBuiltIn);
    ASSERT_GE(symbol, 0);
    EXPECT_EQ(doc->fonts.records[static_cast<size_t>(symbol)].encoding, -1);
    EXPECT_EQ(doc->fonts.records[static_cast<size_t>(symbol)].kind, kFontStandard);

    int before = doc->objectCount;
    EXPECT_EQ(findFont(doc, "Helvetica", "latin9"), -1);
    EXPECT_EQ(findFont(doc, "", "host"), -1);
    EXPECT_EQ(findFont(doc, "Helvetica", ""), -1);
    EXPECT_EQ(findFont(doc, nullptr, "host"), -1);
    EXPECT_EQ(doc->fonts.count, 2);
    EXPECT_EQ(doc->objectCount, before);
}

TEST_F(FontRegistryTest, RegistersEachNameAndEncodingOnce)
{
    int first = findFont(doc, "Times-Roman", "host");
    int objects = doc->objectCount;
    int second = findFont(doc, "Times-Roman", "host");
    EXPECT_EQ(first, second);
    EXPECT_EQ(doc->fonts.count, 1);
    EXPECT_EQ(doc->objectCount, objects); // no second object reserved
    // Names are compared exactly.
    FakeFonts::files()["times-roman"] = folvane::test::buildFont(folvane::test::latinPlan());
    doc->fontLookup = FakeFonts::lookup;
    EXPECT_EQ(findFont(doc, "times-roman", "host"), 1);
}

TEST_F(FontRegistryTest, SymbolWithAnsiEncodingIsNotTheStandardSymbolFont)
{
    doc->fontLookup = FakeFonts::lookup;
    EXPECT_EQ(findFont(doc, "Symbol", "host"), -1);
    ASSERT_EQ(FakeFonts::lookups().size(), 1u);
    EXPECT_EQ(FakeFonts::lookups()[0], "Symbol"); // it went on to the installed fonts
    EXPECT_EQ(doc->fonts.count, 0);

    // Standard fonts never reach the installed-font lookup.
    EXPECT_GE(findFont(doc, "Helvetica", "host"), 0);
    EXPECT_EQ(FakeFonts::lookups().size(), 1u);
}

TEST_F(FontRegistryTest, GrowsBeyondSixteenFontsKeepingIndexesAndRecords)
{
    doc->fontLookup = FakeFonts::lookup;
    std::string file = folvane::test::buildFont(folvane::test::latinPlan());
    std::vector<int> objects;
    for (int i = 0; i < 40; ++i) {
        std::string name = "Face" + std::to_string(i);
        FakeFonts::files()[name] = file;
        ASSERT_EQ(findFont(doc, name.c_str(), "host"), i);
        objects.push_back(doc->fonts.records[static_cast<size_t>(i)].objectNumber);
    }
    EXPECT_EQ(doc->fonts.records.capacity, 64u); // 16, 32, 64
    for (int i = 0; i < 40; ++i) {
        const FontRecord& record = doc->fonts.records[static_cast<size_t>(i)];
        EXPECT_STREQ(record.name, ("Face" + std::to_string(i)).c_str());
        EXPECT_EQ(record.objectNumber, objects[static_cast<size_t>(i)]);
        EXPECT_EQ(findFont(doc, record.name, "host"), i);
    }
}

TEST_F(FontRegistryTest, LooksUpMultipleMasterInstancesByTheirBaseName)
{
    doc->fontLookup = FakeFonts::lookup;
    FakeFonts::files()["MyriadMM"] = folvane::test::buildFont(folvane::test::latinPlan());
    int font = findFont(doc, "MyriadMM_400_600", "host");
    ASSERT_GE(font, 0);
    EXPECT_EQ(FakeFonts::lookups().back(), "MyriadMM");
    EXPECT_STREQ(doc->fonts.records[static_cast<size_t>(font)].name, "MyriadMM_400_600");
    EXPECT_EQ(findFont(doc, "MyriadMM_400_600", "host"), font);
}

TEST_F(FontRegistryTest, RefusesLongFaceNamesAndUseBeforeOpening)
{
    doc->fontLookup = FakeFonts::lookup;
    std::string longName(32, 'x');
    FakeFonts::files()[longName] = folvane::test::buildFont(folvane::test::latinPlan());
    EXPECT_EQ(findFont(doc, longName.c_str(), "host"), -1);
    EXPECT_TRUE(FakeFonts::lookups().empty());
    std::string longest(31, 'x');
    FakeFonts::files()[longest] = FakeFonts::files()[longName];
    EXPECT_EQ(findFont(doc, longest.c_str(), "host"), 0);

    PdfDocument* closed = newPdfDocument();
    EXPECT_EQ(findFont(closed, "Helvetica", "host"), -1);
    EXPECT_EQ(closed->fonts.count, 0);
    freePdfDocument(closed);
    EXPECT_EQ(findFont(nullptr, "Helvetica", "host"), -1);
}

TEST_F(FontRegistryTest, ReleasesTheRegistryAtCloseAndStartsAfreshWhenReopened)
{
    doc->fontLookup = FakeFonts::lookup;
    FakeFonts::files()["Face"] = folvane::test::buildFont(folvane::test::latinPlan());
    ASSERT_EQ(findFont(doc, "Face", "host"), 0);
    ASSERT_EQ(findFont(doc, "Courier", "host"), 1);
    beginPage(doc, 100, 100);
    endPage(doc);
    closePdfDocument(doc);
    EXPECT_EQ(doc->fonts.count, 0);
    EXPECT_EQ(doc->fonts.records.data, nullptr);

    openOutput(doc, "");
    EXPECT_EQ(findFont(doc, "Courier", "host"), 0);
}
