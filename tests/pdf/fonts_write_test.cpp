// Font objects and page font resources in the written file.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "pdf/document.h"
#include "pdf/fonts.h"
#include "pdf/font_test_util.h"
#include "pdf/pdf_inspect.h"

using namespace folvane::pdf;
using folvane::test::buildFont;
using folvane::test::countOf;
using folvane::test::FakeFonts;
using folvane::test::latinPlan;
using folvane::test::readWrittenPdf;

namespace {

using FontWriteTest = folvane::test::DocumentTest;

// A copy of a font's record; the registry itself is released when the document closes. Only
// its numbers are meant to be used.
FontRecord record(PdfDocument* doc, int font)
{
    return doc->fonts.records[static_cast<size_t>(font)];
}

// The number of the object an entry such as "/FontDescriptor 12 0 R" refers to, or -1.
int referenceAfter(const std::string& text, const std::string& key)
{
    return static_cast<int>(folvane::test::integerAfter(text, key));
}

} // namespace

TEST_F(FontWriteTest, RegisteringTimesRomanTwiceWritesOneFontObject)
{
    int first = findFont(doc, "Times-Roman", "host");
    int second = findFont(doc, "Times-Roman", "host");
    ASSERT_EQ(first, second);
    int number = record(doc, first).objectNumber;
    beginPage(doc, 200, 200);
    setFont(doc, first, 12);
    setTextPosition(doc, 10, 10);
    showText(doc, "Times");
    endPage(doc);
    std::string file = finish();
    EXPECT_EQ(countOf(file, "/BaseFont /Times-Roman"), 1u);
    auto pdf = readWrittenPdf(file);
    ASSERT_EQ(pdf.error, "");
    EXPECT_NE(pdf.objects[number].find("<</Type /Font /Subtype /Type1 /Encoding /WinAnsiEncoding /BaseFont "
                                       "/Times-Roman >>"),
              std::string::npos)
        << pdf.objects[number];
}

TEST_F(FontWriteTest, StandardFontsWithBuiltInEncodingHaveNoEncodingEntry)
{
    int dingbats = findFont(doc, "ZapfDingbats", "builtin");
    ASSERT_GE(dingbats, 0);
    int number = record(doc, dingbats).objectNumber;
    beginPage(doc, 200, 200);
    endPage(doc);
    auto pdf = readWrittenPdf(finish());
    const std::string& object = pdf.objects[number];
    EXPECT_NE(object.find("/BaseFont /ZapfDingbats"), std::string::npos) << object;
    EXPECT_EQ(object.find("/Encoding"), std::string::npos) << object;
    EXPECT_EQ(object.find("/Widths"), std::string::npos) << object;
}

TEST_F(FontWriteTest, PagesListOnlyTheFontsTheyUse)
{
    int helvetica = findFont(doc, "Helvetica", "host");
    int courier = findFont(doc, "Courier", "host");
    int unused = findFont(doc, "Times-Bold", "host");
    // Page 1 uses Courier, page 2 nothing, page 3 both.
    beginPage(doc, 200, 200);
    setFont(doc, courier, 10);
    endPage(doc);
    beginPage(doc, 200, 200);
    endPage(doc);
    beginPage(doc, 200, 200);
    setFont(doc, helvetica, 10);
    setFont(doc, courier, 10);
    endPage(doc);
    int late = findFont(doc, "Symbol", "builtin"); // registered after the last page
    std::map<int, int> numbers;
    for (int font : {helvetica, courier, unused, late})
        numbers[font] = record(doc, font).objectNumber;
    auto pdf = readWrittenPdf(finish());
    ASSERT_EQ(pdf.error, "");

    std::vector<std::string> resources;
    for (const auto& [number, text] : pdf.objects)
        if (text.find("/ProcSet") != std::string::npos)
            resources.push_back(text);
    ASSERT_EQ(resources.size(), 3u);
    auto entry = [&](int font) {
        std::ostringstream s;
        s << "/F" << font << " " << numbers[font] << " 0 R ";
        return s.str();
    };
    EXPECT_NE(resources[0].find("/Font <<" + entry(courier) + ">> "), std::string::npos) << resources[0];
    EXPECT_EQ(resources[1].find("/Font"), std::string::npos) << resources[1];
    EXPECT_NE(resources[2].find("/Font <<" + entry(helvetica) + entry(courier) + ">> "), std::string::npos)
        << resources[2];
    // Every registered font is written, used or not.
    for (int font : {helvetica, courier, unused, late})
        EXPECT_NE(pdf.objects[numbers[font]].find("/Type /Font"), std::string::npos) << font;
}

TEST_F(FontWriteTest, InstalledFontsCarryWidthsAndADescriptor)
{
    doc->fontLookup = FakeFonts::lookup;
    auto plan = latinPlan();
    plan.weightClass = 700;
    plan.italicAngle = -(11 * 65536 + 32768); // -11.5 is written truncated
    FakeFonts::files()["Test Sans Bold(1)"] = buildFont(plan);
    int font = findFont(doc, "Test Sans Bold(1)", "host");
    ASSERT_EQ(font, 0);
    FontRecord r = record(doc, font);
    beginPage(doc, 200, 200);
    setFont(doc, font, 10);
    endPage(doc);
    auto pdf = readWrittenPdf(finish());
    ASSERT_EQ(pdf.error, "");
    const std::string& dict = pdf.objects[r.objectNumber];
    EXPECT_NE(dict.find("/Subtype /TrueType /Name /F0 /BaseFont /Test#20Sans#20Bold#281#29 /FirstChar 0 "
                        "/LastChar 255 /Widths [ "),
              std::string::npos)
        << dict;
    EXPECT_NE(dict.find("/Encoding /WinAnsiEncoding "), std::string::npos);

    // 256 widths in 16 rows, in code order.
    size_t open = dict.find("/Widths [ ") + 10;
    std::istringstream widths(dict.substr(open, dict.find(']', open) - open));
    std::vector<int> values;
    for (int w; widths >> w;)
        values.push_back(w);
    ASSERT_EQ(values.size(), 256u);
    for (int c = 0; c < 256; ++c)
        ASSERT_EQ(values[static_cast<size_t>(c)], r.widths[c]) << c;
    EXPECT_EQ(values['A'], 100 + 10 * 34);
    EXPECT_EQ(countOf(dict.substr(open), "\r"), 16u);

    int descriptor = referenceAfter(dict, "/FontDescriptor");
    ASSERT_GT(descriptor, 0);
    const std::string& d = pdf.objects[descriptor];
    EXPECT_NE(d.find("/Type /FontDescriptor /Ascent 800 /CapHeight 700 /Descent -200 /Flags 262240 "
                     "/FontBBox [-50 -200 1000 900] /FontName /Test#20Sans#20Bold#281#29 /ItalicAngle -11 "
                     "/StemV 165 /XHeight 500 >>"),
              std::string::npos)
        << d;
}

TEST_F(FontWriteTest, CffFontsAreType1AndSymbolicFontsHaveNoEncoding)
{
    doc->fontLookup = FakeFonts::lookup;
    auto cff = latinPlan();
    cff.cff = true;
    FakeFonts::files()["Cff"] = buildFont(cff);
    auto symbol = latinPlan();
    symbol.windowsEncoding = 0;
    FakeFonts::files()["Pictures"] = buildFont(symbol);
    int cffFont = findFont(doc, "Cff", "host");
    int symbolFont = findFont(doc, "Pictures", "host");
    ASSERT_GE(cffFont, 0);
    ASSERT_GE(symbolFont, 0);
    int cffNumber = record(doc, cffFont).objectNumber;
    int symbolNumber = record(doc, symbolFont).objectNumber;
    auto pdf = readWrittenPdf(finish());
    EXPECT_NE(pdf.objects[cffNumber].find("/Subtype /Type1 /Name /F0 "), std::string::npos);
    const std::string& s = pdf.objects[symbolNumber];
    EXPECT_EQ(s.find("/Encoding"), std::string::npos) << s;
    EXPECT_NE(pdf.objects[referenceAfter(s, "/FontDescriptor")].find("/Flags 4 "), std::string::npos);
}

TEST_F(FontWriteTest, EbcdicIsWrittenAsAnEncodingObjectWithDifferences)
{
    doc->fontLookup = FakeFonts::lookup;
    FakeFonts::files()["Host Font"] = buildFont(latinPlan());
    int font = findFont(doc, "Host Font", "ebcdic");
    ASSERT_GE(font, 0);
    EXPECT_EQ(record(doc, font).encoding, 2);
    int number = record(doc, font).objectNumber;
    beginPage(doc, 200, 200);
    setFont(doc, font, 10);
    setTextPosition(doc, 10, 10);
    showText(doc, "\xC8\x85\x93\x93\x96"); // "Hello"
    endPage(doc);
    auto pdf = readWrittenPdf(finish());
    ASSERT_EQ(pdf.error, "");
    int encoding = referenceAfter(pdf.objects[number], "/Encoding");
    ASSERT_GT(encoding, 0);
    const std::string& e = pdf.objects[encoding];
    size_t open = e.find("/Type /Encoding /Differences [0 ");
    ASSERT_NE(open, std::string::npos) << e;
    std::istringstream names(e.substr(open + 32, e.find(']', open) - open - 32));
    std::vector<std::string> list;
    for (std::string n; names >> n;)
        list.push_back(n);
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list[0], "/.notdef");
    EXPECT_EQ(list[0x40], "/space");
    EXPECT_EQ(list[0xC1], "/A");
    EXPECT_EQ(list[0x81], "/a");
    EXPECT_EQ(list[0xF0], "/zero");
    EXPECT_EQ(list[0x5B], "/dollar");
}

TEST_F(FontWriteTest, DejaVuSansIsWrittenWithItsNameEscaped)
{
    int font = findFont(doc, "DejaVu Sans", "host");
    ASSERT_GE(font, 0);
    beginPage(doc, 200, 200);
    setFont(doc, font, 10);
    endPage(doc);
    std::string file = finish();
    EXPECT_EQ(countOf(file, "/BaseFont /DejaVu#20Sans "), 1u);
    EXPECT_EQ(countOf(file, "/FontName /DejaVu#20Sans "), 1u);
    EXPECT_EQ(countOf(file, "DejaVu Sans"), 0u);
}
