// Untrusted input: hundreds of mutated and truncated PDF files go through the reader (meant to
// run under the sanitizer build too). Every read must end with 0 or 1, quickly, and a read that
// succeeds must describe objects that lie inside the file. Hostile structures (deep trees, long
// update chains, absurd counts) stay bounded.
#include <chrono>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/pdf_inspect.h"
#include "pdf/reader.h"
#include "pdf/reader_fixtures.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class ReaderMutation : public PdfTest {};

using Clock = std::chrono::steady_clock;

std::string ownWriterBytes()
{
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, "");
    for (int i = 0; i < 3; ++i) {
        beginPage(doc, 200, 300);
        moveTo(doc, 1, 2);
        lineTo(doc, 100, 200);
        strokePath(doc);
        endPage(doc);
    }
    closePdfDocument(doc);
    std::string bytes = memoryBytes(doc);
    freePdfDocument(doc);
    return bytes;
}

std::string updatedHandBytes()
{
    HandPdf pdf;
    addFlatPages(pdf, 2);
    pdf.add(5, "<< /Title (t\\351\\(x\\)) /Author <48656C6C6F> /Trapped /False >>");
    int64_t base = pdf.finishSection("/Size 6 /Root 1 0 R /Info 5 0 R /ID [(ab\\)c)(def)]");
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R 6 0 R 4 0 R] /Count 3 >>");
    pdf.add(6, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R] /Count 1 >>");
    pdf.add(7, "<< /Type /Page /Parent 6 0 R >>");
    pdf.finishSection("/Size 8 /Root 1 0 R /Prev " + std::to_string(base) + " /ID [(ab\\)c)(ghi)]");
    return pdf.bytes();
}

// What a successful read promises: objects inside the file, pages in the tables, a count that
// does not exceed the pages found.
void expectConsistent(const ExistingPdf& e, const std::string& what)
{
    ASSERT_GE(e.highestNumber, 1) << what;
    ASSERT_EQ(e.offsets.size(), static_cast<size_t>(e.highestNumber) + 1) << what;
    EXPECT_LE(e.pageCount, static_cast<int>(e.pages.size())) << what;
    EXPECT_EQ(e.pages.size(), e.pageTexts.size()) << what;
    for (size_t i = 0; i < e.pages.size(); ++i) {
        int n = e.pages[i];
        ASSERT_TRUE(n >= 1 && n <= e.highestNumber) << what;
        int64_t at = e.offsets[static_cast<size_t>(n)];
        EXPECT_TRUE(at >= 0 && at < e.fileSize) << what;
        EXPECT_EQ(e.pageTexts[i].rfind(std::to_string(n) + " ", 0), 0u) << what;
    }
    EXPECT_TRUE(e.catalogNumber >= 1 && e.catalogNumber <= e.highestNumber) << what;
    EXPECT_GE(e.previousXref, 0) << what;
    if (e.encryption.encrypted) {
        EXPECT_TRUE(e.encryption.keyLength >= 5 && e.encryption.keyLength <= 16) << what;
    }
}

struct Tally {
    int accepted = 0;
    int refused = 0;
    double slowest = 0;
};

void readMutant(const std::string& bytes, const std::string& what, Tally& tally)
{
    auto start = Clock::now();
    ReadOutcome read = readPdfBytes(bytes);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    tally.slowest = std::max(tally.slowest, seconds);
    EXPECT_LT(seconds, 5.0) << what;
    ASSERT_TRUE(read.result == 0 || read.result == 1) << what;
    if (read.result == 1) {
        ++tally.accepted;
        expectConsistent(read.existing, what);
    } else {
        ++tally.refused;
    }
}

// Replacement texts aimed at the reader's numbers and delimiters.
const char* const kInteresting[] = {
    "0",          "-1",       "4294967295", "99999999999999999999999", "8388607", "2147483648",
    "(",          ")",        "<<",         ">>",                      "[",       "]",
    "/",          "\\",       "R",          " ",                       "\r",      "endobj",
    "trailer",    "xref",     "startxref",  "/Prev 0",                 "/Kids",   "/Count",
    "obj",        "<",        ">",          "%",                       "1 0 R",   "/Encrypt 1 0 R",
};

std::string mutate(const std::string& seed, std::mt19937& rng, std::string* what)
{
    std::string bytes = seed;
    auto pick = [&](size_t limit) { return std::uniform_int_distribution<size_t>(0, limit - 1)(rng); };
    // Half of the mutations aim at the last 1.5 KB, where the table and the trailer are.
    auto position = [&]() {
        size_t tail = std::min<size_t>(bytes.size(), 1536);
        return pick(2) ? bytes.size() - tail + pick(tail) : pick(bytes.size());
    };
    switch (pick(5)) {
    case 0: {
        size_t cut = position();
        *what = "truncated at " + std::to_string(cut);
        bytes.resize(cut);
        break;
    }
    case 1: {
        size_t count = 1 + pick(8);
        *what = "bytes changed:";
        for (size_t i = 0; i < count && !bytes.empty(); ++i) {
            size_t at = position();
            bytes[at] = static_cast<char>(pick(256));
            *what += " " + std::to_string(at);
        }
        break;
    }
    case 2: {
        // A run of digits replaced by an interesting text.
        size_t at = position();
        while (at < bytes.size() && !std::isdigit(static_cast<unsigned char>(bytes[at])))
            ++at;
        size_t end = at;
        while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end])))
            ++end;
        std::string text = kInteresting[pick(std::size(kInteresting))];
        *what = "number at " + std::to_string(at) + " -> " + text;
        bytes.replace(std::min(at, bytes.size()), end - std::min(at, bytes.size()), text);
        break;
    }
    case 3: {
        size_t at = position();
        std::string text = kInteresting[pick(std::size(kInteresting))];
        *what = "inserted at " + std::to_string(at) + ": " + text;
        bytes.insert(at, text);
        break;
    }
    default: {
        size_t at = position();
        size_t length = std::min(bytes.size() - at, 1 + pick(64));
        bool duplicate = pick(2);
        *what = (duplicate ? "duplicated " : "deleted ") + std::to_string(length) + " at " + std::to_string(at);
        if (duplicate)
            bytes.insert(at, bytes.substr(at, length));
        else
            bytes.erase(at, length);
        break;
    }
    }
    return bytes;
}

} // namespace

TEST_F(ReaderMutation, MutatedAndTruncatedFilesNeverCrashOrHang)
{
    std::vector<std::pair<std::string, std::string>> seeds = {
        {"own writer", ownWriterBytes()},
        {"hand, updated", updatedHandBytes()},
    };
    auto source = keepPdfBytes("source.pdf", updatedHandBytes());
    if (haveTool("qpdf"))
        seeds.emplace_back("qpdf rc4", commandOutput("qpdf --allow-weak-crypto --encrypt '' owner 128 "
                                                     "--use-aes=n -- " + shellQuote(source.string()) + " -"));
    if (haveTool("mutool")) {
        auto path = pdfPath("mutool.pdf"); // mutool needs a file it can seek in
        runCommand("mutool clean -E rc4-40 -U u " + shellQuote(source.string()) + " " + shellQuote(path.string()));
        seeds.emplace_back("mutool rc4", readFileBytes(path));
    }
    if (haveTool("gs"))
        seeds.emplace_back("ghostscript", commandOutput("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite "
                                                        "-dCompatibilityLevel=1.4 -sOutputFile=- -c showpage"));
    ASSERT_EQ(seeds.size(), 5u);

    std::mt19937 rng(20240611);
    Tally tally;
    for (const auto& [name, seed] : seeds) {
        ReadOutcome original = readPdfBytes(seed);
        ASSERT_EQ(original.result, 1) << name;
        // Every truncation of the last 300 bytes, then random mutations.
        for (size_t cut = 1; cut <= 300; cut += 3)
            readMutant(seed.substr(0, seed.size() - cut), name + ": cut " + std::to_string(cut), tally);
        for (int i = 0; i < 200; ++i) {
            std::string what;
            std::string bytes = mutate(seed, rng, &what);
            readMutant(bytes, name + ": " + what, tally);
        }
    }
    // Both outcomes occur, so the mutations reach the structure without destroying every file.
    EXPECT_GT(tally.accepted, 50);
    EXPECT_GT(tally.refused, 200);
    RecordProperty("slowest_read_ms", static_cast<int>(tally.slowest * 1000));
    RecordProperty("accepted", tally.accepted);
    RecordProperty("refused", tally.refused);
}

TEST_F(ReaderMutation, HostileStructuresStayBounded)
{
    // A page tree 3000 levels deep is walked without recursion.
    {
        const int depth = 3000;
        HandPdf pdf;
        pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        for (int n = 2; n < 2 + depth; ++n)
            pdf.add(n, "<< /Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R] /Count 1 >>");
        pdf.add(2 + depth, "<< /Type /Page /Parent " + std::to_string(1 + depth) + " 0 R >>");
        pdf.finishSection("/Size " + std::to_string(3 + depth) + " /Root 1 0 R");
        ReadOutcome read = readPdfBytes(pdf.bytes());
        ASSERT_EQ(read.result, 1);
        EXPECT_EQ(read.existing.pages, std::vector<int>{2 + depth});
    }
    // 2000 incremental updates: every section is read once.
    {
        HandPdf pdf;
        addFlatPages(pdf, 1);
        int64_t prev = pdf.finishSection("/Size 4 /Root 1 0 R");
        for (int i = 0; i < 2000; ++i) {
            pdf.add(3, "<< /Type /Page /Parent 2 0 R /Rotate " + std::to_string(90 * (i % 4)) + " >>");
            prev = pdf.finishSection("/Size 4 /Root 1 0 R /Prev " + std::to_string(prev));
        }
        auto start = Clock::now();
        ReadOutcome read = readPdfBytes(pdf.bytes());
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0);
        ASSERT_EQ(read.result, 1);
        EXPECT_EQ(read.existing.offsets[3], pdf.offsetOf(3));
        EXPECT_EQ(read.existing.previousXref, prev);
    }
    // Counts and numbers far beyond what the file could hold are refused before any table grows.
    for (const char* table : {"0 8388607\n", "8388000 5\n", "0 99999999999\n", "2147483647 2\n"}) {
        std::string bytes = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 1 0 R >>\nendobj\n";
        size_t xref = bytes.size();
        bytes += "xref\n" + std::string(table) + "0000000000 65535 f\r\n0000000009 00000 n\r\n" +
                 "trailer\n<< /Size 2 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        auto start = Clock::now();
        EXPECT_EQ(readPdfBytes(bytes).result, 0) << table;
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0) << table;
    }
}
