// The structure read of existing files assembled by hand: startxref, chains of sections through
// incremental updates, trailers and identifiers, information values, the catalog and the page
// tree, the header rule for appending, and the refusal of damaged structures.
#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/reader.h"
#include "pdf/reader_fixtures.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class ReaderStructure : public PdfTest {};

const std::string kTrailer12 = "/Size 13 /Root 1 0 R";

int64_t listedOffset(const ExistingPdf& existing, int number)
{
    return existing.offsets.at(static_cast<size_t>(number)) - existing.offsetBase;
}

} // namespace

TEST_F(ReaderStructure, PlainFileGivesTablesCatalogAndPagesInOrder)
{
    HandPdf pdf;
    addFlatPages(pdf, 3);
    pdf.add(6, "<< /Title (Plain) >>");
    int64_t xref = pdf.finishSection("/Size 7 /Root 1 0 R /Info 6 0 R");
    keepPdfBytes("plain.pdf", pdf.bytes());

    ReadOutcome read = readPdfFile(scratchDir() / "plain.pdf");
    ASSERT_EQ(read.result, 1);
    const ExistingPdf& e = read.existing;
    EXPECT_EQ(e.fileSize, static_cast<int64_t>(pdf.bytes().size()));
    EXPECT_EQ(e.previousXref, xref);
    EXPECT_EQ(e.offsetBase, 0);
    EXPECT_EQ(e.highestNumber, 6);
    EXPECT_EQ(e.catalogNumber, 1);
    EXPECT_EQ(e.infoNumber, 6);
    EXPECT_EQ(e.encryptNumber, 0);
    EXPECT_EQ(e.pageTreeRoot, 2);
    EXPECT_EQ(e.pageCount, 3);
    EXPECT_EQ(e.pages, (std::vector<int>{3, 4, 5}));
    for (int n = 1; n <= 6; ++n)
        EXPECT_EQ(listedOffset(e, n), pdf.offsetOf(n)) << "object " << n;
    EXPECT_EQ(e.offsets[0], kOffsetFree);
    EXPECT_EQ(e.catalogText, "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj");
    EXPECT_EQ(e.pageTexts.at(1), "4 0 obj\n<< /Type /Page /Parent 2 0 R >>\nendobj");
    EXPECT_TRUE(e.pageTreeRootText.find("/Count 3") != std::string::npos);
    EXPECT_TRUE(e.info[kExistingTitle].present);
    EXPECT_EQ(e.info[kExistingTitle].bytes, "Plain");
    EXPECT_FALSE(e.info[kExistingAuthor].present);
    EXPECT_FALSE(e.id[0].present);
}

// The last 1024 bytes of an updated file hold two startxref keywords; the last one is the newest
// section, whose entries replace the older ones.
TEST_F(ReaderStructure, LastOfTwoStartxrefKeywordsIsTheNewestSection)
{
    HandPdf pdf;
    pdf.raw("%" + std::string(2000, 'x') + "\n"); // the file is longer than the bytes searched
    addFlatPages(pdf, 1);
    int64_t first = pdf.finishSection("/Size 4 /Root 1 0 R");
    pdf.add(3, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>");
    int64_t second = pdf.finishSection("/Size 4 /Root 1 0 R /Prev " + std::to_string(first));
    keepPdfBytes("two-startxref.pdf", pdf.bytes());
    std::string tail = pdf.bytes().substr(pdf.bytes().size() - 1024);
    ASSERT_NE(tail.find("startxref"), tail.rfind("startxref"));

    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.previousXref, second);
    EXPECT_EQ(listedOffset(read.existing, 3), pdf.offsetOf(3));
    EXPECT_NE(read.existing.pageTexts.at(0).find("/Rotate 90"), std::string::npos);
}

// Two incremental updates: the newest entry of each object wins, /Root comes from the newest
// trailer, /Info from the newest trailer that has one, the highest number from the newest /Size.
TEST_F(ReaderStructure, TwiceUpdatedFileTakesNewestEntriesAndTrailerValues)
{
    HandPdf pdf;
    addFlatPages(pdf, 2);
    pdf.add(5, "<< /Title (Original) /Author (Kept) >>");
    int64_t base = pdf.finishSection("/Size 6 /Root 1 0 R /Info 5 0 R /ID [<01020304><01020304>]");
    int64_t baseInfo = pdf.offsetOf(5);

    // Update 1: a new information object and a third page.
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 7 0 R] /Count 3 /MediaBox [0 0 200 200] >>");
    pdf.add(6, "<< /Title (First update) >>");
    pdf.add(7, "<< /Type /Page /Parent 2 0 R >>");
    int64_t update1 = pdf.finishSection("/Size 8 /Root 1 0 R /Info 6 0 R /Prev " + std::to_string(base) +
                                        " /ID [<01020304><AABBCCDD>]");

    // Update 2: a new catalog object and a fourth page; its trailer has no /Info.
    pdf.add(8, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseNone >>");
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 7 0 R 9 0 R] /Count 4 /MediaBox [0 0 200 200] >>");
    pdf.add(9, "<< /Type /Page /Parent 2 0 R >>");
    int64_t update2 =
        pdf.finishSection("/Size 10 /Root 8 0 R /Prev " + std::to_string(update1) + " /ID [<01020304><55667788>]");
    keepPdfBytes("twice-updated.pdf", pdf.bytes());

    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    const ExistingPdf& e = read.existing;
    EXPECT_EQ(e.previousXref, update2);
    EXPECT_EQ(e.catalogNumber, 8);
    EXPECT_EQ(e.infoNumber, 6);
    EXPECT_EQ(e.highestNumber, 9);
    EXPECT_EQ(listedOffset(e, 2), pdf.offsetOf(2)); // the newest of three entries
    EXPECT_EQ(listedOffset(e, 5), baseInfo);        // listed only by the first section
    EXPECT_EQ(e.pages, (std::vector<int>{3, 4, 7, 9}));
    EXPECT_EQ(e.pageCount, 4);
    EXPECT_EQ(e.info[kExistingTitle].bytes, "First update");
    EXPECT_FALSE(e.info[kExistingAuthor].present); // object 5 is no longer the information
    EXPECT_EQ(e.id[1].bytes, "\x55\x66\x77\x88");
}

TEST_F(ReaderStructure, IdentifierFormsAreSplitIntoTwoElements)
{
    struct Case {
        const char* array;
        bool literal0, literal1;
        const char *raw0, *raw1;
        std::string bytes0, bytes1;
    };
    const Case cases[] = {
        {"[(abc)(def)]", true, true, "abc", "def", "abc", "def"},          // no blank between
        {"[ (a\\)b\\(c) (x) ]", true, true, "a\\)b\\(c", "x", "a)b(c", "x"}, // escaped parentheses
        {"[(a(b)c)(d)]", true, true, "a(b)c", "d", "a(b)c", "d"},          // balanced nesting
        {"[<0A0b0C><FF00>]", false, false, "0A0b0C", "FF00", "\x0A\x0B\x0C", std::string("\xFF\x00", 2)},
        {"[<41 42>(C)]", false, true, "41 42", "C", "AB", "C"},             // mixed kinds
        {"[(\\351)]", true, true, "\\351", "\\351", "\xE9", "\xE9"},        // one element: both
    };
    for (const Case& c : cases) {
        HandPdf pdf;
        addFlatPages(pdf, 1);
        pdf.finishSection(std::string("/Size 4 /Root 1 0 R /ID ") + c.array);
        ReadOutcome read = readPdfBytes(pdf.bytes());
        ASSERT_EQ(read.result, 1) << c.array;
        const ExistingIdElement* id = read.existing.id;
        EXPECT_TRUE(id[0].present && id[1].present) << c.array;
        EXPECT_EQ(id[0].literal, c.literal0) << c.array;
        EXPECT_EQ(id[1].literal, c.literal1) << c.array;
        EXPECT_EQ(id[0].raw, c.raw0) << c.array;
        EXPECT_EQ(id[1].raw, c.raw1) << c.array;
        EXPECT_EQ(id[0].bytes, c.bytes0) << c.array;
        EXPECT_EQ(id[1].bytes, c.bytes1) << c.array;
    }
}

TEST_F(ReaderStructure, InformationValuesAreDecoded)
{
    HandPdf pdf;
    addFlatPages(pdf, 1);
    pdf.add(4, "<< /Title (caf\\351 \\(one\\) and \\(two\\)) /Author <48656C6C6F>\n"
               "/Subject (a (nested) pair) /Keywords (tab\\there\\nnew \\\\ \\\r\nend \\q\\0\\12)\n"
               "/creator 5 0 R /Producer <FEFF0041 004>\n"
               "/CreationDate (D:20240102030405Z) /ModDate <443A32> /Trapped /True >>");
    pdf.add(5, "(Indirect creator)");
    pdf.finishSection("/Size 6 /Root 1 0 R /Info 4 0 R");
    keepPdfBytes("info.pdf", pdf.bytes());

    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    const ExistingInfoValue* info = read.existing.info;
    EXPECT_EQ(info[kExistingTitle].bytes, "caf\xE9 (one) and (two)");
    EXPECT_EQ(info[kExistingAuthor].bytes, "Hello");
    EXPECT_EQ(info[kExistingSubject].bytes, "a (nested) pair");
    EXPECT_EQ(info[kExistingKeywords].bytes, std::string("tab\there\nnew \\ end q\0\n", 22));
    EXPECT_EQ(info[kExistingCreator].bytes, "Indirect creator"); // key in another letter case
    EXPECT_EQ(info[kExistingProducer].bytes, std::string("\xFE\xFF\x00\x41\x00\x40", 6)); // odd digit + 0
    EXPECT_EQ(info[kExistingCreationDate].bytes, "D:20240102030405Z");
    EXPECT_EQ(info[kExistingModDate].bytes, "D:2");
    EXPECT_TRUE(info[kExistingTrapped].isName);
    EXPECT_EQ(info[kExistingTrapped].bytes, "True");
    for (int k = 0; k < kExistingInfoKeyCount; ++k)
        EXPECT_TRUE(info[k].present) << kExistingInfoKeyNames[k];
}

// Keys are looked up among the information dictionary's own keys only: not inside strings, not
// in nested dictionaries, and a value that is neither a string nor a reference is skipped.
TEST_F(ReaderStructure, InformationKeysAreNotFoundInsideValues)
{
    HandPdf pdf;
    addFlatPages(pdf, 1);
    pdf.add(4, "<< /Subject (mentions /Title (x) inside) /Extra << /Author (nested) >> /Keywords 42 "
               "/Author (real) >>");
    pdf.finishSection("/Size 5 /Root 1 0 R /Info 4 0 R");
    keepPdfBytes("info-keys.pdf", pdf.bytes());

    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_FALSE(read.existing.info[kExistingTitle].present);
    EXPECT_EQ(read.existing.info[kExistingAuthor].bytes, "real");
    EXPECT_FALSE(read.existing.info[kExistingKeywords].present);
}

TEST_F(ReaderStructure, EmptyKidsContributeNoPagesAndCountIsLoweredToReachablePages)
{
    // Root kids: an inner node with an empty array, then an inner node with two pages.
    HandPdf empty;
    empty.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    empty.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 200 200] >>");
    empty.add(3, "<< /Type /Pages /Parent 2 0 R /Kids [] /Count 0 >>");
    empty.add(4, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>");
    empty.add(5, "<< /Type /Page /Parent 4 0 R >>");
    empty.add(6, "<< /Type /Page /Parent 4 0 R >>");
    empty.finishSection("/Size 7 /Root 1 0 R");
    keepPdfBytes("empty-kids.pdf", empty.bytes());
    ReadOutcome read = readPdfBytes(empty.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.pages, (std::vector<int>{5, 6}));
    EXPECT_EQ(read.existing.pageCount, 2);

    // A root claiming 12 pages of which 10 are reachable.
    HandPdf twelve;
    int last = addFlatPages(twelve, 10, 12);
    twelve.finishSection("/Size " + std::to_string(last + 1) + " /Root 1 0 R");
    read = readPdfBytes(twelve.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.rootCount, 12);
    EXPECT_EQ(read.existing.pageCount, 10);
    EXPECT_EQ(read.existing.pages.size(), 10u);
}

TEST_F(ReaderStructure, DeepTreeIndirectKidsAndGenerationsAreWalkedInOrder)
{
    HandPdf pdf;
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.add(2, "<< /Type /Pages /Kids 3 0 R /Count 3 /MediaBox [0 0 200 200] >>");
    pdf.add(3, "[4 0 R 6 1 R]");
    pdf.add(4, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 >>");
    pdf.add(5, "<< /Type /Page /Parent 4 0 R >>");
    pdf.add(6, "<< /Type /Pages /Parent 2 0 R /Kids [8 0 R 7 0 R] /Count 2 >>", 1);
    pdf.add(7, "<< /Type /Page /Parent 6 1 R >>");
    pdf.add(8, "<< /Type /Page /Parent 6 1 R >>");
    pdf.finishSection("/Size 9 /Root 1 0 R");
    keepPdfBytes("deep.pdf", pdf.bytes());

    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.pages, (std::vector<int>{5, 8, 7}));
    EXPECT_EQ(read.existing.generations[6], 1);
    EXPECT_EQ(read.existing.generations[7], 0);
}

TEST_F(ReaderStructure, JunkBeforeHeaderWithinSixteenBytes)
{
    HandPdf pdf("1.4", "JUNK\r\n\x01\x02");
    addFlatPages(pdf, 2);
    int64_t xref = pdf.finishSection("/Size 5 /Root 1 0 R");
    auto path = keepPdfBytes("junk.pdf", pdf.bytes());

    int headerOffset = -1;
    EXPECT_EQ(checkAppendHeader(path.string(), &headerOffset), 1);
    EXPECT_EQ(headerOffset, 8);
    ReadOutcome read = readPdfFile(path);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.offsetBase, 8);
    EXPECT_EQ(read.existing.previousXref, xref);
    EXPECT_EQ(read.existing.pages, (std::vector<int>{3, 4}));
    EXPECT_EQ(read.existing.pageCount, 2);
    EXPECT_EQ(read.existing.offsets[3] - 8, pdf.offsetOf(3));

    // Offsets counted from the file's start (other producers do that too) are read as well.
    std::string absolute = "JUNK\n%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    size_t two = absolute.size();
    absolute += "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    size_t table = absolute.size();
    char entries[128];
    std::snprintf(entries, sizeof entries, "xref\n0 3\n0000000000 65535 f\r\n%010zu 00000 n\r\n%010zu 00000 n\r\n",
                  absolute.find("1 0 obj"), two);
    absolute += entries + std::string("trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n") + std::to_string(table) +
                "\n%%EOF\n";
    read = readPdfBytes(absolute);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.offsetBase, 0);
    EXPECT_EQ(read.existing.pageTreeRoot, 2);
}

TEST_F(ReaderStructure, HeaderRuleForAppending)
{
    std::string tail(reinterpret_cast<const char*>(kWriterHeaderTail), sizeof kWriterHeaderTail);
    struct Case {
        std::string head;
        int offset;
    };
    const Case cases[] = {
        {"%PDF-1.2\n%abcd\n", 0},
        {"%PDF-1.3\n%\xE2\xE3\xCF\xD3\n", 0},
        {"%PDF-1.4 " + tail, 0},
        {"%pdf-1.4\n", 0},                        // any letter case
        {"%PDF-1.5 " + tail, 0},                  // this system's own 1.5 file
        {"xy%PDF-1.5 " + tail, 2},
        {"%PDF-1.5\n%\xE2\xE3\xCF\xD3\n", 0},     // any producer's file of a known version
        {"%PDF-1.6\n%\xE2\xE3\xCF\xD3\n", 0},
        {"%PDF-1.7 " + tail, 0},
        {"%PDF-1.0\n", 0},
        {"%PDF-1.1\n", 0},
        {"%PDF-2.0\n", 0},
        {"%PDF-1.8\n", -1},                       // versions that do not exist
        {"%PDF-2.1\n", -1},
        {"%PDF-3.0\n", -1},
        {"%PDF-1,4\n", -1},
        {"123456789012345%PDF-1.4\n", 15},        // the last position that is looked at
        {"1234567890123456%PDF-1.4\n", -1},       // "%" beyond the first 16 bytes
        {"ab%c%PDF-1.4\n", -1},                   // the first "%" belongs to the junk
        {"%PDF-1.", -1},                          // too short
        {"", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(appendHeaderOffset(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.offset)
            << c.head;
    EXPECT_EQ(checkAppendHeader((scratchDir() / "missing.pdf").string(), nullptr), -1);
}

TEST_F(ReaderStructure, SizeTooSmallDoesNotHideListedNumbers)
{
    HandPdf pdf;
    addFlatPages(pdf, 3);
    pdf.finishSection("/Size 6 /Root 1 0 R"); // correct
    ReadOutcome read = readPdfBytes(pdf.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.highestNumber, 5);

    // A /Size one too small (the highest number instead of one more) and a /Size far too small:
    // new objects must still be numbered above every listed object.
    for (const char* size : {"/Size 5", "/Size 2"}) {
        HandPdf small;
        addFlatPages(small, 3);
        small.finishSection(std::string(size) + " /Root 1 0 R");
        read = readPdfBytes(small.bytes());
        ASSERT_EQ(read.result, 1) << size;
        EXPECT_EQ(read.existing.highestNumber, 5) << size;
    }
    // A larger /Size counts: numbers up to it may be in use elsewhere.
    HandPdf large;
    addFlatPages(large, 1);
    large.finishSection("/Size 40 /Root 1 0 R");
    read = readPdfBytes(large.bytes());
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.highestNumber, 39);
}

TEST_F(ReaderStructure, FreeEntryOfNewerSectionHidesOlderObject)
{
    HandPdf pdf;
    addFlatPages(pdf, 1);
    pdf.add(4, "<< /Title (Gone) >>");
    int64_t base = pdf.finishSection("/Size 5 /Root 1 0 R /Info 4 0 R");
    // The update frees object 4 and drops /Info by pointing it at a new, empty dictionary.
    pdf.add(5, "<< >>");
    std::string bytes = pdf.bytes();
    int64_t xref = static_cast<int64_t>(bytes.size());
    char table[160];
    std::snprintf(table, sizeof table, "xref\n4 2\n0000000000 00001 f\r\n%010lld 00000 n\r\n",
                  static_cast<long long>(pdf.offsetOf(5)));
    bytes += table + std::string("trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R /Prev ") + std::to_string(base) +
             " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    keepPdfBytes("freed.pdf", bytes);

    ReadOutcome read = readPdfBytes(bytes);
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(read.existing.offsets[4], kOffsetFree);
    EXPECT_EQ(read.existing.infoNumber, 5);
    EXPECT_FALSE(read.existing.info[kExistingTitle].present);
}

// Damaged structures are refused with 0 rather than read wrongly. Every change below keeps the
// lengths of what it replaces, so that all other offsets stay right.
TEST_F(ReaderStructure, DamagedStructuresAreRefused)
{
    auto replaced = [](std::string bytes, const std::string& from, const std::string& to) {
        size_t at = bytes.rfind(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? bytes : bytes.replace(at, from.size(), to);
    };
    auto entry = [](int64_t offset) {
        char text[32];
        std::snprintf(text, sizeof text, "%010lld 00000 n", static_cast<long long>(offset));
        return std::string(text);
    };
    // Catalog 1, root 2 with the given kids, page 3.
    auto withRootKids = [](const std::string& kids) {
        HandPdf pdf;
        pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.add(2, "<< /Type /Pages /Kids " + kids + " /Count 1 >>");
        pdf.add(3, "<< /Type /Page /Parent 2 0 R >>");
        pdf.finishSection("/Size 4 /Root 1 0 R");
        return pdf.bytes();
    };
    std::vector<std::pair<std::string, std::string>> cases;

    HandPdf good;
    addFlatPages(good, 2);
    int64_t xref = good.finishSection("/Size 5 /Root 1 0 R");
    ASSERT_EQ(readPdfBytes(good.bytes()).result, 1);
    ASSERT_EQ(readPdfBytes(withRootKids("[3 0 R]")).result, 1);
    const std::string bytes = good.bytes();
    const std::string startxref = "startxref\n" + std::to_string(xref);

    cases.emplace_back("no startxref", replaced(bytes, "startxref", "startxreF"));
    cases.emplace_back("startxref beyond the file", replaced(bytes, startxref, startxref + "0000"));
    cases.emplace_back("startxref not at xref", replaced(bytes, startxref, "startxref\n" + std::to_string(xref + 1)));
    cases.emplace_back("no /Root", replaced(bytes, "/Root 1 0 R", "/Rout 1 0 R"));
    cases.emplace_back("/Root not a reference", replaced(bytes, "/Root 1 0 R", "/Root 1 0 X"));
    cases.emplace_back("catalog entry points at another object",
                       replaced(bytes, entry(good.offsetOf(1)), entry(good.offsetOf(2))));
    cases.emplace_back("entry without n or f", replaced(bytes, "00000 n\r\n", "00000 x\r\n"));
    cases.emplace_back("/Size absurd", replaced(bytes, "/Size 5", "/Size 99999999999"));
    cases.emplace_back("root without /Count", replaced(bytes, "/Count 2", "/Cout 2"));
    cases.emplace_back("trailer never closed", replaced(bytes, " >>\nstartxref", "\n\nstartxref"));
    cases.emplace_back("object number far beyond the file",
                       replaced(bytes, "trailer\n", "4000000 1\n0000000009 00000 n\r\ntrailer\n"));
    cases.emplace_back("kid is the root", withRootKids("[2 0 R]"));
    cases.emplace_back("page listed twice", withRootKids("[3 0 R 3 0 R]"));
    cases.emplace_back("kid not listed", withRootKids("[9 0 R]"));
    cases.emplace_back("kid generation differs", withRootKids("[3 1 R]"));
    cases.emplace_back("kid not a reference", withRootKids("[3 0 Q]"));
    {
        std::string noKids = withRootKids("[3 0 R]");
        cases.emplace_back("root has no /Kids", replaced(noKids, "/Kids", "/Kidz"));
    }
    // A node that is its own ancestor.
    {
        HandPdf pdf;
        pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 >>");
        pdf.add(4, "<< /Type /Pages /Parent 3 0 R /Kids [3 0 R] /Count 1 >>");
        pdf.finishSection("/Size 5 /Root 1 0 R");
        cases.emplace_back("node is its own ancestor", pdf.bytes());
    }
    // A /Prev chain that points at its own section, and one that loops between two sections.
    {
        HandPdf self;
        addFlatPages(self, 1);
        self.finishSection("/Size 4 /Root 1 0 R /Prev " + std::to_string(self.bytes().size()));
        cases.emplace_back("/Prev to itself", self.bytes());

        HandPdf two;
        addFlatPages(two, 1);
        int64_t base = two.finishSection("/Size 4 /Root 1 0 R /Prex 0000000000");
        two.add(3, "<< /Type /Page /Parent 2 0 R >>");
        int64_t update = two.finishSection("/Size 4 /Root 1 0 R /Prev " + std::to_string(base));
        char prev[32];
        std::snprintf(prev, sizeof prev, "/Prev %010lld", static_cast<long long>(update));
        ASSERT_EQ(readPdfBytes(two.bytes()).result, 1);
        cases.emplace_back("/Prev loop of two", replaced(two.bytes(), "/Prex 0000000000", prev));
    }
    // A cross-reference stream where a table was expected.
    cases.emplace_back("cross-reference stream",
                       "%PDF-1.4\n1 0 obj\n<< /Type /XRef /Size 2 /W [1 2 1] /Root 1 0 R /Length 0 >>\n"
                       "stream\n\nendstream\nendobj\nstartxref\n9\n%%EOF\n");
    // Security handlers that cannot be opened.
    {
        HandPdf pdf;
        addFlatPages(pdf, 1);
        pdf.add(4, "<< /Filter /Adobe.PubSec /V 2 /R 3 /Length 128 /P -4 >>");
        pdf.finishSection("/Size 5 /Root 1 0 R /Encrypt 4 0 R /ID [<00><00>]");
        cases.emplace_back("public-key handler", pdf.bytes());
        cases.emplace_back("incomplete direct encryption dictionary",
                           replaced(pdf.bytes(), "/Encrypt 4 0 R", "/Encrypt << /Filter /Standard >>"));
    }

    for (const auto& [name, damaged] : cases) {
        ReadOutcome read = readPdfBytes(damaged);
        EXPECT_EQ(read.result, 0) << name;
        EXPECT_TRUE(read.existing.pages.empty()) << name;
    }
}
