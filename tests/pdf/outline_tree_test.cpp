// The outline tree: linking of siblings and children, the counting rule, destinations, titles
// (ASCII, UTF-16 and escaped) and the reports for invalid bookmarks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class OutlineTree : public PdfTest {};

// The object number after a key such as "/Next 7 0 R", or -1 when the key is absent.
int referenceAfter(const std::string& text, const std::string& key)
{
    return static_cast<int>(integerAfter(text, key));
}

int outlineRoot(WrittenPdf& pdf)
{
    int catalog = referenceAfter(pdf.trailer, "/Root");
    return referenceAfter(pdf.objects[catalog], "/Outlines");
}

// Page object numbers in page order (at most ten pages: the root is the only leaf).
std::vector<int> pageObjects(WrittenPdf& pdf)
{
    int catalog = referenceAfter(pdf.trailer, "/Root");
    return referencesIn(pdf.objects[referenceAfter(pdf.objects[catalog], "/Pages")], "/Kids");
}

int destinationPage(const std::string& entry)
{
    size_t at = entry.find("/Dest [");
    return at == std::string::npos ? -1 : std::atoi(entry.c_str() + at + 7);
}

// Titles of the outline as qpdf reads them, sorted (qpdf prints an entry's children first).
std::vector<std::string> qpdfTitles(const std::filesystem::path& pdf, const std::string& password = "")
{
    std::string option = password.empty() ? "" : " --password=" + shellQuote(password);
    CommandResult r = runCommand("qpdf --json --json-key=outlines" + option + " " + shellQuote(pdf.string()));
    std::vector<std::string> titles;
    const std::string key = "\"title\": \"";
    for (size_t at = r.output.find(key); at != std::string::npos; at = r.output.find(key, at + 1)) {
        size_t start = at + key.size();
        titles.push_back(r.output.substr(start, r.output.find('"', start) - start));
    }
    std::sort(titles.begin(), titles.end());
    return titles;
}

} // namespace

TEST_F(OutlineTree, TopLevelBookmarksAreSiblingsCountedByTheRoot)
{
    auto path = pdfPath("three.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    const char* titles[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        beginPage(doc, 300, 300);
        EXPECT_EQ(addBookmark(doc, titles[i], 0, true), i + 1);
        endPage(doc);
    }
    ASSERT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);
    EXPECT_TRUE(log.codes.empty());

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    int root = outlineRoot(pdf);
    ASSERT_GT(root, 0);
    const std::string& rootText = pdf.objects[root];
    EXPECT_NE(rootText.find("/Type /Outlines "), std::string::npos);
    EXPECT_EQ(integerAfter(rootText, "/Count"), 3);
    int a = referenceAfter(rootText, "/First");
    int c = referenceAfter(rootText, "/Last");
    int b = referenceAfter(pdf.objects[a], "/Next");
    EXPECT_EQ(referenceAfter(pdf.objects[a], "/Prev"), -1);
    EXPECT_EQ(referenceAfter(pdf.objects[b], "/Prev"), a);
    EXPECT_EQ(referenceAfter(pdf.objects[b], "/Next"), c);
    EXPECT_EQ(referenceAfter(pdf.objects[c], "/Prev"), b);
    EXPECT_EQ(referenceAfter(pdf.objects[c], "/Next"), -1);

    std::vector<int> pages = pageObjects(pdf);
    ASSERT_EQ(pages.size(), 3u);
    int entries[] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        const std::string& entry = pdf.objects[entries[i]];
        EXPECT_EQ(referenceAfter(entry, "/Parent"), root);
        EXPECT_EQ(destinationPage(entry), pages[static_cast<size_t>(i)]);
        EXPECT_NE(entry.find(" 0 R /Fit] "), std::string::npos);
        EXPECT_NE(entry.find(std::string("/Title (") + titles[i] + ") "), std::string::npos);
        EXPECT_EQ(entry.find("/Count"), std::string::npos) << "a leaf has no count";
    }
    // The first bookmark opens the outline panel.
    int catalog = referenceAfter(pdf.trailer, "/Root");
    EXPECT_NE(pdf.objects[catalog].find("/PageMode /UseOutlines "), std::string::npos);
    EXPECT_EQ(qpdfTitles(path), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(OutlineTree, CollapsedParentsStopTheCountOnTheWayUp)
{
    auto path = pdfPath("nested.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    beginPage(doc, 300, 300);
    int a = addBookmark(doc, "A", 0, false);  // collapsed
    int a1 = addBookmark(doc, "A1", a, true); // counted by A only
    int b = addBookmark(doc, "B", 0, true);
    int b1 = addBookmark(doc, "B1", b, true);
    int b1x = addBookmark(doc, "B1x", b1, false); // counted by B1 and B
    addBookmark(doc, "B1x-deep", b1x, true);      // counted by the collapsed B1x only
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    int root = outlineRoot(pdf);
    EXPECT_EQ(integerAfter(pdf.objects[root], "/Count"), 2) << "the root counts its direct children";
    int aObject = referenceAfter(pdf.objects[root], "/First");
    int bObject = referenceAfter(pdf.objects[root], "/Last");
    const std::string& aText = pdf.objects[aObject];
    EXPECT_EQ(integerAfter(aText, "/Count"), -1) << "a collapsed entry writes its count negated";
    int a1Object = referenceAfter(aText, "/First");
    EXPECT_EQ(referenceAfter(aText, "/Last"), a1Object);
    EXPECT_EQ(referenceAfter(pdf.objects[a1Object], "/Parent"), aObject);
    EXPECT_EQ(pdf.objects[a1Object].find("/Count"), std::string::npos);

    const std::string& bText = pdf.objects[bObject];
    EXPECT_EQ(integerAfter(bText, "/Count"), 2);
    int b1Object = referenceAfter(bText, "/First");
    EXPECT_EQ(integerAfter(pdf.objects[b1Object], "/Count"), 1);
    int b1xObject = referenceAfter(pdf.objects[b1Object], "/First");
    EXPECT_EQ(integerAfter(pdf.objects[b1xObject], "/Count"), -1);
    EXPECT_EQ(a1, 2);

    EXPECT_EQ(qpdfTitles(path), (std::vector<std::string>{"A", "A1", "B", "B1", "B1x", "B1x-deep"}));
}

TEST_F(OutlineTree, InvalidParentsAreRefusedAndEmptyTitlesKept)
{
    auto path = pdfPath("invalid.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    // Before any page: the entry has no page to point at and gets no destination.
    EXPECT_EQ(addBookmark(doc, "early", 0, true), 1);
    EXPECT_TRUE(log.has(kErrState)) << "addBookmark outside page scope is reported";
    log.codes.clear();

    beginPage(doc, 300, 300);
    EXPECT_EQ(addBookmark(doc, "orphan", 2, true), 0);
    EXPECT_EQ(addBookmark(doc, "negative", -1, true), 0);
    EXPECT_EQ(doc->bookmarkCount, 1) << "nothing is added for an unknown parent";
    EXPECT_EQ(std::count(log.codes.begin(), log.codes.end(), kErrArgument), 2);
    log.codes.clear();
    EXPECT_EQ(addBookmark(doc, "", 1, true), 2);
    EXPECT_EQ(addBookmark(doc, nullptr, 0, true), 3);
    EXPECT_EQ(std::count(log.codes.begin(), log.codes.end(), kErrArgument), 2);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    int root = outlineRoot(pdf);
    int early = referenceAfter(pdf.objects[root], "/First");
    EXPECT_EQ(pdf.objects[early].find("/Dest"), std::string::npos);
    int empty = referenceAfter(pdf.objects[early], "/First");
    EXPECT_NE(pdf.objects[empty].find("/Title () "), std::string::npos);
    EXPECT_GT(destinationPage(pdf.objects[empty]), 0);
    EXPECT_EQ(qpdfTitles(path), (std::vector<std::string>{"", "", "early"}));
}

TEST_F(OutlineTree, TitlesAreEscapedOrWrittenAsUtf16)
{
    auto path = pdfPath("titles.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    beginPage(doc, 300, 300);
    addBookmark(doc, "a(b)c\\d\r", 0, true);
    addBookmark(doc, "Résumé", 0, true);
    addBookmark(doc, "日本語 😀", 0, true);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    std::string bytes = readFileBytes(path);
    EXPECT_NE(bytes.find("/Title (a\\(b\\)c\\\\d\\r) "), std::string::npos);
    EXPECT_NE(bytes.find(std::string("/Title (\xFE\xFF\x00R\x00\xE9", 12)), std::string::npos);
    EXPECT_EQ(qpdfTitles(path), (std::vector<std::string>{"Résumé", "a(b)c\\\\d\\r", "日本語 😀"}));
}

TEST_F(OutlineTree, ManyBookmarksGrowTheTable)
{
    auto path = pdfPath("many.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    int topLevel = 0;
    for (int page = 0; page < 4; ++page) {
        beginPage(doc, 200, 200);
        for (int i = 0; i < 150; ++i) {
            int parent = i % 3 == 0 ? 0 : doc->bookmarkCount; // chains of three under each top entry
            topLevel += parent == 0;
            addBookmark(doc, ("item " + std::to_string(page) + "." + std::to_string(i)).c_str(), parent, true);
        }
        endPage(doc);
    }
    EXPECT_EQ(doc->bookmarkCount, 600);
    closePdfDocument(doc);
    freePdfDocument(doc);
    EXPECT_TRUE(log.codes.empty());

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    EXPECT_EQ(integerAfter(pdf.objects[outlineRoot(pdf)], "/Count"), topLevel);
    std::vector<std::string> titles = qpdfTitles(path);
    ASSERT_EQ(titles.size(), 600u);
    EXPECT_TRUE(std::binary_search(titles.begin(), titles.end(), "item 3.149"));
    EXPECT_TRUE(std::binary_search(titles.begin(), titles.end(), "item 0.0"));
}
