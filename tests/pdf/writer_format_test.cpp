// Number, string and name output of the writer, independent of the C locale.
#include <clocale>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/pdf_inspect.h"

using namespace folvane::pdf;
using folvane::test::ErrorLog;

namespace {

std::string real(double value, int precision = 4)
{
    char text[64];
    size_t n = formatReal(value, precision, text);
    return std::string(text, n);
}

// Runs `write` on a fresh in-memory document and returns only the bytes it produced.
template <typename F>
std::string produced(F write, ErrorLog* log = nullptr)
{
    ErrorLog local;
    PdfDocument* doc = folvane::test::makeDocument(log ? log : &local);
    openOutput(doc, "");
    size_t before = folvane::test::memoryBytes(doc).size();
    write(doc);
    std::string bytes = folvane::test::memoryBytes(doc).substr(before);
    freePdfDocument(doc);
    return bytes;
}

} // namespace

TEST(WriterNumbers, RealsFollowTheWritersRoundingRules)
{
    struct Case {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {0.5, 4, "0.5"},          {0.0625, 4, "0.0625"},    {1.99996, 4, "2"},   {-0.00001, 4, "0"},
        {32768.6, 4, "32769"},    {612, 4, "612"},          {12.00004, 4, "12"}, {40000.4, 4, "40000"},
        {-3.25, 4, "-3.25"},      {0.000015, 4, "0"},       {-0.00004, 4, "0"},  {0.00005, 4, "0.0001"},
        {595.2756, 4, "595.2756"},{0.123456, 6, "0.123456"},{0.12351, 3, "0.124"}, {-32768.5, 4, "-32769"},
        {0.9999, 3, "1"},         {0, 4, "0"},              {1e-9, 6, "0"},      {32767.99999, 4, "32768"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(real(c.value, c.precision), c.text) << c.value << " at precision " << c.precision;
}

TEST(WriterNumbers, HugeAndInvalidRealsAreReported)
{
    bool outOfRange = false;
    char text[64];
    formatReal(3e9, 4, text, &outOfRange);
    EXPECT_TRUE(outOfRange);
    formatReal(2147483647.0, 4, text, &outOfRange);
    EXPECT_FALSE(outOfRange);
    formatReal(std::nan(""), 4, text, &outOfRange);
    EXPECT_TRUE(outOfRange);

    ErrorLog log;
    std::string out = produced([](PdfDocument* doc) { writeFormatted(doc, "%f", 1e12); }, &log);
    EXPECT_EQ(out, "2147483647");
    EXPECT_TRUE(log.has(kErrArgument));
}

TEST(WriterNumbers, FormatDirectivesWidthsAndFill)
{
    std::string out = produced([](PdfDocument* doc) {
        writeFormatted(doc, "[%d|%5d|%05d|%010ld|%X|%04X|%lX|%c|%s|%%|%3d|%d]", 42, 42, -42, 1234567L, 255u, 10u,
                       0xABCDEFUL, 'Q', "text", 0, -7);
    });
    EXPECT_EQ(out, "[42|   42|-00042|0001234567|FF|000A|ABCDEF|Q|text|%|000|-7]");
}

TEST(WriterNumbers, UnknownDirectiveIsReportedAndSkipped)
{
    ErrorLog log;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    std::string out = produced([](PdfDocument* doc) { writeFormatted(doc, "a%qb%d", 5); }, &log);
#pragma GCC diagnostic pop
    EXPECT_EQ(out, "ab5");
    EXPECT_TRUE(log.has(kErrArgument));
}

TEST(WriterNumbers, FormattedTextLongerThanTheBufferIsCutAndReported)
{
    ErrorLog log;
    std::string longText(2000, 'x');
    std::string out = produced([&](PdfDocument* doc) { writeFormatted(doc, "%s", longText.c_str()); }, &log);
    EXPECT_EQ(out.size(), 1024u);
    EXPECT_TRUE(log.has(kErrArgument));
}

TEST(WriterNumbers, OutputDoesNotFollowTheLocale)
{
    auto sample = [] {
        return produced([](PdfDocument* doc) { writeFormatted(doc, "%f %f %d %ld", 1234.5678, -0.25, 1000000, 99999L); });
    };
    std::string plain = sample();
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "German locale not installed";
    std::string german = sample();
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(plain, "1234.5678 -0.25 1000000 99999");
    EXPECT_EQ(german, plain);
}

TEST(WriterStrings, LiteralStringsEscapeDelimitersAndLineEnds)
{
    const char text[] = "a(b)c\\d\ne\rf\x01\xff";
    std::string out = produced([&](PdfDocument* doc) { writeLiteralString(doc, text, sizeof text - 1); });
    EXPECT_EQ(out, std::string("(a\\(b\\)c\\\\d\\ne\\rf\x01\xff)"));
}

TEST(WriterStrings, TextStringsAreCStringsOrUtf16WithByteOrderMark)
{
    EXPECT_EQ(produced([](PdfDocument* doc) { writeTextString(doc, "Title"); }), "(Title)");
    // "Ä(" in UTF-16BE; the zero high bytes must not end the value, only a zero pair does.
    const char utf16[] = {'\xFE', '\xFF', 0, '\xC4', 0, '(', 0, 0};
    EXPECT_EQ(textValueLength(utf16), 6u);
    EXPECT_EQ(produced([&](PdfDocument* doc) { writeTextString(doc, utf16); }),
              std::string("(\xFE\xFF\0\xC4\0\\()", 9));
}

TEST(WriterStrings, NamesEscapeSpacesDelimitersAndHighBytes)
{
    std::string out = produced([](PdfDocument* doc) { writeName(doc, "Arial Bold#1/(x)\xE9~"); });
    EXPECT_EQ(out, "/Arial#20Bold#231#2F#28x#29#E9~");
}

TEST(WriterStrings, HexDigitsAreUppercase)
{
    const unsigned char bytes[] = {0x00, 0xab, 0x5f, 0xff};
    EXPECT_EQ(produced([&](PdfDocument* doc) { writeHexBytes(doc, bytes, sizeof bytes); }), "<00AB5FFF>");
}

TEST(WriterRecord, OperationsOnAnInvalidRecordDoNothing)
{
    EXPECT_EQ(openOutput(nullptr, ""), -1);
    EXPECT_EQ(writeString(nullptr, "x"), 0u);
    EXPECT_EQ(reserveObject(nullptr), 0);
    EXPECT_EQ(closePdfDocument(nullptr), 0);
    beginPage(nullptr, 100, 100);
    freePdfDocument(nullptr);

    PdfDocument* doc = newPdfDocument();
    openOutput(doc, "");
    uint32_t tag = doc->tag;
    doc->tag = 0; // as after release
    EXPECT_EQ(writeString(doc, "x"), 0u);
    EXPECT_EQ(reserveObject(doc), 0);
    doc->tag = tag;
    EXPECT_EQ(reserveObject(doc), 1);
    freePdfDocument(doc);
}
