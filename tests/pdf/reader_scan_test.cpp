// The reader's scanning primitives and its working block: counts with the ten-digit split, key
// searches, matching delimiters, object texts, string decoding, and reads that cross the refills
// of the block.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "pdf/reader_fixtures.h"
#include "reader_internal.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::pdf::reader;
using namespace folvane::test;

namespace {

class ReaderScan : public PdfTest {};

std::vector<int64_t> numbersOf(const std::string& text, bool counts)
{
    Scanner scan(text);
    std::vector<int64_t> out;
    int64_t v = 0;
    while (counts ? scan.nextCount(&v) : scan.nextNumber(&v))
        out.push_back(v);
    return out;
}

} // namespace

TEST_F(ReaderScan, NumbersAndCounts)
{
    EXPECT_EQ(numbersOf("obj 12 0 R /x 3.75 -4", false), (std::vector<int64_t>{12, 0, 3, 4}));
    EXPECT_EQ(numbersOf("", false), std::vector<int64_t>{});
    // More than ten digits: the count is what stands before the last ten.
    EXPECT_EQ(numbersOf("60000000015", true), (std::vector<int64_t>{6, 15}));
    EXPECT_EQ(numbersOf("1230000000099 00000 n", true), (std::vector<int64_t>{123, 99, 0}));
    EXPECT_EQ(numbersOf("0000000015", true), (std::vector<int64_t>{15}));
    // Huge numbers saturate instead of overflowing.
    EXPECT_GT(numbersOf("99999999999999999999999999", false).at(0), int64_t{1} << 59);
    // A digit run longer than the lookahead is no count at all.
    EXPECT_TRUE(numbersOf(std::string(80, '7'), true).empty());

    Scanner strict("  -12.5 +7 x");
    int64_t v = 0;
    ASSERT_TRUE(strict.readInteger(&v));
    EXPECT_EQ(v, -12);
    ASSERT_TRUE(strict.readInteger(&v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(strict.readInteger(&v));

    int n = 0;
    int g = 0;
    Scanner ref("12 3 R/Next 4 0 Rx 0 0 R 5 70000 R");
    ASSERT_TRUE(ref.readReference(&n, &g));
    EXPECT_EQ(n, 12);
    EXPECT_EQ(g, 3);
    std::string name;
    ASSERT_TRUE(ref.readName(&name));
    EXPECT_EQ(name, "Next");
    EXPECT_FALSE(ref.readReference(&n, &g)); // "Rx" is no keyword
    Scanner zero("0 0 R");
    EXPECT_FALSE(zero.readReference(&n, &g));
    Scanner bigGeneration("5 70000 R");
    EXPECT_FALSE(bigGeneration.readReference(&n, &g));
}

TEST_F(ReaderScan, KeySearchMatchesTopLevelKeysByPrefixInAnyCase)
{
    const std::string text = "7 0 obj << /Sub (a /Count (x) here) /Nested << /Count 1 >> /Arr [/Count] "
                             "% /Count in a comment\n /COUNTER 5 /Kids [] >> endobj /Late 1";
    Scanner scan(text);
    ASSERT_TRUE(scan.findKey("/Count"));
    std::string name;
    scan.readName(&name);
    EXPECT_EQ(name, "COUNTER");
    int64_t v = 0;
    ASSERT_TRUE(scan.readInteger(&v));
    EXPECT_EQ(v, 5);

    Scanner late(text);
    EXPECT_FALSE(late.findKey("/Late")); // beyond endobj
    Scanner stop(text);
    EXPECT_EQ(stop.boundedSearch("/Late", text.size(), "endobj"), kStopWordMet);
    Scanner shortSearch(text);
    EXPECT_EQ(shortSearch.boundedSearch("/Kids", 20, "endobj"), kEndReached);
    Scanner found(text);
    EXPECT_EQ(found.boundedSearch("/kids", text.size(), "endobj"), kFound);
    // "endobj" inside a string does not end the object.
    const std::string quoted = "1 0 obj << /A (endobj) /B 2 >> endobj";
    Scanner inString(quoted);
    EXPECT_TRUE(inString.findKey("/B"));
}

TEST_F(ReaderScan, BalancedDelimitersAndObjectTexts)
{
    auto balanced = [](const std::string& text) {
        Scanner scan(text);
        std::string copy;
        return scan.skipBalanced(&copy, 1000) ? copy : std::string("<failed>");
    };
    EXPECT_EQ(balanced("<< /A [1 2 <<>>] /B (x]>>) >> tail"), "<< /A [1 2 <<>>] /B (x]>>) >>");
    EXPECT_EQ(balanced("[(\\)) <5D> % ] comment\n ] tail"), "[(\\)) <5D> % ] comment\n ]");
    EXPECT_EQ(balanced("(a(b)c\\(d) tail"), "(a(b)c\\(d)");
    EXPECT_EQ(balanced("<< /A [1 2 >> "), "<failed>");
    EXPECT_EQ(balanced("(never closed"), "<failed>");

    std::string text;
    Scanner object("4 0 obj (endobj) << /A 1 >> endobj 5 0 obj");
    ASSERT_TRUE(object.objectText(&text, 1000, false));
    EXPECT_EQ(text, "4 0 obj (endobj) << /A 1 >> endobj");
    Scanner longer("4 0 obj << /A 1 >> endobj");
    EXPECT_FALSE(longer.objectText(&text, 10, false));
    Scanner truncated("4 0 obj << /A 1 >> endobj");
    ASSERT_TRUE(truncated.objectText(&text, 10, true));
    EXPECT_EQ(text, "4 0 obj <<");
    Scanner unterminated("4 0 obj << /A 1 >>");
    EXPECT_FALSE(unterminated.objectText(&text, 1000, false));
}

TEST_F(ReaderScan, StringDecoding)
{
    struct Case {
        std::string raw;
        std::string decoded;
    };
    const Case literals[] = {
        {"plain", "plain"},
        {"\\351t\\351", "\xE9t\xE9"},
        {"\\(x\\)", "(x)"},
        {"\\n\\r\\t\\b\\f", "\n\r\t\b\f"},
        {"\\0\\1234", std::string("\0S4", 3)},     // at most three octal digits
        {"\\777", "\xFF"},                          // high bits beyond a byte dropped
        {"a\\\nb\\\rc\\\r\nd", "abcd"},             // line continuations
        {"\\q\\\\", "q\\"},
        {"end\\", "end\\"},
    };
    for (const Case& c : literals)
        EXPECT_EQ(decodeLiteral(c.raw), c.decoded) << c.raw;
    const Case hex[] = {
        {"48656C6C6F", "Hello"},
        {"48 65\n6c6c 6f", "Hello"},
        {"4", "\x40"},
        {"zz41", std::string("\0\x41", 2)}, // other characters count as 0
        {"", ""},
    };
    for (const Case& c : hex)
        EXPECT_EQ(decodeHex(c.raw), c.decoded) << c.raw;
}

// A table of 40000 one-entry subsections and a page object of 1 MB are read through several
// refills of the working block. Counts, keywords and letters that need a look ahead straddle the
// refills, so the bytes not yet consumed must survive each refill.
TEST_F(ReaderScan, ReadsAcrossRefillsOfTheWorkingBlock)
{
    const int objects = 40000;
    HandPdf pdf;
    // Every "e" outside a string makes the object-text scan look ahead for "endobj".
    std::string filler;
    while (filler.size() < (1u << 20))
        filler += "/eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee";
    const std::string body = "<< /Type /Page /Parent 2 0 R /Filler [" + filler + "] /Marker 77 >>";
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
    pdf.add(3, body);
    // Odd numbers only, so that every entry has a subsection header of its own.
    const int highest = 3 + 2 * objects;
    for (int n = 5; n <= highest; n += 2)
        pdf.add(n, std::to_string(n));
    pdf.finishSection("/Size " + std::to_string(highest + 1) + " /Root 1 0 R");
    auto path = keepPdfBytes("large.pdf", pdf.bytes());
    ASSERT_GT(pdf.bytes().size() - pdf.bytes().rfind("\nxref\n"), 2 * kReaderRefillSize);

    ReadOutcome read = readPdfFile(path);
    ASSERT_EQ(read.result, 1);
    ASSERT_EQ(read.existing.highestNumber, highest);
    int wrong = 0;
    for (int n = 1; n <= highest; ++n) {
        int64_t expected = n <= 3 || n % 2 == 1 ? pdf.offsetOf(n) : kOffsetUnlisted;
        wrong += read.existing.offsets[static_cast<size_t>(n)] != expected;
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(read.existing.pages, std::vector<int>{3});
    EXPECT_TRUE(read.existing.pageTexts[0] == "3 0 obj\n" + body + "\nendobj");
}

// The first read of a scanner can be as short as one byte; whatever the split, a look ahead
// across the refill sees the same bytes as without one.
TEST_F(ReaderScan, LookAheadAcrossTheFirstRefill)
{
    std::string text = "endobj 60000000015 trailer <<";
    FILE* file = fmemopen(text.data(), text.size(), "rb");
    ASSERT_NE(file, nullptr);
    ReadContext ctx;
    ASSERT_TRUE(ctx.open(file));
    for (size_t first = 1; first <= 12; ++first) {
        Scanner scan(ctx, 0, first);
        EXPECT_TRUE(scan.startsWith("endobj")) << first;
        int64_t count = 0;
        int64_t offset = 0;
        ASSERT_TRUE(scan.nextCount(&count)) << first;
        ASSERT_TRUE(scan.nextNumber(&offset)) << first;
        EXPECT_EQ(count, 6) << first;
        EXPECT_EQ(offset, 15) << first;
        scan.skipBlanks();
        EXPECT_TRUE(scan.consume("trailer")) << first;
        scan.skipBlanks();
        EXPECT_EQ(scan.peek(1), '<') << first;
    }
    std::fclose(file);
}

// The bytes read from the file are counted; once the budget is spent the scan ends and the read
// is marked as failed, whatever offsets the file holds.
TEST_F(ReaderScan, ReadBudgetEndsTheRead)
{
    std::string text(5000, 'x');
    FILE* file = fmemopen(text.data(), text.size(), "rb");
    ASSERT_NE(file, nullptr);
    ReadContext ctx;
    ASSERT_TRUE(ctx.open(file));
    EXPECT_GT(ctx.budget, 64 * 5000);
    ctx.budget = 3000;
    Scanner scan(ctx, 0, 1000);
    scan.advance(2500);
    EXPECT_EQ(scan.consumed(), 1000u); // the refill of 0x50000 bytes would exceed the budget
    EXPECT_TRUE(scan.atEnd());
    EXPECT_TRUE(ctx.exhausted);
    std::fclose(file);
}
