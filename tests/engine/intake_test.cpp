// Image intake through Document::addImage: recognition, the routes' preparation rules, placement,
// the external converter, and temporary files.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include <gtest/gtest.h>

#include "codec/image_codec.h"
#include "engine/engine.h"
#include "engine/external_converter.h"
#include "intake.h"
#include "engine/intake_fixtures.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::engine;
using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

class Intake : public PdfTest {
protected:
    void SetUp() override
    {
        m_dir = scratchDir();
        m_tmp = m_dir / "tmp";
        fs::create_directories(m_tmp);
        const char* old = std::getenv("TMPDIR");
        m_oldTmp = old ? old : "";
        m_hadTmp = old != nullptr;
        setenv("TMPDIR", m_tmp.c_str(), 1);
        unloadExternalConverter();
    }
    void TearDown() override
    {
        if (m_hadTmp)
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        unloadExternalConverter();
        PdfTest::TearDown();
    }
    // Every temporary file is gone once addImage has returned.
    void expectNoTemporaryFiles()
    {
        for (auto& entry : fs::directory_iterator(m_tmp))
            ADD_FAILURE() << "temporary file left: " << entry.path();
    }
    // A new document at `pdf`.
    static Document newDocument(const fs::path& pdf)
    {
        Opened opened = Document::create(pdf.string());
        EXPECT_TRUE(opened.status.ok) << opened.status.detail;
        return std::move(opened.document);
    }
    // The raw stream data of every image XObject of a file, in object order.
    std::vector<std::string> imageObjects(const fs::path& pdf)
    {
        WrittenPdf parsed = readWrittenPdf(readFileBytes(pdf));
        std::vector<std::string> images;
        for (auto& [n, text] : parsed.objects)
            if (text.find("/Subtype /Image") != std::string::npos)
                images.push_back(text);
        return images;
    }
    fs::path m_dir, m_tmp;
    std::string m_oldTmp;
    bool m_hadTmp = false;
};

uint32_t gradient(int x, int y)
{
    return static_cast<uint32_t>(((x * 7) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x + y) & 0xFF));
}

} // namespace

TEST_F(Intake, FormatRecognitionBySignatureBeforeExtension)
{
    struct Case {
        const char* name;
        std::string bytes;
        int format;
    } cases[] = {
        {"a.ico", "BM" + std::string(60, '\0'), 1},
        {"a.tga", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40, '\0'), 4},
        {"a.ico", std::string(20, '\0'), 5},
        {"a.bin", std::string("\x28\0\0\0", 4), 1},
        {"a.bin", "GIF89a", 2},
        {"a.bin", "\xFF\xD8\xFF\xE0", 3},
        {"x.TGA", std::string(20, '\0'), 7},
        {"a.bin", std::string("II*\0", 4), 6},
        {"a.bin", std::string("MM\0*", 4), 6},
        {"a.bin", "\x0A\x05\x01", 8},
        {"a.WBMP", std::string(8, '\0'), 9},
        {"a.bin", "\xD7\xCD\xC6\x9A", 10},
        {"a.bin", std::string("\x01\0\x09\0", 4), 10},
        {"a.bin", std::string(40, 'x') + std::string(" EMF\0\0\x01\0", 8), 10},
        {"a.bin", std::string("\0\0\0\x0CjP  \r\n", 10), 11},
        {"a.bin", "\xFF\x4F\xFF\x51", 12},
        {"a.pgx", "PG ML", 13},
        {"a.bin", "P6\n1 1\n255\n", 14},
        {"a.ras", std::string(32, '\0'), 15},
        {"a.bin", std::string("\x8AMNG\r\n\x1A\n", 8), 17},
        {"a.ska", std::string(8, '\0'), 18},
        {"a.raw", std::string(8, '\0'), 19},
        {"a.bin", "8BPS", 20},
        {"a.bin", "nothing", -1},
        {"dir.d/noext", "nothing", -1},
    };
    for (const auto& c : cases) {
        auto path = m_dir / c.name;
        fs::create_directories(path.parent_path());
        writeFileBytes(path, c.bytes);
        EXPECT_EQ(sniffImageFormat(path.string()), c.format) << c.name << " " << c.bytes.substr(0, 8);
    }
    EXPECT_EQ(sniffImageFormat((m_dir / "missing.png").string()), -1);
}

TEST_F(Intake, JpegIsEmbeddedByteForByteWhenTheQualityIsUnset)
{
    folvane::codec::ImageCodec image;
    ASSERT_TRUE(image.bitmap().create(64, 48, 24));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64 * 3; ++x)
            image.bitmap().row(y)[x] = static_cast<uint8_t>(x * 3 + y);
    auto jpeg = m_dir / "photo.jpg";
    ASSERT_TRUE(image.save(jpeg.string(), folvane::codec::kFormatJpeg));

    auto pdf = pdfPath("jpeg.pdf");
    Document h = newDocument(pdf);
    EXPECT_TRUE(h.addImage(jpeg.string()).status.ok);
    h.setJpegQuality(30);
    EXPECT_TRUE(h.addImage(jpeg.string()).status.ok);
    EXPECT_TRUE(h.close().ok);
    expectNoTemporaryFiles();

    auto images = imageObjects(pdf);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(rawStreamData(images[0]), readFileBytes(jpeg));
    EXPECT_NE(rawStreamData(images[1]), readFileBytes(jpeg)) << "re-encoded at quality 30";
    EXPECT_NE(images[1].find("/DCTDecode"), std::string::npos);
    CommandResult info = runCommand("pdfinfo " + shellQuote(pdf.string()));
    EXPECT_NE(info.output.find("64 x 48 pts"), std::string::npos) << "a page of the image's own size: " << info.output;
}

TEST_F(Intake, TrueColourBmpBecomesJpegAtTheFixedQuality)
{
    auto bmp = m_dir / "colour.bmp";
    writeBmp24(bmp, 40, 30, gradient);
    // What the route must produce: the decoded frame saved as JPEG at quality 75.
    folvane::codec::ImageCodec reference;
    ASSERT_TRUE(reference.load(bmp.string(), folvane::codec::kFormatBmp));
    reference.setJpegQuality(75);
    auto expected = m_dir / "expected.jpg";
    ASSERT_TRUE(reference.save(expected.string(), folvane::codec::kFormatJpeg));

    auto pdf = pdfPath("bmp.pdf");
    Document h = newDocument(pdf);
    h.setJpegQuality(30);
    EXPECT_TRUE(h.addImage(bmp.string()).status.ok);
    h.close();
    expectNoTemporaryFiles();
    auto images = imageObjects(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(rawStreamData(images[0]), readFileBytes(expected));
}

TEST_F(Intake, TiffFramesFollowTheCompressionNames)
{
    auto gray = m_dir / "gray.tif";
    writeTiff(gray, {{64, 32, 8, 1, 1, 1, [](int x, int y, int) { return static_cast<uint8_t>(x * 4 + y); }}});
    auto colour = m_dir / "colour.tif";
    writeTiff(colour, {{48, 20, 8, 3, 2, 1, [](int x, int y, int s) { return static_cast<uint8_t>(x * (s + 1) + y); }}});

    folvane::codec::ImageCodec reference;
    ASSERT_TRUE(reference.load(colour.string(), folvane::codec::kFormatTiff));
    reference.setJpegQuality(30);
    auto expected = m_dir / "expected30.jpg";
    ASSERT_TRUE(reference.save(expected.string(), folvane::codec::kFormatJpeg));

    auto pdf = pdfPath("tiff.pdf");
    Document h = newDocument(pdf);
    h.setJpegQuality(30);
    h.setGrayCompression(ToneCompression::PackBits);
    EXPECT_TRUE(h.addImage(gray.string()).status.ok);
    h.setGrayCompression(ToneCompression::Jpeg);
    EXPECT_TRUE(h.addImage(gray.string()).status.ok);
    h.setColorCompression(ToneCompression::Jpeg);
    EXPECT_TRUE(h.addImage(colour.string()).status.ok);
    h.close();
    expectNoTemporaryFiles();

    auto images = imageObjects(pdf);
    ASSERT_EQ(images.size(), 3u);
    EXPECT_NE(images[0].find("/RunLengthDecode"), std::string::npos) << images[0].substr(0, 200);
    EXPECT_NE(images[1].find("/DCTDecode"), std::string::npos);
    EXPECT_NE(images[1].find("/DeviceGray"), std::string::npos);
    EXPECT_EQ(rawStreamData(images[2]), readFileBytes(expected)) << "colour frame at the document's quality 30";
}

TEST_F(Intake, ColourTiffWithoutCompressionChoiceStillConverts)
{
    auto colour = m_dir / "plain.tif";
    writeTiff(colour, {{30, 30, 8, 3, 2, 1, [](int x, int, int s) { return static_cast<uint8_t>(s * 80 + x); }}});
    auto pdf = pdfPath("plain.pdf");
    Document h = newDocument(pdf);
    EXPECT_TRUE(h.addImage(colour.string()).status.ok);
    h.close();
    auto images = imageObjects(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_NE(images[0].find("/DCTDecode"), std::string::npos);
}

TEST_F(Intake, FrameRangesOfMultiPageTiffs)
{
    auto two = m_dir / "two.tif";
    auto page = [](int width) {
        return TiffPage{width, 20, 8, 1, 1, 1, [](int x, int, int) { return static_cast<uint8_t>(x); }};
    };
    writeTiff(two, {page(50), page(70)});

    auto pdf = pdfPath("range.pdf");
    Document h = newDocument(pdf);
    h.setFrameRange(2, 1);
    EXPECT_TRUE(h.addImage(two.string()).status.ok);
    h.setFrameRange(2, 2);
    EXPECT_EQ(h.addImage(two.string()).status.code, folvane::FailureCode::OutOfRange);
    h.setFrameRange(0, 0);
    EXPECT_TRUE(h.addImage(two.string()).status.ok);
    h.close();
    expectNoTemporaryFiles();
    CommandResult info = runCommand("pdfinfo -f 1 -l 3 " + shellQuote(pdf.string()));
    EXPECT_NE(info.output.find("Pages:           3"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Page    1 size:  70 x 20"), std::string::npos) << "only page 2: " << info.output;
    EXPECT_NE(info.output.find("Page    2 size:  50 x 20"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Page    3 size:  70 x 20"), std::string::npos) << info.output;

    // A single-frame format takes frame 1 only.
    auto bmp = m_dir / "one.bmp";
    writeBmp24(bmp, 8, 8, gradient);
    auto other = pdfPath("single.pdf");
    h = newDocument(other);
    h.setFrameRange(1, 2);
    EXPECT_EQ(h.addImage(bmp.string()).status.code, folvane::FailureCode::OutOfRange);
    h.setFrameRange(1, 1);
    EXPECT_TRUE(h.addImage(bmp.string()).status.ok);
    h.close();
}

TEST_F(Intake, PaletteImagesBecomeGrayWhenLongAndColourOtherwise)
{
    std::vector<uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    auto wide = m_dir / "wide.bmp";
    writeBmp8(wide, 12000, 8, palette, [](int x, int) { return static_cast<uint8_t>(x % 4); });
    auto square = m_dir / "square.bmp";
    writeBmp8(square, 800, 800, palette, [](int x, int y) { return static_cast<uint8_t>((x / 100 + y / 100) % 4); });
    auto pdf = pdfPath("palette.pdf");
    Document h = newDocument(pdf);
    EXPECT_TRUE(h.addImage(wide.string()).status.ok);
    EXPECT_TRUE(h.addImage(square.string()).status.ok);
    h.close();
    auto images = imageObjects(pdf);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_NE(images[0].find("/DeviceGray"), std::string::npos);
    EXPECT_NE(images[1].find("/DeviceRGB"), std::string::npos);
}

TEST_F(Intake, BlackAndWhiteChoicesRenderTheSourcePixels)
{
    const int w = 96, h = 64;
    auto ink = [](int x, int y) { return ((x / 8 + y / 8) % 2 == 0) || (x == y); };
    auto source = m_dir / "bw.tif";
    // Min-is-black source: value 0 is black, so ink is stored as 0.
    writeTiff(source, {{w, h, 1, 1, 1, 1, [&](int x, int y, int) { return static_cast<uint8_t>(ink(x, y) ? 0 : 1); }}});
    const std::pair<const char*, std::optional<BilevelCompression>> choices[] = {
        {"", std::nullopt},
        {"lzw", BilevelCompression::Lzw},
        {"zip", BilevelCompression::Zip},
        {"g3", BilevelCompression::Group3},
        {"g4", BilevelCompression::Group4}};
    for (const auto& [choice, compression] : choices) {
        auto pdf = pdfPath(std::string("bw-") + (*choice ? choice : "none") + ".pdf");
        Document doc = newDocument(pdf);
        if (compression)
            doc.setCompression(*compression);
        ASSERT_TRUE(doc.addImage(source.string()).status.ok) << choice;
        ASSERT_TRUE(doc.close().ok);
        Rendered page = renderGray(pdf, 1, m_dir);
        ASSERT_EQ(page.width, w) << choice;
        ASSERT_EQ(page.height, h);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrong += (page.at(x, y) < 128) != ink(x, y);
        EXPECT_EQ(wrong, 0) << "compression " << (*choice ? choice : "none");
    }
    expectNoTemporaryFiles();
}

TEST_F(Intake, GifNeedsTheExternalConverter)
{
    auto gif = m_dir / "anim.gif";
    writeFileBytes(gif, "GIF89a\x01\x00\x01\x00\x00\x00\x00;");
    auto png = m_dir / "gray.png";
    writePngGray(png, 20, 10, [](int x, int y) { return static_cast<uint8_t>(x * 10 + y); });

    auto pdf = pdfPath("converter.pdf");
    Document h = newDocument(pdf);
    EXPECT_EQ(h.addImage(gif.string()).status.code, folvane::FailureCode::OutOfRange) << "no converter loaded";
    EXPECT_TRUE(h.addImage(png.string()).status.ok) << "other formats still convert";
    expectNoTemporaryFiles();

    ASSERT_TRUE(loadExternalConverterFile(FAKE_CONVERTER));
    auto log = m_dir / "converter.log";
    setenv("FOLVANE_FAKE_CONVERTER_LOG", log.c_str(), 1);
    setenv("FOLVANE_FAKE_CONVERTER", "tiff", 1);
    EXPECT_TRUE(h.addImage(gif.string()).status.ok);
    setenv("FOLVANE_FAKE_CONVERTER", "empty", 1);
    EXPECT_FALSE(h.addImage(gif.string()).status.ok) << "success without a readable file";
    setenv("FOLVANE_FAKE_CONVERTER", "fail", 1);
    EXPECT_EQ(h.addImage(gif.string()).converterError, -5) << "the converter's failure is passed on";
    unsetenv("FOLVANE_FAKE_CONVERTER");
    unsetenv("FOLVANE_FAKE_CONVERTER_LOG");
    expectNoTemporaryFiles();
    std::string args = readFileBytes(log);
    std::string expectedStart = "4|quillmar5.dll|convert|" + gif.string() + "|" + m_tmp.string() + "/folvane-";
    EXPECT_EQ(args.substr(0, expectedStart.size()), expectedStart) << args;
    std::string expectedEnd = "acp.tif|folder 700|file 600\n";
    EXPECT_EQ(args.substr(args.find('\n') + 1 - expectedEnd.size(), expectedEnd.size()), expectedEnd) << args;
    h.close();
    CommandResult info = runCommand("pdfinfo " + shellQuote(pdf.string()));
    EXPECT_NE(info.output.find("Pages:           2"), std::string::npos) << info.output;
}

// Another local user can create names in the shared temporary folder, so nothing of a
// conversion may be written there by a name: the converter's output lies in a private folder,
// and a link planted where the converter writes never redirects the write.
TEST_F(Intake, ConverterOutputCannotBeRedirectedThroughTheSharedTemporaryFolder)
{
    auto gif = m_dir / "anim.gif";
    writeFileBytes(gif, "GIF89a\x01\x00\x01\x00\x00\x00\x00;");
    auto victim = m_dir / "precious.txt";
    writeFileBytes(victim, "keep me");
    ASSERT_TRUE(loadExternalConverterFile(FAKE_CONVERTER));
    setenv("FOLVANE_FAKE_CONVERTER_VICTIM", victim.c_str(), 1);
    auto pdf = pdfPath("attack.pdf");
    Document h = newDocument(pdf);
    EXPECT_TRUE(h.addImage(gif.string()).status.ok);
    unsetenv("FOLVANE_FAKE_CONVERTER_VICTIM");
    EXPECT_EQ(readFileBytes(victim), "keep me");
    expectNoTemporaryFiles();

    // Without a usable temporary folder the call fails with the folder named as the reason.
    fs::remove_all(m_tmp);
    ImageAdded failed = h.addImage(gif.string());
    EXPECT_FALSE(failed.status.ok);
    EXPECT_EQ(failed.status.detail, "cannot write temporary files in " + m_tmp.string() + ": No such file or directory");
    fs::create_directories(m_tmp);
    EXPECT_TRUE(h.close().ok);
}

TEST_F(Intake, DamagedAndMissingFilesFailCleanly)
{
    auto pdf = pdfPath("damaged.pdf");
    Document h = newDocument(pdf);
    EXPECT_FALSE(h.addImage("").status.ok);
    EXPECT_EQ(h.addImage((m_dir / "missing.bmp").string()).status.code, folvane::FailureCode::OutOfRange) << "unreadable: the external route, no converter";
    auto bmp = m_dir / "cut.bmp";
    writeBmp24(bmp, 50, 50, gradient);
    std::string bytes = readFileBytes(bmp);
    writeFileBytes(bmp, bytes.substr(0, 70));
    EXPECT_FALSE(h.addImage(bmp.string()).status.ok);
    auto tif = m_dir / "cut.tif";
    writeFileBytes(tif, std::string("II*\0\x08\0\0\0\x01\0", 10));
    EXPECT_FALSE(h.addImage(tif.string()).status.ok);
    auto jpg = m_dir / "cut.jpg";
    writeFileBytes(jpg, "\xFF\xD8\xFF\xE0\0\x10JFIF");
    EXPECT_FALSE(h.addImage(jpg.string()).status.ok);
    Document closed;
    EXPECT_FALSE(closed.addImage(bmp.string()).status.ok) << "a document that is not open";
    h.drawText(10, 10, "still a document", 0);
    EXPECT_TRUE(h.close().ok);
    expectNoTemporaryFiles();
}

TEST_F(Intake, PlacementBoxScalesThePicture)
{
    auto bmp = m_dir / "box.bmp";
    writeBmp24(bmp, 100, 50, [](int, int) { return 0x000000u; });
    auto pdf = pdfPath("box.pdf");
    Document h = newDocument(pdf);
    h.beginPage(Size {400, 300}, PageStart::NowWithoutTextPosition);
    h.setPlacementBox(Box {20, 30, 200, 100});
    EXPECT_TRUE(h.addImage(bmp.string()).status.ok);
    h.close();
    Rendered page = renderGray(pdf, 1, m_dir);
    ASSERT_EQ(page.width, 400);
    // Black inside the box (x 20..220, y 30..130 from the top), white outside.
    EXPECT_LT(page.at(25, 35), 64);
    EXPECT_LT(page.at(215, 125), 64);
    EXPECT_GT(page.at(15, 35), 192);
    EXPECT_GT(page.at(225, 80), 192);
    EXPECT_GT(page.at(100, 135), 192);
    EXPECT_GT(page.at(100, 25), 192);
}

#ifdef CONVERTER_PLUGIN
TEST_F(Intake, GraphicsMagickConverterTurnsGifAndUnknownFormatsIntoPages)
{
    ASSERT_TRUE(haveTool("gm"));
    auto gif = m_dir / "two.gif";
    auto xpm = m_dir / "one.xpm"; // a format the codec layer does not know
    ASSERT_EQ(runCommand("gm convert -size 30x20 xc:red -size 30x20 xc:blue " + shellQuote(gif.string())).exitCode, 0);
    ASSERT_EQ(runCommand("gm convert -size 25x15 xc:green " + shellQuote(xpm.string())).exitCode, 0);
    ASSERT_TRUE(loadExternalConverterFile(CONVERTER_PLUGIN));

    auto pdf = pdfPath("plugin.pdf");
    Document h = newDocument(pdf);
    EXPECT_TRUE(h.addImage(gif.string()).status.ok);
    EXPECT_TRUE(h.addImage(xpm.string()).status.ok);
    auto junk = m_dir / "junk.xyz";
    writeFileBytes(junk, "this is no image at all");
    EXPECT_LT(h.addImage(junk.string()).converterError, 0) << "the converter's failure";
    EXPECT_TRUE(h.close().ok);
    expectNoTemporaryFiles();
    CommandResult info = runCommand("pdfinfo -f 1 -l 3 " + shellQuote(pdf.string()));
    EXPECT_NE(info.output.find("Pages:           3"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Page    3 size:  25 x 15"), std::string::npos) << info.output;
    Rendered first = renderGray(pdf, 1, m_dir);
    Rendered second = renderGray(pdf, 2, m_dir);
    ASSERT_EQ(first.width, 30);
    ASSERT_EQ(second.width, 30);
    // Red and blue differ in gray: the two frames of the animation made two different pages.
    EXPECT_NE(first.at(10, 10), second.at(10, 10));
}
#endif
