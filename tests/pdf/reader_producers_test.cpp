// Files written by this system's writer and by other producers (qpdf rewrites, Ghostscript's
// pdfwrite, qpdf's and mutool's RC4 encryption) are read as qpdf reads them: the same page
// objects in the same order, the same object offsets, the same file key.
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "pdf/document.h"
#include "pdf/reader.h"
#include "pdf/reader_fixtures.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class ReaderProducers : public PdfTest {};

void writeOwnPdf(const std::filesystem::path& path, int versionCode, int pages)
{
    PdfDocument* doc = newPdfDocument();
    doc->versionCode = versionCode;
    ASSERT_EQ(openOutput(doc, path.string()), 1);
    for (int i = 0; i < pages; ++i) {
        beginPage(doc, 300 + i, 400);
        moveTo(doc, 10, 10);
        lineTo(doc, 100 + i, 200);
        strokePath(doc);
        endPage(doc);
    }
    ASSERT_EQ(closePdfDocument(doc), 1);
    freePdfDocument(doc);
}

// Three pages drawn by Ghostscript's pdfwrite at the given compatibility level.
void writeGhostscriptPdf(const std::filesystem::path& path, const std::string& level)
{
    std::string program = "/Helvetica findfont 20 scalefont setfont "
                          "1 1 3 { 100 100 moveto (Page ) show 3 string cvs show showpage } for";
    CommandResult r = runCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dCompatibilityLevel=" + level +
                                 " -sOutputFile=" + shellQuote(path.string()) + " -c " + shellQuote(program));
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

// A small file whose information values are a plain text and a UTF-16 text.
std::string sourceWithInformation()
{
    HandPdf pdf;
    addFlatPages(pdf, 3);
    pdf.add(6, "<< /Title (Secret title) /Author <FEFF00C9> /Producer (hand) >>");
    pdf.finishSection("/Size 7 /Root 1 0 R /Info 6 0 R /ID [<00112233445566778899AABBCCDDEEFF>"
                      "<00112233445566778899AABBCCDDEEFF>]");
    return pdf.bytes();
}

void expectReadAsQpdfReads(const std::filesystem::path& path, const ReadOutcome& read)
{
    ASSERT_EQ(read.result, 1) << path;
    std::vector<int> pages = qpdfPages(path);
    ASSERT_FALSE(pages.empty()) << path;
    EXPECT_EQ(read.existing.pages, pages) << path;
    EXPECT_EQ(read.existing.pageCount, static_cast<int>(pages.size())) << path;
    std::map<int, int64_t> offsets = qpdfOffsets(path);
    ASSERT_FALSE(offsets.empty()) << path;
    for (const auto& [number, offset] : offsets) {
        ASSERT_LE(number, read.existing.highestNumber) << path;
        EXPECT_EQ(read.existing.offsets[static_cast<size_t>(number)] - read.existing.offsetBase, offset)
            << path << " object " << number;
    }
}

bool haveTools()
{
    return haveTool("qpdf") && haveTool("gs") && haveTool("mutool");
}

} // namespace

TEST_F(ReaderProducers, OwnWriterFilesAtEveryVersion)
{
    for (int version : {13, 14, 15}) {
        auto path = pdfPath("own-" + std::to_string(version) + ".pdf");
        writeOwnPdf(path, version, 4);
        int headerOffset = -1;
        EXPECT_EQ(checkAppendHeader(path.string(), &headerOffset), 1) << version;
        EXPECT_EQ(headerOffset, 0);
        ReadOutcome read = readPdfFile(path);
        expectReadAsQpdfReads(path, read);
        EXPECT_EQ(read.existing.id[0].present, true);
        EXPECT_EQ(read.existing.id[0].literal, false);
        EXPECT_EQ(read.existing.id[0].bytes.size(), 16u);
        EXPECT_NE(read.existing.info[kExistingProducer].bytes.find("Folvane"), std::string::npos);

        // The same through a stream opened for reading and appending, as an update opens it.
        std::string before = readFileBytes(path);
        PdfDocument* doc = newPdfDocument();
        FILE* file = std::fopen(path.c_str(), "a+b");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(readPdfStructure(doc, file), 1);
        EXPECT_EQ(doc->existing.pages, read.existing.pages);
        std::fclose(file);
        freePdfDocument(doc);
        EXPECT_EQ(readFileBytes(path), before);
    }
}

TEST_F(ReaderProducers, QpdfRewritesWithClassicTables)
{
    ASSERT_TRUE(haveTools());
    auto own = pdfPath("own.pdf");
    writeOwnPdf(own, 15, 3);
    auto gs = pdfPath("gs.pdf");
    writeGhostscriptPdf(gs, "1.4");
    for (const auto& source : {own, gs}) {
        auto rewritten = pdfPath("qpdf-" + source.filename().string());
        CommandResult r = runCommand("qpdf --force-version=1.4 --object-streams=disable " +
                                     shellQuote(source.string()) + " " + shellQuote(rewritten.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(checkAppendHeader(rewritten.string(), nullptr), 1);
        expectReadAsQpdfReads(rewritten, readPdfFile(rewritten));
    }
    // With object streams the file has a cross-reference stream instead of a table, and the
    // catalog and page tree live in object streams: read all the same.
    std::string streams = commandOutput("qpdf --force-version=1.5 --object-streams=generate " +
                                        shellQuote(own.string()) + " -");
    ASSERT_NE(streams.find("/XRef"), std::string::npos);
    auto streamsPath = keepPdfBytes("qpdf-streams.pdf", streams);
    ReadOutcome read = readPdfFile(streamsPath);
    expectReadAsQpdfReads(streamsPath, read);
    EXPECT_TRUE(read.existing.newestIsStream);
    EXPECT_FALSE(read.existing.compressed.empty());
}

TEST_F(ReaderProducers, GhostscriptFilesAtVersions13And14)
{
    ASSERT_TRUE(haveTools());
    for (const std::string level : {"1.3", "1.4"}) {
        auto path = pdfPath("gs-" + level + ".pdf");
        writeGhostscriptPdf(path, level);
        EXPECT_EQ(checkAppendHeader(path.string(), nullptr), 1) << level;
        ReadOutcome read = readPdfFile(path);
        expectReadAsQpdfReads(path, read);
        EXPECT_EQ(read.existing.pages.size(), 3u);
        EXPECT_EQ(read.existing.info[kExistingProducer].bytes.rfind("GPL Ghostscript", 0), 0u) << level;
        EXPECT_TRUE(read.existing.info[kExistingCreationDate].present);
    }
}

TEST_F(ReaderProducers, OtherProducersNewerVersionsAreReadForAppending)
{
    ASSERT_TRUE(haveTools());
    for (const char* level : {"1.5", "1.7", "2.0"}) {
        auto gs = pdfPath(std::string("gs-") + level + ".pdf");
        writeGhostscriptPdf(gs, level);
        EXPECT_EQ(checkAppendHeader(gs.string(), nullptr), 1) << level;
        expectReadAsQpdfReads(gs, readPdfFile(gs));
    }
    auto own = pdfPath("own.pdf");
    writeOwnPdf(own, 14, 1);
    for (const char* version : {"1.5", "1.6", "1.7"}) {
        auto forced = pdfPath(std::string("forced-") + version + ".pdf");
        CommandResult r = runCommand(std::string("qpdf --object-streams=disable --force-version=") + version + " " +
                                     shellQuote(own.string()) + " " + shellQuote(forced.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(checkAppendHeader(forced.string(), nullptr), 1) << version;
        expectReadAsQpdfReads(forced, readPdfFile(forced));
    }
}

TEST_F(ReaderProducers, Rc4FilesWithEmptyUserPasswordOpen)
{
    ASSERT_TRUE(haveTools());
    auto source = keepPdfBytes("source.pdf", sourceWithInformation());
    struct Case {
        const char* bits;
        int revision;
        int keyLength;
    };
    for (const Case& c : {Case{"40", 2, 5}, Case{"128", 3, 16}}) {
        auto path = pdfPath(std::string("rc4-") + c.bits + ".pdf");
        CommandResult r = runCommand(std::string("qpdf --allow-weak-crypto --encrypt '' owner ") + c.bits +
                                     (c.revision == 3 ? " --use-aes=n" : "") + " -- " + shellQuote(source.string()) +
                                     " " + shellQuote(path.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ReadOutcome read = readPdfFile(path);
        expectReadAsQpdfReads(path, read);
        const ExistingEncryption& e = read.existing.encryption;
        EXPECT_TRUE(e.encrypted) << c.bits;
        EXPECT_FALSE(e.openedAsOwner);
        EXPECT_EQ(e.revision, c.revision);
        EXPECT_EQ(e.keyLength, c.keyLength);
        EXPECT_EQ(e.permissions, -4);
        EXPECT_EQ(hexOf(e.fileKey, static_cast<size_t>(e.keyLength)), qpdfEncryptionKey(path)) << c.bits;
        EXPECT_EQ(e.firstId, read.existing.id[0].bytes);
        EXPECT_NE(read.existing.encryptNumber, 0); // qpdf writes the dictionary as an object
        EXPECT_EQ(read.existing.info[kExistingTitle].bytes, "Secret title");
        EXPECT_EQ(read.existing.info[kExistingAuthor].bytes, std::string("\xFE\xFF\x00\xC9", 4));
    }
}

// mutool encrypts with a user password and an empty owner password: the empty owner password
// opens the file and yields the user password, and with it the file key.
TEST_F(ReaderProducers, Rc4FilesWithEmptyOwnerPasswordOpenAsOwner)
{
    ASSERT_TRUE(haveTools());
    auto source = keepPdfBytes("source.pdf", sourceWithInformation());
    for (const char* method : {"rc4-40", "rc4-128"}) {
        auto path = pdfPath(std::string("owner-") + method + ".pdf");
        CommandResult r = runCommand(std::string("mutool clean -E ") + method + " -U secret " +
                                     shellQuote(source.string()) + " " + shellQuote(path.string()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_EQ(checkAppendHeader(path.string(), nullptr), 1);
        ReadOutcome read = readPdfFile(path);
        expectReadAsQpdfReads(path, read);
        const ExistingEncryption& e = read.existing.encryption;
        EXPECT_TRUE(e.encrypted) << method;
        EXPECT_TRUE(e.openedAsOwner) << method;
        EXPECT_EQ(read.existing.encryptNumber, 0); // mutool writes the dictionary into the trailer
        EXPECT_EQ(read.existing.encryptDirect.rfind("<<", 0), 0u);
        EXPECT_EQ(hexOf(e.fileKey, static_cast<size_t>(e.keyLength)), qpdfEncryptionKey(path)) << method;
        EXPECT_EQ(read.existing.info[kExistingTitle].bytes, "Secret title") << method;
    }
}

// Files that no empty password opens are refused with that reason; AES files with an empty user
// password open with the key qpdf finds. The files that need a password stay in memory: qpdf
// could not check them without it.
TEST_F(ReaderProducers, PasswordProtectedFilesAreRefusedAndAesFilesOpen)
{
    ASSERT_TRUE(haveTools());
    auto source = keepPdfBytes("source.pdf", sourceWithInformation());
    for (const char* bits : {"40", "128 --use-aes=n"}) {
        std::string bytes = commandOutput(std::string("qpdf --allow-weak-crypto --encrypt user owner ") + bits +
                                          " -- " + shellQuote(source.string()) + " -");
        ASSERT_EQ(bytes.rfind("%PDF-1.", 0), 0u) << bits;
        EXPECT_EQ(readPdfBytes(bytes).result, 0) << bits;
    }
    std::string userProtected = commandOutput("qpdf --encrypt user owner 256 -- " + shellQuote(source.string()) + " -");
    PdfDocument* doc = newPdfDocument();
    std::string refusal;
    FILE* file = fmemopen(userProtected.data(), userProtected.size(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(readPdfStructure(doc, file, &refusal), 0);
    EXPECT_EQ(refusal, kRefusalUserPassword);
    std::fclose(file);
    freePdfDocument(doc);

    // AES (crypt filters, revision 4) and AES-256 (revision 6), with and without object streams.
    for (const char* bits : {"128 --use-aes=y", "256", "256 -- --object-streams=generate"}) {
        std::string bytes = commandOutput(std::string("qpdf --encrypt '' owner ") + bits + " -- " +
                                          shellQuote(source.string()) + " -");
        ASSERT_NE(bytes.find("/CF"), std::string::npos) << bits;
        auto path = keepPdfBytes(std::string("aes-") + std::to_string(std::strlen(bits)) + ".pdf", bytes);
        ASSERT_EQ(checkAppendHeader(path.string(), nullptr), 1);
        ReadOutcome read = readPdfFile(path);
        expectReadAsQpdfReads(path, read);
        EXPECT_EQ(hexOf(read.existing.encryption.fileKey, static_cast<size_t>(read.existing.encryption.keyLength)),
                  qpdfEncryptionKey(path)) << bits;
        EXPECT_EQ(read.existing.info[kExistingTitle].bytes, "Secret title") << bits;
        EXPECT_EQ(read.existing.info[kExistingAuthor].bytes, std::string("\xFE\xFF\x00\xC9", 4)) << bits;
    }
}
