// Pages, page boxes, rotation, content streams, graphics operators and the page tree.
#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class WriterPages : public PdfTest {
protected:
    // Writes `pages` empty pages to a file and reads the result back.
    WrittenPdf writePages(const std::string& name, int pages)
    {
        auto path = pdfPath(name);
        PdfDocument* doc = newPdfDocument();
        openOutput(doc, path.string());
        for (int i = 0; i < pages; ++i) {
            beginPage(doc, 200, 200);
            endPage(doc);
        }
        closePdfDocument(doc);
        freePdfDocument(doc);
        return readWrittenPdf(readFileBytes(path));
    }
};

int pageTreeRoot(WrittenPdf& pdf)
{
    int catalog = static_cast<int>(integerAfter(pdf.trailer, "/Root"));
    return static_cast<int>(integerAfter(pdf.objects[catalog], "/Pages"));
}

// Counts the leaves below node and checks every node's count, parents and kid counts.
int checkTree(WrittenPdf& pdf, int node, int parent, int* pageTotal)
{
    const std::string& text = pdf.objects[node];
    EXPECT_NE(text.find("/Type /Pages"), std::string::npos) << node;
    if (parent)
        EXPECT_EQ(integerAfter(text, "/Parent"), parent) << node;
    else
        EXPECT_EQ(text.find("/Parent"), std::string::npos) << "root has no parent";
    std::vector<int> kids = referencesIn(text, "/Kids");
    EXPECT_LE(kids.size(), 10u);
    int count = 0;
    for (int kid : kids) {
        if (pdf.objects[kid].find("/Type /Pages") != std::string::npos) {
            count += checkTree(pdf, kid, node, pageTotal);
        } else {
            EXPECT_NE(pdf.objects[kid].find("/Type /Page "), std::string::npos);
            EXPECT_EQ(integerAfter(pdf.objects[kid], "/Parent"), node);
            ++count;
            ++*pageTotal;
        }
    }
    EXPECT_EQ(integerAfter(text, "/Count"), count) << node;
    return count;
}

std::vector<size_t> kidCounts(WrittenPdf& pdf, int node)
{
    std::vector<size_t> counts;
    for (int kid : referencesIn(pdf.objects[node], "/Kids"))
        counts.push_back(static_cast<size_t>(integerAfter(pdf.objects[kid], "/Count")));
    return counts;
}

// Content of the only page of an uncompressed one-page document.
template <typename F>
std::string pageContent(F draw, ErrorLog* log = nullptr)
{
    ErrorLog local;
    PdfDocument* doc = makeDocument(log ? log : &local);
    doc->compressionLevel = 0;
    openOutput(doc, "");
    beginPage(doc, 100, 100);
    draw(doc);
    endPage(doc);
    closePdfDocument(doc);
    WrittenPdf pdf = readWrittenPdf(memoryBytes(doc));
    freePdfDocument(doc);
    std::string content;
    for (auto& [n, text] : pdf.objects)
        if (text.find("stream\r\n") != std::string::npos)
            content += rawStreamData(text);
    return content;
}

} // namespace

TEST_F(WriterPages, PageTreeShapes)
{
    struct Case {
        int pages;
        std::vector<size_t> rootKids; // counts of the root's kids; empty when the root is a leaf
    } cases[] = {
        {1, {}},
        {10, {}},
        {11, {10, 1}},
        {25, {10, 10, 5}},
        {100, std::vector<size_t>(10, 10)},
        {101, {100, 1}},
        {1234, {1000, 234}},
    };
    for (const auto& c : cases) {
        WrittenPdf pdf = writePages("tree" + std::to_string(c.pages) + ".pdf", c.pages);
        ASSERT_EQ(pdf.error, "") << c.pages;
        int root = pageTreeRoot(pdf);
        int total = 0;
        EXPECT_EQ(checkTree(pdf, root, 0, &total), c.pages);
        EXPECT_EQ(total, c.pages);
        if (c.rootKids.empty())
            EXPECT_EQ(referencesIn(pdf.objects[root], "/Kids").size(), static_cast<size_t>(c.pages));
        else
            EXPECT_EQ(kidCounts(pdf, root), c.rootKids) << c.pages << " pages";
    }
}

TEST_F(WriterPages, PagesAppearInTheOrderTheyWereBegun)
{
    auto path = pdfPath("order.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    for (int i = 1; i <= 23; ++i) {
        beginPage(doc, 100 + i, 100);
        endPage(doc);
    }
    closePdfDocument(doc);
    freePdfDocument(doc);
    CommandResult r = runCommand("qpdf --show-pages " + shellQuote(path.string()) + " | grep -c '^page'");
    EXPECT_EQ(r.output, "23\n");
    // The width of each page tells its position.
    for (int i : {1, 11, 23}) {
        CommandResult info = runCommand("pdfinfo -f " + std::to_string(i) + " -l " + std::to_string(i) + " " +
                                        shellQuote(path.string()) + " | grep 'size'");
        EXPECT_NE(info.output.find(std::to_string(100 + i) + " x 100"), std::string::npos) << info.output;
    }
}

TEST_F(WriterPages, PageObjectCarriesBoxesRotationAndDuration)
{
    ErrorLog log;
    auto path = pdfPath("boxes.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    setRotation(doc, 90);
    beginPage(doc, 612, 792);
    setNumericParameter(doc, "cropbox.llx", 10);
    setNumericParameter(doc, "cropbox.lly", 20);
    setNumericParameter(doc, "cropbox.urx", 600.5);
    setNumericParameter(doc, "cropbox.ury", 780);
    setNumericParameter(doc, "artbox.llx", 50);
    setNumericParameter(doc, "artbox.lly", 50);
    setNumericParameter(doc, "artbox.urx", 40); // not to the right of llx
    setNumericParameter(doc, "artbox.ury", 60);
    setNumericParameter(doc, "duration", 2.5);
    endPage(doc);
    setRotation(doc, 45); // means none
    beginPage(doc, 612, 792);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    EXPECT_TRUE(log.has(kErrArgument)); // the inverted art box
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    std::vector<std::string> pages;
    for (auto& [n, text] : pdf.objects)
        if (text.find("/Type /Page ") != std::string::npos)
            pages.push_back(text);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NE(pages[0].find("/MediaBox [0 0 612 792] "), std::string::npos);
    EXPECT_NE(pages[0].find("/Rotate 90 "), std::string::npos);
    EXPECT_NE(pages[0].find("/CropBox [10 20 600.5 780] "), std::string::npos);
    EXPECT_NE(pages[0].find("/ArtBox [50 50 40 60] "), std::string::npos);
    EXPECT_EQ(pages[0].find("/BleedBox"), std::string::npos);
    EXPECT_NE(pages[0].find("/Dur 2.5 "), std::string::npos);
    EXPECT_EQ(pages[1].find("/Rotate"), std::string::npos);
    EXPECT_EQ(pages[1].find("/CropBox"), std::string::npos) << "boxes are cleared when a page begins";
}

TEST_F(WriterPages, PageSizeLimitsAreReportedButPagesStillWritten)
{
    ErrorLog log;
    auto path = pdfPath("limits.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    beginPage(doc, 2, 2);
    endPage(doc);
    EXPECT_TRUE(log.has(kErrLimit));
    log.codes.clear();
    beginPage(doc, 20000, 100);
    endPage(doc);
    EXPECT_TRUE(log.has(kErrLimit));
    closePdfDocument(doc);
    freePdfDocument(doc);
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    int root = pageTreeRoot(pdf);
    EXPECT_EQ(integerAfter(pdf.objects[root], "/Count"), 2);
}

TEST_F(WriterPages, CompressionChangeInsidePageSplitsTheContent)
{
    auto path = pdfPath("split.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    beginPage(doc, 100, 100);
    moveTo(doc, 1, 1);
    lineTo(doc, 50, 50);
    strokePath(doc);
    setNumericParameter(doc, "compression", 0);
    moveTo(doc, 2, 2);
    lineTo(doc, 60, 60);
    strokePath(doc);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    std::string page;
    for (auto& [n, text] : pdf.objects)
        if (text.find("/Type /Page ") != std::string::npos)
            page = text;
    std::vector<int> contents = referencesIn(page, "/Contents");
    ASSERT_EQ(contents.size(), 2u);
    EXPECT_LT(contents[0], contents[1]);
    EXPECT_NE(pdf.objects[contents[0]].find("/FlateDecode"), std::string::npos);
    EXPECT_EQ(pdf.objects[contents[1]].find("/FlateDecode"), std::string::npos);
    EXPECT_EQ(streamData(pdf.objects[contents[0]]), "1 1 m\r50 50 l\rS\r");
    EXPECT_EQ(streamData(pdf.objects[contents[1]]), "2 2 m\r60 60 l\rS\r");
    ASSERT_TRUE(haveTool("pdftoppm"));
    EXPECT_EQ(runCommand("pdftoppm -r 10 " + shellQuote(path.string()) + " >/dev/null").exitCode, 0);
}

TEST_F(WriterPages, NoOpOperatorsWriteNothing)
{
    std::string content = pageContent([](PdfDocument* doc) {
        translate(doc, 0, 0);
        scale(doc, 1, 1);
        rotate(doc, 0);
        concatMatrix(doc, 1, 0, 0, 1, 0, 0);
        setLineWidth(doc, 1);    // the default
        setLineWidth(doc, -2);   // invalid
        setLineCap(doc, 0);
        setLineCap(doc, 3);      // out of range
        setLineJoin(doc, 0);
        setMiterLimit(doc, 10);
        setMiterLimit(doc, 0.5); // below 1
        setFlatness(doc, 101);
        setDash(doc, 0, 0);      // already solid
        setDash(doc, -1, 2);
    });
    EXPECT_EQ(content, "");
}

TEST_F(WriterPages, StateOperatorsAreWrittenOnlyWhenTheyChangeSomething)
{
    std::string content = pageContent([](PdfDocument* doc) {
        setLineWidth(doc, 2);
        setLineWidth(doc, 2);
        setLineCap(doc, 1);
        setLineCap(doc, 1);
        setLineJoin(doc, 2);
        setMiterLimit(doc, 4);
        setFlatness(doc, 0.5);
        setDash(doc, 3, 2);
        setDash(doc, 0, 0);
        translate(doc, 10, 0);
        scale(doc, 2, 0.5);
        rotate(doc, 90);
    });
    EXPECT_EQ(content, "2 w\r1 J\r2 j\r4 M\r0.5 i\r[3 2] 0 d\r[] 0 d\r1 0 0 1 10 0 cm\r2 0 0 0.5 0 0 cm\r"
                       "0 1 -1 0 0 0 cm\r");
}

TEST_F(WriterPages, SaveRestoreLimitsAndStateCopies)
{
    ErrorLog log;
    std::string content = pageContent(
        [](PdfDocument* doc) {
            setLineWidth(doc, 3);
            saveState(doc);
            setLineWidth(doc, 5);
            restoreState(doc);
            setLineWidth(doc, 3); // restored: nothing to write
            restoreState(doc);    // without save: reported, nothing written
        },
        &log);
    EXPECT_EQ(content, "3 w\rq\r5 w\rQ\r");
    EXPECT_TRUE(log.has(kErrState));

    ErrorLog deep;
    content = pageContent(
        [](PdfDocument* doc) {
            for (int i = 0; i < 10; ++i)
                saveState(doc);
        },
        &deep);
    EXPECT_EQ(content, "q\rq\rq\rq\rq\rq\rq\rq\rq\r") << "nine levels at most";
    EXPECT_GE(std::count(deep.codes.begin(), deep.codes.end(), kErrState), 2) << "tenth save and the unbalanced page";
}

TEST_F(WriterPages, ScaleByZeroIsRefused)
{
    ErrorLog log;
    std::string content = pageContent([](PdfDocument* doc) { scale(doc, 0, 2); }, &log);
    EXPECT_EQ(content, "");
    EXPECT_TRUE(log.has(kErrArgument));
}

TEST_F(WriterPages, ResetGraphicsStateReturnsToDefaults)
{
    std::string content = pageContent([](PdfDocument* doc) {
        setLineWidth(doc, 4);
        setLineCap(doc, 2);
        setDash(doc, 1, 1);
        resetGraphicsState(doc);
        resetGraphicsState(doc); // nothing left to reset
    });
    EXPECT_EQ(content, "4 w\r2 J\r[1 1] 0 d\r1 w\r0 J\r[] 0 d\r");
}

TEST_F(WriterPages, PathOperatorsOutsidePathScopeAreReportedButWritten)
{
    ErrorLog log;
    std::string content = pageContent(
        [](PdfDocument* doc) {
            lineTo(doc, 5, 5);
            moveTo(doc, 1, 2);
            lineTo(doc, 3, 4.25);
            strokePath(doc);
        },
        &log);
    EXPECT_EQ(content, "5 5 l\r1 2 m\r3 4.25 l\rS\r");
    EXPECT_TRUE(log.has(kErrState));
}

TEST_F(WriterPages, PageLeftOpenAtCloseIsEnded)
{
    ErrorLog log;
    auto path = pdfPath("open-page.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    beginPage(doc, 300, 300);
    moveTo(doc, 0, 0);
    lineTo(doc, 300, 300);
    EXPECT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);
    EXPECT_TRUE(log.has(kErrState));
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    EXPECT_EQ(integerAfter(pdf.objects[pageTreeRoot(pdf)], "/Count"), 1);
}

// A page begun inside another is refused: every page that is counted reaches the page tree.
TEST_F(WriterPages, PageBegunInsideAPageIsRefused)
{
    ErrorLog log;
    auto path = pdfPath("nested-pages.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    for (int i = 0; i < 25; ++i)
        beginPage(doc, 300, 300);
    endPage(doc);
    beginPage(doc, 200, 200);
    EXPECT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);
    EXPECT_TRUE(log.has(kErrState));
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    EXPECT_EQ(integerAfter(pdf.objects[pageTreeRoot(pdf)], "/Count"), 2);
}

TEST_F(WriterPages, MultiPageFileRenders)
{
    auto path = pdfPath("render.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    for (int i = 0; i < 3; ++i) {
        beginPage(doc, 144, 144);
        setLineWidth(doc, 20);
        moveTo(doc, 0, 72);
        lineTo(doc, 144, 72);
        strokePath(doc);
        endPage(doc);
    }
    closePdfDocument(doc);
    freePdfDocument(doc);
    auto prefix = scratchDir() / "page";
    ASSERT_EQ(runCommand("pdftoppm -r 72 -gray " + shellQuote(path.string()) + " " + shellQuote(prefix.string()))
                  .exitCode,
              0);
    for (int i = 1; i <= 3; ++i) {
        std::string pgm = readFileBytes(prefix.string() + "-" + std::to_string(i) + ".pgm");
        ASSERT_GT(pgm.size(), 144u * 144u);
        std::string pixels = pgm.substr(pgm.size() - 144 * 144);
        EXPECT_EQ(static_cast<unsigned char>(pixels[72 * 144 + 72]), 0) << "the thick line crosses the middle";
        EXPECT_EQ(static_cast<unsigned char>(pixels[10 * 144 + 72]), 255) << "white above it";
    }
}
