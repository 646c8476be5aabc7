// Appending pages to existing PDF files by incremental updates, through the engine.
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "support/test_support.h"

using namespace folvane::engine;
using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

class Append : public PdfTest {
protected:
    static DocumentInfo titled(const char* title)
    {
        DocumentInfo info;
        info.title = title;
        return info;
    }

    // A new file of `pages` text pages, optionally with a title and one bookmark per page.
    fs::path makeOwnFile(const std::string& name, int pages, const char* title = nullptr, bool bookmarks = false)
    {
        auto path = pdfPath(name);
        Document doc = Document::create(path.string()).document;
        if (title)
            doc.setInfo(titled(title));
        for (int i = 0; i < pages; ++i) {
            doc.beginPage(Size {300, 200});
            if (bookmarks)
                doc.setBookmarkText("Old " + std::to_string(i + 1));
            doc.drawText(20, 20, "old page " + std::to_string(i + 1), 0);
        }
        EXPECT_TRUE(doc.close().ok);
        return path;
    }

    // Appends `pages` text pages; returns 1 when the update was written, 0 when its close
    // failed, or -1 when the open failed.
    int appendPages(const fs::path& path, int pages, const char* title = nullptr)
    {
        Opened opened = Document::openForAppend(path.string());
        if (!opened.status.ok)
            return -1;
        Document& doc = opened.document;
        if (title)
            doc.setInfo(titled(title));
        for (int i = 0; i < pages; ++i) {
            doc.beginPage(Size {400, 250});
            EXPECT_FALSE(doc.setBookmarkText("New")) << "appended pages carry no bookmarks";
            doc.drawText(20, 20, "new page " + std::to_string(i + 1), 0);
        }
        EXPECT_FALSE(doc.discard()) << "an update once begun is not dropped";
        return doc.close().ok ? 1 : 0;
    }

    // A classic PDF 1.4 file of the given objects (numbered from 1) with one cross-reference
    // section; `trailer` holds the trailer's entries besides /Size.
    static std::string handMadePdf(const std::vector<std::string>& objects, const std::string& trailer)
    {
        std::string body = "%PDF-1.4\n";
        std::vector<size_t> offsets;
        for (const std::string& text : objects) {
            offsets.push_back(body.size());
            body += std::to_string(offsets.size()) + " 0 obj\n" + text + "\nendobj\n";
        }
        size_t xref = body.size();
        body += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (size_t offset : offsets) {
            char line[24];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
            body += line;
        }
        return body + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " " + trailer +
               " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    }

    // The pages found by walking the page tree (pdfinfo would only repeat the root's /Count).
    static int pageCount(const fs::path& pdf)
    {
        CommandResult r = runCommand("qpdf --show-pages " + shellQuote(pdf.string()) + " | grep -c '^page'");
        return std::atoi(r.output.c_str());
    }

    static std::string info(const fs::path& pdf, const std::string& field)
    {
        CommandResult r = runCommand("pdfinfo " + shellQuote(pdf.string()) + " | sed -n 's/^" + field + ": *//p'");
        return r.output;
    }
};

} // namespace

TEST_F(Append, OwnFileGetsPagesAndKeepsItsBytes)
{
    auto path = makeOwnFile("own.pdf", 3, "Original title", true);
    std::string before = readFileBytes(path);
    ASSERT_EQ(appendPages(path, 2), 1);
    std::string after = readFileBytes(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.substr(0, before.size()), before) << "the existing bytes are a prefix of the new file";
    EXPECT_EQ(pageCount(path), 5);
    EXPECT_EQ(info(path, "Title"), "Original title\n") << "no title set: the existing one is kept";
    CommandResult text = runCommand("pdftotext " + shellQuote(path.string()) + " -");
    EXPECT_NE(text.output.find("old page 3"), std::string::npos);
    EXPECT_NE(text.output.find("new page 2"), std::string::npos);
    CommandResult outlines = runCommand("qpdf --json --json-key=outlines " + shellQuote(path.string()));
    EXPECT_NE(outlines.output.find("Old 3"), std::string::npos) << "the existing bookmarks stay";
    EXPECT_EQ(outlines.output.find("\"New\""), std::string::npos);
}

TEST_F(Append, TwoUpdatesChainTheirCrossReferenceSections)
{
    auto path = makeOwnFile("twice.pdf", 1);
    ASSERT_EQ(appendPages(path, 1, "Second title"), 1);
    std::string first = readFileBytes(path);
    size_t firstXref = first.rfind("startxref\r");
    long firstOffset = std::strtol(first.c_str() + firstXref + 10, nullptr, 10);
    ASSERT_EQ(appendPages(path, 12), 1);
    std::string second = readFileBytes(path);
    EXPECT_EQ(second.substr(0, first.size()), first);
    size_t trailer = second.rfind("trailer");
    long prev = std::strtol(second.c_str() + second.find("/Prev ", trailer) + 6, nullptr, 10);
    EXPECT_EQ(prev, firstOffset) << "the second update points at the first update's section";
    EXPECT_EQ(pageCount(path), 14);
    EXPECT_EQ(info(path, "Title"), "Second title\n") << "a title set for the update replaces the old one";
    CommandResult pages = runCommand("qpdf --show-npages " + shellQuote(path.string()));
    EXPECT_EQ(pages.output, "14\n");
}

TEST_F(Append, HeadersThatAreRefusedOrAccepted)
{
    auto dir = scratchDir();
    auto own = makeOwnFile("source.pdf", 1);
    std::string bytes = readFileBytes(own);

    // Another producer's 1.5 file and a 1.6 file are accepted; a version that does not exist and
    // a file that is no PDF at all are refused.
    auto other15 = dir / "other15.pdf";
    writeFileBytes(other15, "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n" + bytes.substr(15));
    auto v16 = dir / "v16.pdf";
    writeFileBytes(v16, "%PDF-1.6 " + bytes.substr(9));
    for (const auto& accepted : {other15, v16}) {
        EXPECT_EQ(appendPages(accepted, 1), 1) << accepted;
        EXPECT_EQ(pageCount(accepted), 2) << accepted;
    }
    auto v18 = dir / "v18.pdf";
    writeFileBytes(v18, "%PDF-1.8 " + bytes.substr(9));
    auto text = dir / "text.pdf";
    writeFileBytes(text, "just some text, long enough to be looked at\n");
    for (const auto& refused : {v18, text}) {
        std::string original = readFileBytes(refused);
        EXPECT_FALSE(Document::openForAppend(refused.string()).status.ok) << refused;
        EXPECT_EQ(readFileBytes(refused), original) << "nothing was written";
    }
    EXPECT_FALSE(Document::openForAppend((dir / "missing.pdf").string()).status.ok);
    EXPECT_FALSE(Document::openForAppend("").status.ok);

    // Our own 1.5 header with its second line is accepted.
    auto own15 = pdfPath("own15.pdf");
    writeFileBytes(own15, "%PDF-1.5 " + bytes.substr(9));
    EXPECT_EQ(appendPages(own15, 1), 1);
    EXPECT_EQ(pageCount(own15), 2);
}

TEST_F(Append, FilesOfOtherProducers)
{
    auto own = makeOwnFile("base.pdf", 2);
    auto viaQpdf = pdfPath("qpdf14.pdf");
    ASSERT_EQ(runCommand("qpdf --force-version=1.4 --object-streams=disable " + shellQuote(own.string()) + " " +
                         shellQuote(viaQpdf.string()))
                  .exitCode,
              0);
    EXPECT_EQ(appendPages(viaQpdf, 3), 1);
    EXPECT_EQ(pageCount(viaQpdf), 5);

    ASSERT_TRUE(haveTool("gs"));
    auto viaGs = pdfPath("gs14.pdf");
    ASSERT_EQ(runCommand("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -dCompatibilityLevel=1.4 -sOutputFile=" +
                         shellQuote(viaGs.string()) + " " + shellQuote(own.string()))
                  .exitCode,
              0);
    std::string before = readFileBytes(viaGs);
    EXPECT_EQ(appendPages(viaGs, 1, "Über"), 1);
    EXPECT_EQ(readFileBytes(viaGs).substr(0, before.size()), before);
    EXPECT_EQ(pageCount(viaGs), 3);
    EXPECT_EQ(info(viaGs, "Title"), "Über\n");

    // Junk before the header (within the first 16 bytes) is accepted.
    auto junk = pdfPath("junk.pdf");
    writeFileBytes(junk, "JUNK\n" + readFileBytes(viaQpdf));
    EXPECT_EQ(appendPages(junk, 1), 1);
    EXPECT_EQ(pageCount(junk), 6);
}

TEST_F(Append, PageTreeRootWithReferencesForValues)
{
    // A root whose /Kids and /MediaBox are references to other objects, as some producers write,
    // with a comment among its entries.
    std::string body = handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                    "<< /Type /Pages /Kids 3 0 R % a comment runs to the line end\n"
                                    "/Count 2 /MediaBox 4 0 R >>",
                                    "[5 0 R 6 0 R]", "[0 0 200 200]", "<< /Type /Page /Parent 2 0 R >>",
                                    "<< /Type /Page /Parent 2 0 R >>"},
                                   "/Root 1 0 R");
    auto path = pdfPath("indirect_root.pdf");
    writeFileBytes(path, body);
    EXPECT_EQ(appendPages(path, 2), 1);
    EXPECT_EQ(pageCount(path), 4);
    EXPECT_EQ(readFileBytes(path).substr(0, body.size()), body);
}

TEST_F(Append, RootWithTwoKidsEntriesKeepsThePagesTheReaderWalked)
{
    // A damaged root that names /Kids twice: the reader walks the first, so the update must add
    // to that one and not to the empty second one.
    std::string body = handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                    "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] /Kids [] >>",
                                    "<< /Type /Page /Parent 2 0 R >>"},
                                   "/Root 1 0 R");
    auto path = pdfPath("two_kids.pdf");
    writeFileBytes(path, body);
    EXPECT_EQ(appendPages(path, 1), 1);
    CommandResult pages = runCommand("qpdf --show-pages " + shellQuote(path.string()) + " | grep '^page'");
    EXPECT_EQ(pages.output.substr(0, pages.output.find('\n')), "page 1: 3 0 R") << pages.output;
    EXPECT_EQ(std::count(pages.output.begin(), pages.output.end(), '\n'), 2) << pages.output;
}

TEST_F(Append, InformationNamingTheCatalogIsNotWrittenOverIt)
{
    // A damaged trailer names the catalog as the document information. The update must not
    // replace the catalog with an information dictionary.
    std::string body = handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                    "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>",
                                    "<< /Type /Page /Parent 2 0 R >>"},
                                   "/Root 1 0 R /Info 1 0 R");
    auto path = pdfPath("info_is_catalog.pdf");
    writeFileBytes(path, body);
    EXPECT_EQ(appendPages(path, 1, "Title"), 1);
    EXPECT_EQ(pageCount(path), 2);
    EXPECT_EQ(info(path, "Title"), "Title\n");
}

TEST_F(Append, EncryptedFileThatOpensWithoutPassword)
{
    auto own = makeOwnFile("plain.pdf", 1);
    auto encrypted = pdfPath("encrypted.pdf");
    ASSERT_EQ(runCommand("qpdf --force-version=1.4 --object-streams=disable --allow-weak-crypto --encrypt '' owner 128 --use-aes=n -- " +
                         shellQuote(own.string()) + " " + shellQuote(encrypted.string()))
                  .exitCode,
              0);
    EXPECT_EQ(appendPages(encrypted, 2, "Secret title"), 1);
    EXPECT_EQ(pageCount(encrypted), 3);
    EXPECT_EQ(info(encrypted, "Title"), "Secret title\n");
    CommandResult text = runCommand("pdftotext " + shellQuote(encrypted.string()) + " -");
    EXPECT_NE(text.output.find("new page 2"), std::string::npos) << "new content encrypted with the file's key";
}

TEST_F(Append, FailedFinalWriteLeavesTheOriginalFile)
{
    auto path = makeOwnFile("full.pdf", 1);
    std::string original = readFileBytes(path);
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file may grow by a few hundred bytes only: the update's write fails half-way.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(original.size() + 300), static_cast<rlim_t>(original.size() + 300)};
        setrlimit(RLIMIT_FSIZE, &limit);
        Opened opened = Document::openForAppend(path.string());
        for (int i = 0; i < 40; ++i)
            opened.document.drawText(10, 10 + i, "a line of text that makes the update large enough", 0);
        opened.document.beginPage(Size {300, 300});
        _exit(opened.status.ok && !opened.document.close().ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the close reports the failed write";
    EXPECT_EQ(readFileBytes(path), original) << "the file is cut back to its original bytes";
}

// A file older than the new content (PDF 1.0 or 1.3) keeps its header: its catalog is written
// again with every entry it had and a /Version that raises the file to 1.4. A 1.4 file's catalog
// is not rewritten at all.
TEST_F(Append, OldVersionsAreRaisedThroughTheCatalog)
{
    const std::string objects[] = {"<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines /Lang (de) >>",
                                   "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>"};
    for (const char* version : {"1.0", "1.3", "1.4"}) {
        SCOPED_TRACE(version);
        auto path = pdfPath(std::string("v") + version + ".pdf");
        std::string bytes = handMadePdf({objects[0], objects[1], objects[2]}, "/Root 1 0 R");
        bytes.replace(5, 3, version);
        writeFileBytes(path, bytes);
        ASSERT_EQ(appendPages(path, 1), 1);
        EXPECT_EQ(pageCount(path), 2);
        std::string after = readFileBytes(path);
        EXPECT_EQ(after.compare(0, 8, bytes, 0, 8), 0) << "the header stays";
        CommandResult catalog = runCommand("qpdf --show-object=1 " + shellQuote(path.string()));
        EXPECT_NE(catalog.output.find("/PageMode /UseOutlines"), std::string::npos) << catalog.output;
        EXPECT_NE(catalog.output.find("/Lang (de)"), std::string::npos) << catalog.output;
        const bool raised = std::string(version) != "1.4";
        EXPECT_EQ(catalog.output.find("/Version /1.4") != std::string::npos, raised) << catalog.output;
        EXPECT_EQ(after.find("1 0 obj", bytes.size()) != std::string::npos, raised);
    }
}
