// File structure of new documents: header, objects, streams, cross-reference table, trailer,
// sinks (file, standard output, memory), failures and the allocation hooks.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/pdf_inspect.h"
#include "writer_internal.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class WriterStructure : public PdfTest {};

// One page with a short diagonal line.
void drawSimplePage(PdfDocument* doc, double w = 612, double h = 792)
{
    beginPage(doc, w, h);
    moveTo(doc, 10, 10);
    lineTo(doc, w - 10, h - 10);
    strokePath(doc);
    endPage(doc);
}

} // namespace

TEST_F(WriterStructure, HeaderObjectsAndCrossReferenceLayout)
{
    auto path = pdfPath("layout.pdf");
    PdfDocument* doc = newPdfDocument();
    ASSERT_EQ(openOutput(doc, path.string()), 1);
    drawSimplePage(doc);
    drawSimplePage(doc);
    ASSERT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);

    std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes.substr(0, 9), "%PDF-1.4 ");
    EXPECT_EQ(bytes.substr(bytes.size() - 7), "%%EOF\r\n");
    // Carriage returns are the line ends; a line feed appears only after the stream keyword and
    // at the very end. Stream bodies are cut out first, since compressed data holds any byte.
    std::string text;
    for (size_t pos = 0;;) {
        size_t body = bytes.find("stream\r\n", pos);
        if (body == std::string::npos) {
            text += bytes.substr(pos);
            break;
        }
        text += bytes.substr(pos, body + 8 - pos);
        pos = bytes.find("\rendstream", body);
    }
    size_t lineFeeds = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    size_t keywords = 0;
    for (size_t k = text.find("stream\r\n"); k != std::string::npos; k = text.find("stream\r\n", k + 1))
        ++keywords;
    EXPECT_EQ(lineFeeds, keywords + 1);

    WrittenPdf pdf = readWrittenPdf(bytes);
    ASSERT_EQ(pdf.error, "");
    EXPECT_EQ(bytes.substr(static_cast<size_t>(pdf.xrefOffset) - 1, 1), "\r");
    EXPECT_EQ(integerAfter(pdf.trailer, "/Size"), pdf.size);
    int root = static_cast<int>(integerAfter(pdf.trailer, "/Root"));
    ASSERT_GT(root, 0);
    EXPECT_NE(pdf.objects[root].find("/Type /Catalog"), std::string::npos);
    int info = static_cast<int>(integerAfter(pdf.trailer, "/Info"));
    EXPECT_NE(pdf.objects[info].find("/Producer (Folvane PDF Writer 1.0.0)"), std::string::npos);
    EXPECT_NE(pdf.trailer.find("/ID [<"), std::string::npos);
}

TEST_F(WriterStructure, DirectStreamKeywordAndIndirectLengths)
{
    auto path = pdfPath("lengths.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    drawSimplePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    int streams = 0;
    for (const auto& [number, text] : pdf.objects) {
        if (text.find(" stream\r\n") == std::string::npos)
            continue;
        ++streams;
        int lengthObject = static_cast<int>(integerAfter(text, "/Length"));
        ASSERT_GT(lengthObject, number) << "the length object follows its stream";
        long length = std::strtol(pdf.objects[lengthObject].c_str() + pdf.objects[lengthObject].find('\r'), nullptr, 10);
        EXPECT_EQ(static_cast<size_t>(length), rawStreamData(text).size());
        EXPECT_NE(streamData(text).find(" m\r"), std::string::npos);
    }
    EXPECT_EQ(streams, 1);
}

TEST_F(WriterStructure, ReservedNumberNeverWrittenBecomesANullObject)
{
    ErrorLog log;
    auto path = pdfPath("placeholder.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    int orphan = reserveObject(doc);
    drawSimplePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    EXPECT_TRUE(log.has(kErrLimit));
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    EXPECT_EQ(pdf.objects[orphan], std::to_string(orphan) + " 0 obj\rnull ");
}

TEST_F(WriterStructure, DocumentWithoutPagesIsReportedButComplete)
{
    ErrorLog log;
    auto path = pdfPath("empty.pdf");
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    EXPECT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);

    EXPECT_TRUE(log.has(kErrState));
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");
    int root = static_cast<int>(integerAfter(pdf.trailer, "/Root"));
    int pages = static_cast<int>(integerAfter(pdf.objects[root], "/Pages"));
    EXPECT_NE(pdf.objects[pages].find("/Type /Pages /Count 0 "), std::string::npos);
    EXPECT_NE(pdf.objects[pages].find("/Kids [] "), std::string::npos);
}

TEST_F(WriterStructure, VersionHeaders)
{
    for (int version : {13, 14, 15}) {
        auto path = pdfPath("v" + std::to_string(version) + ".pdf");
        PdfDocument* doc = newPdfDocument();
        doc->versionCode = version;
        openOutput(doc, path.string());
        drawSimplePage(doc);
        closePdfDocument(doc);
        freePdfDocument(doc);
        std::string bytes = readFileBytes(path);
        EXPECT_EQ(bytes.substr(0, 9), "%PDF-1." + std::to_string(version - 10) + " ");
        EXPECT_EQ(bytes.substr(9, 6), "\r%\xE2\xE3\xCF\r");
    }
}

TEST_F(WriterStructure, StandardOutputIsWrittenAndLeftOpen)
{
    auto path = pdfPath("stdout.pdf");
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    dup2(fd, STDOUT_FILENO);
    close(fd);

    PdfDocument* doc = newPdfDocument();
    int opened = openOutput(doc, "-");
    drawSimplePage(doc);
    int closed = closePdfDocument(doc);
    freePdfDocument(doc);
    bool stillOpen = std::fputs("", stdout) >= 0 && std::fflush(stdout) == 0 && fcntl(STDOUT_FILENO, F_GETFD) != -1;

    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(stillOpen);
    std::string bytes = readFileBytes(path);
    EXPECT_EQ(readWrittenPdf(bytes).error, "");
    // Binary: the high bytes of the header survive unchanged.
    EXPECT_EQ(bytes.substr(9, 6), "\r%\xE2\xE3\xCF\r");
}

TEST_F(WriterStructure, MemoryDocumentKeepsItsBytesAfterClose)
{
    PdfDocument* doc = newPdfDocument();
    ASSERT_EQ(openOutput(doc, ""), 1);
    drawSimplePage(doc);
    closePdfDocument(doc);
    std::string bytes = memoryBytes(doc);
    freePdfDocument(doc);
    EXPECT_EQ(readWrittenPdf(bytes).error, "");
    keepPdfBytes("memory.pdf", bytes);
}

TEST_F(WriterStructure, FailedOpenLeavesTheRecordReusable)
{
    PdfDocument* doc = newPdfDocument();
    EXPECT_EQ(openOutput(doc, (scratchDir() / "missing" / "x.pdf").string()), -1);
    EXPECT_EQ(currentScope(doc), kScopeObject);
    auto path = pdfPath("second.pdf");
    ASSERT_EQ(openOutput(doc, path.string()), 1);
    drawSimplePage(doc);
    EXPECT_EQ(closePdfDocument(doc), 1);
    // And once more on the same record.
    auto again = pdfPath("third.pdf");
    ASSERT_EQ(openOutput(doc, again.string()), 1);
    drawSimplePage(doc, 300, 300);
    EXPECT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);
    EXPECT_EQ(readWrittenPdf(readFileBytes(again)).size, readWrittenPdf(readFileBytes(path)).size);
}

TEST_F(WriterStructure, ShortWriteIsReportedAndCloseFails)
{
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    ASSERT_EQ(openOutput(doc, "/dev/full"), 1);
    for (int i = 0; i < 30; ++i)
        drawSimplePage(doc);
    EXPECT_EQ(closePdfDocument(doc), 0);
    EXPECT_TRUE(log.has(kErrWrite));
    EXPECT_TRUE(doc->writeFailed);
    EXPECT_EQ(writeString(doc, "more"), 0u);
    freePdfDocument(doc);
}

TEST_F(WriterStructure, IdentifiersDifferBetweenDocuments)
{
    auto a = pdfPath("a.pdf");
    auto b = pdfPath("b.pdf");
    for (const auto& p : {a, b}) {
        PdfDocument* doc = newPdfDocument();
        openOutput(doc, p.string());
        drawSimplePage(doc);
        closePdfDocument(doc);
        freePdfDocument(doc);
    }
    auto id = [](const std::string& trailer) {
        size_t k = trailer.find("/ID [<");
        return trailer.substr(k + 6, 32);
    };
    std::string ta = readWrittenPdf(readFileBytes(a)).trailer;
    std::string tb = readWrittenPdf(readFileBytes(b)).trailer;
    EXPECT_NE(id(ta), id(tb));
    // Both elements of one identifier are equal.
    size_t k = ta.find("/ID [<");
    EXPECT_EQ(ta.substr(k + 6, 32), ta.substr(k + 6 + 34, 32));
}

namespace {

struct Counting {
    long live = 0;
    long failAfter = -1; // allocations allowed before the next one fails
};

void* countAllocate(PdfDocument* doc, size_t size, const char*)
{
    Counting* c = doc ? reinterpret_cast<Counting*>(doc->userValue) : nullptr;
    if (c && c->failAfter == 0)
        return nullptr;
    if (c && c->failAfter > 0)
        --c->failAfter;
    if (c)
        ++c->live;
    return std::calloc(1, size);
}

void* countReallocate(PdfDocument*, void* block, size_t size, const char*)
{
    return std::realloc(block, size);
}

void countRelease(PdfDocument* doc, void* block)
{
    if (doc)
        --reinterpret_cast<Counting*>(doc->userValue)->live;
    std::free(block);
}

} // namespace

TEST_F(WriterStructure, AllMemoryGoesThroughTheHooksAndIsReturned)
{
    Counting counting;
    PdfHooks hooks;
    hooks.allocate = countAllocate;
    hooks.reallocate = countReallocate;
    hooks.release = countRelease;
    // The record itself is allocated before it exists, so it is counted apart.
    PdfDocument* doc = newPdfDocument(hooks, reinterpret_cast<intptr_t>(&counting));
    ASSERT_NE(doc, nullptr);
    auto path = pdfPath("hooks.pdf");
    openOutput(doc, path.string());
    for (int i = 0; i < 25; ++i)
        drawSimplePage(doc);
    closePdfDocument(doc);
    EXPECT_EQ(counting.live, 0) << "tables or buffers left after close";
    openOutput(doc, "");
    drawSimplePage(doc);
    closePdfDocument(doc);
    EXPECT_GT(counting.live, 0) << "a memory document keeps its bytes until freed";
    releaseOutputBuffer(doc);
    EXPECT_EQ(counting.live, 0);
    freePdfDocument(doc);
}

TEST(WriterRecordAllocation, FailedRecordAllocationReportsCodeOne)
{
    static int reported = 0;
    PdfHooks hooks;
    hooks.error = [](PdfDocument*, int code, const char*) { reported = code; };
    hooks.allocate = [](PdfDocument*, size_t, const char*) -> void* { return nullptr; };
    hooks.reallocate = countReallocate;
    hooks.release = [](PdfDocument*, void* block) { std::free(block); };
    EXPECT_EQ(newPdfDocument(hooks, 0), nullptr);
    EXPECT_EQ(reported, kErrAllocation);
}

TEST_F(WriterStructure, LargeCompressedAndUncompressedContentGrowsTheBuffer)
{
    for (int level : {0, 9}) {
        auto path = pdfPath("large" + std::to_string(level) + ".pdf");
        PdfDocument* doc = newPdfDocument();
        doc->compressionLevel = level;
        openOutput(doc, path.string());
        beginPage(doc, 612, 792);
        for (int i = 0; i < 40000; ++i) {
            moveTo(doc, i % 600, (i * 7) % 780);
            lineTo(doc, (i * 13) % 600, (i * 3) % 780);
            strokePath(doc);
        }
        endPage(doc);
        EXPECT_EQ(closePdfDocument(doc), 1);
        freePdfDocument(doc);
        WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
        ASSERT_EQ(pdf.error, "");
        for (const auto& [n, text] : pdf.objects) {
            if (text.find("stream\r\n") == std::string::npos)
                continue;
            std::string content = streamData(text);
            EXPECT_EQ(std::count(content.begin(), content.end(), 'S'), 40000);
        }
    }
}

TEST_F(WriterStructure, FlushModesKeepTheBufferSmall)
{
    auto path = pdfPath("flush.pdf");
    PdfDocument* doc = newPdfDocument();
    doc->outputFlags = kFlushWhenFull;
    doc->compressionLevel = 0;
    openOutput(doc, path.string());
    beginPage(doc, 612, 792);
    for (int i = 0; i < 20000; ++i) {
        moveTo(doc, 1, 2);
        lineTo(doc, 3, 4);
        strokePath(doc);
    }
    // An uncompressed stream can be flushed while it is written: the block never grew.
    EXPECT_EQ(doc->out.end - doc->out.start, 65536);
    endPage(doc);
    EXPECT_GT(doc->out.flushed, 65536);
    closePdfDocument(doc);
    freePdfDocument(doc);
}
