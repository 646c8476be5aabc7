// Image slots, the XObject table and drawing: resource names, per-page resources, content
// streams split around image objects, slot reuse, argument checks, flushing and table growth.
#include <cstring>

#include "pdf/images_fixtures.h"

namespace folvane::test {
namespace {

using namespace folvane::pdf;

class ImageObjectsTest : public ImageTest {
protected:
    void SetUp() override
    {
        m_doc = makeDocument(&m_log);
        ASSERT_EQ(openOutput(m_doc, ""), 1);
    }
    void TearDown() override
    {
        freePdfDocument(m_doc);
        ImageTest::TearDown();
    }
    // Closes the document and keeps its bytes for the qpdf check.
    ImagePdf finish(const std::string& name)
    {
        closePdfDocument(m_doc);
        std::string bytes = memoryBytes(m_doc);
        keepPdfBytes(name + ".pdf", bytes);
        ImagePdf pdf = readImagePdf(bytes);
        EXPECT_EQ(pdf.error, "");
        return pdf;
    }
    std::filesystem::path jpeg(const std::string& name, int components = 3)
    {
        JpegSpec spec;
        spec.components = components;
        return writeImage(name + ".jpg", makeJpeg(spec));
    }

    ErrorLog m_log;
    PdfDocument* m_doc = nullptr;
};

TEST_F(ImageObjectsTest, EachPageListsExactlyTheImagesItDraws)
{
    int first = openImageFile(m_doc, kImageJpeg, jpeg("a").string(), "", 0);
    int second = openImageFile(m_doc, kImageJpeg, jpeg("b", 1).string(), "", 0);
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 1);

    beginPage(m_doc, 100, 100); // draws only the second
    placeImage(m_doc, second, 0, 0, 1);
    endPage(m_doc);
    beginPage(m_doc, 100, 100); // both
    placeImage(m_doc, first, 0, 0, 1);
    placeImage(m_doc, second, 20, 30, 2);
    endPage(m_doc);
    beginPage(m_doc, 100, 100); // none
    endPage(m_doc);
    ImagePdf pdf = finish("names");

    EXPECT_EQ(pdf.pageXObjectNames(1), std::vector<std::string>{"I1"});
    EXPECT_EQ(pdf.pageXObjectNames(2), (std::vector<std::string>{"I0", "I1"}));
    EXPECT_TRUE(pdf.pageXObjectNames(3).empty());
    EXPECT_NE(pdf.pageXObject(2, "I1").find("/DeviceGray"), std::string::npos);
    EXPECT_NE(pdf.pageXObject(2, "I0").find("/DeviceRGB"), std::string::npos);
    // Scale 2 at (20, 30): the image's 16 x 12 pixels become 32 x 24 points there.
    EXPECT_NE(pdf.pageContent(2).find("q\r32 0 0 24 20 30 cm\r/I1 Do Q\r"), std::string::npos)
        << pdf.pageContent(2);
    std::string resources1 = pdf.objects.at(static_cast<int>(integerAfter(pdf.objects.at(pdf.pageObject(1)), "/Resources")));
    std::string resources2 = pdf.objects.at(static_cast<int>(integerAfter(pdf.objects.at(pdf.pageObject(2)), "/Resources")));
    std::string resources3 = pdf.objects.at(static_cast<int>(integerAfter(pdf.objects.at(pdf.pageObject(3)), "/Resources")));
    EXPECT_EQ(entry(resources1, "/ProcSet"), "[/PDF /ImageB ]");
    EXPECT_EQ(entry(resources2, "/ProcSet"), "[/PDF /ImageB /ImageC ]");
    EXPECT_EQ(entry(resources3, "/ProcSet"), "[/PDF ]");
}

TEST_F(ImageObjectsTest, ImportingInsideAPageSplitsItsContent)
{
    beginPage(m_doc, 200, 200);
    setLineWidth(m_doc, 3);
    int slot = openImageFile(m_doc, kImageJpeg, jpeg("mid").string(), "", 0);
    ASSERT_EQ(slot, 0);
    placeImage(m_doc, slot, 10, 10, 1);
    endPage(m_doc);
    ImagePdf pdf = finish("split");

    std::string page = pdf.objects.at(pdf.pageObject(1));
    std::vector<int> contents = referencesIn(page, "/Contents");
    ASSERT_EQ(contents.size(), 2u) << page;
    EXPECT_EQ(streamData(pdf.objects.at(contents[0])), "3 w\r");
    EXPECT_NE(streamData(pdf.objects.at(contents[1])).find("/I0 Do"), std::string::npos);
    // The image object lies between the two content streams, outside both.
    std::string xobject = pdf.pageXObject(1, "I0");
    size_t at = pdf.bytes.find(xobject);
    EXPECT_GT(at, pdf.bytes.find(pdf.objects.at(contents[0])));
    EXPECT_LT(at, pdf.bytes.find(pdf.objects.at(contents[1])));
}

TEST_F(ImageObjectsTest, SlotsAreReusedAndInvalidCallsReported)
{
    auto path = jpeg("s").string();
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 0);
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 1);
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 2);
    closeImage(m_doc, 1);
    EXPECT_EQ(imageSlot(m_doc, 1), nullptr);
    ASSERT_NE(imageSlot(m_doc, 2), nullptr);
    EXPECT_STREQ(imageSlot(m_doc, 2)->path, path.c_str());
    // The lowest free slot is taken again; its XObject is a new one.
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 1);
    EXPECT_EQ(imageSlot(m_doc, 1)->xobjectIndex, 3);
    // A failed import leaves its slot free.
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, (scratchDir() / "missing.jpg").string(), "", 0), -1);
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 3);
    EXPECT_TRUE(m_log.codes.empty());

    beginPage(m_doc, 50, 50);
    for (int bad : {-1, 4, 1000}) {
        m_log.codes.clear();
        placeImage(m_doc, bad, 0, 0, 1);
        EXPECT_EQ(m_log.codes, std::vector<int>{kErrArgument}) << bad;
        m_log.codes.clear();
        closeImage(m_doc, bad);
        EXPECT_EQ(m_log.codes, std::vector<int>{kErrArgument}) << bad;
    }
    m_log.codes.clear();
    placeImage(m_doc, 0, 0, 0, 0.00001);
    placeImage(m_doc, 0, 0, 0, -0.00001);
    EXPECT_EQ(m_log.codes, (std::vector<int>{kErrArgument, kErrArgument}));
    placeImage(m_doc, 0, 0, 0, -0.5); // a negative scale mirrors the image and is drawn
    endPage(m_doc);
    closeImage(m_doc, 0);
    m_log.codes.clear();
    closeImage(m_doc, 0);
    EXPECT_EQ(m_log.codes, std::vector<int>{kErrArgument});
    ImagePdf pdf = finish("slots");
    std::string content = pdf.pageContent(1);
    EXPECT_EQ(content, "q\r-8 0 0 -6 0 0 cm\r/I0 Do Q\r");
}

TEST_F(ImageObjectsTest, TablesDoubleBeyondTheirFirstCapacity)
{
    auto path = jpeg("many", 1).string();
    beginPage(m_doc, 100, 100);
    for (int i = 0; i < 130; ++i) {
        ASSERT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), i);
        placeImage(m_doc, i, i % 10, i / 10, 0.5);
    }
    endPage(m_doc);
    ImagePdf pdf = finish("many");
    std::vector<std::string> names = pdf.pageXObjectNames(1);
    ASSERT_EQ(names.size(), 130u);
    EXPECT_EQ(names.front(), "I0");
    EXPECT_EQ(names.back(), "I129");
    // Every image was written inside the page, each between two content streams.
    EXPECT_EQ(referencesIn(pdf.objects.at(pdf.pageObject(1)), "/Contents").size(), 131u);
}

TEST_F(ImageObjectsTest, FlushAfterImageEmptiesTheBuffer)
{
    for (bool flush : {false, true}) {
        SCOPED_TRACE(flush);
        ErrorLog log;
        PdfDocument* doc = makeDocument(&log);
        doc->outputFlags = flush ? unsigned{kFlushAfterImage} : 0u;
        auto out = pdfPath(flush ? "flushed.pdf" : "buffered.pdf");
        ASSERT_EQ(openOutput(doc, out.string()), 1);
        ASSERT_EQ(openImageFile(doc, kImageJpeg, jpeg("f").string(), "", 0), 0);
        size_t buffered = 0;
        bufferedBytes(doc, &buffered);
        if (flush)
            EXPECT_EQ(buffered, 0u);
        else
            EXPECT_GT(buffered, 500u);
        EXPECT_EQ(doc->out.flushed + static_cast<int64_t>(buffered), currentOffset(doc));
        beginPage(doc, 16, 12);
        placeImage(doc, 0, 0, 0, 1);
        endPage(doc);
        closePdfDocument(doc);
        freePdfDocument(doc);
    }
}

TEST_F(ImageObjectsTest, DecodedSamplesAreRawWithoutCompression)
{
    TiffDirectory page = patternPage(9, 5, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE);
    auto path = writeTiffFile("raw.tif", {page});
    Converted level0 = convert("level0", kImageTiff, path, "", 0, 0);
    ASSERT_EQ(level0.slot, 0);
    std::string xobject = level0.pdf.pageXObject(1, "I0");
    EXPECT_EQ(entry(xobject, "/Filter"), "");
    EXPECT_EQ(rawStreamData(xobject), std::string(page.data.begin(), page.data.end()));
    Converted level9 = convert("level9", kImageTiff, path, "", 0, 9);
    EXPECT_EQ(entry(level9.pdf.pageXObject(1, "I0"), "/Filter"), "/FlateDecode");
    EXPECT_EQ(streamData(level9.pdf.pageXObject(1, "I0")), std::string(page.data.begin(), page.data.end()));
}

TEST_F(ImageObjectsTest, ClosingReleasesSlotsAndReopeningStartsAfresh)
{
    auto path = jpeg("r").string();
    ASSERT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 0);
    ASSERT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 1);
    beginPage(m_doc, 16, 12);
    placeImage(m_doc, 1, 0, 0, 1);
    endPage(m_doc);
    finish("first"); // slots 0 and 1 are still in use here
    EXPECT_EQ(imageSlot(m_doc, 0), nullptr);

    ASSERT_EQ(openOutput(m_doc, ""), 1);
    EXPECT_EQ(openImageFile(m_doc, kImageJpeg, path, "", 0), 0);
    beginPage(m_doc, 16, 12);
    placeImage(m_doc, 0, 0, 0, 1);
    endPage(m_doc);
    ImagePdf pdf = finish("second");
    EXPECT_EQ(pdf.pageXObjectNames(1), std::vector<std::string>{"I0"});
}

TEST_F(ImageObjectsTest, ImagesNeedAnOpenOutputAndPlacementNeedsAPage)
{
    PdfDocument* closed = makeDocument(&m_log);
    EXPECT_EQ(openImageFile(closed, kImageJpeg, jpeg("c").string(), "", 0), -1);
    freePdfDocument(closed);
    EXPECT_EQ(openImageFile(nullptr, kImageJpeg, jpeg("c").string(), "", 0), -1);

    ASSERT_EQ(openImageFile(m_doc, kImageJpeg, jpeg("d").string(), "", 0), 0);
    m_log.codes.clear();
    placeImage(m_doc, 0, 0, 0, 1); // document scope: nothing to draw into
    EXPECT_EQ(m_log.codes, std::vector<int>{kErrState});
    beginPage(m_doc, 16, 12);
    endPage(m_doc);
    ImagePdf pdf = finish("outside");
    EXPECT_TRUE(pdf.pageXObjectNames(1).empty());
    EXPECT_EQ(pdf.pageContent(1), "");
}

} // namespace
} // namespace folvane::test
