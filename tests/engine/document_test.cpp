// The typed engine calls, checked on the files they write and the reasons they give.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "intake_fixtures.h"
#include "support/test_support.h"

using namespace folvane;
using namespace folvane::engine;
using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

class TypedDocument : public PdfTest {
protected:
    fs::path gray(const std::string& name)
    {
        fs::path path = scratchDir() / name;
        writePngGray(path, 40, 20, [](int x, int y) { return static_cast<uint8_t>(x * 5 + y); });
        return path;
    }
    fs::path twoPageTiff()
    {
        fs::path path = scratchDir() / "two.tif";
        TiffPage page {30, 10, 8, 1, 1, 1, [](int x, int, int) { return static_cast<uint8_t>(x * 8); }};
        writeTiff(path, {page, page});
        return path;
    }
};

TEST_F(TypedDocument, WritesPagesPicturesTextLinesAndViewerSettings)
{
    fs::path pdf = pdfPath("typed.pdf");
    Opened opened = Document::create(pdf.string());
    ASSERT_TRUE(opened.status.ok) << opened.status.detail;
    Document doc = std::move(opened.document); // moves keep the document open
    doc.setInfo(DocumentInfo {"Typed title", "", "Ana", "", ""});
    ViewerPreferences viewer;
    viewer.pageMode = PageMode::Thumbnails;
    viewer.openZoom = OpenZoom::FitWidth;
    viewer.hideToolbar = true;
    doc.setViewerPreferences(viewer);
    ASSERT_TRUE(doc.beginPage(Size {400, 300}));
    EXPECT_FALSE(doc.beginPage(Size {9, 300})) << "below the smallest page";
    EXPECT_TRUE(doc.drawText(40, 40, "Typed hello", 0x0000FF));
    EXPECT_TRUE(doc.drawLine(10, 10, 300, 10, 2, 0));
    EXPECT_FALSE(doc.drawLine(10, 10, 11400, 10, 2, 0));
    doc.setPlacementBox(Box {50, 100, 200, 100});
    ImageAdded onPage = doc.addImage(gray("a.png").string());
    EXPECT_TRUE(onPage.status.ok) << onPage.status.detail;
    EXPECT_EQ(onPage.pages, 0) << "placed on the page already begun";
    doc.endPage();
    ImageAdded ownPage = doc.addImage(gray("b.png").string());
    EXPECT_TRUE(ownPage.status.ok);
    EXPECT_EQ(ownPage.pages, 1) << "a page of the picture's own size";
    EXPECT_GT(doc.textWidth("Typed hello", "Courier", 10), 0);
    Result closed = doc.close();
    ASSERT_TRUE(closed.ok) << closed.detail;
    EXPECT_FALSE(doc.isOpen());

    CommandResult info = runCommand("pdfinfo " + shellQuote(pdf.string()));
    size_t pages = info.output.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << info.output;
    EXPECT_EQ(info.output.substr(info.output.find_first_not_of(' ', pages + 6), 2), "2\n") << info.output;
    EXPECT_NE(info.output.find("Typed title"), std::string::npos) << info.output;
    EXPECT_NE(runCommand("pdftotext " + shellQuote(pdf.string()) + " -").output.find("Typed hello"),
              std::string::npos);
    std::string catalog = runCommand("qpdf --qdf --object-streams=disable " + shellQuote(pdf.string()) + " -").output;
    EXPECT_NE(catalog.find("/PageMode /UseThumbs"), std::string::npos);
    EXPECT_NE(catalog.find("/HideToolbar true"), std::string::npos);
}

TEST_F(TypedDocument, FailuresCarryTheReasonsUsersRead)
{
    fs::path junk = scratchDir() / "junk.png";
    writeFileBytes(junk, "definitely not an image");
    ImageProbe probe = probeImage(junk.string());
    EXPECT_FALSE(probe.status.ok);
    EXPECT_EQ(probe.status.detail, "not a readable image");

    ImageProbe tiff = probeImage(twoPageTiff().string());
    EXPECT_TRUE(tiff.status.ok);
    EXPECT_EQ(tiff.formatName, "TIFF");
    EXPECT_EQ(tiff.frames, 2);
    EXPECT_EQ(tiff.width, 30);
    EXPECT_EQ(tiff.height, 10);

    fs::path pdf = pdfPath("reasons.pdf");
    Document doc = Document::create(pdf.string()).document;
    ASSERT_TRUE(doc.isOpen());
    EXPECT_FALSE(Document::create(pdf.string()).status.ok) << "one document per path";
    ASSERT_TRUE(doc.setFrameRange(2, 5));
    ImageAdded beyond = doc.addImage(twoPageTiff().string());
    EXPECT_EQ(beyond.status.code, FailureCode::OutOfRange);
    EXPECT_EQ(beyond.status.detail, "frame range beyond the image, or no converter for this format");
    doc.setFrameRange(0, 0);
    std::string png = readFileBytes(gray("cut.png"));
    fs::path cut = scratchDir() / "cut.png";
    writeFileBytes(cut, png.substr(0, png.size() / 2));
    ImageAdded damaged = doc.addImage(cut.string());
    EXPECT_FALSE(damaged.status.ok);
    EXPECT_FALSE(damaged.status.detail.empty());
    EXPECT_TRUE(doc.addImage(twoPageTiff().string()).status.ok);
    EXPECT_TRUE(doc.close().ok);

    Document full = Document::create("/dev/full").document;
    ASSERT_TRUE(full.isOpen());
    EXPECT_FALSE(full.discard()) << "a device is written directly";
    for (int i = 0; i < 20; ++i)
        full.drawText(10, 10, "page", 0);
    EXPECT_EQ(full.close().detail, "the PDF file could not be written");
}

TEST_F(TypedDocument, AbandonedDocumentLeavesNothingAndRefusedAppendLeavesTheFile)
{
    fs::path dropped = scratchDir() / "dropped.pdf";
    {
        Document doc = Document::create(dropped.string()).document;
        ASSERT_TRUE(doc.addImage(gray("c.png").string()).status.ok);
    }
    EXPECT_FALSE(fs::exists(dropped)) << "a document never closed is never written";

    fs::path notPdf = scratchDir() / "text.pdf";
    writeFileBytes(notPdf, "plain text");
    Opened refused = Document::openForAppend(notPdf.string());
    EXPECT_FALSE(refused.status.ok);
    EXPECT_EQ(refused.status.detail, "not a PDF");

    fs::path plain = pdfPath("plain.pdf");
    Document first = Document::create(plain.string()).document;
    first.addImage(gray("d.png").string());
    ASSERT_TRUE(first.close().ok);
    std::string before = readFileBytes(plain);
    Document update = Document::openForAppend(plain.string()).document;
    ASSERT_TRUE(update.isOpen());
    Security security;
    security.level = Encryption::Aes256;
    security.userPassword = "user";
    Result asked = update.setSecurity(security);
    EXPECT_EQ(asked.detail, "cannot add password security to an existing PDF");
    EXPECT_EQ(update.addImage(gray("e.png").string()).status.code, FailureCode::Refused);
    EXPECT_EQ(update.close().detail, "cannot add password security to an existing PDF");
    EXPECT_EQ(readFileBytes(plain), before) << "the refused update leaves the file as it was";
}

TEST_F(TypedDocument, SecurityStructEncryptsWithItsPermissions)
{
    fs::path pdf = pdfPath("aes.pdf", "user");
    Document doc = Document::create(pdf.string()).document;
    Security security;
    security.level = Encryption::Aes256;
    security.ownerPassword = "owner";
    security.userPassword = "user";
    security.allowPrint = true;
    ASSERT_TRUE(doc.setSecurity(security).ok);
    doc.drawText(20, 20, "secret", 0);
    ASSERT_TRUE(doc.close().ok);
    CommandResult shown = runCommand("qpdf --password=user --show-encryption " + shellQuote(pdf.string()));
    EXPECT_NE(shown.output.find("R = 6"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("print high resolution: allowed"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("modify other: not allowed"), std::string::npos) << shown.output;
}

} // namespace
